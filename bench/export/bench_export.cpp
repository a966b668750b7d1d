// Exports a large view through the main window's export command and the real workbook writer,
// with the log on, and reports throughput, peak memory and log size.
//
// bench_export [--docs N] [--no-events] [--out DIR]
//   --no-events  replace the per-document and per-cell event processing by nothing, to measure its cost
#include "export/exporter.h"
#include "fakedomino.h"
#include "scriptedprompts.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

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

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int documents = 65535;
    bool events = true;
    QString outBase;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--docs"_s && i + 1 < args.size())
            documents = args[++i].toInt();
        else if (args[i] == u"--no-events"_s)
            events = false;
        else if (args[i] == u"--out"_s && i + 1 < args.size())
            outBase = args[++i];
    }
    QTemporaryDir tmp(outBase.isEmpty() ? QDir::tempPath() + u"/bench_export-XXXXXX"_s
                                        : outBase + u"/bench_export-XXXXXX"_s);
    QDir(tmp.path()).mkpath(u"out"_s);
    QDir(tmp.path()).mkpath(u"state"_s);

    testing::FakeDomino domino;
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

    testing::ScriptedPrompts prompts;
    shell::Environment env;
    env.prompts = &prompts;
    env.sessionFactory = domino.sessionFactory();
    env.appPath = tmp.filePath(u"app/"_s);
    env.leftButtonDown = [] { return false; };
    shell::TfrmMain frm(std::move(env));
    exporting::ExporterOptions options;
    options.logFolder = tmp.filePath(u"state/"_s);
    if (!events)
        options.processEvents = [] {};
    exporting::Exporter exporter(frm, workbook::createXlsWriter, options);
    frm.setExportHandlers(&exporter);
    frm.show();
    QCoreApplication::processEvents();

    std::unique_ptr<domino::NotesSession> session = domino.sessionFactory()();
    frm.state().curDatabase->ConnectTo(session->OpenDatabase(QString(), u"/data/big.nsf"_s, false));
    frm.state().viewName = u"全部"_s;
    frm.state().docCount = documents;
    prompts.saveAnswers.push_back(tmp.filePath(u"out/big.xls"_s));

    const long rssBefore = statusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    frm.exportExecute();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;

    const QString workbookPath = tmp.filePath(u"out/big_开始为第1个文档.xls"_s);
    int logFiles = 0;
    int attachmentFiles = 0;
    const qint64 logBytes = folderBytes(tmp.filePath(u"state"_s), &logFiles);
    folderBytes(tmp.filePath(u"out/全部附件"_s), &attachmentFiles);
    const qint64 cells = qint64(documents) * 21;
    std::printf("documents            %d (20 items each, 1 rich text; 2 attachments every 100)\n", documents);
    std::printf("event processing     %s\n", events ? "on (per document and per cell)" : "off");
    std::printf("export time          %.2f s\n", seconds);
    std::printf("documents per second %.0f\n", documents / seconds);
    std::printf("cells per second     %.0f\n", double(cells) / seconds);
    std::printf("peak memory (VmHWM)  %.1f MB (RSS before export %.1f MB, test database included)\n",
                statusKb("VmHWM:") / 1024.0, rssBefore / 1024.0);
    std::printf("workbook             %.1f MB\n", QFileInfo(workbookPath).size() / 1048576.0);
    std::printf("log                  %.1f MB in %d file(s)\n", logBytes / 1048576.0, logFiles);
    std::printf("attachment files     %d\n", attachmentFiles);
    std::printf("messages             %s\n", qPrintable(prompts.shown.join(u" | "_s)));
    return QFileInfo::exists(workbookPath) ? 0 : 1;
}
