#include "cli/viewexport.h"

#include "cli/interruption.h"
#include "domino/sessionservice.h"
#include "export/naming.h"
#include "export/runmessages.h"
#include "platform/error.h"

#include <QDir>
#include <QElapsedTimer>

using namespace Qt::StringLiterals;

namespace quill::cli {

namespace {

// The run's host without a window: its progress goes to the board, and Ctrl-C asks it to stop.
class BatchHost : public exporting::RunHost
{
public:
    BatchHost(ProgressBoard& board, int slot, qint64 doneBefore, qint64 exportedBefore)
        : m_board(board), m_slot(slot), m_doneBefore(doneBefore), m_exportedBefore(exportedBefore)
    {
    }

    void showProgressWindow() override {}
    void setProgressText(const QString&) override {}
    void setProgress(qint32, qint32 position) override
    {
        m_board.update(m_slot, m_doneBefore + position, m_exportedBefore + position);
    }
    void closeProgressWindow() override {}
    void processEvents() override {}
    bool cancelRequested() override { return Interruption::requested(); }

private:
    ProgressBoard& m_board;
    int m_slot;
    qint64 m_doneBefore;
    qint64 m_exportedBefore;
};

} // namespace

ViewExport::ViewExport(const ViewExportContext& context, BatchJob& job, exporting::ExportLog& log,
                       const DatabaseSource& database, const ViewTask& task)
    : m_context(context), m_job(job), m_log(log), m_database(database), m_task(task)
{
    m_report.database = database.label;
    m_report.view = task.view;
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
        return held.count;
    } catch (const domino::SessionError& e) {
        throw platform::Error(e.sentence());
    }
}

void ViewExport::writeWorkbooks()
{
    const qint32 docCount = countDocuments();
    const BatchOptions& options = m_context.options;
    if (docCount < options.from) {
        m_report.status = ViewReport::Status::NothingToExport;
        m_report.notes << u"当前没有可导出的内容"_s;
        return;
    }
    // The window's user picks a folder that is there; the batch makes the database's own, never through a
    // link planted in the output folder.
    m_context.manifest.folder().folder(relative(exporting::exportFolder(m_task.fileName)), true);
    m_slot =
        m_context.board.begin(u"“"_s + m_task.view + u"” "_s + m_database.label, qint64(docCount) - options.from + 1);
    for (m_start = options.from; m_start <= docCount;) {
        const QString startNo = QString::number(m_start);
        ManifestEntry wanted;
        wanted.file = relative(exporting::workbookName(m_task.fileName, startNo, m_context.format));
        wanted.database = m_database.identity;
        wanted.view = m_task.view;
        wanted.start = m_start;
        wanted.viewDocuments = docCount;
        wanted.sheetDocuments = options.sheetDocuments;
        if (Interruption::requested()) {
            m_report.status = ViewReport::Status::Interrupted;
            return;
        }
        ManifestEntry kept;
        const WorkbookState state = m_context.manifest.check(wanted, &kept);
        if (keepComplete(wanted, state, kept))
            continue;
        const exporting::OpeningResult opening = exporting::checkExportRequest(
            m_task.fileName, startNo, docCount, m_task.view,
            [state](const QString&) { return state == WorkbookState::Foreign; }, m_context.format);
        if (!opening.request)
            throw platform::Error(opening.message);
        if (writeWorkbook(wanted, *opening.request, docCount) == Next::Stop)
            return;
    }
}

bool ViewExport::keepComplete(const ManifestEntry& wanted, WorkbookState state, const ManifestEntry& kept)
{
    if (state == WorkbookState::Changed)
        throw platform::Error(wanted.file + u"在上次导出之后被改动过，没有覆盖它；要重新导出请先移走它"_s);
    if (state != WorkbookState::Complete)
        return false;
    m_report.status = ViewReport::Status::Exported;
    m_report.keptWorkbooks << kept.file;
    m_report.keptDocuments += kept.documents;
    m_start += std::max<qint64>(kept.documents, 1);
    m_context.board.update(m_slot, m_start - m_context.options.from, m_report.documents);
    return true;
}

ViewExport::Next ViewExport::writeWorkbook(const ManifestEntry& wanted, const exporting::ExportRequest& request,
                                           qint32 docCount)
{
    m_context.manifest.record(wanted);
    BatchHost host(m_context.board, m_slot, m_start - m_context.options.from, m_report.documents);
    exporting::OutputFormat format = m_context.format;
    format.limits.rows = m_context.options.sheetDocuments + 1; // and the header
    exporting::ExportRun run(*m_open, m_job.session(), format, m_log, host);
    run.setOutput({&m_context.manifest.folder(), false, m_context.options.htmlPages, m_pageIndex});
    exporting::RunResult result;
    try {
        result = run.run(request, m_task.view, docCount, m_view.get());
    } catch (const std::exception&) {
        m_report.attachments += run.result().attachments; // saved whole, the workbook failing or not
        m_report.pages += run.result().pages + run.result().pageFiles;
        throw;
    }
    m_report.attachments += result.attachments;
    m_report.pages += result.pages + result.pageFiles;
    if (!result.saveError.isEmpty())
        throw platform::Error(result.saveError);
    m_report.unreadValues += result.valuesUnread;
    using Stop = exporting::RunResult::Stop;
    switch (result.stop) {
    case Stop::Cancelled:
        m_report.status = ViewReport::Status::Interrupted;
        return Next::Stop;
    case Stop::Failed:
    case Stop::NoWriter:
        throw platform::Error(exporting::runMessage(result));
    case Stop::Finished:
    case Stop::SheetFull:
    case Stop::ViewEnded:
        break;
    }
    const bool goOn = result.stop == Stop::SheetFull && m_context.options.continuePastSheet;
    ManifestEntry done = wanted;
    done.documents = result.documents;
    // A workbook whose attachments or log lines were not all written, or whose values were not all read, is
    // written again by the next run, which says so again.
    done.complete = result.filesLost() == 0 && result.logLinesLost == 0 && result.valuesUnread == 0;
    recordLossesAndNotes(result, goOn);
    // What the record calls complete is on the disk before the record: the workbook, its attachments
    // and their folders.
    if (done.complete)
        m_context.manifest.folder().syncFileSystem();
    m_context.manifest.measure(done);
    m_context.manifest.record(done);
    m_report.status = ViewReport::Status::Exported;
    m_report.workbooks << done.file;
    m_report.documents += result.documents;
    m_start = goOn ? result.nextStart : qint64(docCount) + 1;
    return goOn ? Next::Continue : Next::Stop;
}

void ViewExport::recordLossesAndNotes(const exporting::RunResult& result, bool goOn)
{
    if (!exporting::lossesNote(result).isEmpty()) {
        const QString lost = exporting::finishedLine(result);
        if (!m_report.errors.contains(lost))
            m_report.errors << lost;
    }
    for (const QString& note : {exporting::columnsNote(result), goOn ? QString() : exporting::endingNote(result)})
        if (!note.isEmpty() && !m_report.notes.contains(note))
            m_report.notes << note;
}

QString ViewExport::relative(const QString& path) const
{
    return QDir(m_context.options.output).relativeFilePath(path);
}

} // namespace quill::cli
