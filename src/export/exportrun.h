#pragma once

#include "domino/notes.h"
#include "export/exportfiles.h"
#include "export/exportlog.h"
#include "export/naming.h"
#include "platform/outputfolder.h"
#include "workbook/excel.h"

#include <functional>
#include <memory>

namespace quill::exporting {

using ExcelFactory = std::function<std::unique_ptr<workbook::ExcelApplication>()>;

// What the run needs of the user interface: message boxes, the progress window and the event loop.
class RunHost
{
public:
    virtual ~RunHost() = default;
    virtual void showMessage(const QString& text) = 0;
    virtual void showProgressWindow() = 0;
    virtual void setProgressText(const QString& text) = 0;
    virtual void setProgress(qint32 max, qint32 position) = 0;
    virtual void closeProgressWindow() = 0;
    virtual void processEvents() = 0;
    // Asked before each document: true abandons the workbook unsaved.
    virtual bool cancelRequested() { return false; }
};

// Where a run stopped and why, so that a caller can go on in a next workbook.
struct RunResult
{
    enum class Stop
    {
        Finished,  // the view's end was reached
        SheetFull, // the sheet holds no more rows: nextStart is the first document left out
        ViewEnded, // the view had fewer documents than counted
        Failed,    // a guarded step failed; its message was shown
        NoWriter,  // the workbook writer could not be started
        Cancelled  // the host asked to stop; nothing was saved
    };
    Stop stop = Stop::Finished;
    qint64 documents = 0;
    qint64 nextStart = 0;
    qint64 attachments = 0;  // files saved: attachments and rich-text objects
    qint64 filesLost = 0;    // attachments not saved, and documents whose attachment list could not be read
    qint64 logLinesLost = 0; // log lines that could not be written
    qint64 valuesUnread = 0; // item values the database holds but could not give: their cells are empty
};

// The sheet's size: a header row plus one row per document; the id column plus one per item name.
struct SheetLimits
{
    int rows = 65536;
    int columns = 256;
};

inline constexpr char16_t kExcelMissing[] = u"请确认您电脑上是否安装了EXCEL！";
inline constexpr char16_t kFinished[] = u"您好，数据导出完成，导出的附件文档存放在Excel文件的同一目录下，文件夹名为：";
// A run that could not save every file or read every value says how many, instead of kFinished.
inline constexpr char16_t kFinishedWithLosses[] = u"数据导出完成，但是";
inline constexpr char16_t kCellFailed[] = u"*********************************************";

// Where a run writes, and what becomes of a workbook it cannot finish.
struct RunOutput
{
    // The folder the user gave, taken as it is; nothing below it is reached through a link. Null: the
    // workbook's own folder.
    const platform::OutputFolder* folder = nullptr;
    // A run that fails saves the rows so far (the window's run), or leaves no workbook at all (the batch,
    // whose next run writes it whole); then a view shorter than its count is a failure too.
    bool keepFailedWorkbook = true;
};

// One export of a view into a new workbook, after the opening checks. Every way out saves the rows
// written so far, quits the writer and closes the progress window; a failure no step guards is then
// rethrown for the general error handler.
class ExportRun
{
public:
    ExportRun(const domino::NotesDatabase& database, domino::NotesSession& session, ExcelFactory excelFactory,
              ExportLog& log, RunHost& host, SheetLimits limits = {});

    void setOutput(const RunOutput& output) { m_output = output; }
    // The run walks the view as it is when the run finds it (its AutoUpdate false), whatever other programs
    // write meanwhile. A caller that writes one view into several workbooks gives the view, found and with
    // AutoUpdate false, so that all of them show the same moment.
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
        Failed,
        Cancelled
    };

    // How the documents' part of a run ended: the notes for the message of a finished run, or the
    // message of a guarded failure.
    struct Outcome
    {
        Ending ending = Ending::Failed;
        QString notes;
        QString guardedMessage;
    };

    // A step failed that the run reports in its own words; the rows so far are saved.
    struct GuardedFailure
    {
        QString message;
    };
    // The host asked to stop; not a std::exception, so that no step swallows it.
    struct Cancelled
    {
    };

    // The item names the sheet has columns for, and why some are left out.
    struct Header
    {
        QStringList names;
        QString note;
    };

    Outcome body(workbook::ExcelApplication& excel, const ExportRequest& request, qint32 docCount,
                 const QString& viewName, domino::NotesView* givenView);
    // Runs step; a failure becomes a GuardedFailure with prefix before its message.
    static void guarded(const QString& prefix, const std::function<void()>& step);
    static QString progressText(const ExportRequest& request);
    // The notes for the finished message.
    QString writeDocuments(workbook::ExcelApplication& excel, const domino::NotesView& view,
                           std::unique_ptr<domino::NotesDocument> document, const QStringList& names,
                           const ExportRequest& request, qint32 docCount);
    void startDocument(workbook::ExcelApplication& excel, int row, const domino::NotesDocument& document,
                       qint64 position);
    void writeItems(workbook::ExcelApplication& excel, int row, const domino::NotesDocument& document, qint64 position,
                    const QStringList& names);
    Header header(workbook::ExcelApplication& excel, const QStringList& allNames);
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
    // A log line of a step that goes on without it: the files matter more than their lines.
    void logQuietly(const QString& line);
    // The message of a finished run; unsaved files are counted in it.
    QString finishedMessage(const QString& notes) const;
    QString unsavedNote() const;
    QString unreadNote() const;
    void pictureStep(const domino::NotesDocument& document);
    RichTextPart richTextStep(const domino::NotesDocument& document, qint64 n, const QString& name);
    // The text of the item's first value, or empty; a value that cannot be read is counted and logged.
    QString valueStep(const domino::NotesDocument& document, qint64 n, const QString& name);
    // Tells an item the document lacks from one it holds but cannot give.
    void lookUpFailed(const domino::NotesDocument& document, qint64 n, const QString& name);
    void unreadValue(qint64 n, const QString& name, const QString& reason);
    QString documentFolder(const domino::NotesDocument& document);

    const domino::NotesDatabase& m_database;
    domino::NotesSession& m_session;
    ExcelFactory m_excelFactory;
    ExportLog& m_log;
    RunHost& m_host;
    SheetLimits m_limits;
    RunOutput m_output;
    QString m_workbookName;
    platform::OutputFolder m_workbookFolder;
    ExportFiles m_files;
    RunResult m_result;
};

} // namespace quill::exporting
