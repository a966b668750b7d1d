#include "cli/viewexport.h"

#include "cli/interruption.h"
#include "domino/sessionservice.h"
#include "export/naming.h"
#include "export/runmessages.h"
#include "platform/error.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <functional>

using namespace Qt::StringLiterals;

namespace quill::cli {

namespace {

// The run's host without a window: its progress goes to the view's count, and Ctrl-C asks it to stop.
class BatchHost : public exporting::RunHost
{
public:
    explicit BatchHost(std::function<void(qint64)> advance) : m_advance(std::move(advance)) {}

    void showProgressWindow() override {}
    void setProgressText(const QString&) override {}
    void setProgress(qint32, qint32 position) override
    {
        m_advance(position - m_position);
        m_position = position;
    }
    void closeProgressWindow() override {}
    void processEvents() override {}
    bool cancelRequested() override { return Interruption::requested(); }

private:
    std::function<void(qint64)> m_advance;
    qint64 m_position = 0;
};

void addId(QCryptographicHash& digest, const QString& id)
{
    digest.addData(id.toUtf8());
    digest.addData(QByteArrayView("\n"));
}

// The ids of the documents a run writes, in its order, into a digest.
class IdDigest final : public exporting::DocumentStep
{
public:
    explicit IdDigest(QCryptographicHash& digest) : m_digest(digest) {}
    void take(const exporting::DocumentPass& pass, exporting::ExportLog&, exporting::RunResult&) override
    {
        addId(m_digest, pass.document.DocumentId());
    }

private:
    QCryptographicHash& m_digest;
};

} // namespace

std::optional<size_t> SharedWorkbooks::startView(size_t count)
{
    const std::lock_guard lock(m_mutex);
    if (m_nextView >= count)
        return std::nullopt;
    ++m_unoffered;
    return m_nextView++;
}

void SharedWorkbooks::offer(ViewExport* view)
{
    {
        const std::lock_guard lock(m_mutex);
        --m_unoffered;
        if (view)
            m_offered.push_back(view);
    }
    m_changed.notify_all();
}

void SharedWorkbooks::withdraw(ViewExport* view)
{
    {
        const std::lock_guard lock(m_mutex);
        std::erase(m_offered, view);
    }
    m_changed.notify_all();
}

std::pair<ViewExport*, size_t> SharedWorkbooks::claim(bool wait)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        for (ViewExport* view : m_offered)
            if (const std::optional<size_t> index = view->claimForOther())
                return {view, *index};
        if (!wait || m_unoffered == 0 || Interruption::requested())
            return {nullptr, 0};
        m_changed.wait_for(lock, std::chrono::milliseconds(250));
    }
}

ViewExport::ViewExport(const ViewExportContext& context, BatchJob& job, exporting::ExportLog& log,
                       const DatabaseSource& database, const ViewTask& task, SharedWorkbooks* share)
    : m_context(context), m_job(job), m_log(log), m_database(database), m_task(task), m_share(share)
{
    m_report.database = database.label;
    m_report.view = task.view;
    m_report.format = context.format.name;
}

ViewReport ViewExport::run()
{
    QElapsedTimer clock;
    clock.start();
    try {
        if (!m_task.problem.isEmpty())
            throw platform::Error(m_task.problem);
        writeWorkbooks();
    } catch (const std::exception& e) {
        m_report.status = ViewReport::Status::Failed;
        m_report.errors << platform::messageOf(e);
    }
    if (m_share) {
        // Nobody may start one of its workbooks any more, and none is being written: writeWorkbooks waited.
        if (!m_offered)
            m_share->offer(nullptr);
        m_share->withdraw(this);
    }
    if (m_slot >= 0)
        m_context.board.end(m_slot);
    m_report.seconds = double(clock.elapsed()) / 1000.0;
    return m_report;
}

qint32 ViewExport::countDocuments()
{
    m_open = m_job.openDatabase(m_database);
    try {
        // Every workbook of the view shows this moment of it: a writer that gets in meanwhile can neither
        // move documents from one workbook into the next nor change the count the manifest records.
        domino::HeldView held = domino::SessionService::findView(*m_open, m_task.view);
        m_view = std::move(held.view);
        if (m_context.options.search.isEmpty())
            return held.count;
    } catch (const domino::SessionError& e) {
        throw platform::Error(e.sentence());
    }
    // Searched among the entries held, so that every workbook shows the documents of this one search.
    try {
        return m_view->FTSearch(m_context.options.search, 0);
    } catch (const domino::DominoError& e) {
        throw platform::Error(u"全文搜索出错："_s + e.message());
    }
}

void ViewExport::writeWorkbooks()
{
    m_docCount = countDocuments();
    const BatchOptions& options = m_context.options;
    if (m_docCount < options.from) {
        m_report.status = ViewReport::Status::NothingToExport;
        m_report.notes << u"当前没有可导出的内容"_s;
        return;
    }
    // The window's user picks a folder that is there; the batch makes the database's own, never through a
    // link planted in the output folder.
    m_context.manifest.folder().folder(relative(exporting::exportFolder(m_task.fileName)), true);
    m_slot =
        m_context.board.begin(u"“"_s + m_task.view + u"” "_s + m_database.label, qint64(m_docCount) - options.from + 1);
    // Each workbook holds a full sheet but the last: its start number is known before any is written.
    for (qint64 start = options.from; start <= m_docCount; start += options.sheetDocuments) {
        Workbook workbook;
        workbook.start = start;
        workbook.documents = std::min<qint64>(options.sheetDocuments, qint64(m_docCount) - start + 1);
        m_workbooks.push_back(std::move(workbook));
        if (!options.continuePastSheet)
            break;
    }
    if (m_share) {
        // The view's pages share one index, which its workbooks write in turn: with pages, one job writes them all.
        m_share->offer(m_workbooks.size() > 1 && !options.htmlPages ? this : nullptr);
        m_offered = true;
    }
    while (ownStep()) {
    }
    bool failed = false;
    bool interrupted = false;
    for (const Workbook& workbook : m_workbooks)
        takeOutcome(workbook.outcome, failed, interrupted);
    if (failed)
        m_report.status = ViewReport::Status::Failed;
    else if (interrupted)
        m_report.status = ViewReport::Status::Interrupted;
}

std::optional<size_t> ViewExport::claimForOther()
{
    const std::lock_guard lock(m_mutex);
    if (m_stopped)
        return std::nullopt;
    for (size_t k = 0; k < m_workbooks.size(); ++k) {
        if (m_workbooks[k].state == Workbook::State::Open) {
            m_workbooks[k].state = Workbook::State::Other;
            return k;
        }
    }
    return std::nullopt;
}

bool ViewExport::ownStep()
{
    using State = Workbook::State;
    using Kind = Outcome::Kind;
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Checked first, so that what another job wrote is recorded complete soon.
        for (Workbook& workbook : m_workbooks) {
            if (workbook.state != State::Helped)
                continue;
            workbook.state = State::Owner;
            lock.unlock();
            const bool interrupted = Interruption::requested();
            const bool same = !interrupted && sameDocuments(workbook);
            Outcome outcome = std::move(workbook.outcome);
            if (interrupted) {
                // Not checked, so not recorded complete: the next run writes it again.
                outcome.kind = Kind::Interrupted;
            } else if (same) {
                try {
                    recordDone(outcome.entry);
                } catch (const std::exception& e) {
                    outcome.kind = Kind::Failed;
                    outcome.error = platform::messageOf(e);
                }
            } else {
                // Another program wrote the view between the two moments: this moment's documents, written here.
                outcome = writeWorkbook(workbook, m_job, m_log, *m_open, m_view.get(), true);
            }
            lock.lock();
            m_stopped = m_stopped || outcome.kind == Kind::Failed || outcome.kind == Kind::Interrupted;
            workbook.outcome = std::move(outcome);
            workbook.state = State::Done;
            return true;
        }
        for (size_t k = 0; k < m_workbooks.size() && !m_stopped; ++k) {
            Workbook& workbook = m_workbooks[k];
            if (workbook.state != State::Open && workbook.state != State::Returned)
                continue;
            workbook.state = State::Owner;
            lock.unlock();
            Outcome outcome = writeWorkbook(workbook, m_job, m_log, *m_open, m_view.get(), true);
            lock.lock();
            const bool last = k + 1 == m_workbooks.size();
            // As one job would: a failure, an interruption or a view that ended before its count stops the view.
            m_stopped = m_stopped || outcome.kind == Kind::Failed || outcome.kind == Kind::Interrupted ||
                        (outcome.kind == Kind::Written && !last &&
                         outcome.result.stop != exporting::RunResult::Stop::SheetFull);
            workbook.outcome = std::move(outcome);
            workbook.state = State::Done;
            return true;
        }
        const bool othersWriting = std::any_of(m_workbooks.begin(), m_workbooks.end(),
                                               [](const Workbook& w) { return w.state == State::Other; });
        if (!othersWriting)
            return false;
        m_changed.wait(lock);
    }
}

void ViewExport::writeForOther(size_t index, BatchJob& job, exporting::ExportLog& log)
{
    using Kind = Outcome::Kind;
    const Workbook& workbook = m_workbooks[index]; // its start and size do not change
    Outcome outcome;
    try {
        const std::shared_ptr<domino::NotesDatabase> database = job.openDatabase(m_database);
        const domino::HeldView held = domino::SessionService::findView(*database, m_task.view);
        const QString& search = m_context.options.search;
        // Searched among its own entries held, as the view's job searched its own.
        const qint64 count = search.isEmpty() ? held.count : held.view->FTSearch(search, 0);
        if (count == m_docCount)
            outcome = writeWorkbook(workbook, job, log, *database, held.view.get(), false);
        else
            outcome.kind = Kind::GivenBack;
    } catch (const std::exception&) {
        outcome.kind = Kind::GivenBack;
    }
    const std::lock_guard lock(m_mutex);
    Workbook& own = m_workbooks[index];
    switch (outcome.kind) {
    case Kind::Written:
        own.state = Workbook::State::Helped;
        break;
    case Kind::Kept:
    case Kind::Interrupted:
        own.state = Workbook::State::Done;
        m_stopped = m_stopped || outcome.kind == Kind::Interrupted;
        break;
    default:
        // What failed here may not fail with the view's own session and view: it tries, and its failure counts.
        own.state = Workbook::State::Returned;
        outcome = {};
        break;
    }
    own.outcome = std::move(outcome);
    m_changed.notify_all(); // under the lock: the view's job may end the moment it has it
}

bool ViewExport::sameDocuments(const Workbook& workbook)
{
    const Outcome& outcome = workbook.outcome;
    if (outcome.result.documents != workbook.documents)
        return false;
    try {
        // One read of the database for the whole walk instead of one per call.
        const std::unique_ptr<domino::ReadBatch> batch = m_open->beginReadBatch();
        QCryptographicHash digest(QCryptographicHash::Sha256);
        std::unique_ptr<domino::NotesDocument> document = m_view->NthDocument(int(workbook.start));
        for (qint64 i = 0; i < workbook.documents; ++i) {
            if (!document)
                return false;
            addId(digest, document->DocumentId());
            if (i + 1 < workbook.documents)
                document = m_view->NextDocument(*document);
        }
        return digest.result() == outcome.documentIds;
    } catch (const std::exception&) {
        return false; // written again here, where the failure is the view's
    }
}

ViewExport::Outcome ViewExport::writeWorkbook(const Workbook& workbook, BatchJob& job, exporting::ExportLog& log,
                                              const domino::NotesDatabase& database, domino::NotesView* view,
                                              bool recordComplete)
{
    using Kind = Outcome::Kind;
    Outcome outcome;
    const BatchOptions& options = m_context.options;
    const QString startNo = QString::number(workbook.start);
    ManifestEntry wanted;
    wanted.file = relative(exporting::workbookName(m_task.fileName, startNo, m_context.format));
    wanted.database = m_database.identity;
    wanted.view = m_task.view;
    wanted.format = m_context.format.name;
    wanted.start = workbook.start;
    wanted.viewDocuments = m_docCount;
    wanted.search = options.search;
    wanted.sheetDocuments = options.sheetDocuments;
    try {
        if (Interruption::requested()) {
            outcome.kind = Kind::Interrupted;
            return outcome;
        }
        ManifestEntry kept;
        const WorkbookState state = m_context.manifest.check(wanted, &kept);
        if (state == WorkbookState::Changed)
            throw platform::Error(wanted.file + u"在上次导出之后被改动过，没有覆盖它；要重新导出请先移走它"_s);
        if (state == WorkbookState::Complete) {
            outcome.kind = Kind::Kept;
            outcome.entry = kept;
            progress(kept.documents, 0);
            return outcome;
        }
        const exporting::OpeningResult opening = exporting::checkExportRequest(
            m_task.fileName, startNo, m_docCount, m_task.view,
            [state](const QString&) { return state == WorkbookState::Foreign; }, m_context.format);
        if (!opening.request)
            throw platform::Error(opening.message);

        m_context.manifest.record(wanted);
        BatchHost host([this](qint64 documents) { progress(documents, documents); });
        exporting::OutputFormat format = m_context.format;
        format.limits.rows = options.sheetDocuments + 1; // and the header
        exporting::ExportRun run(database, job.session(), format, log, host);
        run.setOutput({&m_context.manifest.folder(), false, options.htmlPages, m_pageIndex});
        QCryptographicHash ids(QCryptographicHash::Sha256);
        if (!recordComplete)
            run.addStep(std::make_unique<IdDigest>(ids));
        try {
            outcome.result = run.run(*opening.request, m_task.view, m_docCount, view);
        } catch (const std::exception&) {
            outcome.attachments = run.result().attachments; // saved whole, the workbook failing or not
            outcome.pages = run.result().pages + run.result().pageFiles;
            throw;
        }
        const exporting::RunResult& result = outcome.result;
        outcome.attachments = result.attachments;
        outcome.pages = result.pages + result.pageFiles;
        if (!result.saveError.isEmpty())
            throw platform::Error(result.saveError);
        using Stop = exporting::RunResult::Stop;
        switch (result.stop) {
        case Stop::Cancelled:
            outcome.kind = Kind::Interrupted;
            return outcome;
        case Stop::Failed:
        case Stop::NoWriter:
            throw platform::Error(exporting::runMessage(result));
        case Stop::Finished:
        case Stop::SheetFull:
        case Stop::ViewEnded:
            break;
        }
        outcome.kind = Kind::Written;
        outcome.entry = wanted;
        outcome.entry.documents = result.documents;
        // A workbook whose attachments or log lines were not all written, or whose values were not all read, is
        // written again by the next run, which says so again.
        outcome.entry.complete = result.filesLost() == 0 && result.logLinesLost == 0 && result.valuesUnread == 0;
        outcome.documentIds = ids.result();
        if (recordComplete)
            recordDone(outcome.entry);
    } catch (const std::exception& e) {
        outcome.kind = Kind::Failed;
        outcome.error = platform::messageOf(e);
    }
    return outcome;
}

void ViewExport::recordDone(ManifestEntry& done)
{
    // What the record calls complete is on the disk before the record: the workbook, its attachments
    // and their folders.
    if (done.complete)
        m_context.manifest.folder().syncFileSystem();
    m_context.manifest.measure(done);
    m_context.manifest.record(done);
}

void ViewExport::takeOutcome(const Outcome& outcome, bool& failed, bool& interrupted)
{
    using Kind = Outcome::Kind;
    m_report.attachments += outcome.attachments;
    m_report.pages += outcome.pages;
    m_report.unreadValues += outcome.result.valuesUnread;
    m_report.itemsLeftOut += outcome.result.itemsLeftOut;
    m_report.documentsWithItemsLeftOut += outcome.result.documentsWithItemsLeftOut;
    m_report.textsSavedWhole += outcome.result.textsSavedWhole;
    m_report.bodiesIncomplete += outcome.result.bodiesIncomplete;
    switch (outcome.kind) {
    case Kind::Kept:
        m_report.status = ViewReport::Status::Exported;
        m_report.keptWorkbooks << outcome.entry.file;
        m_report.keptDocuments += outcome.entry.documents;
        break;
    case Kind::Written: {
        m_report.status = ViewReport::Status::Exported;
        m_report.workbooks << outcome.entry.file;
        m_report.documents += outcome.result.documents;
        const bool goOn =
            outcome.result.stop == exporting::RunResult::Stop::SheetFull && m_context.options.continuePastSheet;
        recordLossesAndNotes(outcome.result, goOn);
        break;
    }
    case Kind::Failed:
        failed = true;
        m_report.errors << outcome.error;
        break;
    case Kind::Interrupted:
        interrupted = true;
        break;
    case Kind::NotRun:
    case Kind::GivenBack:
        break;
    }
}

void ViewExport::progress(qint64 documents, qint64 exported)
{
    const qint64 done = m_done += documents;
    const qint64 now = m_exported += exported;
    m_context.board.update(m_slot, done, now);
}

void ViewExport::recordLossesAndNotes(const exporting::RunResult& result, bool goOn)
{
    if (!exporting::lossesNote(result).isEmpty()) {
        const QString lost = exporting::finishedLine(result);
        if (!m_report.errors.contains(lost))
            m_report.errors << lost;
    }
    for (const QString& note :
         {exporting::bodiesNote(result), exporting::columnsNote(result), exporting::itemsLeftOutNote(result),
          exporting::wholeTextNote(result), goOn ? QString() : exporting::endingNote(result)})
        if (!note.isEmpty() && !m_report.notes.contains(note))
            m_report.notes << note;
}

QString ViewExport::relative(const QString& path) const
{
    return QDir(m_context.options.output).relativeFilePath(path);
}

} // namespace quill::cli
