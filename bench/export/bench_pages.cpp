// The HTML pages' share of an export: one view of rich-text documents (a table, two pictures, a URL link and a
// document link each) exported through the run with the .xls writer, pages off and on, in one process. Prints the
// times and their ratio as figures.
//
// bench_pages [--component [--items N]] [--label TEXT] [DOCUMENTS [FOLDER]]
//   --component  read the documents through the real component (loaded through its registration) from a database
//                that nlsxbe-admin generate --rich-body makes beforehand (not timed), and export pages off, on and
//                off again; without it the in-memory stand-in, pages off then on, where reading a document costs
//                next to nothing, so that its ratio is no export's
//   --items      with --component: items per document, the rich text included (default 6: Form, the view's four
//                items and the rich text; more are text and number items, as in the export benchmark)
//   --label      where the output goes, as the figures name it ("disk", "tmpfs")
//   DOCUMENTS    default 65,535 (a sheet of .xls)
//   FOLDER       where the database and every export go, each export into a folder of its own (default: the
//                temporary folder)
#include "admin.h"
#include "domino/loader.h"
#include "export/exportrun.h"
#include "fakedomino.h"
#include "platform/registry.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;
using namespace quill;

namespace {

class QuietHost final : public exporting::RunHost
{
public:
    void showProgressWindow() override {}
    void setProgressText(const QString&) override {}
    void setProgress(qint32, qint32) override {}
    void closeProgressWindow() override {}
    void processEvents() override {}
};

// This process's processor time: on a machine shared with other work the wall-clock time says little.
double processorSeconds()
{
    timespec t = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Times
{
    double wall;
    double processor;
};

Times exportOnce(const domino::SessionFactory& sessions, const QString& databasePath, const QString& folder,
                 int documents, bool pages)
{
    QDir().mkpath(folder);
    std::unique_ptr<domino::NotesSession> session = sessions();
    session->InitLocalSession(QString());
    const std::shared_ptr<domino::NotesDatabase> database = session->OpenDatabase(QString(), databasePath, false);
    exporting::ExportLog log(folder + u"/log/"_s);
    QuietHost host;
    const exporting::OutputFormat format = exporting::defaultFormat(); // the .xls writer
    exporting::ExportRun run(*database, *session, format, log, host);
    exporting::RunOutput output;
    output.htmlPages = pages;
    run.setOutput(output);
    QElapsedTimer timer;
    timer.start();
    const double processorBefore = processorSeconds();
    const exporting::RunResult result = run.run({folder + u"/正文.xls"_s, 1}, u"全部"_s, documents);
    const Times seconds{double(timer.nsecsElapsed()) / 1e9, processorSeconds() - processorBefore};
    // Every page with both its pictures, or the figure is not of the export it names.
    if (result.documents != documents ||
        (pages && (result.pages != documents + 1 || result.pageFiles != 2 * documents)) || result.filesLost() > 0) {
        std::fprintf(stderr, "export incomplete: %lld documents, %lld pages, %lld files beside them\n",
                     qint64(result.documents), qint64(result.pages), qint64(result.pageFiles));
        std::exit(1);
    }
    return seconds;
}

void printTimes(const QString& what, const char* run, const Times& times)
{
    std::printf("figure\tQuillmere\t%s, %s (s, processor s)\t%.2f, %.2f\n", qPrintable(what), run, times.wall,
                times.processor);
}

int standIn(int documents, const QTemporaryDir& tmp)
{

    testing::FakeDomino domino;
    testing::FakeDatabase& db = domino.addDatabase(u"/data/pages.nsf"_s);
    db.addView(u"全部"_s, {{u"主题"_s, u"Subject"_s}});
    QString previous = u"00000000000000000000000000000000"_s;
    for (int n = 1; n <= documents; ++n) {
        testing::FakeDocument& doc = db.addDocument();
        const QByteArray dxl = component::admin::generatedRichBody(n, previous);
        doc.text(u"Subject"_s, u"合同%1"_s.arg(n))
            .number(u"Amount"_s, n * 7)
            .richText(u"Body"_s, u"文档%1 的正文"_s.arg(n), {}, dxl);
        previous = doc.id;
    }

    const domino::SessionFactory sessions = domino.sessionFactory();
    const QString database = u"/data/pages.nsf"_s;
    const Times off = exportOnce(sessions, database, tmp.filePath(u"without"_s), documents, false);
    const Times on = exportOnce(sessions, database, tmp.filePath(u"with"_s), documents, true);
    const QString what = u"export of %1 rich-text documents (stand-in)"_s.arg(documents);
    std::printf("figure\tQuillmere\t%s without pages (s, processor s)\t%.2f, %.2f\n", qPrintable(what), off.wall,
                off.processor);
    std::printf("figure\tQuillmere\t%s with pages (s, processor s)\t%.2f, %.2f\n", qPrintable(what), on.wall,
                on.processor);
    std::printf("figure\tQuillmere\t%s, pages on / off (wall)\t%.2f\n", qPrintable(what), on.wall / off.wall);
    return 0;
}

qint64 folderBytes(const QString& folder, qint64* files)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        total += QFileInfo(it.next()).size();
        ++*files;
    }
    return total;
}

int throughComponent(int documents, int items, const QTemporaryDir& tmp, const QString& label)
{
    // The registration the program itself would find, in a registry file of the benchmark's own.
    platform::Registry registry(tmp.filePath(u"registry.reg"_s));
    registry.writeString(QString::fromUtf16(domino::kSessionClassKey), QString(), QStringLiteral(QUILL_COMPONENT_PATH));
    const domino::SessionFactory sessions = domino::registeredSessionFactory(registry);

    const QString database = tmp.filePath(u"pages.nsf"_s);
    QElapsedTimer timer;
    timer.start();
    QProcess admin;
    admin.setProcessChannelMode(QProcess::ForwardedChannels);
    admin.start(QStringLiteral(QUILL_ADMIN_TOOL_PATH),
                {u"generate"_s, database, u"--count"_s, QString::number(documents), u"--items"_s,
                 QString::number(items), u"--richtext"_s, u"--rich-body"_s, u"--no-index"_s});
    if (!admin.waitForFinished(-1) || admin.exitStatus() != QProcess::NormalExit || admin.exitCode() != 0) {
        std::fprintf(stderr, "nlsxbe-admin generate failed\n");
        return 1;
    }
    std::printf("generate             %.2f s (nlsxbe-admin generate --rich-body, not part of the export)\n",
                double(timer.nsecsElapsed()) / 1e9);

    const Times off = exportOnce(sessions, database, tmp.filePath(u"off-1"_s), documents, false);
    const Times on = exportOnce(sessions, database, tmp.filePath(u"on"_s), documents, true);
    const Times offAgain = exportOnce(sessions, database, tmp.filePath(u"off-2"_s), documents, false);
    const Times offMean{(off.wall + offAgain.wall) / 2, (off.processor + offAgain.processor) / 2};

    qint64 files = 0;
    const qint64 bytes = folderBytes(tmp.filePath(u"on"_s), &files);
    std::printf("output               %s, in %s\n", qPrintable(label), qPrintable(tmp.path()));
    std::printf("pages on             %lld files, %.1f MB\n", files, double(bytes) / 1048576.0);

    // Short enough for the measure column of bench/run.sh's table.
    const QString what = u"pages: %1 docs%2, component, %3"_s.arg(documents).arg(
        items == 6 ? QString() : u" of %1 items"_s.arg(items), label);
    printTimes(what, "off", off);
    printTimes(what, "on", on);
    printTimes(what, "off again", offAgain);
    printTimes(what, "off, mean of both", offMean);
    std::printf("figure\tQuillmere\t%s, on / first off (wall)\t%.2f\n", qPrintable(what), on.wall / off.wall);
    std::printf("figure\tQuillmere\t%s, on / mean off (wall, processor)\t%.2f, %.2f\n", qPrintable(what),
                on.wall / offMean.wall, on.processor / offMean.processor);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool component = false;
    int items = 6;
    QString label = u"disk"_s;
    QStringList positional;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--component"_s)
            component = true;
        else if (args[i] == u"--items"_s && i + 1 < args.size())
            items = args[++i].toInt();
        else if (args[i] == u"--label"_s && i + 1 < args.size())
            label = args[++i];
        else
            positional << args[i];
    }
    const int documents = positional.size() > 0 ? positional[0].toInt() : 65535;
    if (documents < 1 || items < 6) {
        std::fprintf(stderr, "usage: bench_pages [--component [--items N>=6]] [--label TEXT] [DOCUMENTS [FOLDER]]\n");
        return 2;
    }
    QTemporaryDir tmp(positional.size() > 1 ? positional[1] + u"/pages-XXXXXX"_s : QString());
    if (!tmp.isValid()) {
        std::fprintf(stderr, "cannot make a folder: %s\n", qPrintable(tmp.errorString()));
        return 1;
    }
    return component ? throughComponent(documents, items, tmp, label) : standIn(documents, tmp);
}
