#include "app/exportcommand.h"
#include "exporttestsupport.h"
#include "platform/profile.h"
#include "scriptedprompts.h"
#include "shell/mainwindow.h"
#include "shell/progressdisplay.h"
#include "workbook/xlswriter.h"
#include "workspace/workspace.h"
#include "workspacesupport.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill;
using namespace quill::app;
using namespace quill::exporting;
using namespace quill::testing;

namespace {

const QString kSaveDialog = u"save:Excel 97-2003 工作簿|*.xls|Excel 工作簿|*.xlsx|CSV UTF-8|*.csv"_s;

// Scripted prompts that note each message and error shown while the progress window was open.
struct WatchingPrompts : ScriptedPrompts
{
    const shell::ProgressDisplay* progress = nullptr;
    QStringList covered;
    void showMessage(const QString& text) override
    {
        note(text);
        ScriptedPrompts::showMessage(text);
    }
    void showError(const QString& text) override
    {
        note(text);
        ScriptedPrompts::showError(text);
    }
    void note(const QString& text)
    {
        if (progress && progress->window())
            covered << text;
    }
};

// A shown main window over a fake database whose view "全部" is listed, as the document list leaves it.
struct CommandRig
{
    QTemporaryDir tmp;
    FakeDomino domino;
    FakeDatabase& db;
    WatchingPrompts prompts;
    shell::ProgressDisplay progress;
    std::unique_ptr<workspace::Workspace> workspace;
    std::unique_ptr<shell::MainWindow> window;
    std::shared_ptr<domino::NotesDatabase> database;
    std::unique_ptr<ExportCommand> exporter;
    std::function<void()> onEvents;
    int events = 0;

    explicit CommandRig(ExcelFactory factory = workbook::createXlsWriter) : db(domino.addDatabase(u"/data/crm.nsf"_s))
    {
        QDir(tmp.path()).mkpath(u"out"_s);
        QDir(tmp.path()).mkpath(u"state"_s);
        workspace = std::make_unique<workspace::Workspace>(domino.sessionFactory(), tmp.filePath(u"app/"_s));
        shell::Environment env;
        env.prompts = &prompts;
        env.leftButtonDown = [] { return false; };
        window = std::make_unique<shell::MainWindow>(*workspace, std::move(env));
        ExportCommandOptions options;
        options.formats.front().makeWriter = std::move(factory);
        options.logFolder = tmp.filePath(u"state/"_s);
        options.clock = fixedNow;
        options.processEvents = [this] {
            ++events;
            if (onEvents)
                onEvents();
        };
        exporter = std::make_unique<ExportCommand>(*window, *workspace, progress, std::move(options));
        exporter->attachCommands();
        window->show();
        prompts.shown.clear();
        prompts.progress = &progress;
    }

    void list(const QString& viewName)
    {
        std::unique_ptr<domino::NotesSession> session = domino.sessionFactory()();
        session->InitLocalSession(QString());
        database = session->OpenDatabase(QString(), u"/data/crm.nsf"_s, false);
        listAndLoad(*workspace, database, viewName, {QString(), u"/data/crm.nsf"_s});
    }
    void exportCommand() { window->trigger(shell::Command::Export); }
    QString out(const QString& name = {}) const { return tmp.filePath(u"out/"_s) + name; }
    QString logPath() const { return tmp.filePath(u"state/log20261208.txt"_s); }
};

void addView(FakeDatabase& db, int documents)
{
    db.addView(u"全部"_s);
    for (int i = 1; i <= documents; ++i)
        db.addDocument().text(u"Subject"_s, u"主题%1"_s.arg(i)).number(u"Count"_s, i);
}

// The first sheet read back by xlrd: cells as text, column widths in characters, "@" formats.
QJsonObject readWithXlrd(const QString& path)
{
    static const char script[] = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sheet = book.sheet_by_index(0)
cells = [[sheet.cell_value(r, c) for c in range(sheet.ncols)] for r in range(sheet.nrows)]
widths = {str(c): info.width / 256 for c, info in sheet.colinfo_map.items()}
text = []
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        xf = book.xf_list[sheet.cell_xf_index(r, c)]
        if book.format_map[xf.format_key].format_str == '@':
            text.append([r, c])
print(json.dumps({'cells': cells, 'widths': widths, 'text': text}))
)";
    QProcess python;
    python.start(u"/usr/bin/python3"_s, {u"-c"_s, QString::fromUtf8(script), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {{u"error"_s, QString::fromUtf8(python.readAllStandardError())}};
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

} // namespace

class TestExportCommand : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void dialogs();
    void chosenTypeDecidesTheFile();
    void htmlPagesSetting();
    void checksThroughTheErrorHandler();
    void commandsDisabledAndStateTakenOnce();
    void unguardedFailureClosesEverything();
    void noMessageUnderTheProgressWindow_data();
    void noMessageUnderTheProgressWindow();
    void roundTripThroughTheWriter();
};

void TestExportCommand::htmlPagesSetting()
{
    // The tools menu's checkable item keeps the choice in the settings file; off, an export writes what it wrote
    // before there were pages and says so in the same words.
    CommandRig rig;
    addView(rig.db, 2);
    rig.list(u"全部"_s);
    auto* pages = rig.window->findChild<QAction*>(u"htmlPages"_s);
    QVERIFY(pages && pages->isCheckable() && pages->isChecked());
    QVERIFY(rig.window->findChild<QMenu*>(u"toolsMenu"_s)->actions().contains(pages));
    const QString settings = rig.workspace->settingsFilePath();
    QVERIFY(QDir().mkpath(QFileInfo(settings).path()));
    pages->setChecked(false);
    QCOMPARE(platform::readProfileString(settings, u"export"_s, u"html"_s), u"0"_s);
    int exports = 0;
    const auto exportAll = [&] {
        rig.prompts.saveAnswers.push_back(rig.out(u"合同%1.xls"_s.arg(++exports)));
        rig.prompts.inputAnswers.push_back(u"1"_s);
        rig.exportCommand();
    };
    exportAll();
    QCOMPARE(rig.prompts.messages(), QStringList{QString::fromUtf16(kFinished) + rig.out(u"全部附件"_s)});
    QVERIFY(!QFileInfo::exists(rig.out(u"全部附件"_s)));
    pages->setChecked(true);
    QCOMPARE(platform::readProfileString(settings, u"export"_s, u"html"_s), u"1"_s);
    exportAll();
    QCOMPARE(filesBelow(rig.out(u"全部附件"_s)).size(), 4); // two pages, the index and its list of documents
}

void TestExportCommand::dialogs()
{
    // What the two prompts answer.
    {
        ScriptedPrompts prompts;
        QVERIFY(!askExportTarget(prompts, outputFormats())); // cancelled save dialog: nothing else asked
        QCOMPARE(prompts.shown, QStringList{kSaveDialog});
        prompts.saveAnswers.push_back(u"/out/合同.xls"_s);
        const std::optional<ExportTarget> fromFirst = askExportTarget(prompts, outputFormats()); // cancelled input box
        QVERIFY(fromFirst);
        QCOMPARE(fromFirst->fileName, u"/out/合同.xls"_s);
        QCOMPARE(fromFirst->startNo, u"1"_s);
        prompts.saveAnswers.push_back(u"/out/合同"_s);
        prompts.inputAnswers.push_back(u" 3"_s);
        QCOMPARE(askExportTarget(prompts, outputFormats())->startNo, u" 3"_s);
    }

    CommandRig rig;
    addView(rig.db, 3);
    rig.list(u"全部"_s);

    // Cancelled save dialog: nothing else, nothing written.
    rig.exportCommand();
    QCOMPARE(rig.prompts.shown, QStringList{kSaveDialog});
    QVERIFY(!QFileInfo::exists(rig.logPath()));

    // Cancel in the input box still exports, from document 1.
    rig.prompts.shown.clear();
    rig.prompts.saveAnswers.push_back(rig.out(u"合同.xls"_s));
    rig.exportCommand();
    QCOMPARE(rig.prompts.shown.mid(0, 2),
             (QStringList{kSaveDialog, u"input:请输入从第几个文档开始导出!|从第几个文档开始导：|1"_s}));
    QVERIFY(QFileInfo::exists(rig.out(u"合同_开始为第1个文档.xls"_s)));
    QCOMPARE(rig.prompts.messages(),
             QStringList{QString::fromUtf16(kFinished) + rig.out(u"全部附件"_s) + u"\n另外写了4个网页，用浏览器打开"_s +
                         rig.out(u"全部附件"_s) + u"/index.html即可浏览。"_s});

    // The typed text names the workbook as typed.
    rig.prompts.shown.clear();
    rig.prompts.saveAnswers.push_back(rig.out(u"合同"_s));
    rig.prompts.inputAnswers.push_back(u" 3"_s);
    rig.exportCommand();
    QVERIFY(QFileInfo::exists(rig.out(u"合同_开始为第 3个文档.xls"_s)));

    // A name as long as a long view's is cut on a character, the file's own name within 255 bytes.
    rig.prompts.shown.clear();
    rig.prompts.saveAnswers.push_back(rig.out(QString(100, u'视') + u".xls"_s));
    rig.prompts.inputAnswers.push_back(u"2"_s);
    rig.exportCommand();
    QCOMPARE(rig.prompts.errors(), QStringList());
    QVERIFY(QFileInfo::exists(rig.out(QString(76, u'视') + u"_开始为第2个文档.xls"_s)));
}

void TestExportCommand::chosenTypeDecidesTheFile()
{
    // The type chosen in the save dialog decides the writer and the name's extension; the name typed
    // keeps an extension of another type, as it keeps any other text.
    CommandRig rig;
    addView(rig.db, 3);
    rig.list(u"全部"_s);
    const struct
    {
        int type;
        QString typed;
        QString saved;
        QByteArray starts;
    } cases[] = {
        {1, u"合同.xlsx"_s, u"合同_开始为第1个文档.xlsx"_s, "PK\x03\x04"},
        {2, u"合同.CSV"_s, u"合同_开始为第1个文档.csv"_s, "\xEF\xBB\xBF\xE6\x96\x87"},
        {2, u"名单.xls"_s, u"名单.xls_开始为第1个文档.csv"_s, "\xEF\xBB\xBF"},
    };
    for (const auto& c : cases) {
        rig.prompts.saveAnswers.push_back(rig.out(c.typed));
        rig.prompts.saveFilterAnswers.push_back(c.type);
        rig.exportCommand();
        QFile file(rig.out(c.saved));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(c.saved));
        QVERIFY2(file.readAll().startsWith(c.starts), qPrintable(c.saved));
    }
    QFile csv(rig.out(u"合同_开始为第1个文档.csv"_s));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll().mid(3).split('\n').value(0), "文档ID,Subject,Count,网页\r");
}

void TestExportCommand::checksThroughTheErrorHandler()
{
    CommandRig rig;
    addView(rig.db, 3);
    rig.list(u"全部"_s);

    rig.prompts.saveAnswers.push_back(rig.out(u"a.xls"_s));
    rig.prompts.inputAnswers.push_back(u"abc"_s);
    rig.exportCommand();
    QCOMPARE(rig.prompts.errors(), QStringList{u"'abc' is not a valid integer value."_s});
    QVERIFY(!QFileInfo::exists(rig.logPath()));

    QFile existing(rig.out(u"a_开始为第1个文档.xls"_s));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("keep");
    existing.close();
    rig.prompts.shown.clear();
    rig.prompts.saveAnswers.push_back(rig.out(u"a.xls"_s));
    rig.exportCommand();
    QCOMPARE(rig.prompts.messages(), QStringList{existing.fileName() + u"文件已存在!"_s});
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("keep"));
    // So is a link that leads nowhere: nothing is written through it.
    const QString dangling = rig.out(u"c_开始为第1个文档.xls"_s);
    QVERIFY(QFile::link(rig.out(u"nowhere.xls"_s), dangling));
    rig.prompts.shown.clear();
    rig.prompts.saveAnswers.push_back(rig.out(u"c.xls"_s));
    rig.exportCommand();
    QCOMPARE(rig.prompts.messages(), QStringList{dangling + u"文件已存在!"_s});
    QVERIFY(!QFileInfo::exists(rig.out(u"nowhere.xls"_s)));

    // A start below the first document is refused before anything is written.
    for (const QString& start : {u"0"_s, u"-1"_s}) {
        rig.prompts.shown.clear();
        rig.prompts.saveAnswers.push_back(rig.out(u"z.xls"_s));
        rig.prompts.inputAnswers.push_back(start);
        rig.exportCommand();
        QCOMPARE(rig.prompts.messages(), QStringList{u"开始导出的文档序号不能小于1"_s});
        QCOMPARE(QDir(rig.out()).entryList({u"z*"_s}), QStringList());
        QVERIFY(!QFileInfo::exists(rig.logPath()));
    }

    // After a click on a database the count is 0, while the old view name stays; the status says nothing.
    QCOMPARE(rig.window->statusPanelText(1), u"视图：全部(全部) 共有文档:3"_s);
    rig.workspace->pager().stop();
    QCOMPARE(rig.window->statusPanelText(1), QString());
    rig.prompts.shown.clear();
    rig.prompts.saveAnswers.push_back(rig.out(u"b.xls"_s));
    rig.exportCommand();
    QCOMPARE(rig.prompts.messages(), QStringList{u"当前没有可导出的内容"_s});
    QVERIFY(!QFileInfo::exists(rig.logPath()));
}

void TestExportCommand::commandsDisabledAndStateTakenOnce()
{
    CommandRig rig;
    addView(rig.db, 4);
    rig.list(u"全部"_s);
    QStringList seen;
    rig.onEvents = [&] {
        seen << u"%1 %2"_s.arg(rig.window->action(u"export"_s)->isEnabled()).arg(rig.progress.window() != nullptr);
        // What a click elsewhere would do to the fields the run started from.
        rig.workspace->listView(rig.database, u"其他"_s, {});
        rig.workspace->pager().stop();
    };
    rig.prompts.saveAnswers.push_back(rig.out(u"c.xls"_s));
    rig.exportCommand();
    QVERIFY(!seen.isEmpty());
    QCOMPARE(seen.count(u"0 1"_s), seen.size());
    QVERIFY(rig.window->action(u"export"_s)->isEnabled());
    QCOMPARE(rig.progress.window(), nullptr);
    QCOMPARE(rig.prompts.errors(), QStringList());
    // Four documents, two cells each.
    QCOMPARE(rig.events, 4 + 4 * 2);
    QCOMPARE(readLogLines(rig.logPath()).filter(u"完成向excel写入"_s).size(), 4);
}

void TestExportCommand::unguardedFailureClosesEverything()
{
    CommandRig rig;
    addView(rig.db, 3);
    rig.list(u"全部"_s);
    rig.domino.failOn(u"HasAttachments"_s, u"文档已损坏"_s, 1);
    rig.prompts.saveAnswers.push_back(rig.out(u"d.xls"_s));
    rig.exportCommand();
    QCOMPARE(rig.prompts.errors(), QStringList{u"文档已损坏."_s});
    QCOMPARE(rig.progress.window(), nullptr);
    QVERIFY(rig.window->action(u"export"_s)->isEnabled());
    // The first row was saved.
    const QJsonObject sheet = readWithXlrd(rig.out(u"d_开始为第1个文档.xls"_s));
    QVERIFY2(!sheet.contains(u"error"_s), qPrintable(sheet.value(u"error"_s).toString()));
    const QJsonArray cells = sheet.value(u"cells"_s).toArray();
    QCOMPARE(cells.size(), 3);
    QCOMPARE(cells[1].toArray()[1].toString(), u"主题1"_s);
    QCOMPARE(cells[2].toArray()[0].toString(), rig.db.documents[1]->id);
}

void TestExportCommand::noMessageUnderTheProgressWindow_data()
{
    QTest::addColumn<QString>("startNo");
    QTest::addColumn<QString>("failure"); // of the fake component, or "cells" / "excel" of the workbook
    QTest::addColumn<int>("skip");
    QTest::addColumn<QString>("shown"); // the start of what the user sees
    QTest::newRow("document gone") << u"1"_s << u"NthDocument"_s << 0 << u"message:连接文档出错:"_s;
    QTest::newRow("view gone") << u"1"_s << u"FindView"_s << 0 << u"message:连接视图出错:"_s;
    QTest::newRow("row fails") << u"1"_s << u"cells"_s << 0 << u"message:连接文档出错:"_s;
    QTest::newRow("general error") << u"1"_s << u"HasAttachments"_s << 1 << u"error:坏了"_s;
    QTest::newRow("files lost") << u"1"_s << u"SaveToFile"_s << 0
                                << u"message:"_s + QString::fromUtf16(kFinishedWithLosses);
    QTest::newRow("no excel") << u"1"_s << u"excel"_s << 0 << u"message:"_s + QString::fromUtf16(kExcelMissing);
    QTest::newRow("finished") << u"1"_s << QString() << 0 << u"message:"_s + QString::fromUtf16(kFinished);
}

void TestExportCommand::noMessageUnderTheProgressWindow()
{
    QFETCH(QString, startNo);
    QFETCH(QString, failure);
    QFETCH(int, skip);
    QFETCH(QString, shown);
    auto cells = std::make_shared<RecordingExcel::Shared>();
    // Header and first row are 4 + 3 cells; the second row's Subject and its asterisks fail.
    cells->fail(u"SetCellValue"_s, 8, 2);
    const bool recording = failure == u"cells"_s || failure == u"excel"_s;
    CommandRig rig(recording ? ExcelFactory([cells, failure]() -> std::unique_ptr<workbook::ExcelApplication> {
        if (failure == u"excel"_s)
            return nullptr;
        return std::make_unique<RecordingExcel>(cells);
    })
                             : ExcelFactory(workbook::createXlsWriter));
    addView(rig.db, 3);
    rig.db.documents[0]->attachment(u"a.txt"_s, "a");
    rig.list(u"全部"_s);
    if (!failure.isEmpty() && !recording)
        rig.domino.failOn(failure, u"坏了"_s, skip);
    rig.prompts.saveAnswers.push_back(rig.out(u"e.xls"_s));
    rig.prompts.inputAnswers.push_back(startNo);
    rig.exportCommand();
    const QStringList seen = rig.prompts.shown.filter(QRegularExpression(u"^(message|error):"_s));
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen[0].startsWith(shown), qPrintable(seen[0]));
    QCOMPARE(rig.prompts.covered, QStringList());
    QCOMPARE(rig.progress.window(), nullptr);
}

void TestExportCommand::roundTripThroughTheWriter()
{
    CommandRig rig;
    rig.db.addView(u"按日期\\全部"_s);
    FakeDocument& first = rig.db.addDocument();
    first.text(u"Subject"_s, u"合同 \"甲\""_s)
        .text(u"2024"_s, u"007"_s)
        .richText(u"Body"_s, u"正文第一行\n第二行"_s, {{u"图1.png"_s, "PNG1"}, {u"图2.png"_s, "PNG2"}})
        .number(u"金额"_s, 1234.5)
        .attachment(u"a.doc"_s, "DOC")
        .attachment(u"../b.pdf"_s, "PDF");
    rig.db.addDocument().text(u"Subject"_s, QString(40000, u'长')).number(u"金额"_s, 1e20);
    rig.list(u"按日期\\全部"_s);
    rig.prompts.saveAnswers.push_back(rig.out(u"导出.XLS"_s));
    rig.exportCommand();
    QCOMPARE(rig.prompts.errors(), QStringList());

    const QJsonObject sheet = readWithXlrd(rig.out(u"导出_开始为第1个文档.xls"_s));
    QVERIFY2(!sheet.contains(u"error"_s), qPrintable(sheet.value(u"error"_s).toString()));
    const QList<QStringList> expected = {
        {u"文档ID"_s, u"Subject"_s, u"2024"_s, u"Body"_s, u"金额"_s},
        {first.id, u"合同 \"甲\""_s, u"007"_s, u"正文第一行\n第二行"_s, u"1234.5"_s},
        {rig.db.documents[1]->id, QString(32767, u'长'), QString(), QString(), u"1E20"_s},
    };
    const QJsonArray rows = sheet.value(u"cells"_s).toArray();
    QCOMPARE(rows.size(), expected.size());
    for (qsizetype r = 0; r < rows.size(); ++r)
        for (qsizetype c = 0; c < expected[r].size(); ++c)
            QCOMPARE(rows[r].toArray()[c].toString(), expected[r][c]);
    const QJsonObject widths = sheet.value(u"widths"_s).toObject();
    const auto chars = [](int width) { return workbook::XlsWriter::storedWidth(width) / 256.0; };
    QCOMPARE(widths.value(u"0"_s).toDouble(), chars(40));
    QCOMPARE(widths.value(u"3"_s).toDouble(), chars(40));
    QCOMPARE(widths.value(u"4"_s).toDouble(), chars(14)); // 金额: 4 bytes + 10
    QCOMPARE(sheet.value(u"text"_s).toArray(), QJsonArray({QJsonArray({0, 2})}));

    const QString folder = rig.out(u"按日期全部附件/"_s) + first.id;
    // The text its cell cuts is saved whole beside the attachments; every document has its page.
    QStringList files{first.id + u"/a.doc"_s,
                      first.id + u"/b.pdf"_s,
                      first.id + u"/图1.png"_s,
                      first.id + u"/图2.png"_s,
                      rig.db.documents[1]->id + u"/Subject.txt"_s,
                      first.id + u"/文档.html"_s,
                      rig.db.documents[1]->id + u"/文档.html"_s,
                      u"index.html"_s,
                      u"index.json"_s};
    files.sort();
    QStringList found = filesBelow(rig.out(u"按日期全部附件"_s));
    found.sort();
    QCOMPARE(found, files);
    for (const QString& name : {u"图1"_s, u"图2"_s}) {
        QFile picture(folder + u'/' + name + u".png"_s);
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QCOMPARE(picture.readAll(), name == u"图1"_s ? QByteArray("PNG1") : QByteArray("PNG2"));
    }
    RunResult oneSavedWhole;
    oneSavedWhole.textsSavedWhole = 1;
    QCOMPARE(rig.prompts.messages(), QStringList{QString::fromUtf16(kFinished) + rig.out(u"按日期全部附件"_s) +
                                                 u"\n另外写了3个网页，用浏览器打开"_s + rig.out(u"按日期全部附件"_s) +
                                                 u"/index.html即可浏览。\n"_s + wholeTextNote(oneSavedWhole)});
}

QTEST_MAIN(TestExportCommand)
#include "tst_export_command.moc"
