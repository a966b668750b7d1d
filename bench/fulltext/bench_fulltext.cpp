// Full-text search of a million generated documents with Chinese text (nlsxbe-admin generate --words 20). The index
// as a first search makes it for a file without one (nlsxbe-admin index: short transactions): its time and size next
// to the database's, and the longest a reader's 100-row page waits meanwhile. Then searches through the component:
// terms of three and four characters (found through the index), of one and two (a scan of the index's stored text),
// the next page of 100 results, a view narrowed to its results and its next page, broad terms, and a search of the
// file without its index, as where it cannot be written.

#include "domino/ftsearch.h"
#include "domino/loader.h"
#include "domino/value.h"
#include "fulltext.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "store.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

using namespace Qt::StringLiterals;
using namespace quill::domino;

namespace {

void figure(const QString& measure, double value, int decimals = 1)
{
    std::printf("figure\tQuillmere\tfull-text: %s\t%.*f\n", qPrintable(measure), decimals, value);
    std::fflush(stdout);
}

// The admin tool, started; its process id, or -1.
pid_t start(const QStringList& arguments)
{
    std::vector<QByteArray> bytes{QByteArray(QUILL_ADMIN_TOOL_PATH)};
    for (const QString& argument : arguments)
        bytes.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, argv.front(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Whether the child has ended (waiting for it when wait), successfully; its peak memory in MiB.
bool ended(pid_t pid, bool wait, bool* ok, double* peakMiB)
{
    int status = 0;
    struct rusage usage = {};
    const pid_t done = wait4(pid, &status, wait ? 0 : WNOHANG, &usage);
    if (done != pid)
        return false;
    *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    *peakMiB = double(usage.ru_maxrss) / 1024.0;
    return true;
}

bool run(const QStringList& arguments, double* peakMiB)
{
    const pid_t pid = start(arguments);
    bool ok = false;
    return pid > 0 && ended(pid, true, &ok, peakMiB) && ok;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[size_t(std::max(0.0, std::ceil(p * double(values.size())) - 1))];
}

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double mib(const QString& path)
{
    return double(QFileInfo(path).size()) / 1048576.0;
}

// A page of the list: 100 rows of id and column values from position on.
void page(const NotesView& view, int position)
{
    auto doc = view.NthDocument(position);
    for (int row = 0; row < 100 && doc; ++row) {
        doc->DocumentId();
        for (const Value& value : doc->ColumnValues())
            ValueToText(value);
        doc = view.NextDocument(*doc);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 count = args.size() > 1 ? args[1].toLongLong() : 1000000;
    QTemporaryDir temp(args.size() > 2 ? args[2] + u"/quill-bench-XXXXXX"_s
                                       : QDir::tempPath() + u"/quill-bench-XXXXXX"_s);
    const QString database = temp.filePath(u"search.nsf"_s);
    const QString unindexed = temp.filePath(u"unindexed.nsf"_s);
    const QString n = QString::number(count);

    QElapsedTimer timer;
    timer.start();
    double peak = 0;
    if (!run({u"generate"_s, database, u"--count"_s, n, u"--words"_s, u"20"_s, u"--no-index"_s}, &peak)) {
        std::fprintf(stderr, "generate failed\n");
        return 1;
    }
    figure(u"generate "_s + n + u" documents of 20 Chinese words, no index: seconds"_s, double(timer.elapsed()) / 1e3);
    figure(u"database file without the index, MiB"_s, mib(database), 0);
    QFile::copy(database, unindexed);

    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.filePath(u"config"_s)));
    quill::platform::Registry registry(quill::platform::registryFilePath());
    registry.writeString(QString::fromUtf16(kSessionClassKey), QString(), QString::fromUtf8(QUILL_COMPONENT_PATH));
    auto session = createRegisteredSession(registry);
    session->InitLocalSession(QString());

    // The index, while this process pages through the view as the window would.
    {
        auto reader = session->OpenDatabase(QString(), database, false);
        auto view = reader->FindView(u"全部"_s);
        const int entries = view->EntryCount();
        timer.restart();
        const pid_t pid = start({u"index"_s, database});
        std::vector<double> pages;
        bool ok = false;
        QRandomGenerator random(1);
        while (pid > 0 && !ended(pid, false, &ok, &peak)) {
            QElapsedTimer one;
            one.start();
            page(*view, 1 + random.bounded(std::max(1, entries - 100)));
            pages.push_back(msSince(one));
        }
        if (!ok) {
            std::fprintf(stderr, "index failed\n");
            return 1;
        }
        figure(u"index "_s + n + u" documents in short transactions: seconds"_s, double(timer.elapsed()) / 1e3);
        figure(u"index: peak memory, MiB"_s, peak, 0);
        figure(u"database file with the index, MiB"_s, mib(database), 0);
        const auto store = quill::component::Store::open(database, quill::component::Store::Mode::ReadOnly);
        quill::component::Query q(store->statement("SELECT sum(CASE WHEN name = 'fulltext_text' THEN pgsize END), "
                                                   "sum(CASE WHEN name LIKE 'fulltext%' AND name NOT IN "
                                                   "('fulltext_text', 'fulltext_waiting') THEN pgsize END) "
                                                   "FROM dbstat"));
        if (q->step()) {
            figure(u"index: stored text, MiB"_s, double(q->int64(0)) / 1048576.0, 0);
            figure(u"index: FTS5 trigrams, MiB"_s, double(q->int64(1)) / 1048576.0, 0);
        }
        figure(u"100-row pages read while indexing: count"_s, double(pages.size()), 0);
        figure(u"100-row page while indexing: median ms"_s, percentile(pages, 0.5), 2);
        figure(u"100-row page while indexing: longest ms"_s, percentile(pages, 1.0), 2);
    }

    auto db = session->OpenDatabase(QString(), database, false);
    auto view = db->FindView(u"全部"_s);
    // Terms of 1 to 4 characters from the text of random documents.
    QRandomGenerator random(2);
    std::vector<QStringList> terms(5);
    while (terms[1].size() < 40 || terms[2].size() < 40 || terms[3].size() < 40 || terms[4].size() < 40) {
        const QString text =
            view->NthDocument(1 + random.bounded(view->EntryCount()))->ItemValue(u"Text"_s).front().asText();
        const int length = 1 + random.bounded(4);
        const int at = random.bounded(int(text.size()) - length);
        const QString term = text.mid(at, length);
        if (!term.contains(u'，') && !term.contains(u'。') && terms[size_t(length)].size() < 40)
            terms[size_t(length)] << term;
    }
    const auto search = [&](const QStringList& group, std::vector<double>* times, std::vector<double>* found,
                            std::vector<double>* nextPages) {
        for (const QString& term : group) {
            QElapsedTimer one;
            one.start();
            const auto collection = db->FTSearch(u'"' + term + u'"', 0);
            const int hits = collection->Count();
            times->push_back(msSince(one));
            found->push_back(hits);
            if (nextPages && hits >= 200) {
                one.restart();
                for (int position = 101; position <= 200; ++position) {
                    const auto doc = collection->GetNthDocument(position);
                    doc->DocumentId();
                    doc->ItemValue(u"Subject"_s);
                }
                nextPages->push_back(msSince(one));
            }
        }
    };
    std::vector<double> longTimes, longFound, shortTimes, shortFound, nextPages;
    search(terms[3] + terms[4], &longTimes, &longFound, &nextPages);
    search(terms[1] + terms[2], &shortTimes, &shortFound, nullptr);
    figure(u"search, terms of 3-4 characters: p50 ms"_s, percentile(longTimes, 0.5), 2);
    figure(u"search, terms of 3-4 characters: p95 ms"_s, percentile(longTimes, 0.95), 2);
    figure(u"search, terms of 3-4 characters: median documents found"_s, percentile(longFound, 0.5), 0);
    figure(u"search, terms of 1-2 characters: p50 ms"_s, percentile(shortTimes, 0.5), 1);
    figure(u"search, terms of 1-2 characters: p95 ms"_s, percentile(shortTimes, 0.95), 1);
    figure(u"search, terms of 1-2 characters: median documents found"_s, percentile(shortFound, 0.5), 0);
    figure(u"next page of 100 results (id and an item each): p50 ms"_s, percentile(nextPages, 0.5), 2);
    figure(u"next page of 100 results (id and an item each): p95 ms"_s, percentile(nextPages, 0.95), 2);

    // A view of every document narrowed to a search, then its second page as the list shows it. The first search
    // of the view reads its index; later ones find its entries kept.
    std::vector<double> narrowed, viewPages;
    double firstNarrowed = 0;
    for (const QString& term : (terms[3] + terms[4]).mid(0, 21)) {
        QElapsedTimer one;
        one.start();
        const int hits = view->FTSearch(u'"' + term + u'"', 0);
        (firstNarrowed == 0 ? firstNarrowed : narrowed.emplace_back()) = msSince(one);
        if (hits > 0) {
            one.restart();
            page(*view, std::min(101, std::max(1, hits - 99)));
            viewPages.push_back(msSince(one));
        }
    }
    view->Clear();
    figure(u"view of every document narrowed by a 3-4 character term, the view's first search: ms"_s, firstNarrowed, 1);
    figure(u"view narrowed again by another term: p50 ms"_s, percentile(narrowed, 0.5), 2);
    figure(u"view narrowed again by another term: p95 ms"_s, percentile(narrowed, 0.95), 2);
    figure(u"a page (up to 100 rows) of a narrowed view: p50 ms"_s, percentile(viewPages, 0.5), 2);

    // Broad terms: 审批中 is the status of a third of the documents, 文档 in every subject.
    for (const auto& [term, what] : {std::pair{u"审批中"_s, u"a 3-character term in a third of the documents"_s},
                                     std::pair{u"文档"_s, u"a 2-character term in every document"_s}}) {
        QElapsedTimer one;
        one.start();
        const int hits = db->FTSearch(term, 0)->Count();
        figure(what + u" ("_s + QString::number(hits) + u" found): ms"_s, msSince(one), 0);
    }

    // Without the index, as a file that cannot be written is searched: every document read from its items.
    {
        const auto store = quill::component::Store::open(unindexed, quill::component::Store::Mode::ReadOnly);
        QElapsedTimer one;
        one.start();
        const auto hits = quill::component::fulltext::search(*store, FTQuery::parse(terms[3].front()), 0).size();
        figure(u"search without the index (read-only file, "_s + QString::number(hits) + u" found): seconds"_s,
               msSince(one) / 1e3);
    }
    return 0;
}
