#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

namespace quill::exporting {

using Clock = std::function<QDateTime()>;

// Appends line + CRLF, in GBK, to folder + the file-name part of path (after its last "/" or "\").
// One write(2) on a descriptor opened for this line alone, so a line once returned is on disk even
// if the program dies. Throws platform::Error when the line cannot be written.
void AppendLogLine(const QString& path, const QString& line, const QString& folder);

// "log" + yyyyMMdd + ".txt"
QString logFileName(const QDate& date);

// The texts of the log lines, without the date-time that ends each of them. A line break inside a value or
// name is written as the two characters "\r" or "\n", so that every line is one step; backslashes are
// written as they are (view names use them).
namespace loglines {
QString runStart(const QString& viewName, const QString& workbookName);
QString documentStart(qint64 n);
QString attachmentCheck(qint64 n);
QString attachmentListBefore(qint64 n);
QString attachmentListAfter(qint64 n, qint64 count);
QString attachmentFetched(qint64 n, qint64 k, const QString& name);
QString attachmentSaved(qint64 n, qint64 k, const QString& path);
// What could not be saved, and why.
QString attachmentListFailed(qint64 n, const QString& reason);
QString folderFailed(qint64 n, const QString& folder, const QString& reason);
QString attachmentFailed(qint64 n, qint64 k, const QString& target, const QString& reason);
QString richTextFailed(qint64 n, const QString& target, const QString& reason);
QString pictureStart(const QString& documentFolder);
QString pictureEnd(const QString& documentFolder);
QString richTextStart(qint64 n);
QString richTextSaved(qint64 n, const QString& path);
QString valueStep(const QString& text);
QString writeStep();
QString nextDocumentFailed(qint64 n);
} // namespace loglines

// The export's log: each line ends with the current date-time and goes to that day's file.
class ExportLog
{
public:
    ExportLog(QString appPath, QString folder, Clock clock);

    void write(const QString& text);
    const QString& folder() const { return m_folder; }

private:
    QString m_appPath;
    QString m_folder;
    Clock m_clock;
    // The date-time text changes once a second; formatting it for every line is wasted work.
    qint64 m_cachedSecond = -1;
    QString m_cachedNow;
    QString m_cachedPath;
};

} // namespace quill::exporting
