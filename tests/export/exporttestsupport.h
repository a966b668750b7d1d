#pragma once

#include "export/exportrun.h"
#include "export/runmessages.h"
#include "fakedomino.h"
#include "platform/error.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <utility>

namespace quill::testing {

// Records the six workbook operations; fail() makes chosen calls throw WorkbookError.
// The path a pinned one ("/proc/self/fd/N/name") leads to, for comparing; any other as it is.
inline QString unpinned(const QString& path)
{
    static const QString prefix = QStringLiteral("/proc/self/fd/");
    const qsizetype slash = path.indexOf(u'/', prefix.size());
    if (!path.startsWith(prefix) || slash < 0)
        return path;
    return QFile::symLinkTarget(path.left(slash)) + path.mid(slash);
}

class RecordingExcel : public workbook::ExcelApplication
{
public:
    struct Shared
    {
        QStringList calls;
        std::map<std::pair<int, int>, QString> cells;
        std::map<std::pair<int, int>, QString> saved; // the cells as they were saved
        QString savedAs;
        int saves = 0;
        int quits = 0;
        bool alive = false;
        // Operation name -> calls to let pass before failing (-1 never); each failure is used once.
        struct Failure
        {
            QString operation;
            int skip;
            int times;
        };
        std::vector<Failure> failures;
        void fail(const QString& operation, int skip = 0, int times = 1)
        {
            failures.push_back({operation, skip, times});
        }
    };

    explicit RecordingExcel(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) { m_shared->alive = true; }
    ~RecordingExcel() override { m_shared->alive = false; }

    void StartExcel() override { hit(QStringLiteral("StartExcel")); }
    void SetColumnWidth(int column, int width) override
    {
        hit(QStringLiteral("SetColumnWidth"), QStringLiteral("(%1,%2)").arg(column).arg(width));
    }
    void SetCellTextFormat(int row, int column) override
    {
        hit(QStringLiteral("SetCellTextFormat"), QStringLiteral("(%1,%2)").arg(row).arg(column));
    }
    void SetCellValue(int row, int column, const QString& text) override
    {
        hit(QStringLiteral("SetCellValue"), QStringLiteral("(%1,%2)").arg(row).arg(column));
        m_shared->cells[{row, column}] = text;
    }
    void SaveWorkbook(const QString& fileName) override
    {
        hit(QStringLiteral("SaveWorkbook"));
        m_shared->saved = m_shared->cells;
        m_shared->savedAs = unpinned(fileName);
        ++m_shared->saves;
    }
    void QuitExcel() override
    {
        hit(QStringLiteral("QuitExcel"));
        ++m_shared->quits;
    }

private:
    void hit(const QString& operation, const QString& arguments = {})
    {
        m_shared->calls << operation + arguments;
        for (auto& f : m_shared->failures) {
            if (f.operation != operation || f.times == 0)
                continue;
            if (f.skip > 0) {
                --f.skip;
                continue;
            }
            --f.times;
            throw workbook::WorkbookError(operation + QStringLiteral("失败"));
        }
    }
    std::shared_ptr<Shared> m_shared;
};

class RecordingHost : public exporting::RunHost
{
public:
    QStringList shown; // "message:" (as the window tells the result), "show", "text:", "progress:", "close"
    int events = 0;
    bool open = false;
    std::function<void()> onEvents; // called at every processEvents()
    // Asks to stop before the document with this index (from 0); -1 never.
    int cancelBefore = -1;
    int documentsAsked = 0;

    // Tells a run's result as the window's export command does: a failure before a workbook that could not be
    // saved, a finished run only once it is saved.
    void tell(const exporting::RunResult& result)
    {
        using Stop = exporting::RunResult::Stop;
        const bool failed = result.stop == Stop::Failed || result.stop == Stop::NoWriter;
        if (failed)
            shown << QStringLiteral("message:") + exporting::runMessage(result);
        if (!result.saveError.isEmpty())
            throw platform::Error(result.saveError);
        if (!failed && result.stop != Stop::Cancelled)
            shown << QStringLiteral("message:") + exporting::runMessage(result);
    }
    void showProgressWindow() override
    {
        shown << QStringLiteral("show");
        open = true;
    }
    void setProgressText(const QString& text) override { shown << QStringLiteral("text:") + text; }
    void setProgress(qint32 max, qint32 position) override
    {
        shown << QStringLiteral("progress:%1/%2").arg(position).arg(max);
    }
    void closeProgressWindow() override
    {
        shown << QStringLiteral("close");
        open = false;
    }
    void processEvents() override
    {
        ++events;
        if (onEvents)
            onEvents();
    }
    bool cancelRequested() override { return documentsAsked++ == cancelBefore; }

    QStringList messages() const
    {
        QStringList out;
        for (const QString& s : shown)
            if (s.startsWith(QStringLiteral("message:")))
                out << s.mid(8);
        return out;
    }
};

// A fixed moment: the log's date-time text is "2026-12-8 4:24:34".
inline QDateTime fixedNow()
{
    return QDateTime(QDate(2026, 12, 8), QTime(4, 24, 34));
}

// The log file's lines, decoded from GBK, each checked to end in CRLF.
QStringList readLogLines(const QString& path);

// A view in a fake database, a recording workbook and host, a log folder and clock, all in a
// temporary folder.
struct ExportRig
{
    QTemporaryDir tmp;
    FakeDomino domino;
    FakeDatabase& db;
    std::shared_ptr<RecordingExcel::Shared> excel = std::make_shared<RecordingExcel::Shared>();
    RecordingHost host;
    QString logFolder;
    exporting::Clock clock = fixedNow;
    exporting::SheetLimits limits = exporting::defaultFormat().limits;
    bool completeColumns = false; // as .xlsx and CSV have them
    exporting::RunOutput output;
    bool excelMissing = false;
    bool pageColumn = false;
    std::function<void(exporting::ExportRun&)> beforeRun;

    ExportRig()
        : db(domino.addDatabase(QStringLiteral("/data/crm.nsf"))), logFolder(tmp.path() + QStringLiteral("/state/"))
    {
        QDir().mkpath(logFolder);
    }

    QString out() const { return tmp.path() + QStringLiteral("/out/"); }
    QString logPath() const { return logFolder + QStringLiteral("log20261208.txt"); }

    // Runs the export after the opening checks (of the view given, when given) and tells its result as the
    // window does; rethrows what the run throws.
    exporting::RunResult run(const QString& viewName, qint32 start, qint32 docCount, const QString& workbookName,
                             domino::NotesView* view = nullptr)
    {
        QDir().mkpath(out());
        std::unique_ptr<domino::NotesSession> session = domino.sessionFactory()();
        session->InitLocalSession(QString());
        const std::shared_ptr<domino::NotesDatabase> database =
            session->OpenDatabase(QString(), QStringLiteral("/data/crm.nsf"), false);
        exporting::ExportLog log(logFolder, clock);
        auto shared = excel;
        const bool missing = excelMissing;
        exporting::OutputFormat format = exporting::defaultFormat();
        format.limits = limits;
        format.completeColumns = completeColumns;
        format.pageColumn = pageColumn;
        format.makeWriter = [shared, missing]() -> std::unique_ptr<workbook::ExcelApplication> {
            if (missing)
                throw workbook::WorkbookError(QStringLiteral("没有Excel"));
            return std::make_unique<RecordingExcel>(shared);
        };
        exporting::ExportRun exportRun(*database, *session, format, log, host);
        exportRun.setOutput(output);
        if (beforeRun)
            beforeRun(exportRun);
        domino.clearCalls();
        const exporting::RunResult result = exportRun.run({workbookName, start}, viewName, docCount, view);
        host.tell(result);
        return result;
    }
    QString workbook() const { return out() + QStringLiteral("合同_开始为第1个文档.xls"); }
};

// The attachments of one document as a careless or hostile database holds them: names that reduce to the
// same file name, repeat, differ only in case or are too long for a file name; each with bytes of its own.
struct HostileAttachment
{
    QString name;
    QByteArray contents;
    QString savedAs; // the file name the export gives it, in list order
};
std::vector<HostileAttachment> hostileAttachments();

// Every regular file below a folder, as paths relative to it.
inline QStringList filesBelow(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

} // namespace quill::testing
