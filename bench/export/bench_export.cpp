// Exports a large view through the main window's export command and the real workbook writer,
// with the log on, and reports throughput, peak memory, log size and the time the writer itself took
// for the same cells (measured around each of its operations), so that export/writer shows what the
// rest costs.
//
// bench_export [--docs N] [--format xls|xlsx|csv] [--no-names-pass] [--no-events] [--no-pages] [--component]
//              [--out DIR] [--keep] [--database FILE]
//   --format     the save dialog's type (default xls)
//   --no-names-pass  .xlsx and CSV with the start document's columns, to measure the pass over every document's
//                item names that their complete columns take
//   --no-events  replace the per-document and per-cell event processing by nothing, to measure its cost
//   --no-pages   without each document's HTML page (the window's setting off)
//   --component  read the documents through the real component (loaded through its registration) from
//                a database that nlsxbe-admin generate makes, instead of the in-memory stand-in
//   --database   with --component: a copy of this database (made by an earlier run kept with --keep)
//                instead of a new one, so that two builds read the same documents
//   --keep       leave the workbook, attachments and log in the run's folder (printed), to compare runs
#include "app/exportcommand.h"
#include "domino/loader.h"
#include "fakedomino.h"
#include "platform/registry.h"
#include "scriptedprompts.h"
#include "shell/mainwindow.h"
#include "shell/progressdisplay.h"
#include "workspace/settings.h"
#include "workspace/workspace.h"
#include "workspacesupport.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace quill;

namespace {

long statusKb(const char* field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    return -1;
}

long maxRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

qint64 folderBytes(const QString& folder, int* files)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        total += QFileInfo(it.next()).size();
        ++*files;
    }
    return total;
}

// The writer, timed: every operation adds the time it took to a total the benchmark owns.
class TimedExcel : public workbook::ExcelApplication
{
public:
    TimedExcel(std::unique_ptr<workbook::ExcelApplication> excel, qint64* nanoseconds)
        : m_excel(std::move(excel)), m_nanoseconds(nanoseconds)
    {
    }
    void StartExcel() override
    {
        timed([&] { m_excel->StartExcel(); });
    }
    void SetColumnWidth(int column, int width) override
    {
        timed([&] { m_excel->SetColumnWidth(column, width); });
    }
    void SetCellTextFormat(int row, int column) override
    {
        timed([&] { m_excel->SetCellTextFormat(row, column); });
    }
    void SetCellValue(int row, int column, const QString& text) override
    {
        timed([&] { m_excel->SetCellValue(row, column, text); });
    }
    void SaveWorkbook(const QString& fileName) override
    {
        timed([&] { m_excel->SaveWorkbook(fileName); });
    }
    void QuitExcel() override
    {
        timed([&] { m_excel->QuitExcel(); });
    }

private:
    template <typename Operation> void timed(const Operation& operation)
    {
        QElapsedTimer timer;
        timer.start();
        const auto add = qScopeGuard([&] { *m_nanoseconds += timer.nsecsElapsed(); });
        operation();
    }

    std::unique_ptr<workbook::ExcelApplication> m_excel;
    qint64* m_nanoseconds;
};

void makeFakeDatabase(testing::FakeDomino& domino, int documents)
{
    testing::FakeDatabase& db = domino.addDatabase(u"/data/big.nsf"_s);
    db.addView(u"全部"_s);
    QStringList names;
    for (int i = 1; i < 20; ++i)
        names << (i % 3 == 0 ? u"金额%1"_s.arg(i) : u"Field%1"_s.arg(i));
    const QByteArray attachment(4096, 'a');
    for (int d = 1; d <= documents; ++d) {
        testing::FakeDocument& doc = db.addDocument();
        for (int i = 0; i < names.size(); ++i) {
            if (i % 3 == 2)
                doc.number(names[i], d * 1.5 + i);
            else
                doc.text(names[i], u"文档%1的第%2个值"_s.arg(d).arg(i));
        }
        doc.richText(u"正文"_s, u"这是第%1个文档的正文，包含一些说明文字。"_s.arg(d));
        if (d % 100 == 0)
            doc.attachment(u"合同%1.txt"_s.arg(d), attachment).attachment(u"报价%1.csv"_s.arg(d), attachment);
    }
}

struct Options
{
    int documents = 65535;
    bool events = true;
    bool pages = true;
    bool component = false;
    bool keep = false;
    QString format = u"xls"_s;
    bool namesPass = true;
    QString outBase;
    QString database;
};

Options parseOptions(const QStringList& args)
{
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--docs"_s && i + 1 < args.size())
            options.documents = args[++i].toInt();
        else if (args[i] == u"--no-events"_s)
            options.events = false;
        else if (args[i] == u"--no-pages"_s)
            options.pages = false;
        else if (args[i] == u"--component"_s)
            options.component = true;
        else if (args[i] == u"--format"_s && i + 1 < args.size())
            options.format = args[++i];
        else if (args[i] == u"--no-names-pass"_s)
            options.namesPass = false;
        else if (args[i] == u"--keep"_s)
            options.keep = true;
        else if (args[i] == u"--database"_s && i + 1 < args.size())
            options.database = args[++i];
        else if (args[i] == u"--out"_s && i + 1 < args.size())
            options.outBase = args[++i];
    }
    return options;
}

// Where the documents come from: the in-memory stand-in, or the component on a generated database.
struct Source
{
    testing::FakeDomino domino;
    std::unique_ptr<platform::Registry> registry;
    domino::SessionFactory factory;
    QString databasePath;
    double generateSeconds = 0;
};

bool useComponent(Source& source, const QTemporaryDir& tmp, int documents, const QString& database)
{
    // The registration the program itself would find, in a registry file of the benchmark's own.
    source.registry = std::make_unique<platform::Registry>(tmp.filePath(u"registry.reg"_s));
    source.registry->writeString(QString::fromUtf16(domino::kSessionClassKey), QString(),
                                 QStringLiteral(QUILL_COMPONENT_PATH));
    source.factory = domino::registeredSessionFactory(*source.registry);
    source.databasePath = tmp.filePath(u"big.nsf"_s);
    if (!database.isEmpty())
        return QFile::copy(database, source.databasePath);
    QElapsedTimer timer;
    timer.start();
    QProcess admin;
    admin.setProcessChannelMode(QProcess::ForwardedChannels);
    admin.start(QStringLiteral(QUILL_ADMIN_TOOL_PATH),
                {u"generate"_s, source.databasePath, u"--count"_s, QString::number(documents), u"--items"_s, u"20"_s,
                 u"--richtext"_s, u"--attachments-every"_s, u"100"_s, u"--no-index"_s});
    if (!admin.waitForFinished(-1) || admin.exitCode() != 0) {
        std::fprintf(stderr, "nlsxbe-admin generate failed\n");
        return false;
    }
    source.generateSeconds = double(timer.nsecsElapsed()) / 1e9;
    return true;
}

void useStandIn(Source& source, int documents)
{
    makeFakeDatabase(source.domino, documents);
    source.factory = source.domino.sessionFactory();
    source.databasePath = u"/data/big.nsf"_s;
}

struct Figures
{
    double seconds = 0;
    qint64 writerNanoseconds = 0;
    long rssBefore = 0;
    QStringList messages;
};

// Opens the database and lists its view as clicking it would, then times the export command.
bool exportView(const Source& source, const Options& options, const QTemporaryDir& tmp, Figures& figures)
{
    testing::ScriptedPrompts prompts;
    workspace::Workspace ws(source.factory, tmp.filePath(u"app/"_s));
    QDir().mkpath(tmp.filePath(u"app"_s));
    workspace::writeHtmlPagesSetting(ws.settingsFilePath(), options.pages);
    shell::Environment env;
    env.prompts = &prompts;
    env.leftButtonDown = [] { return false; };
    shell::MainWindow window(ws, std::move(env));
    app::ExportCommandOptions exporterOptions;
    exporterOptions.logFolder = tmp.filePath(u"state/"_s);
    if (!options.events)
        exporterOptions.processEvents = [] {};
    shell::ProgressDisplay progress;
    qint64* writerTime = &figures.writerNanoseconds;
    size_t type = 0;
    while (type + 1 < exporterOptions.formats.size() && exporterOptions.formats[type].name != options.format)
        ++type;
    exporting::OutputFormat& format = exporterOptions.formats[type];
    if (!options.namesPass)
        format.completeColumns = false;
    format.makeWriter = [writerTime, make = format.makeWriter]() -> std::unique_ptr<workbook::ExcelApplication> {
        return std::make_unique<TimedExcel>(make(), writerTime);
    };
    app::ExportCommand exporter(window, ws, progress, exporterOptions);
    exporter.attachCommands();
    window.show();
    QCoreApplication::processEvents();

    ws.session().InitLocalSession(QString());
    testing::listAndLoad(ws, ws.session().OpenDatabase(QString(), source.databasePath, false), u"全部"_s,
                         {QString(), source.databasePath});
    if (ws.docCount() != options.documents) {
        std::fprintf(stderr, "the view holds %d documents, not %d\n", ws.docCount(), options.documents);
        return false;
    }
    prompts.saveAnswers.push_back(tmp.filePath(u"out/big"_s));
    prompts.saveFilterAnswers.push_back(int(type));

    figures.rssBefore = statusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    window.trigger(shell::Command::Export);
    figures.seconds = double(timer.nsecsElapsed()) / 1e9;
    figures.messages = prompts.shown;
    return true;
}

void report(const Source& source, const Options& options, const QTemporaryDir& tmp, const Figures& figures)
{
    const QString workbookPath = tmp.filePath(u"out/big_开始为第1个文档."_s + options.format);
    int logFiles = 0;
    int attachmentFiles = 0;
    const qint64 logBytes = folderBytes(tmp.filePath(u"state"_s), &logFiles);
    folderBytes(tmp.filePath(u"out/全部附件"_s), &attachmentFiles);
    const int documents = options.documents;
    const qint64 cells = qint64(documents) * 21;
    const double seconds = figures.seconds;
    std::printf("documents            %d (20 items each, 1 rich text; 2 attachments every 100)\n", documents);
    std::printf("domino               %s\n",
                options.component ? "the real component (libnlsxbe.so, registered)" : "in-memory stand-in");
    if (options.component)
        std::printf("generate             %.2f s (nlsxbe-admin, not part of the export)\n", source.generateSeconds);
    std::printf("event processing     %s\n", options.events ? "on (per document and per cell)" : "off");
    std::printf("export time          %.2f s\n", seconds);
    std::printf("documents per second %.0f\n", documents / seconds);
    std::printf("cells per second     %.0f\n", double(cells) / seconds);
    const double writerSeconds = double(figures.writerNanoseconds) / 1e9;
    std::printf("writer time          %.2f s in the writer's operations (%.0f%% of the export; export/writer %.1f)\n",
                writerSeconds, 100 * writerSeconds / seconds, seconds / writerSeconds);
    std::printf("peak memory          %.1f MB ru_maxrss, %.1f MB VmHWM (RSS before export %.1f MB)\n",
                maxRssKb() / 1024.0, statusKb("VmHWM:") / 1024.0, figures.rssBefore / 1024.0);
    std::printf("workbook             %.1f MB\n", QFileInfo(workbookPath).size() / 1048576.0);
    std::printf("log                  %.1f MB in %d file(s)\n", logBytes / 1048576.0, logFiles);
    std::printf("attachment files     %d\n", attachmentFiles);
    std::printf("messages             %s\n", qPrintable(figures.messages.join(u" | "_s)));

    const QByteArray run =
        QStringLiteral("export %1 documents .%2 (%3%4%5)")
            .arg(documents)
            .arg(options.format, options.component ? u"component"_s : u"stand-in"_s,
                 options.events ? QString() : u", no events"_s, options.namesPass ? QString() : u", no names pass"_s)
            .toUtf8();
    std::printf("figure\tQuillmere\t%s: seconds\t%.2f\n", run.constData(), seconds);
    std::printf("figure\tQuillmere\t%s: documents per second\t%.0f\n", run.constData(), documents / seconds);
    std::printf("figure\tQuillmere\t%s: writer seconds, same cells\t%.2f\n", run.constData(), writerSeconds);
    std::printf("figure\tQuillmere\t%s: export/writer\t%.1f\n", run.constData(), seconds / writerSeconds);
    std::printf("figure\tQuillmere\t%s: peak memory, MiB\t%.0f\n", run.constData(), statusKb("VmHWM:") / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    QTemporaryDir tmp(options.outBase.isEmpty() ? QDir::tempPath() + u"/bench_export-XXXXXX"_s
                                                : options.outBase + u"/bench_export-XXXXXX"_s);
    tmp.setAutoRemove(!options.keep);
    if (options.keep)
        std::printf("kept in              %s\n", qPrintable(tmp.path()));
    QDir(tmp.path()).mkpath(u"out"_s);
    QDir(tmp.path()).mkpath(u"state"_s);

    Source source;
    if (options.component) {
        if (!useComponent(source, tmp, options.documents, options.database))
            return 1;
    } else {
        useStandIn(source, options.documents);
    }
    Figures figures;
    if (!exportView(source, options, tmp, figures))
        return 1;
    report(source, options, tmp, figures);
    return QFileInfo::exists(tmp.filePath(u"out/big_开始为第1个文档."_s + options.format)) ? 0 : 1;
}
