// The whole program on the sample installation: connect, browse, page, detail and export through the
// real component and the real workbook writer, read back by xlrd; and a DXL import taken to a workbook.
#include "admin.h"
#include "app/exportcommand.h"
#include "browse/connectiondialog.h"
#include "browse/documentdetaildialog.h"
#include "browsefixture.h"
#include "domino/loader.h"
#include "domino/value.h"
#include "export/exportfiles.h"
#include "export/htmlpages.h"
#include "export/naming.h"
#include "export/runmessages.h"
#include "exporttestsupport.h"
#include "model.h"
#include "platform/profile.h"
#include "testsupport/sample_installation.h"
#include "workspace/workspace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
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

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// What the export must have written for one item of one document, asked of the component directly.
QString expectedCell(const domino::NotesDocument& doc, const QString& name)
{
    std::unique_ptr<domino::NotesItem> item;
    try {
        item = doc.ItemByName(name);
    } catch (const std::exception&) {
        return {}; // no cell
    }
    // A rich-text item's first value is its plain text again: the cell holds it once.
    if (item && item->ItemType() == domino::NotesItem::RichText)
        return exporting::defaultFormat().cutToCell(doc.RichTextItemByName(name)->FormattedText(true, 80));
    // Every value but a null one, joined as the list joins a multi-value column.
    QStringList texts;
    try {
        for (const domino::Value& value : doc.ItemValue(name))
            if (!value.isNull())
                texts << domino::ValueToText(value);
    } catch (const std::exception&) {
        texts.clear();
    }
    return exporting::defaultFormat().cutToCell(texts.join(u", "_s));
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void serverBrowseDetailAndExport();
    void failedLoginKeepsTheSettings();
    void serverThatIsNotThereChangesNothing();
    void rebuiltTreeClearsWhatWasListed();
    void dxlImportToWorkbook();
    void generatedDatabaseToWorkbook();
    void hostileAttachmentsThroughTheComponent();
    void serverSearchPagingDetailAndExport();
    void searchObeysReadersAccess();

private:
    void connect(const QString& server, const QString& user, const QString& password);
    void click(QTreeWidgetItem* node);
    void exportView(const QString& fileName, const QString& startNo);
    void readSheet(const QString& path, QJsonArray& rows);
    // Every cell of the workbook against the component, for documents start..count of the view.
    void checkWorkbook(const domino::NotesView& view, int start, int count, const QString& path);
    // The attachment files and first embedded objects of documents start..count against the component.
    void checkAttachments(domino::NotesSession& session, const domino::NotesView& view, int start, int count,
                          const QString& attachmentFolder, int* documentsWithFiles);
    QStringList listedIds() const;
    QStringList idsOf(const domino::NotesView& view, int from, int to) const;
    std::unique_ptr<domino::NotesSession> referenceSession();
    // The detail dialog of the listed row at a view position against the component, closed by its OK button.
    void checkDetailOfRow(const domino::NotesView& view, int position);
    // Types the query into the search box and presses Enter.
    void search(const QString& query);
    QString statusText() const { return m_window->statusPanelText(1); }
    // One run-start line per export, then each document's line in order, the attachments' lines among them.
    void checkExportLog(const QString& fromFirst, const QString& from200, int count, const QString& firstFolder);

    QTemporaryDir m_dir;
    component::testing::SampleInstallation m_sample;
    testing::ScriptedPrompts m_prompts;
    shell::ProgressDisplay m_progress;
    std::unique_ptr<platform::Registry> m_registry;
    std::unique_ptr<workspace::Workspace> m_workspace;
    std::unique_ptr<shell::MainWindow> m_window;
    std::unique_ptr<browse::Browser> m_browser;
    std::unique_ptr<app::ExportCommand> m_exporter;
    QString m_logFolder;
};

void TestEndToEnd::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_sample = component::testing::makeSampleInstallation(m_dir.path());
    m_logFolder = m_dir.filePath(u"state/"_s);
    QDir().mkpath(m_logFolder);
    QDir().mkpath(m_dir.filePath(u"app"_s));
    QDir().mkpath(m_dir.filePath(u"out"_s));
}

void TestEndToEnd::init()
{
    m_prompts = testing::ScriptedPrompts();
    m_registry = std::make_unique<platform::Registry>(m_sample.registryPath);
    m_workspace = std::make_unique<workspace::Workspace>(domino::registeredSessionFactory(*m_registry),
                                                         m_dir.filePath(u"app/"_s));
    shell::Environment env;
    env.prompts = &m_prompts;
    env.registry = m_registry.get();
    env.leftButtonDown = [] { return false; };
    m_window = std::make_unique<shell::MainWindow>(*m_workspace, std::move(env));
    m_browser = std::make_unique<browse::Browser>(*m_window, *m_workspace, m_progress);
    app::ExportCommandOptions options;
    options.logFolder = m_logFolder;
    options.clock = testing::fixedNow;
    m_exporter = std::make_unique<app::ExportCommand>(*m_window, *m_workspace, m_progress, options);
    m_browser->attachCommands();
    m_exporter->attachCommands();
    m_window->resize(825, 606);
    m_window->show();
    m_prompts.shown.clear();
}

void TestEndToEnd::cleanup()
{
    m_window.reset();
    m_exporter.reset();
    m_browser.reset();
    m_workspace.reset();
}

void TestEndToEnd::connect(const QString& server, const QString& user, const QString& password)
{
    bool confirmed = false;
    testing::whenModal([&](QDialog* dialog) {
        auto* connection = qobject_cast<browse::ConnectionDialog*>(dialog);
        if (!connection)
            return;
        connection->serverEdit()->setText(server);
        connection->userEdit()->setText(user);
        connection->passwordEdit()->setText(password);
        for (QPushButton* button : connection->findChildren<QPushButton*>()) {
            if (button->text() == u"确  定"_s) {
                QTest::mouseClick(button, Qt::LeftButton);
                confirmed = !connection->isVisible();
            }
        }
    });
    m_window->trigger(shell::Command::OpenServer);
    QVERIFY2(confirmed, "the connection dialog was not shown or not closed by its 确  定 button");
}

void TestEndToEnd::click(QTreeWidgetItem* node)
{
    QVERIFY(node);
    m_window->databaseTree()->setCurrentItem(node);
    m_window->trigger(shell::Command::TreeClick);
}

void TestEndToEnd::exportView(const QString& fileName, const QString& startNo)
{
    m_prompts.saveAnswers.push_back(fileName);
    m_prompts.inputAnswers.push_back(startNo);
    m_window->trigger(shell::Command::Export);
    QCOMPARE(m_prompts.errors(), QStringList());
    QCOMPARE(m_progress.window(), nullptr);
}

void TestEndToEnd::readSheet(const QString& path, QJsonArray& rows)
{
    QProcess python;
    python.start(u"/usr/bin/python3"_s,
                 {u"-c"_s,
                  u"import json,sys,xlrd\n"
                  "s=xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                  "assert all(s.cell_type(r,c) in (xlrd.XL_CELL_TEXT,xlrd.XL_CELL_EMPTY) "
                  "for r in range(s.nrows) for c in range(s.ncols)), 'a cell that is not text'\n"
                  "print(json.dumps([[s.cell_value(r,c) for c in range(s.ncols)] for r in range(s.nrows)]))"_s,
                  path});
    QVERIFY(python.waitForFinished(60000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

void TestEndToEnd::checkWorkbook(const domino::NotesView& view, int start, int count, const QString& path)
{
    QJsonArray rows;
    readSheet(path, rows);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(rows.size(), 1 + count - start + 1);
    const QStringList names = view.NthDocument(start)->Items();
    const QJsonArray header = rows[0].toArray();
    QCOMPARE(header.size(), names.size() + 1);
    QCOMPARE(header[0].toString(), u"文档ID"_s);
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(header[i + 1].toString(), names[i]);
    std::unique_ptr<domino::NotesDocument> doc = view.NthDocument(start);
    for (int j = 0; j <= count - start; ++j) {
        QVERIFY(doc);
        const QJsonArray row = rows[j + 1].toArray();
        QCOMPARE(row[0].toString(), doc->DocumentId());
        for (int i = 0; i < names.size(); ++i) {
            const QString cell = row.size() > i + 1 ? row[i + 1].toString() : QString();
            const QString expected = expectedCell(*doc, names[i]);
            QVERIFY2(cell == expected, qPrintable(u"row %1 (%2), item %3: %4 instead of %5"_s.arg(j + 2).arg(
                                           doc->DocumentId(), names[i], cell.left(200), expected.left(200))));
        }
        if (j < count - start)
            doc = view.NextDocument(*doc);
    }
}

void TestEndToEnd::checkAttachments(domino::NotesSession& session, const domino::NotesView& view, int start, int count,
                                    const QString& attachmentFolder, int* documentsWithFiles)
{
    QTemporaryDir reference;
    QStringList expectedFiles;
    *documentsWithFiles = 0;
    for (int n = start; n <= count; ++n) {
        const std::unique_ptr<domino::NotesDocument> doc = view.NthDocument(n);
        const QString folder = attachmentFolder + u'/' + doc->DocumentId() + u'/';
        exporting::ExportFiles files;
        // Every document's page first, whatever its attachments are called.
        files.claim(QString::fromUtf16(exporting::kPageName));
        expectedFiles << doc->DocumentId() + u'/' + QString::fromUtf16(exporting::kPageName);
        const auto expect = [&](const std::unique_ptr<domino::NotesEmbeddedObject>& object, const QString& file) {
            const QString copy = reference.filePath(QString::number(expectedFiles.size()));
            object->SaveToFile(copy);
            QVERIFY2(readAll(folder + file) == readAll(copy), qPrintable(folder + file));
            expectedFiles << QDir(attachmentFolder).relativeFilePath(folder + file);
        };
        int k = 0;
        if (doc->HasAttachments())
            for (const domino::Value& name : session.EvaluateFormula(u"@AttachmentNames"_s, *doc))
                expect(doc->AttachmentAt(k++), files.claim(domino::ValueToText(name)));
        for (const QString& item : doc->Items()) {
            std::unique_ptr<domino::NotesItem> found;
            try {
                found = doc->ItemByName(item);
            } catch (const std::exception&) {
                continue;
            }
            if (!found || found->ItemType() != domino::NotesItem::RichText)
                continue;
            const std::unique_ptr<domino::NotesRichTextItem> richText = doc->RichTextItemByName(item);
            const QStringList embedded = richText->EmbeddedObjects();
            for (int e = 0; e < embedded.size(); ++e) {
                // The same bytes under a name the document has are that file; anything else is a file of its own.
                const QString earlier = files.taken(embedded[e]);
                const QString copy = reference.filePath(u"object"_s);
                richText->EmbeddedObjectAt(e)->SaveToFile(copy);
                ++k;
                if (earlier.isEmpty() || readAll(copy) != readAll(folder + earlier))
                    expect(richText->EmbeddedObjectAt(e), files.claim(embedded[e]));
            }
        }
        *documentsWithFiles += k > 0;
    }
    expectedFiles << QString::fromUtf16(exporting::kIndexName) << QString::fromUtf16(exporting::kIndexListName);
    expectedFiles.sort();
    QCOMPARE(testing::filesBelow(attachmentFolder), expectedFiles);
}

QStringList TestEndToEnd::listedIds() const
{
    QStringList ids;
    for (int r = 0; r < m_window->documentList()->rowCount(); ++r)
        ids << m_window->documentList()->rowCaption(r);
    return ids;
}

QStringList TestEndToEnd::idsOf(const domino::NotesView& view, int from, int to) const
{
    QStringList ids;
    for (int n = from; n <= to; ++n)
        ids << view.NthDocument(n)->DocumentId();
    return ids;
}

std::unique_ptr<domino::NotesSession> TestEndToEnd::referenceSession()
{
    std::unique_ptr<domino::NotesSession> session = domino::registeredSessionFactory(*m_registry)();
    session->InitLocalSession(QString());
    return session;
}

void TestEndToEnd::checkDetailOfRow(const domino::NotesView& view, int position)
{
    m_window->documentList()->selectRow(position - 1);
    const std::unique_ptr<domino::NotesDocument> document = view.NthDocument(position);
    QStringList gridNames;
    QStringList gridValues;
    bool closedByOk = false;
    testing::whenModal([&](QDialog* dialog) {
        auto* detail = qobject_cast<browse::DocumentDetailDialog*>(dialog);
        if (!detail)
            return;
        for (int r = 1; r < detail->grid()->rowCount(); ++r) {
            gridNames << detail->grid()->item(r, 0)->text();
            gridValues << detail->grid()->item(r, 1)->text();
        }
        QTest::mouseClick(detail->okButton(), Qt::LeftButton);
        closedByOk = !detail->isVisible();
    });
    m_window->trigger(shell::Command::ShowDetail);
    QVERIFY(closedByOk);
    QCOMPARE(gridNames, document->Items());
    for (int i = 0; i < gridNames.size(); ++i) {
        const domino::ValueList values = document->ItemValue(gridNames[i]);
        // Every value, as the list joins a multi-value column.
        QCOMPARE(gridValues[i], domino::ValueToText(domino::Value::list(values)));
    }
    QCOMPARE(m_prompts.shown, QStringList());
}

void TestEndToEnd::checkExportLog(const QString& fromFirst, const QString& from200, int count,
                                  const QString& firstFolder)
{
    const QStringList log = testing::readLogLines(m_logFolder + u"log20261208.txt"_s);
    QVERIFY(!log.isEmpty());
    const QString runStart = u"开始导出视图全部到文件"_s + fromFirst + u';';
    QVERIFY2(log[0].startsWith(runStart), qPrintable(log[0]));
    const QString now = log[0].mid(runStart.size());
    QVERIFY2(!now.isEmpty() && now.at(0).isDigit(), qPrintable(log[0]));
    QStringList starts;
    QList<int> numbers;
    for (const QString& line : log) {
        QVERIFY2(line.endsWith(now), qPrintable(line));
        if (line.startsWith(u"开始导出视图"_s))
            starts << line;
        if (line.startsWith(u"完成向excel写入第"_s)) {
            QVERIFY2(line.endsWith(u"个文档;"_s + now), qPrintable(line));
            numbers << line.mid(11, line.indexOf(u"个文档;"_s) - 11).toInt();
        }
    }
    QCOMPARE(starts, (QStringList{runStart + now, u"开始导出视图全部到文件"_s + from200 + u';' + now}));
    QList<int> expectedNumbers;
    for (int n = 1; n <= count; ++n)
        expectedNumbers << n;
    for (int n = 200; n <= count; ++n)
        expectedNumbers << n;
    QCOMPARE(numbers, expectedNumbers);
    QVERIFY(log.contains(u"获取第1个文档第1个附件:合同.txt;"_s + now));
    QVERIFY(log.contains(u"保存第1个文档第1个附件到:"_s + firstFolder + u"合同.txt;"_s + now));
    QVERIFY(log.contains(u"分离第1个文档RichText域到:"_s + firstFolder + u"示意图.png;"_s + now));
}

void TestEndToEnd::serverBrowseDetailAndExport()
{
    // Connect: the settings follow the login, the root names server and data directory.
    const QString settings = m_workspace->settingsFilePath();
    QCOMPARE(QFileInfo(settings).absolutePath(), QFileInfo(m_dir.filePath(u"app"_s)).absoluteFilePath());
    connect(u"  "_s + m_sample.serverName + u" "_s, m_sample.userName, m_sample.password);
    QCOMPARE(m_prompts.shown, QStringList());
    QCOMPARE(platform::readProfileString(settings, u"domino"_s, u"server"_s, {}), m_sample.serverName);
    QCOMPARE(platform::readProfileString(settings, u"domino"_s, u"username"_s, {}), m_sample.userName);
    QCOMPARE(platform::readProfileString(settings, u"domino"_s, u"pwd"_s, {}), m_sample.password);
    QCOMPARE(m_window->databaseTree()->topLevelItemCount(), 1);
    QTreeWidgetItem* root = m_window->databaseTree()->topLevelItem(0);
    QCOMPARE(root->text(0), m_sample.serverName + u'(' + m_sample.dataDir + u')');
    QCOMPARE(m_workspace->treeMode(), workspace::TreeMode::Server);

    // The database's views as children and as large icons.
    const std::unique_ptr<domino::NotesSession> session = referenceSession();
    const std::shared_ptr<domino::NotesDatabase> crm =
        session->OpenDatabase(QString(), m_sample.dataDir + u"/crm.nsf"_s, false);
    const QStringList views = crm->Views();
    QTreeWidgetItem* database = child(root, u"crm.nsf"_s);
    click(database);
    QCOMPARE(database->childCount(), views.size());
    QCOMPARE(m_window->documentList()->viewStyle(), shell::ListView::Style::Icon);
    QStringList icons;
    for (int i = 0; i < m_window->documentList()->iconItemCount(); ++i) {
        icons << m_window->documentList()->iconItemCaption(i);
        QCOMPARE(database->child(i)->text(0), views[i]);
    }
    QCOMPARE(icons, views);

    // The view 全部, paged in every direction, each page against the component's own positions.
    click(child(database, u"全部"_s));
    const std::unique_ptr<domino::NotesView> all = crm->FindView(u"全部"_s);
    const int count = all->EntryCount();
    QCOMPARE(count, 250);
    QCOMPARE(m_workspace->docCount(), count);
    QCOMPARE(listedIds(), idsOf(*all, 1, 100));
    m_window->trigger(shell::Command::NextPage);
    QCOMPARE(listedIds(), idsOf(*all, 101, 200));
    m_window->trigger(shell::Command::LastPage);
    QCOMPARE(listedIds(), idsOf(*all, 201, 250));
    m_window->trigger(shell::Command::NextPage); // already at the end
    QCOMPARE(listedIds(), idsOf(*all, 201, 250));
    m_window->trigger(shell::Command::PreviousPage);
    QCOMPARE(listedIds(), idsOf(*all, 101, 200));
    m_window->trigger(shell::Command::FirstPage);
    QCOMPARE(listedIds(), idsOf(*all, 1, 100));
    QCOMPARE(m_prompts.shown, QStringList());

    // The detail of the third row, read afresh on the server, closed by its OK button.
    checkDetailOfRow(*all, 3);
    if (QTest::currentTestFailed())
        return;

    // Export from the first document and from the 200th.
    const QString out = m_dir.filePath(u"out/"_s);
    exportView(out + u"客户.xls"_s, u"1"_s);
    exportView(out + u"客户.xls"_s, u"200"_s);
    const QString attachments = out + u"全部附件"_s;
    const QString finished = QString::fromUtf16(exporting::kFinished) + attachments;
    // Each finished line is followed by the pages written; the documents with Readers items have items the start
    // document lacks: the .xls says how many.
    const QStringList messages = m_prompts.messages();
    QCOMPARE(messages.size(), 2);
    for (const QString& message : messages) {
        QCOMPARE(message.section(u'\n', 0, 0), finished);
        QVERIFY(message.section(u'\n', 1, 1).startsWith(u"另外写了"_s));
        QVERIFY2(message.count(u'\n') == 1 || message.section(u'\n', 2).contains(u"个域起始文档没有"_s),
                 qPrintable(message));
    }
    const QString fromFirst = out + u"客户_开始为第1个文档.xls"_s;
    const QString from200 = out + u"客户_开始为第200个文档.xls"_s;
    checkWorkbook(*all, 1, count, fromFirst);
    checkWorkbook(*all, 200, count, from200);

    int withFiles = 0;
    checkAttachments(*session, *all, 1, count, attachments, &withFiles);
    QVERIFY(withFiles >= 1);
    const QString firstFolder = attachments + u'/' + all->NthDocument(1)->DocumentId() + u'/';
    QCOMPARE(readAll(firstFolder + u"合同.txt"_s), u"合同正文：甲方与乙方……\n"_s.toUtf8());
    QVERIFY(QFileInfo::exists(firstFolder + u"示意图.png"_s));
    QCOMPARE(readAll(firstFolder + u"说明.txt"_s), u"嵌入的说明文件"_s.toUtf8()); // every embedded object

    checkExportLog(fromFirst, from200, count, firstFolder);
}

void TestEndToEnd::failedLoginKeepsTheSettings()
{
    connect(m_sample.serverName, m_sample.userName, m_sample.password);
    QCOMPARE(m_prompts.shown, QStringList());
    const QString settings = m_workspace->settingsFilePath();
    const QByteArray before = readAll(settings);
    QVERIFY(before.contains(m_sample.password.toUtf8()));

    connect(u"别的服务器"_s, m_sample.userName, m_sample.password + u"x"_s);
    QCOMPARE(m_prompts.messages(), QStringList{u"连接服务器失败!"_s});
    QCOMPARE(readAll(settings), before);
    QCOMPARE(m_window->databaseTree()->topLevelItemCount(), 0);
    QCOMPARE(m_workspace->treeMode(), workspace::TreeMode::Server);
    QCOMPARE(m_workspace->credentials().serverName, u"别的服务器"_s);
    QCOMPARE(m_progress.window(), nullptr);
}

void TestEndToEnd::serverThatIsNotThereChangesNothing()
{
    connect(m_sample.serverName, m_sample.userName, m_sample.password);
    QTreeWidgetItem* crm = child(m_window->databaseTree()->topLevelItem(0), u"crm.nsf"_s);
    click(crm);
    click(child(crm, u"全部"_s));
    const QString rootText = m_window->databaseTree()->topLevelItem(0)->text(0);
    const QString status = m_window->statusPanelText(1);
    QCOMPARE(status, u"视图：全部(全部) 共有文档:250"_s);
    const QByteArray settings = readAll(m_workspace->settingsFilePath());

    connect(u"NOSUCH"_s, m_sample.userName, m_sample.password);
    QCOMPARE(m_prompts.shown, QStringList{u"message:无法连接服务器NOSUCH：服务器不存在或无法访问"_s});
    QCOMPARE(m_progress.window(), nullptr);
    QCOMPARE(readAll(m_workspace->settingsFilePath()), settings);
    QCOMPARE(m_window->databaseTree()->topLevelItemCount(), 1);
    QCOMPARE(m_window->databaseTree()->topLevelItem(0)->text(0), rootText);
    QCOMPARE(m_workspace->credentials().serverName, m_sample.serverName);
    QCOMPARE(m_window->documentList()->rowCount(), 100);
    QCOMPARE(m_window->statusPanelText(1), status);
    // What is listed still pages on the server there was.
    m_window->trigger(shell::Command::NextPage);
    QCOMPARE(m_window->documentList()->rowCount(), 100);
    QCOMPARE(m_prompts.shown.size(), 1);
    QCOMPARE(m_workspace->docPos(), 200);
}

void TestEndToEnd::rebuiltTreeClearsWhatWasListed()
{
    // An empty view says so, after a view with documents.
    connect(m_sample.serverName, m_sample.userName, m_sample.password);
    QTreeWidgetItem* crm = child(m_window->databaseTree()->topLevelItem(0), u"crm.nsf"_s);
    click(crm);
    click(child(crm, u"全部"_s));
    click(child(crm, u"空视图"_s));
    QCOMPARE(m_window->statusPanelText(1), u"视图：空视图(空视图) 共有文档:0"_s);
    QCOMPARE(m_window->documentList()->rowCount(), 0);

    const auto exportSays = [this] {
        m_prompts.shown.clear();
        m_prompts.saveAnswers.push_back(m_dir.filePath(u"out/stale.xls"_s));
        m_window->trigger(shell::Command::Export);
        return m_prompts.messages();
    };
    const auto expectNothingListed = [&] {
        QCOMPARE(m_window->statusPanelText(1), QString());
        QCOMPARE(m_window->documentList()->viewStyle(), shell::ListView::Style::Icon);
        QCOMPARE(m_window->documentList()->iconItemCount(), 0);
        QCOMPARE(m_window->documentList()->columnCount(), 0);
        QCOMPARE(exportSays(), QStringList{u"当前没有可导出的内容"_s});
        QVERIFY(QDir(m_dir.filePath(u"out"_s)).entryList({u"stale*"_s}).isEmpty());
    };

    // Another database opened as a file.
    click(child(crm, u"全部"_s));
    m_prompts.openAnswers.push_back(m_sample.dataDir + u"/crm.nsf"_s);
    m_window->trigger(shell::Command::OpenFile);
    QCOMPARE(m_workspace->treeMode(), workspace::TreeMode::File);
    expectNothingListed();

    // A view of it listed, then the server connected again.
    click(child(m_window->databaseTree()->topLevelItem(0), u"全部"_s));
    QCOMPARE(m_window->statusPanelText(1), u"视图：全部(全部) 共有文档:250"_s);
    connect(m_sample.serverName, m_sample.userName, m_sample.password);
    QCOMPARE(m_workspace->treeMode(), workspace::TreeMode::Server);
    expectNothingListed();
}

void TestEndToEnd::dxlImportToWorkbook()
{
    const QString source = QStringLiteral(QUILL_DXL_SAMPLES) + u"/plomino/test_100docs.xml"_s;
    QVERIFY2(QFileInfo(source).isFile(), qPrintable(u"DXL sample missing: "_s + source));
    QDir().mkpath(m_dir.filePath(u"dxl"_s));
    const QString nsf = m_dir.filePath(u"dxl/test_100docs.nsf"_s);
    QProcess admin;
    admin.start(QStringLiteral(QUILL_ADMIN_TOOL_PATH), {u"import-dxl"_s, source, nsf});
    QVERIFY(admin.waitForFinished(60000));
    QVERIFY2(admin.exitCode() == 0, admin.readAllStandardError().constData());

    m_prompts.openAnswers.push_back(nsf);
    m_window->trigger(shell::Command::OpenFile);
    QCOMPARE(m_prompts.shown, QStringList{u"open:NSF文件|*.nsf"_s});
    m_prompts.shown.clear();
    QTreeWidgetItem* root = m_window->databaseTree()->topLevelItem(0);
    QVERIFY(root);
    QCOMPARE(root->text(0), nsf);
    QCOMPARE(m_workspace->treeMode(), workspace::TreeMode::File);

    const std::unique_ptr<domino::NotesSession> session = referenceSession();
    const std::shared_ptr<domino::NotesDatabase> db = session->OpenDatabase(QString(), nsf, false);
    const QStringList views = db->Views();
    QVERIFY(!views.isEmpty());
    QCOMPARE(root->childCount(), views.size());
    const QString viewName = views.front().trimmed();
    QCOMPARE(root->child(0)->text(0), viewName);
    click(root->child(0));
    const std::unique_ptr<domino::NotesView> view = db->FindView(viewName);
    const int count = view->EntryCount();
    QVERIFY(count >= 10);
    QCOMPARE(m_workspace->docCount(), count);
    QCOMPARE(listedIds(), idsOf(*view, 1, std::min(count, 100)));

    const QString out = m_dir.filePath(u"out/dxl/"_s);
    QDir().mkpath(out);
    exportView(out + u"导入.xls"_s, u"1"_s);
    QCOMPARE(m_prompts.messages().size(), 1);
    const QString finished = QString::fromUtf16(exporting::kFinished);
    QVERIFY2(m_prompts.messages()[0].startsWith(finished + out), qPrintable(m_prompts.messages()[0]));
    checkWorkbook(*view, 1, count, out + u"导入_开始为第1个文档.xls"_s);
    int withFiles = 0;
    checkAttachments(*session, *view, 1, count, m_prompts.messages()[0].section(u'\n', 0, 0).mid(finished.size()),
                     &withFiles);

    // The sample's multi-value Readers item, whole in its cell: exported from the first document that has it.
    const QString item = u"contributeurs3"_s;
    int from = 1;
    std::unique_ptr<domino::NotesDocument> doc = view->NthDocument(1);
    for (; doc && !doc->Items().contains(item); doc = view->NextDocument(*doc))
        ++from;
    QVERIFY(doc);
    exportView(out + u"多值.xls"_s, QString::number(from));
    QJsonArray rows;
    readSheet(out + u"多值_开始为第"_s + QString::number(from) + u"个文档.xls"_s, rows);
    const qsizetype column = rows.at(0).toArray().toVariantList().indexOf(item);
    QVERIFY(column > 0);
    QCOMPARE(rows.at(1).toArray().at(column).toString(), u"CN=Eric BREHAULT/O=Eric BREHAULT, OtherDomainServers"_s);
}

void TestEndToEnd::generatedDatabaseToWorkbook()
{
    // The benchmark's kind of database, small: items filled up to 8, the last rich text, two files every 100.
    const QString nsf = m_dir.filePath(u"generated.nsf"_s);
    QProcess admin;
    admin.start(QStringLiteral(QUILL_ADMIN_TOOL_PATH), {u"generate"_s, nsf, u"--count"_s, u"201"_s, u"--items"_s,
                                                        u"8"_s, u"--richtext"_s, u"--attachments-every"_s, u"100"_s});
    QVERIFY(admin.waitForFinished(60000));
    QVERIFY2(admin.exitCode() == 0, admin.readAllStandardError().constData());

    m_prompts.openAnswers.push_back(nsf);
    m_window->trigger(shell::Command::OpenFile);
    click(child(m_window->databaseTree()->topLevelItem(0), u"全部"_s));
    QCOMPARE(m_workspace->docCount(), 201);

    const std::unique_ptr<domino::NotesSession> session = referenceSession();
    const std::unique_ptr<domino::NotesView> view = session->OpenDatabase(QString(), nsf, false)->FindView(u"全部"_s);
    const std::unique_ptr<domino::NotesDocument> first = view->NthDocument(1);
    QCOMPARE(first->Items().size(), 8);
    QCOMPARE(first->ItemByName(first->Items().last())->ItemType(), int(domino::NotesItem::RichText));

    const QString out = m_dir.filePath(u"out/generated/"_s);
    QDir().mkpath(out);
    exportView(out + u"生成.xls"_s, u"50"_s);
    checkWorkbook(*view, 50, 201, out + u"生成_开始为第50个文档.xls"_s);
    int withFiles = 0;
    checkAttachments(*session, *view, 50, 201, out + u"全部附件"_s, &withFiles);
    QCOMPARE(withFiles, 2);
    // and a page a document, the index and its list of documents
    QCOMPARE(testing::filesBelow(out + u"全部附件"_s).size(), 4 + 152 + 2);

    // Too few items for the view's columns, or for a rich-text item, are refused.
    admin.start(QStringLiteral(QUILL_ADMIN_TOOL_PATH), {u"generate"_s, m_dir.filePath(u"refused.nsf"_s), u"--count"_s,
                                                        u"1"_s, u"--items"_s, u"5"_s, u"--richtext"_s});
    QVERIFY(admin.waitForFinished(60000));
    QCOMPARE(admin.exitCode(), 1);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(u"refused.nsf"_s)));
}

void TestEndToEnd::hostileAttachmentsThroughTheComponent()
{
    const QString nsf = m_dir.filePath(u"hostile.nsf"_s);
    component::admin::createDatabase(nsf, u"附件名"_s);
    component::admin::DocumentToAdd doc;
    doc.items = {{u"Subject"_s, component::TextType, QJsonArray{u"附件"_s}, {}}};
    const std::vector<testing::HostileAttachment> attachments = testing::hostileAttachments();
    for (const testing::HostileAttachment& a : attachments)
        doc.attachments.push_back({a.name, a.contents});
    component::admin::addDocuments(nsf, {doc});
    component::admin::addView(nsf, {u"全部"_s, {{u"主题"_s, u"Subject"_s, {}}}, {}, -1, false, {}});

    m_prompts.openAnswers.push_back(nsf);
    m_window->trigger(shell::Command::OpenFile);
    click(child(m_window->databaseTree()->topLevelItem(0), u"全部"_s));
    const QString out = m_dir.filePath(u"out/hostile/"_s);
    QDir().mkpath(out);
    m_prompts.shown.clear();
    exportView(out + u"附件名.xls"_s, u"1"_s);
    QCOMPARE(m_prompts.messages(),
             QStringList{QString::fromUtf16(exporting::kFinished) + out + u"全部附件"_s +
                         u"\n另外写了2个网页，用浏览器打开"_s + out + u"全部附件/index.html即可浏览。"_s});

    const QStringList folders = QDir(out + u"全部附件"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(folders.size(), 1);
    const QString folder = out + u"全部附件/"_s + folders.front() + u'/';
    QStringList expected;
    for (const testing::HostileAttachment& a : attachments) {
        QCOMPARE(readAll(folder + a.savedAs), a.contents);
        expected << a.savedAs;
    }
    expected << QString::fromUtf16(exporting::kPageName);
    expected.sort();
    QCOMPARE(testing::filesBelow(folder), expected);
}

void TestEndToEnd::search(const QString& query)
{
    // Chinese cannot be typed by key events: the text is set, Enter pressed.
    QLineEdit* box = m_window->searchBox();
    box->setText(query);
    QTest::keyClick(box, Qt::Key_Return);
}

void TestEndToEnd::serverSearchPagingDetailAndExport()
{
    connect(m_sample.serverName, m_sample.userName, m_sample.password);
    const std::unique_ptr<domino::NotesSession> session = referenceSession();
    const std::shared_ptr<domino::NotesDatabase> crm =
        session->OpenDatabase(QString(), m_sample.dataDir + u"/crm.nsf"_s, false);
    // The shared sample is indexed when made: searching it writes nothing.
    QVERIFY(crm->IsFTIndexed());
    QCOMPARE(crm->Views().front(), u"全部"_s);

    // Nothing selected: nothing to search.
    search(u"有限公司"_s);
    QCOMPARE(m_prompts.messages(), QStringList{u"请先在左边选择要搜索的数据库或视图"_s});
    m_prompts.shown.clear();

    // The database selected (its views shown): its first view, narrowed; what a plain scan of the view finds, in
    // view order.
    QTreeWidgetItem* database = child(m_window->databaseTree()->topLevelItem(0), u"crm.nsf"_s);
    click(database);
    const QString query = u"有限公司 NOT 北京"_s;
    search(query);
    QCOMPARE(m_prompts.shown, QStringList());
    const std::unique_ptr<domino::NotesView> all = crm->FindView(u"全部"_s);
    QStringList scanned;
    for (int n = 1; n <= all->EntryCount(); ++n) {
        const std::unique_ptr<domino::NotesDocument> doc = all->NthDocument(n);
        const domino::ValueList name = doc->ItemValue(u"客户名称"_s);
        const domino::ValueList city = doc->ItemValue(u"城市"_s);
        if (!name.empty() && domino::ValueToText(name.front()).contains(u"有限公司"_s) &&
            (city.empty() || !domino::ValueToText(city.front()).contains(u"北京"_s)))
            scanned << doc->DocumentId();
    }
    QCOMPARE(scanned.size(), 200);
    QCOMPARE(m_workspace->docCount(), 200);
    QCOMPARE(statusText(), u"搜索“有限公司 NOT 北京”：200个文档"_s);
    QCOMPARE(m_window->documentList()->viewStyle(), shell::ListView::Style::Report);
    QCOMPARE(listedIds(), scanned.mid(0, 100));
    m_window->trigger(shell::Command::NextPage);
    QCOMPARE(listedIds(), scanned.mid(100, 100));
    m_window->trigger(shell::Command::NextPage); // the end
    QCOMPARE(listedIds(), scanned.mid(100, 100));
    m_window->trigger(shell::Command::PreviousPage);
    QCOMPARE(listedIds(), scanned.mid(0, 100));
    QCOMPARE(statusText(), u"搜索“有限公司 NOT 北京”：200个文档"_s);

    // The detail dialog and the export work on the results: the reference narrowed alike.
    const std::unique_ptr<domino::NotesView> found = crm->FindView(u"全部"_s);
    QCOMPARE(found->FTSearch(query, 0), 200);
    checkDetailOfRow(*found, 7);
    if (QTest::currentTestFailed())
        return;
    const QString out = m_dir.filePath(u"out/search/"_s);
    QDir().mkpath(out);
    exportView(out + u"搜索结果.xls"_s, u"1"_s);
    QCOMPARE(m_prompts.messages().size(), 1);
    QCOMPARE(m_prompts.messages()[0].section(u'\n', 0, 0),
             QString::fromUtf16(exporting::kFinished) + out + u"全部附件"_s);
    checkWorkbook(*found, 1, 200, out + u"搜索结果_开始为第1个文档.xls"_s);
    if (QTest::currentTestFailed())
        return;
    m_prompts.shown.clear();

    // A query the language refuses keeps what is listed; signs are searched as text.
    search(u"合同 NEAR( 北京"_s);
    QCOMPARE(m_prompts.messages().size(), 1);
    QVERIFY2(m_prompts.messages().front().contains(u"NEAR"_s), qPrintable(m_prompts.messages().front()));
    QCOMPARE(listedIds(), scanned.mid(0, 100));
    QCOMPARE(statusText(), u"搜索“有限公司 NOT 北京”：200个文档"_s);
    m_prompts.shown.clear();
    search(u"'; DROP TABLE documents;--"_s);
    QCOMPARE(m_prompts.shown, QStringList());
    QCOMPARE(statusText(), u"搜索“'; DROP TABLE documents;--”：0个文档"_s);
    QCOMPARE(listedIds(), QStringList());
    QCOMPARE(m_workspace->docCount(), 0);

    // Emptying the box lists the whole view again.
    QLineEdit* box = m_window->searchBox();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(statusText(), u"视图：全部(全部) 共有文档:250"_s);
    QCOMPARE(listedIds(), idsOf(*all, 1, 100));

    // A listed view is searched in its own order and columns; listing another view from the tree empties the box.
    click(child(database, u"按城市"_s));
    search(u"张三"_s);
    const std::unique_ptr<domino::NotesView> byCity = crm->FindView(u"按城市"_s);
    const int inCity = byCity->FTSearch(u"张三"_s, 0);
    QCOMPARE(inCity, 83);
    QCOMPARE(statusText(), u"搜索“张三”：83个文档"_s);
    QCOMPARE(listedIds(), idsOf(*byCity, 1, 83));
    QCOMPARE(m_workspace->pager().columnTitles(), std::optional<QStringList>(byCity->ColumnNames()));
    click(child(database, u"全部"_s));
    QCOMPARE(box->text(), QString());
    QCOMPARE(m_workspace->searchQuery(), QString());
    QCOMPARE(m_prompts.shown, QStringList());
}

void TestEndToEnd::searchObeysReadersAccess()
{
    connect(m_sample.serverName, m_sample.guestName, m_sample.guestPassword);
    click(child(m_window->databaseTree()->topLevelItem(0), u"crm.nsf"_s));
    search(u"有限公司"_s);
    QCOMPARE(m_prompts.shown, QStringList());
    // Three of the 250 customers name only others in their Readers items.
    QCOMPARE(statusText(), u"搜索“有限公司”：247个文档"_s);
    QStringList listed = listedIds();
    for (int page = 0; page < 2; ++page) {
        m_window->trigger(shell::Command::NextPage);
        listed << listedIds();
    }
    QCOMPARE(listed.size(), 247);
    const std::unique_ptr<domino::NotesSession> session = referenceSession();
    const std::unique_ptr<domino::NotesView> all =
        session->OpenDatabase(QString(), m_sample.dataDir + u"/crm.nsf"_s, false)->FindView(u"全部"_s);
    int hidden = 0;
    for (int n = 1; n <= all->EntryCount(); ++n) {
        const std::unique_ptr<domino::NotesDocument> doc = all->NthDocument(n);
        const bool restricted = doc->Items().contains(u"读者"_s);
        hidden += restricted;
        QCOMPARE(listed.contains(doc->DocumentId()), !restricted);
    }
    QCOMPARE(hidden, 3);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
