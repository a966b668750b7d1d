#pragma once

#include "export/localclock.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

namespace quill::exporting {

using Clock = std::function<QDateTime()>;

// The log file a run appends to, held open from line to line. Each line is one write(2) to a
// descriptor opened with O_APPEND, so a line once written is in the file even if the program dies.
// Every kCheckEvery lines, at checkPathAtNextLine() and at the end, the file is looked at: one
// removed meanwhile (no link left) gets the lines written since the last look again, in a new file
// under the name, so that none is lost; one renamed away (rotated) keeps the lines written to it,
// and the next line after checkPathAtNextLine() goes to the file under the name, created when
// missing.
class LogFile
{
public:
    static constexpr int kCheckEvery = 64;

    // folder stands for "c:\".
    explicit LogFile(QString folder);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Writes bytes to folder + the file-name part of path (after its last "/" or "\"). Throws
    // platform::Error when they cannot be written.
    void append(const QString& path, const QByteArray& bytes);
    void checkPathAtNextLine() { m_checkPath = true; }
    const QString& folder() const { return m_folder; }

private:
    void open(const QString& path);
    void close();
    void writeAll(const QByteArray& bytes);
    // Writes the lines since the last look again if the file was removed meanwhile.
    void recoverRemoved();
    bool pathLeadsHere() const;

    QString m_folder;
    QString m_path;
    QString m_target;
    QByteArray m_nativeTarget;
    int m_fd = -1;
    quint64 m_device = 0;
    quint64 m_inode = 0;
    // Some file systems report no links at all; removal is not looked for there.
    bool m_linksCounted = false;
    bool m_checkPath = false;
    QByteArray m_sinceCheck;
    int m_linesSinceCheck = 0;
};

// Appends line + CRLF, in GBK, to folder + the file-name part of path, with a file opened for this line
// alone. A run writes its lines through ExportLog, which holds the file open.
void AppendLogLine(const QString& path, const QString& line, const QString& folder);

// "log" + yyyyMMdd + ".txt"
QString logFileName(const QDate& date);

// The export's log: a call per step writes that step's line, ending with the current date-time, to that day's
// file. A line break inside a value or name is written as the two characters "\r" or "\n", so that every line
// is one step; backslashes are written as they are (view names use them).
//
// The lines a run cannot go on without (its first line, a document's first line, the attachment step's first
// line, the line of a view that cannot go on) throw platform::Error when they cannot be written. Every other
// step goes on without its line: the line is counted as lost and the call returns.
class ExportLog
{
public:
    // folder stands for "c:\"; an empty clock is the local one (LocalClock).
    explicit ExportLog(QString folder, Clock clock = {});

    void runStart(const QString& viewName, const QString& workbookName);
    void documentStart(qint64 n);
    void attachmentCheck(qint64 n);
    void folderFailed(qint64 n, const QString& folder, const QString& reason);
    void attachmentListBefore(qint64 n);
    void attachmentListAfter(qint64 n, qint64 count);
    void attachmentListFailed(qint64 n, const QString& reason);
    void attachmentFetched(qint64 n, qint64 k, const QString& name);
    void attachmentSaved(qint64 n, qint64 k, const QString& path);
    void attachmentFailed(qint64 n, qint64 k, const QString& target, const QString& reason);
    // The picture step's two lines; the second only when the first was written.
    void pictures(const QString& documentFolder);
    void richTextStart(qint64 n);
    void richTextSaved(qint64 n, const QString& path);
    void richTextFailed(qint64 n, const QString& target, const QString& reason);
    void valueStep(const QString& text);
    void valueFailed(qint64 n, const QString& item, const QString& reason);
    void writeStep();
    void nextDocumentFailed(qint64 n);
    // Items the sheet has no column for because the start document lacks them (.xls).
    void itemsLeftOut(qint64 n, const QStringList& items);
    void wholeTextSaved(qint64 n, const QString& item, qint64 cellText, const QString& path);
    void wholeTextFailed(qint64 n, const QString& item, const QString& target, const QString& reason);
    // The HTML pages: a document's page, a picture or mail part beside it, a body read only in part, the index.
    void pageSaved(qint64 n, const QString& path);
    void pageFailed(qint64 n, const QString& path, const QString& reason);
    void pageFileSaved(qint64 n, const QString& path);
    void pageFileFailed(qint64 n, const QString& path, const QString& reason);
    void bodyIncomplete(qint64 n, const QString& item, const QString& reason);
    void indexSaved(const QString& path);
    void indexFailed(const QString& path, const QString& reason);

    // Writes text and the date-time as one line. Throws platform::Error when it cannot be written; the line is
    // counted as lost.
    void write(const QString& text);
    const QString& folder() const { return m_file.folder(); }
    // Lines that could not be written, over the log's life, and why the last could not.
    qint64 linesLost() const { return m_linesLost; }
    const QString& lastLoss() const { return m_lastLoss; }

private:
    // A line the step goes on without.
    void note(const QString& text);

    Clock m_clock;
    LocalClock m_localClock;
    LogFile m_file;
    // The date-time text changes once a second; formatting it for every line is wasted work.
    qint64 m_cachedSecond = -1;
    QByteArray m_cachedEnding; // the date-time and CRLF, in GBK
    QString m_cachedName;
    qint64 m_linesLost = 0;
    QString m_lastLoss;
};

} // namespace quill::exporting
