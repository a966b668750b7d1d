// Paging through a view of a million documents: NthDocument plus a page of 100 rows (ids and column
// values through NextDocument) at the start, the middle and the end, in a view of item columns and in one
// of two formula columns, and the time and peak memory the admin tool takes to make that database. Then the
// same view on a server, where Readers items are checked: without restricted documents, in a database where every
// 100th document has a Readers item that does not name the user, and in one where every document has one that does.

#include "domino/loader.h"
#include "domino/value.h"
#include "platform/paths.h"
#include "platform/registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace quill::domino;

namespace {

double pageMs(NotesView& view, int position, int rows, QString* firstId)
{
    QElapsedTimer timer;
    timer.start();
    auto doc = view.NthDocument(position);
    *firstId = doc->DocumentId();
    qsizetype sink = 0;
    for (int row = 0; row < rows && doc; ++row) {
        sink += doc->DocumentId().size();
        for (const Value& value : doc->ColumnValues())
            sink += ValueToText(value).size();
        if (row + 1 < rows)
            doc = view.NextDocument(*doc);
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (sink == 0)
        std::printf("(empty page)\n");
    return ms;
}

// The median of seven page loads at the start, the middle and the end.
void measurePages(NotesView& view, const char* what)
{
    const qint64 count = view.EntryCount();
    const int last = int(std::max<qint64>(1, count - 99));
    const char* const places[] = {"start", "middle", "end"};
    int place = 0;
    for (int position : {1, int(std::max<qint64>(1, count / 2)), last}) {
        std::vector<double> times;
        QString id;
        for (int run = 0; run < 7; ++run)
            times.push_back(pageMs(view, position, 100, &id));
        const double first = times.front();
        std::sort(times.begin(), times.end());
        std::printf("%s position %7d: first %.2f ms, median %.2f ms, max %.2f ms (first id %s)\n",
                    qPrintable(view.ViewName()), position, first, times[times.size() / 2], times.back(),
                    qPrintable(id));
        std::printf("figure\tQuillmere\tcomponent: 100-row page%s at the %s, median ms\t%.2f\n", what, places[place++],
                    times[times.size() / 2]);
    }
}

// Runs the admin tool; false when it fails.
bool admin(const QStringList& arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(QString::fromUtf8(QUILL_ADMIN_TOOL_PATH), arguments);
    return tool.waitForFinished(-1) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 count = args.size() > 1 ? args[1].toLongLong() : 1000000;
    QTemporaryDir temp(args.size() > 2 ? args[2] + u"/quill-bench-XXXXXX"_s
                                       : QDir::tempPath() + u"/quill-bench-XXXXXX"_s);
    const QString database = temp.filePath(u"big.nsf"_s);

    QElapsedTimer timer;
    timer.start();
    // Without the full-text index (bench_fulltext measures it): the figures compare with those before it.
    if (!admin({u"generate"_s, database, u"--count"_s, QString::number(count), u"--no-index"_s})) {
        std::fprintf(stderr, "generate failed\n");
        return 1;
    }
    struct rusage usage = {};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::printf("generate %lld documents: %.1f s, file %.1f MB, peak RSS %ld KiB\n", static_cast<long long>(count),
                double(timer.elapsed()) / 1000.0, double(QFileInfo(database).size()) / 1048576.0, usage.ru_maxrss);
    std::printf("figure\tQuillmere\tcomponent: generate %lld documents: seconds\t%.1f\n", static_cast<long long>(count),
                double(timer.elapsed()) / 1000.0);
    std::printf("figure\tQuillmere\tcomponent: database file, MiB\t%.0f\n",
                double(QFileInfo(database).size()) / 1048576.0);
    std::printf("figure\tQuillmere\tcomponent: generate peak memory, MiB\t%.0f\n", usage.ru_maxrss / 1024.0);

    // The formulas are evaluated on the page's rows as they are read.
    timer.restart();
    if (!admin(
            {u"add-view"_s, database, u"--name"_s, u"公式"_s, u"--column"_s, u"序号=@DocNumber"_s, u"--column"_s,
             u"摘要=@If(Status = \"已完成\"; @Text(Number) + \"：\" + Subject; Subject + \"（\" + Status + \"）\")"_s})) {
        std::fprintf(stderr, "add-view failed\n");
        return 1;
    }
    std::printf("figure\tQuillmere\tcomponent: add-view of two formula columns: seconds\t%.1f\n",
                double(timer.elapsed()) / 1000.0);

    // The component reads the data directory from the registry of this process's user: one of the benchmark's own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.filePath(u"config"_s)));
    quill::platform::Registry registry(quill::platform::registryFilePath());
    registry.writeString(QString::fromUtf16(kSessionClassKey), QString(), QString::fromUtf8(QUILL_COMPONENT_PATH));
    auto session = createRegisteredSession(registry);
    session->InitLocalSession(QString());

    timer.restart();
    auto db = session->OpenDatabase(QString(), database, false);
    auto view = db->FindView(u"全部"_s);
    const int entries = view->EntryCount();
    std::printf("open + FindView + EntryCount (%d): %.2f ms\n", entries, double(timer.nsecsElapsed()) / 1e6);
    std::printf("figure\tQuillmere\tcomponent: open + FindView + EntryCount: ms\t%.2f\n",
                double(timer.nsecsElapsed()) / 1e6);

    measurePages(*view, "");
    auto formulas = db->FindView(u"公式"_s);
    measurePages(*formulas, " with two formula columns");
    view.reset();
    formulas.reset();
    db.reset();

    // On a server. The program finds the view again for every page: the second FindView is what a page costs.
    const QString names = temp.filePath(u"names.nsf"_s);
    timer.restart();
    const struct
    {
        QString file;
        const char* every;
        const char* what;
    } restricted[] = {{u"restricted.nsf"_s, "100", "every 100th document"},
                      {u"allrestricted.nsf"_s, "1", "every document"}};
    for (const auto& r : restricted) {
        if (!admin({u"generate"_s, temp.filePath(r.file), u"--count"_s, QString::number(count), u"--readers-every"_s,
                    QString::fromLatin1(r.every), u"--no-index"_s})) {
            std::fprintf(stderr, "generate failed\n");
            return 1;
        }
        std::printf("figure\tQuillmere\tcomponent: generate %lld documents, %s with Readers items: seconds\t%.1f\n",
                    static_cast<long long>(count), r.what, double(timer.elapsed()) / 1000.0);
        timer.restart();
    }
    if (!admin({u"create-db"_s, names}) || !admin({u"add-server-name"_s, names, u"BENCH"_s}) ||
        !admin({u"add-user"_s, names, u"--name"_s, u"演示用户"_s, u"--password"_s, u"p"_s}) ||
        !admin({u"add-user"_s, names, u"--name"_s, u"甲"_s, u"--password"_s, u"p"_s})) {
        std::fprintf(stderr, "making the directory failed\n");
        return 1;
    }
    registry.writeString(u"\\Software\\Lotus\\Domino"_s, u"DataPath"_s, temp.path());
    // generate's Readers items name 甲 only.
    const struct
    {
        QString file;
        QString user;
        const char* what;
    } servers[] = {{u"big.nsf"_s, u"演示用户"_s, "no document restricted"},
                   {u"restricted.nsf"_s, u"演示用户"_s, "every 100th hidden"},
                   {u"allrestricted.nsf"_s, u"甲"_s, "every document restricted and readable"}};
    for (const auto& s : servers) {
        auto server = createRegisteredSession(registry);
        server->InitUserSession(s.user, u"p"_s);
        timer.restart();
        auto serverDb = server->OpenDatabase(u"BENCH"_s, s.file, false);
        auto serverView = serverDb->FindView(u"全部"_s);
        const int visible = serverView->EntryCount();
        const double first = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        serverView = serverDb->FindView(u"全部"_s);
        const double again = double(timer.nsecsElapsed()) / 1e6;
        std::printf("server, %s: %d documents readable, open + FindView + EntryCount %.2f ms, FindView again %.2f ms\n",
                    s.what, visible, first, again);
        std::printf("figure\tQuillmere\tcomponent on a server, %s: open + FindView + EntryCount: ms\t%.2f\n", s.what,
                    first);
        std::printf("figure\tQuillmere\tcomponent on a server, %s: FindView again: ms\t%.2f\n", s.what, again);
        measurePages(*serverView, (u" on a server, "_s + QString::fromUtf8(s.what)).toUtf8().constData());
    }
    return 0;
}
