#pragma once

#include "domino/notes.h"
#include "export/exportlog.h"
#include "export/naming.h"
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
};

// The sheet's size: a header row plus one row per document; the id column plus one per item name.
struct SheetLimits
{
    int rows = 65536;
    int columns = 256;
};

inline constexpr char16_t kExcelMissing[] = u"请确认您电脑上是否安装了EXCEL！";
inline constexpr char16_t kFinished[] = u"您好，数据导出完成，导出的附件文档存放在Excel文件的同一目录下，文件夹名为：";
inline constexpr char16_t kCellFailed[] = u"*********************************************";

// One export of a view into a new workbook, after the opening checks. Every way out saves the rows
// written so far, quits the writer and closes the progress window; a failure no step guards is then
// rethrown for the general error handler.
class ExportRun
{
public:
    ExportRun(const domino::NotesDatabase& database, domino::NotesSession& session, ExcelFactory excelFactory,
              ExportLog& log, RunHost& host, SheetLimits limits = {});

    void run(const ExportRequest& request, const QString& viewName, qint32 docCount);

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
        Failed
    };

    Ending body(workbook::ExcelApplication& excel, const ExportRequest& request, qint32 docCount,
                const QString& viewName, QString& notes, QString& guardedMessage);
    QStringList header(workbook::ExcelApplication& excel, const QStringList& names, QString& notes);
    void attachmentStep(const domino::NotesDocument& document, qint64 n);
    void pictureStep(const domino::NotesDocument& document);
    RichTextPart richTextStep(const domino::NotesDocument& document, qint64 n, const QString& name);
    void valueStep(const domino::NotesDocument& document, const QString& name, QString& s);
    QString documentFolder(const domino::NotesDocument& document) const;

    const domino::NotesDatabase& m_database;
    domino::NotesSession& m_session;
    ExcelFactory m_excelFactory;
    ExportLog& m_log;
    RunHost& m_host;
    SheetLimits m_limits;
    QString m_attachmentFolder;
};

} // namespace quill::exporting
