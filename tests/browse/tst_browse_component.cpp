// Browsing the sample installation through the real component, in server and in file mode.
#include "browse/docdetail.h"
#include "browse/selserver.h"
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
    void fileModeOpensTheSampleFile();

private:
    // Numbers of the first column of the rows listed.
    QStringList firstColumn() const;
    QStringList numbers(int from, int to) const;
    void page(void (shell::TfrmMain::*command)()) { (m_frm.get()->*command)(); }

    QTemporaryDir m_dir;
    component::testing::SampleInstallation m_sample;
    testing::ScriptedPrompts m_prompts;
    shell::ProgressDisplay m_progress;
    std::unique_ptr<platform::Registry> m_registry;
    std::unique_ptr<shell::TfrmMain> m_frm;
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
    shell::Environment env;
    env.prompts = &m_prompts;
    env.registry = m_registry.get();
    env.sessionFactory = domino::registeredSessionFactory(*m_registry);
    env.appPath = m_dir.filePath(u"app/"_s);
    env.leftButtonDown = [] { return false; };
    m_frm = std::make_unique<shell::TfrmMain>(std::move(env));
    m_browser = std::make_unique<browse::Browser>(*m_frm, m_progress);
    m_frm->setBrowseHandlers(m_browser.get());
    m_frm->resize(825, 606);
    m_frm->show();
    m_prompts.shown.clear();
}

void TestBrowseComponent::cleanup()
{
    m_frm.reset();
    m_browser.reset();
}

QStringList TestBrowseComponent::firstColumn() const
{
    QStringList out;
    for (int r = 0; r < m_frm->ListView1()->rowCount(); ++r)
        out << m_frm->ListView1()->rowSubItems(r).value(0);
    return out;
}

QStringList TestBrowseComponent::numbers(int from, int to) const
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QString::number(i);
    return out;
}

void TestBrowseComponent::serverModePagesThroughTheSample()
{
    testing::whenModal([this](QDialog* dialog) {
        auto* d = qobject_cast<browse::Tfrmselserver*>(dialog);
        QVERIFY(d);
        d->Edit1()->setText(m_sample.serverName);
        d->Edit2()->setText(m_sample.userName);
        d->Edit3()->setText(m_sample.password);
        d->Button1Click();
    });
    m_frm->openserverExecute();
    QVERIFY2(m_prompts.shown.isEmpty(), qPrintable(m_prompts.shown.join(u'\n')));
    QTreeWidgetItem* root = m_frm->TreeView1()->topLevelItem(0);
    QCOMPARE(root->text(0), m_sample.serverName + u'(' + m_sample.dataDir + u')');
    QVERIFY(!child(root, u".hidden"_s));
    QVERIFY(child(root, u"空文件夹"_s));

    QTreeWidgetItem* crm = child(root, u"crm.nsf"_s);
    QVERIFY(crm);
    m_frm->TreeView1()->setCurrentItem(crm);
    m_frm->TreeView1Click();
    QCOMPARE(m_frm->ListView1()->iconItemCount(), 4);
    QTreeWidgetItem* all = child(crm, u"全部"_s);
    QVERIFY(all);
    m_frm->TreeView1()->setCurrentItem(all);
    m_frm->TreeView1Click();
    QCOMPARE(m_frm->state().docCount, 250);
    QCOMPARE(firstColumn(), numbers(1, 100));
    QCOMPARE(m_frm->statusPanelText(1), u"视图：全部(全部) 共有文档:250"_s);
    page(&shell::TfrmMain::ToolButton9Click);
    page(&shell::TfrmMain::ToolButton9Click);
    QCOMPARE(firstColumn(), numbers(201, 250));
    page(&shell::TfrmMain::ToolButton8Click);
    QCOMPARE(firstColumn(), numbers(101, 200));
    page(&shell::TfrmMain::ToolButton10Click);
    QCOMPARE(firstColumn(), numbers(201, 250));

    // The detail of a listed document, read on the server.
    m_frm->ListView1()->selectRow(0);
    QStringList names;
    testing::whenModal([&](QDialog* dialog) {
        auto* detail = qobject_cast<browse::TfrmdocDetail*>(dialog);
        for (int r = 0; detail && r < detail->StringGrid1()->rowCount(); ++r)
            names << detail->StringGrid1()->item(r, 0)->text();
        dialog->accept();
    });
    m_frm->ToolButton11Click();
    QVERIFY(names.contains(u"客户编号"_s));

    QTreeWidgetItem* contracts = child(child(root, u"业务"_s), u"合同管理.nsf"_s);
    QVERIFY(contracts);
    m_frm->TreeView1()->setCurrentItem(contracts);
    m_frm->TreeView1Click();
    m_frm->TreeView1()->setCurrentItem(child(contracts, u"合同列表"_s));
    m_frm->TreeView1Click();
    QCOMPARE(m_frm->state().docCount, 4500);
    page(&shell::TfrmMain::ToolButton10Click);
    QCOMPARE(firstColumn(), numbers(4401, 4500));
    page(&shell::TfrmMain::ToolButton8Click);
    QCOMPARE(firstColumn(), numbers(4301, 4400));
    page(&shell::TfrmMain::ToolButton7Click);
    QCOMPARE(firstColumn(), numbers(1, 100));
    root->setExpanded(true);
    child(root, u"业务"_s)->setExpanded(true);
    testing::saveScreenshot(m_frm.get(), u"server-tree.png"_s);

    // A database without views stays childless.
    QTreeWidgetItem* noViews = child(child(root, u"业务"_s), u"无视图.nsf"_s);
    m_frm->TreeView1()->setCurrentItem(noViews);
    m_frm->TreeView1Click();
    QCOMPARE(noViews->childCount(), 0);
    QVERIFY2(m_prompts.shown.isEmpty(), qPrintable(m_prompts.shown.join(u'\n')));
}

void TestBrowseComponent::fileModeOpensTheSampleFile()
{
    const QString file = m_sample.dataDir + u"/crm.nsf"_s;
    m_prompts.openAnswers.push_back(file);
    m_frm->openfileExecute();
    QVERIFY2(m_prompts.shown.size() == 1, qPrintable(m_prompts.shown.join(u'\n')));
    QTreeWidgetItem* root = m_frm->TreeView1()->topLevelItem(0);
    QCOMPARE(root->text(0), file);
    QCOMPARE(root->childCount(), 4);
    m_frm->TreeView1()->setCurrentItem(child(root, u"全部"_s));
    m_frm->TreeView1Click();
    QCOMPARE(m_frm->state().docCount, 250);
    QCOMPARE(firstColumn(), numbers(1, 100));
    root->setExpanded(true);
    testing::saveScreenshot(m_frm.get(), u"file-tree.png"_s);
    page(&shell::TfrmMain::ToolButton10Click);
    QCOMPARE(firstColumn(), numbers(201, 250));

    // The component has the file open in this process: opening it again is not refused, and
    // asking does not cost the component its locks.
    QVERIFY(!platform::IsFileLocked(file));
    m_prompts.openAnswers.push_back(file);
    m_frm->openfileExecute();
    QCOMPARE(m_prompts.messages(), QStringList());
    QVERIFY(m_prompts.errors().isEmpty());
    m_frm->TreeView1()->setCurrentItem(child(m_frm->TreeView1()->topLevelItem(0), u"空视图"_s));
    m_frm->TreeView1Click();
    QCOMPARE(m_frm->ListView1()->rowCount(), 0);
    QCOMPARE(m_frm->state().docCount, 0);
}

QTEST_MAIN(TestBrowseComponent)
#include "tst_browse_component.moc"
