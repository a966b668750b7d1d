#pragma once

#include "cli/batchjob.h"
#include "cli/exportmanifest.h"
#include "cli/progressboard.h"
#include "cli/viewreport.h"
#include "export/exportlog.h"
#include "export/exportrun.h"
#include "export/outputformat.h"

namespace quill::cli {

// What every view of a batch is exported with.
struct ViewExportContext
{
    const BatchOptions& options;
    ExportManifest& manifest;
    ProgressBoard& board;
    exporting::OutputFormat format;
};

// The export of one view through the window's run, workbook after workbook: each named by the
// window's rule for its start number, until the view ends (or, without continuation, the first
// sheet is full). A workbook the manifest holds as complete for the same request is kept; one being
// written when the run is interrupted is abandoned unsaved.
class ViewExport
{
public:
    ViewExport(const ViewExportContext& context, BatchJob& job, exporting::ExportLog& log,
               const DatabaseSource& database, const ViewTask& task);

    ViewReport run();

private:
    enum class Next
    {
        Continue,
        Stop
    };

    // Workbook after workbook from the start number until the view ends.
    void writeWorkbooks();
    qint32 countDocuments();
    // Keeps the workbook when it is complete; throws for one that must not be written over.
    bool keepComplete(const ManifestEntry& wanted, WorkbookState state, const ManifestEntry& kept);
    Next writeWorkbook(const ManifestEntry& wanted, const exporting::ExportRequest& request, qint32 docCount);
    // What a finished run lost is an error of the view, what it noted a note; goOn: the next workbook takes up
    // where the sheet ended, which needs no note.
    void recordLossesAndNotes(const exporting::RunResult& result, bool goOn);
    QString relative(const QString& path) const;

    const ViewExportContext& m_context;
    BatchJob& m_job;
    exporting::ExportLog& m_log;
    const DatabaseSource& m_database;
    const ViewTask& m_task;
    std::shared_ptr<domino::NotesDatabase> m_open;
    std::unique_ptr<domino::NotesView> m_view; // AutoUpdate false
    ViewReport m_report;
    // The documents the pages of this view's workbooks list, for the index each of them rewrites.
    std::shared_ptr<exporting::PageIndex> m_pageIndex = std::make_shared<exporting::PageIndex>();
    int m_slot = -1;
    qint64 m_start = 0;
};

} // namespace quill::cli
