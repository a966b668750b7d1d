// Paging through a view of a million documents: NthDocument plus a page of 100 rows (ids and column
// values through NextDocument) at the start, the middle and the end, in a view of item columns and in one
// of two formula columns, and the time and peak memory the admin tool takes to make that database.

#include "domino/loader.h"
#include "domino/value.h"
#include "platform/registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
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
void measurePages(NotesView& view, qint64 count, const char* what)
{
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
    if (!admin({u"generate"_s, database, u"--count"_s, QString::number(count)})) {
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

    quill::platform::Registry registry(temp.filePath(u"registry.reg"_s));
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

    measurePages(*view, count, "");
    auto formulas = db->FindView(u"公式"_s);
    measurePages(*formulas, count, " with two formula columns");
    return 0;
}
