// Browsing the sample installation through the real component, in server and in file mode.
#include "browse/connectiondialog.h"
#include "browse/documentdetaildialog.h"
#include "browsefixture.h"
#include "domino/loader.h"
#include "platform/files.h"
#include "testsupport/sample_installation.h"

#include <QLineEdit>
#include <QTableWidget>

using namespace Qt::StringLiterals;
using namespace quill;

namespace {

QTreeWidgetItem* child(QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; node && i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text)
            return node->child(i);
    return nullptr;
}

} // namespace

class TestBrowseComponent : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void serverModePagesThroughTheSample();
    void serverModeListsOnlyWhatReadersItemsLet();
    void fileModeOpensTheSampleFile();

private:
    // Connects to the sample's server through the connection dialog.
    void connectAs(const QString& user, const QString& password);
    // Numbers of the first column of the rows listed.
    QStringList firstColumn() const;
    QStringList numbers(int from, int to) const;
    void page(shell::Command command) { m_window->trigger(command); }

    QTemporaryDir m_dir;
    component::testing::SampleInstallation m_sample;
    testing::ScriptedPrompts m_prompts;
    shell::ProgressDisplay m_progress;
    std::unique_ptr<platform::Registry> m_registry;
    std::unique_ptr<workspace::Workspace> m_workspace;
    std::unique_ptr<shell::MainWindow> m_window;
    std::unique_ptr<browse::Browser> m_browser;
};

void TestBrowseComponent::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_sample = component::testing::makeSampleInstallation(m_dir.path());
}

void TestBrowseComponent::init()
{
    QDir(m_dir.path()).mkpath(u"app"_s);
    m_registry = std::make_unique<platform::Registry>(m_sample.registryPath);
    m_workspace = std::make_unique<workspace::Workspace>(domino::registeredSessionFactory(*m_registry),
                                                         m_dir.filePath(u"app/"_s));
    shell::Environment env;
    env.prompts = &m_prompts;
    env.registry = m_registry.get();
    env.leftButtonDown = [] { return false; };
    m_window = std::make_unique<shell::MainWindow>(*m_workspace, std::move(env));
    m_browser = std::make_unique<browse::Browser>(*m_window, *m_workspace, m_progress);
    m_browser->attachCommands();
    m_window->resize(825, 606);
    m_window->show();
    m_prompts.shown.clear();
}

void TestBrowseComponent::cleanup()
{
    m_window.reset();
    m_browser.reset();
    m_workspace.reset();
}

QStringList TestBrowseComponent::firstColumn() const
{
    QStringList out;
    for (int r = 0; r < m_window->documentList()->rowCount(); ++r)
        out << m_window->documentList()->rowSubItems(r).value(0);
    return out;
}

QStringList TestBrowseComponent::numbers(int from, int to) const
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QString::number(i);
    return out;
}

void TestBrowseComponent::connectAs(const QString& user, const QString& password)
{
    testing::whenModal([&](QDialog* dialog) {
        auto* d = qobject_cast<browse::ConnectionDialog*>(dialog);
        QVERIFY(d);
        d->serverEdit()->setText(m_sample.serverName);
        d->userEdit()->setText(user);
        d->passwordEdit()->setText(password);
        d->confirm();
    });
    m_window->trigger(shell::Command::OpenServer);
}

void TestBrowseComponent::serverModePagesThroughTheSample()
{
    connectAs(m_sample.userName, m_sample.password);
    QVERIFY2(m_prompts.shown.isEmpty(), qPrintable(m_prompts.shown.join(u'\n')));
    QTreeWidgetItem* root = m_window->databaseTree()->topLevelItem(0);
    QCOMPARE(root->text(0), m_sample.serverName + u'(' + m_sample.dataDir + u')');
    QVERIFY(!child(root, u".hidden"_s));
    QVERIFY(child(root, u"空文件夹"_s));

    QTreeWidgetItem* crm = child(root, u"crm.nsf"_s);
    QVERIFY(crm);
    m_window->databaseTree()->setCurrentItem(crm);
    m_window->trigger(shell::Command::TreeClick);
    QCOMPARE(m_window->documentList()->iconItemCount(), 4);
    QTreeWidgetItem* all = child(crm, u"全部"_s);
    QVERIFY(all);
    m_window->databaseTree()->setCurrentItem(all);
    m_window->trigger(shell::Command::TreeClick);
    QCOMPARE(m_workspace->docCount(), 250);
    QCOMPARE(firstColumn(), numbers(1, 100));
    QCOMPARE(m_window->statusPanelText(1), u"视图：全部(全部) 共有文档:250"_s);
    page(shell::Command::NextPage);
    page(shell::Command::NextPage);
    QCOMPARE(firstColumn(), numbers(201, 250));
    page(shell::Command::PreviousPage);
    QCOMPARE(firstColumn(), numbers(101, 200));
    page(shell::Command::LastPage);
    QCOMPARE(firstColumn(), numbers(201, 250));

    // The detail of a listed document, read on the server.
    m_window->documentList()->selectRow(0);
    QStringList names;
    testing::whenModal([&](QDialog* dialog) {
        auto* detail = qobject_cast<browse::DocumentDetailDialog*>(dialog);
        for (int r = 0; detail && r < detail->grid()->rowCount(); ++r)
            names << detail->grid()->item(r, 0)->text();
        dialog->accept();
    });
    m_window->trigger(shell::Command::ShowDetail);
    QVERIFY(names.contains(u"客户编号"_s));

    QTreeWidgetItem* contracts = child(child(root, u"业务"_s), u"合同管理.nsf"_s);
    QVERIFY(contracts);
    m_window->databaseTree()->setCurrentItem(contracts);
    m_window->trigger(shell::Command::TreeClick);
    m_window->databaseTree()->setCurrentItem(child(contracts, u"合同列表"_s));
    m_window->trigger(shell::Command::TreeClick);
    QCOMPARE(m_workspace->docCount(), 4500);
    page(shell::Command::LastPage);
    QCOMPARE(firstColumn(), numbers(4401, 4500));
    page(shell::Command::PreviousPage);
    QCOMPARE(firstColumn(), numbers(4301, 4400));
    page(shell::Command::FirstPage);
    QCOMPARE(firstColumn(), numbers(1, 100));
    root->setExpanded(true);
    child(root, u"业务"_s)->setExpanded(true);

    // A database without views stays childless.
    QTreeWidgetItem* noViews = child(child(root, u"业务"_s), u"无视图.nsf"_s);
    m_window->databaseTree()->setCurrentItem(noViews);
    m_window->trigger(shell::Command::TreeClick);
    QCOMPARE(noViews->childCount(), 0);
    QVERIFY2(m_prompts.shown.isEmpty(), qPrintable(m_prompts.shown.join(u'\n')));
}

// The guest is named by none of the Readers items of the second to fourth customers: the list and its count
// leave them out.
void TestBrowseComponent::serverModeListsOnlyWhatReadersItemsLet()
{
    connectAs(m_sample.guestName, m_sample.guestPassword);
    QTreeWidgetItem* crm = child(m_window->databaseTree()->topLevelItem(0), u"crm.nsf"_s);
    QVERIFY(crm);
    m_window->databaseTree()->setCurrentItem(crm);
    m_window->trigger(shell::Command::TreeClick);
    m_window->databaseTree()->setCurrentItem(child(crm, u"全部"_s));
    m_window->trigger(shell::Command::TreeClick);
    QCOMPARE(m_window->statusPanelText(1), u"视图：全部(全部) 共有文档:247"_s);
    QCOMPARE(firstColumn(), QStringList{u"1"_s} + numbers(5, 103));
    page(shell::Command::LastPage);
    QCOMPARE(firstColumn(), numbers(204, 250));
    QVERIFY2(m_prompts.shown.isEmpty(), qPrintable(m_prompts.shown.join(u'\n')));
}

void TestBrowseComponent::fileModeOpensTheSampleFile()
{
    const QString file = m_sample.dataDir + u"/crm.nsf"_s;
    m_prompts.openAnswers.push_back(file);
    m_window->trigger(shell::Command::OpenFile);
    QVERIFY2(m_prompts.shown.size() == 1, qPrintable(m_prompts.shown.join(u'\n')));
    QTreeWidgetItem* root = m_window->databaseTree()->topLevelItem(0);
    QCOMPARE(root->text(0), file);
    QCOMPARE(root->childCount(), 4);
    m_window->databaseTree()->setCurrentItem(child(root, u"全部"_s));
    m_window->trigger(shell::Command::TreeClick);
    QCOMPARE(m_workspace->docCount(), 250);
    QCOMPARE(firstColumn(), numbers(1, 100));
    root->setExpanded(true);
    page(shell::Command::LastPage);
    QCOMPARE(firstColumn(), numbers(201, 250));

    // The component has the file open in this process: opening it again is not refused, and
    // asking does not cost the component its locks.
    QVERIFY(!platform::IsFileLocked(file));
    m_prompts.openAnswers.push_back(file);
    m_window->trigger(shell::Command::OpenFile);
    QCOMPARE(m_prompts.messages(), QStringList());
    QVERIFY(m_prompts.errors().isEmpty());
    m_window->databaseTree()->setCurrentItem(child(m_window->databaseTree()->topLevelItem(0), u"空视图"_s));
    m_window->trigger(shell::Command::TreeClick);
    QCOMPARE(m_window->documentList()->rowCount(), 0);
    QCOMPARE(m_workspace->docCount(), 0);
}

QTEST_MAIN(TestBrowseComponent)
#include "tst_browse_component.moc"
