#pragma once

#include "domino/notes.h"
#include "export/exportfiles.h"
#include "export/exportlog.h"
#include "export/naming.h"
#include "export/outputformat.h"
#include "platform/outputfolder.h"

#include <QSet>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quill::exporting {

// What the run needs of the user interface: the progress window and the event loop.
class RunHost
{
public:
    virtual ~RunHost() = default;
    virtual void showProgressWindow() = 0;
    virtual void setProgressText(const QString& text) = 0;
    virtual void setProgress(qint32 max, qint32 position) = 0;
    virtual void closeProgressWindow() = 0;
    virtual void processEvents() = 0;
    // Asked before each document: true abandons the workbook unsaved.
    virtual bool cancelRequested() { return false; }
};

// What a run did, in facts: the front ends tell it in their words (runmessages.h).
struct RunResult
{
    enum class Stop
    {
        Finished,  // the view's end was reached
        SheetFull, // the sheet holds no more rows: nextStart is the first document left out
        ViewEnded, // the view had fewer documents than counted
        Failed,    // a step the run guards failed: failure and reason say which and why
        NoWriter,  // the workbook writer could not be started
        Cancelled  // the host asked to stop; nothing was saved
    };
    enum class Failure
    {
        None,
        View,     // the view could not be found or held still
        Document, // a document or its item names could not be reached, or a row not written
        ViewShort // the view had fewer documents than counted, where that is a failure (RunOutput)
    };

    Stop stop = Stop::Finished;
    Failure failure = Failure::None;
    QString reason;    // the failure's own message
    QString saveError; // why the workbook could not be saved; empty when it was saved or was not to be
    qint64 start = 0;  // the first document's position in the view
    qint64 viewDocuments = 0;
    qint64 documents = 0;
    qint64 nextStart = 0;
    qint64 startItems = 0;        // item names of the start document
    qint64 columnsLeftOut = 0;    // of them, the ones the sheet had no column for
    qint64 cellsCut = 0;          // texts longer than a cell holds, cut
    qint64 textsSavedWhole = 0;   // of the item texts cut, those saved whole as a text file beside the attachments
    bool completeColumns = false; // the columns are every exported document's items, not the start document's
    qint64 itemsLeftOut = 0;      // items of later documents without a column: the start document lacks them
    qint64 documentsWithItemsLeftOut = 0;
    qint64 attachments = 0;      // files saved: attachments and rich-text objects
    qint64 pages = 0;            // HTML pages written: one a document and the index
    qint64 pageFiles = 0;        // pictures and mail parts written beside the pages
    qint64 pagesUnsaved = 0;     // pages and their files that could not be written
    qint64 bodiesIncomplete = 0; // rich-text and mail bodies read only in part: their pages show that part
    qint64 filesUnsaved = 0;
    qint64 documentsUnlisted = 0; // documents or rich-text items whose files could not even be listed
    qint64 logLinesLost = 0;
    qint64 valuesUnread = 0; // item values the database holds but could not give: their cells are empty
    QString lossReason;      // the first reason a file or a log line was lost
    QString attachmentFolder;
    QString logFolder;

    qint64 filesLost() const { return filesUnsaved + documentsUnlisted + pagesUnsaved; }
};

inline constexpr char16_t kCellFailed[] = u"*********************************************";

// A document the index lists.
struct IndexEntry
{
    QString id;
    QString folder; // its folder's name in the attachment folder
    QString title;
    QString parent; // the $REF of a response: its parent's id
};

// What the pages of a view's workbooks have listed so far.
struct PageIndex
{
    std::vector<IndexEntry> entries;
    // The list an earlier export left in the attachment folder is taken in once, at the first index written.
    bool earlierTaken = false;
};

// Where a run writes, and what becomes of a workbook it cannot finish.
struct RunOutput
{
    // The folder the user gave, taken as it is; nothing below it is reached through a link. Null: the
    // workbook's own folder.
    const platform::OutputFolder* folder = nullptr;
    // A run that fails saves the rows so far (the window's run), or leaves no workbook at all (the batch,
    // whose next run writes it whole); then a view shorter than its count is a failure too.
    bool keepFailedWorkbook = true;
    // Each document's folder gets an HTML page of its items and bodies, the attachment folder an index of them.
    bool htmlPages = false;
    // The documents the pages of earlier workbooks of the same view listed, for the index and the document
    // links of this one; null: this workbook's alone.
    std::shared_ptr<PageIndex> pageIndex;
};

// What a step the run takes for every document is handed.
struct DocumentPass
{
    const domino::NotesDocument& document;
    qint64 position;        // in the view
    QString documentFolder; // ending in "/"; made only by the steps that save files
    ExportFiles& files;     // the names taken in the document's folder
    // The document's folder, made at the first call. Throws platform::Error.
    std::function<const platform::OutputFolder&()> openFolder;
    // The attachment folder the documents' folders are in, made at the first call. Throws platform::Error.
    std::function<const platform::OutputFolder&()> openAttachmentFolder;
};

// What a step is told before the first document: the view and the positions the run walks.
struct RunBegin
{
    const domino::NotesView& view;
    qint64 start;
    qint64 passes;
    ExportFiles& files;
};

// What a step is told after the last document, before the workbook is saved.
struct RunEnd
{
    // The attachment folder, made at the first call. Throws platform::Error.
    std::function<const platform::OutputFolder&()> openAttachmentFolder;
};

// A step of every document's pass, after its attachments and before its cells, with its own log lines and
// counts: the picture step, and any other a run is given (addStep). What it cannot do ends the step alone.
class DocumentStep
{
public:
    virtual ~DocumentStep() = default;
    virtual void take(const DocumentPass& pass, ExportLog& log, RunResult& result) = 0;
    virtual void begin(const RunBegin&) {}
    virtual void end(const RunEnd&, ExportLog&, RunResult&) {}
    // Work the step does beside the run is finished and its lines and counts taken: on every way out of the run,
    // before end.
    virtual void settle(ExportLog&, RunResult&) {}
    // Names every document's folder keeps for this step, taken before its attachments are saved.
    virtual QStringList reservedNames() const { return {}; }
    // The path of the document's file the workbook names in its page column, relative to the attachment folder;
    // empty when this step has none.
    virtual QString pagePath(const QString& /*documentFolderName*/) const { return {}; }
};

// One export of a view into a new workbook of a format, after the opening checks. Every way out saves the rows
// written so far (or, as RunOutput says, leaves no workbook), quits the writer and closes the progress window;
// a failure no step guards is then rethrown for the general error handler.
class ExportRun
{
public:
    ExportRun(const domino::NotesDatabase& database, domino::NotesSession& session, OutputFormat format, ExportLog& log,
              RunHost& host);
    ~ExportRun();

    void setOutput(const RunOutput& output) { m_output = output; }
    void addStep(std::unique_ptr<DocumentStep> step) { m_steps.push_back(std::move(step)); }
    // The run walks the view as it is when the run finds it (held still), whatever other programs write
    // meanwhile. A caller that writes one view into several workbooks gives the view, found and held still, so
    // that all of them show the same moment.
    RunResult run(const ExportRequest& request, const QString& viewName, qint32 docCount,
                  domino::NotesView* view = nullptr);
    // What the last run did, also when it ended in an exception.
    const RunResult& result() const { return m_result; }

private:
    struct RichTextPart
    {
        bool found = true;
        bool isRichText = false;
        QString text;
    };

    enum class Ending
    {
        Finished,
        Guarded,
        Cancelled
    };

    // A step failed that the run reports as its failure; the rows so far are saved.
    struct GuardedFailure
    {
        RunResult::Failure failure;
        QString reason;
    };
    // The host asked to stop; not a std::exception, so that no step swallows it.
    struct Cancelled
    {
    };

    Ending body(workbook::ExcelApplication& excel, const ExportRequest& request, qint32 docCount,
                const QString& viewName, domino::NotesView* givenView);
    // Runs step; a failure becomes a GuardedFailure of that kind.
    static void guarded(RunResult::Failure failure, const std::function<void()>& step);
    static QString progressText(const ExportRequest& request);
    void writeDocuments(workbook::ExcelApplication& excel, const domino::NotesView& view,
                        std::unique_ptr<domino::NotesDocument> document, const QStringList& names,
                        const ExportRequest& request, qint32 docCount);
    void startDocument(workbook::ExcelApplication& excel, int row, const domino::NotesDocument& document,
                       qint64 position);
    void documentSteps(const domino::NotesDocument& document, qint64 position);
    void beginSteps(const domino::NotesView& view, qint64 start, qint64 passes);
    void endSteps();
    void settleSteps();
    // The page column's path for the document, relative to the workbook's folder; empty without one.
    QString pageCell(const domino::NotesDocument& document);
    void writeItems(workbook::ExcelApplication& excel, int row, const domino::NotesDocument& document, qint64 position,
                    const QStringList& names);
    // The item names the sheet has columns for, their column widths and header cells.
    QStringList header(workbook::ExcelApplication& excel, const QStringList& allNames);
    // The start document's item names, then those of the documents after it that the sheet takes, each
    // once (names compare without regard to case, as items do), in the order first met.
    QStringList everyItemName(const domino::NotesView& view, const domino::NotesDocument& start,
                              const QStringList& startNames, const ExportRequest& request, qint32 docCount);
    // The documents the sheet takes from the request's start.
    qint64 sheetDocuments(const ExportRequest& request, qint32 docCount) const;
    // The document's item names; nullopt when they cannot be read.
    static std::optional<QStringList> itemNames(const domino::NotesDocument& document);
    // Counts and logs the items of a document that the columns, made from the start document, leave out.
    void countItemsLeftOut(const QStringList& own, qint64 position);
    // Saves an item's text that its cell cannot hold whole as a text file in the document's folder.
    void saveWholeText(const domino::NotesDocument& document, qint64 n, const QString& name, const QString& text);
    // The text as a cell holds it; a cut is counted.
    QString cell(const QString& text);
    // Saves the workbook and lets the writer go; the save's error message, or empty.
    QString saveAndQuit(std::unique_ptr<workbook::ExcelApplication> excel, const QString& workbookName);
    // The workbook's folder, opened at the first need. Throws platform::Error.
    const platform::OutputFolder& workbookFolder();
    // Saves the object under name into the document's folder: into a new temporary file first, placed
    // when whole. False, and nothing saved, when its bytes are those of the file sameAs there. Throws
    // platform::Error.
    bool saveFile(const domino::NotesDocument& document, domino::NotesEmbeddedObject& object, const QString& name,
                  const QString& sameAs = {});
    static void quit(std::unique_ptr<workbook::ExcelApplication> excel);
    void attachmentStep(const domino::NotesDocument& document, qint64 n);
    // Saves attachment k (from 0) of the list; counts and logs a failure.
    void saveAttachment(const domino::NotesDocument& document, qint64 n, int k, const QString& listedName,
                        const QString& folder);
    // Saves every object of a rich-text item; counts and logs each that is lost.
    void saveEmbeddedObjects(const domino::NotesDocument& document, qint64 n,
                             const domino::NotesRichTextItem& richText);
    // Saves a rich-text item's object into the document's folder unless the document already has that
    // very file; counts and logs a failure.
    void saveEmbeddedObject(const domino::NotesDocument& document, qint64 n, domino::NotesEmbeddedObject& object,
                            const QString& name);
    RichTextPart richTextStep(const domino::NotesDocument& document, qint64 n, const QString& name);
    // The text of the item's values, as the list joins a multi-value column, or empty; a value that cannot be
    // read is counted and logged.
    QString valueStep(const domino::NotesDocument& document, qint64 n, const QString& name);
    // Tells an item the document lacks from one it holds but cannot give.
    void lookUpFailed(const domino::NotesDocument& document, qint64 n, const QString& name);
    void unreadValue(qint64 n, const QString& name, const QString& reason);
    QString documentFolder(const domino::NotesDocument& document);
    // The counts the files and the log keep, into the result.
    void takeLosses(qint64 linesLostBefore);

    const domino::NotesDatabase& m_database;
    domino::NotesSession& m_session;
    OutputFormat m_format;
    ExportLog& m_log;
    RunHost& m_host;
    RunOutput m_output;
    std::vector<std::unique_ptr<DocumentStep>> m_steps;
    QStringList m_foldedColumns; // the header's item names, case-folded
    QSet<QString> m_foldedStartNames;
    DocumentStep* m_pageStep = nullptr; // the step of the HTML pages when the run writes them
    bool m_pageColumn = false;
    QString m_workbookName;
    platform::OutputFolder m_workbookFolder;
    ExportFiles m_files;
    RunResult m_result;
};

} // namespace quill::exporting
