#pragma once

#include "platform/outputfolder.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace quill::exporting {

// Writes the files of the documents' pages on a thread of its own: making a folder and a few files a document
// costs the file system about as much as the rest of the document's export, and is done while the run reads and
// writes the next document. Jobs are written in the order they came, each document's files in its own folder
// below the attachment folder; what became of each file comes back, in the same order, for the run's log and
// counts.
class PageWriter
{
public:
    struct File
    {
        QString name;
        QByteArray bytes;
    };
    struct Job
    {
        qint64 position = 0;
        QString folderName;     // in the attachment folder
        QString documentFolder; // as the log shows it, ending in "/"
        std::vector<File> files;
    };
    struct Written
    {
        QString target; // as the log shows it
        QString error;  // empty: written
    };
    struct Outcome
    {
        qint64 position = 0;
        std::vector<Written> files; // in the job's order
    };

    explicit PageWriter(platform::OutputFolder attachmentFolder);
    // Writes what is queued, then ends the thread: no file handed over is dropped.
    ~PageWriter();
    PageWriter(const PageWriter&) = delete;
    PageWriter& operator=(const PageWriter&) = delete;

    void submit(Job job);
    // Waits until every job submitted is written; the outcomes since the last call.
    std::vector<Outcome> takeWritten();

private:
    void work();
    Outcome write(const Job& job) const;

    platform::OutputFolder m_attachments;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_queue;
    std::vector<Outcome> m_written;
    // Jobs handed over and written: each side looks at the other's count a while before it sleeps, since waking
    // a sleeping thread costs about as much as writing a small file.
    std::atomic<qint64> m_submittedJobs = 0;
    std::atomic<qint64> m_writtenJobs = 0;
    bool m_writerAsleep = false;
    bool m_callerWaiting = false;
    std::atomic<bool> m_stopping = false;
    std::thread m_thread;
};

} // namespace quill::exporting
