#pragma once

#include "cli/batchjob.h"
#include "cli/exportmanifest.h"
#include "cli/progressboard.h"
#include "cli/viewreport.h"
#include "export/exportlog.h"
#include "export/exportrun.h"
#include "export/outputformat.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace quill::cli {

class ViewExport;

// What every view of a batch is exported with.
struct ViewExportContext
{
    const BatchOptions& options;
    ExportManifest& manifest;
    ProgressBoard& board;
    exporting::OutputFormat format;
};

// The views whose workbooks other jobs may write while the view's own job writes the first: a job with no view
// left to start takes one of them. Safe to use from several threads.
class SharedWorkbooks
{
public:
    // The next view of count to start, if any; until it offers its workbooks (or ends), a job without work
    // waits for it.
    std::optional<size_t> startView(size_t count);
    // The view's workbooks are known; view: one with workbooks left for others, or nullptr.
    void offer(ViewExport* view);
    // The view takes back what nobody has taken; after this no job starts one of its workbooks.
    void withdraw(ViewExport* view);
    // Claims a workbook for another job: its view and its index, or nullptr. With wait, waits while a view
    // that has begun may still offer some; without, answers at once.
    std::pair<ViewExport*, size_t> claim(bool wait);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ViewExport*> m_offered;
    size_t m_nextView = 0;
    int m_unoffered = 0;
};

// The export of one view through the window's run, workbook after workbook: each named by the
// window's rule for its start number, until the view ends (or, without continuation, the first
// sheet is full). A workbook the manifest holds as complete for the same request is kept; one being
// written when the run is interrupted is abandoned unsaved. Offered to other jobs (share), the workbooks
// after the first are written by whichever job is free, each from a view that job holds still itself; the
// view's own job then checks, document by document, that it shows the documents of its own view's moment,
// and writes again one that does not. So every workbook of the view shows that one moment.
class ViewExport
{
public:
    ViewExport(const ViewExportContext& context, BatchJob& job, exporting::ExportLog& log,
               const DatabaseSource& database, const ViewTask& task, SharedWorkbooks* share = nullptr);

    ViewReport run();
    // Writes workbook index, claimed through SharedWorkbooks::claim, for another job with its session and log.
    void writeForOther(size_t index, BatchJob& job, exporting::ExportLog& log);
    // The first workbook nobody has taken, now another job's; none once the view has stopped.
    std::optional<size_t> claimForOther();

private:
    struct Outcome
    {
        enum class Kind
        {
            NotRun,
            Kept,
            Written,
            Interrupted,
            Failed,
            GivenBack // another job's view did not show this one's count: the view's own job writes it
        };
        Kind kind = Kind::NotRun;
        ManifestEntry entry; // the record kept, or the one of the workbook written
        exporting::RunResult result;
        qint64 attachments = 0;
        qint64 pages = 0; // HTML pages and the files they show
        QString error;
        QByteArray documentIds; // a digest of the written documents' ids, in order
    };
    struct Workbook
    {
        qint64 start = 0;
        qint64 documents = 0; // the view's documents it takes
        enum class State
        {
            Open,
            Returned, // for the view's own job only
            Owner,    // being written, or written, by the view's own job
            Other,    // being written by another job
            Helped,   // written by another job, to be checked
            Done
        } state = State::Open;
        Outcome outcome;
    };

    // The view's workbooks, written or kept, until the view ends.
    void writeWorkbooks();
    qint32 countDocuments();
    // The view's own job: takes the next workbook nobody has, or checks one another job wrote; waits for the
    // others when that is all there is. False when nothing is left.
    bool ownStep();
    // Writes the workbook, or keeps it when complete; without recordComplete its record says so only once checked.
    Outcome writeWorkbook(const Workbook& workbook, BatchJob& job, exporting::ExportLog& log,
                          const domino::NotesDatabase& database, domino::NotesView* view, bool recordComplete);
    // Whether the workbook another job wrote holds the documents of this job's view, in its order.
    bool sameDocuments(const Workbook& workbook);
    // The record of a finished workbook, after its files are on the disk.
    void recordDone(ManifestEntry& done);
    void takeOutcome(const Outcome& outcome, bool& failed, bool& interrupted);
    // What a finished run lost is an error of the view, what it noted a note; goOn: the next workbook takes up
    // where the sheet ended, which needs no note.
    void recordLossesAndNotes(const exporting::RunResult& result, bool goOn);
    QString relative(const QString& path) const;
    void progress(qint64 documents, qint64 exported);

    const ViewExportContext& m_context;
    BatchJob& m_job;
    exporting::ExportLog& m_log;
    const DatabaseSource& m_database;
    const ViewTask& m_task;
    SharedWorkbooks* m_share;
    std::shared_ptr<domino::NotesDatabase> m_open;
    std::unique_ptr<domino::NotesView> m_view; // AutoUpdate false
    qint32 m_docCount = 0;
    ViewReport m_report;
    // The documents the pages of this view's workbooks list, for the index each of them rewrites.
    std::shared_ptr<exporting::PageIndex> m_pageIndex = std::make_shared<exporting::PageIndex>();
    int m_slot = -1;
    std::atomic<qint64> m_done{0};
    std::atomic<qint64> m_exported{0};

    std::mutex m_mutex; // guards the workbooks' states and outcomes, and m_stopped
    std::condition_variable m_changed;
    std::vector<Workbook> m_workbooks;
    bool m_stopped = false; // no further workbook is started
    bool m_offered = false;
};

} // namespace quill::cli
