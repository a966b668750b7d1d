#include "app/exportcommand.h"
#include "domino/loader.h"
#include "domino/value.h"
#include "exporttestsupport.h"
#include "platform/registry.h"
#include "scriptedprompts.h"
#include "shell/mainwindow.h"
#include "shell/progressdisplay.h"
#include "testsupport/sample_installation.h"
#include "workspace/workspace.h"
#include "workspacesupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill;
using namespace quill::app;
using namespace quill::exporting;
using namespace quill::testing;

namespace {

// The header and the first count rows of the sheet against what the component says of the view's documents.
void checkFirstRows(const domino::NotesView& view, const QJsonArray& rows, int count)
{
    const std::unique_ptr<domino::NotesDocument> first = view.NthDocument(1);
    const QStringList names = first->Items();
    QCOMPARE(rows[0].toArray()[0].toString(), u"文档ID"_s);
    for (int j = 0; j < count; ++j) {
        const std::unique_ptr<domino::NotesDocument> doc = view.NthDocument(j + 1);
        const QJsonArray row = rows[j + 1].toArray();
        QCOMPARE(row[0].toString(), doc->DocumentId());
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(rows[0].toArray()[i + 1].toString(), names[i]);
            QString expected;
            std::unique_ptr<domino::NotesItem> item;
            try {
                item = doc->ItemByName(names[i]);
            } catch (const std::exception&) {
                QCOMPARE(row.size() > i + 1 ? row[i + 1].toString() : QString(), QString());
                continue;
            }
            if (item && item->ItemType() == domino::NotesItem::RichText) {
                expected = doc->RichTextItemByName(names[i])->FormattedText(true, 80);
            } else {
                QStringList texts;
                for (const domino::Value& value : doc->ItemValue(names[i]))
                    if (!value.isNull())
                        texts << domino::ValueToText(value);
                expected = texts.join(u", "_s);
            }
            QCOMPARE(row[i + 1].toString(), defaultFormat().cutToCell(expected));
        }
    }
}

// Another program that writes the database while a run reads it, started at the first step of the run once
// armed: documents that sort first and in the middle, a view, documents again, one after the other. Every step
// waits a little for it, so that it runs while the run reads.
struct WriterDuringRun
{
    WriterDuringRun(const QString& databaseFile, const QString& documentsFile)
    {
        const QStringList addDocuments = {u"add-docs"_s, databaseFile, documentsFile};
        writes = {addDocuments,
                  {u"add-view"_s, databaseFile, u"--name"_s, u"写入中"_s, u"--column"_s, u"编号=No"_s},
                  addDocuments};
    }

    std::vector<QStringList> writes;
    bool armed = false;
    QProcess process;
    QStringList failures;

    // Keeps what the last write said when it failed.
    void takeResult()
    {
        if (!process.program().isEmpty() && (process.exitStatus() != QProcess::NormalExit || process.exitCode()))
            failures << QString::fromUtf8(process.readAllStandardError());
    }

    void step()
    {
        if (!armed)
            return;
        if (process.state() == QProcess::NotRunning && !writes.empty()) {
            takeResult();
            process.start(component::testing::adminToolPath(), writes.front());
            writes.erase(writes.begin());
        }
        process.waitForFinished(50);
    }
};

} // namespace

class TestExportComponent : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void roundTripThroughComponentAndWriter();
};

void TestExportComponent::roundTripThroughComponentAndWriter()
{
    QTemporaryDir tmp;
    const component::testing::SampleInstallation sample =
        component::testing::makeSampleInstallation(tmp.path(), component::testing::SampleUse::PrivateCopy);
    platform::Registry registry(sample.registryPath);
    ScriptedPrompts prompts;
    shell::ProgressDisplay progress;
    workspace::Workspace ws(domino::registeredSessionFactory(registry), tmp.filePath(u"app/"_s));
    shell::Environment env;
    env.prompts = &prompts;
    env.leftButtonDown = [] { return false; };
    shell::MainWindow window(ws, std::move(env));
    ExportCommandOptions options;
    options.logFolder = tmp.filePath(u"state/"_s);
    QDir().mkpath(options.logFolder);
    options.clock = fixedNow;
    const QString file = sample.dataDir + u"/crm.nsf"_s;
    const QString newCustomers = tmp.filePath(u"customers.json"_s);
    {
        QFile json(newCustomers);
        QVERIFY(json.open(QIODevice::WriteOnly));
        json.write(uR"([{"form": "Customer", "items": [{"name": "客户编号", "value": 0.5}]},
                        {"form": "Customer", "items": [{"name": "客户编号", "value": 100.5}]}])"_s.toUtf8());
    }
    WriterDuringRun writer(file, newCustomers);
    options.processEvents = [&] {
        QCoreApplication::processEvents();
        writer.step();
    };
    ExportCommand exporter(window, ws, progress, options);
    exporter.attachCommands();
    window.show();

    // What opening the file and clicking its view leave behind.
    ws.session().InitLocalSession(QString());
    listAndLoad(ws, ws.session().OpenDatabase(QString(), file, false), u"全部"_s, {QString(), file});
    const std::unique_ptr<domino::NotesView> view = ws.database().FindView(u"全部"_s);
    QCOMPARE(ws.docCount(), 250);

    QDir().mkpath(tmp.filePath(u"out"_s));
    prompts.saveAnswers.push_back(tmp.filePath(u"out/客户.xls"_s));
    prompts.inputAnswers.push_back(u"248"_s); // 248..250 after the first row check below
    window.trigger(shell::Command::Export);
    QCOMPARE(prompts.errors(), QStringList());
    QCOMPARE(progress.window(), nullptr);
    // Another program writes the database while the whole view is exported: it gets in during the run
    // (the run waits a little at every step until then), and the run still writes the view as it was when
    // it began, each document once.
    view->SetAutoUpdate(false);
    QStringList before;
    for (auto doc = view->NthDocument(1); doc; doc = view->NextDocument(*doc))
        before << doc->DocumentId();
    writer.armed = true;
    prompts.saveAnswers.push_back(tmp.filePath(u"out/客户.xls"_s));
    prompts.inputAnswers.push_back(u"1"_s);
    window.trigger(shell::Command::Export);
    QCOMPARE(prompts.errors(), QStringList());
    QCOMPARE(writer.process.state(), QProcess::NotRunning);
    QVERIFY(writer.writes.empty());
    writer.takeResult();
    QCOMPARE(writer.failures, QStringList());
    QVERIFY(ws.database().Views().contains(u"写入中"_s));
    QCOMPARE(ws.database().FindView(u"全部"_s)->EntryCount(), 254);
    const QString attachments = tmp.filePath(u"out/全部附件"_s);
    // Each finished line is followed by the pages written; the documents with Readers items have items the start
    // document lacks: the .xls says how many.
    const QStringList messages = prompts.messages();
    QCOMPARE(messages.size(), 2);
    for (const QString& message : messages) {
        QCOMPARE(message.section(u'\n', 0, 0), QString::fromUtf16(kFinished) + attachments);
        QVERIFY(message.section(u'\n', 1, 1).startsWith(u"另外写了"_s));
        QVERIFY2(message.count(u'\n') == 1 || message.section(u'\n', 2).contains(u"个域起始文档没有"_s),
                 qPrintable(message));
    }

    QProcess python;
    python.start(u"/usr/bin/python3"_s,
                 {u"-c"_s,
                  u"import json,sys,xlrd\n"
                  "s=xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                  "print(json.dumps([[s.cell_value(r,c) for c in range(s.ncols)] for r in range(s.nrows)]))"_s,
                  tmp.filePath(u"out/客户_开始为第1个文档.xls"_s)});
    QVERIFY(python.waitForFinished(60000));
    QCOMPARE(python.exitCode(), 0);
    const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    QCOMPARE(rows.size(), 251);
    QStringList written;
    for (qsizetype r = 1; r < rows.size(); ++r)
        written << rows[r].toArray()[0].toString();
    QCOMPARE(written, before);

    // Every cell of the first rows against what the component itself says.
    checkFirstRows(*view, rows, 3);
    if (QTest::currentTestFailed())
        return;

    const std::unique_ptr<domino::NotesDocument> first = view->NthDocument(1);
    const QString firstFolder = first->DocumentId() + u'/';
    const QStringList files = filesBelow(attachments);
    for (const QString& name : {u"合同.txt"_s, u"报价单.csv"_s, u"示意图.png"_s, u"说明.txt"_s, u"明细.csv"_s})
        QVERIFY2(files.contains(firstFolder + name), qPrintable(files.join(u", "_s)));
    QVERIFY(QFileInfo(tmp.filePath(u"out/客户_开始为第248个文档.xls"_s)).size() > 0);
    const QStringList log = readLogLines(tmp.filePath(u"state/log20261208.txt"_s));
    QCOMPARE(log.filter(u"完成向excel写入第"_s).size(), 3 + 250);
}

QTEST_MAIN(TestExportComponent)
#include "tst_export_component.moc"
