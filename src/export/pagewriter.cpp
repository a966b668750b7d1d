#include "export/pagewriter.h"

#include "platform/error.h"

#include <chrono>

namespace quill::exporting {

namespace {

// Looks for a while whether done() has become true, giving the processor to others meanwhile.
template <typename Done> bool lookAWhile(const Done& done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
    for (int i = 0;; ++i) {
        if (done())
            return true;
        if ((i & 15) == 15 && std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::yield();
    }
}

} // namespace

PageWriter::PageWriter(platform::OutputFolder attachmentFolder)
    : m_attachments(std::move(attachmentFolder)), m_thread([this] { work(); })
{
}

PageWriter::~PageWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void PageWriter::submit(Job job)
{
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(job));
        ++m_submittedJobs;
        wake = m_writerAsleep;
    }
    if (wake)
        m_changed.notify_all();
}

std::vector<PageWriter::Outcome> PageWriter::takeWritten()
{
    const auto allWritten = [&] { return m_writtenJobs.load() == m_submittedJobs.load(); };
    lookAWhile(allWritten);
    std::unique_lock lock(m_mutex);
    m_callerWaiting = true;
    m_changed.wait(lock, allWritten);
    m_callerWaiting = false;
    return std::exchange(m_written, {});
}

void PageWriter::work()
{
    qint64 taken = 0;
    for (;;) {
        lookAWhile([&] { return m_submittedJobs.load() != taken || m_stopping.load(); });
        std::unique_lock lock(m_mutex);
        m_writerAsleep = true;
        m_changed.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
        m_writerAsleep = false;
        if (m_queue.empty())
            return; // stopping, and nothing left to write
        const Job job = std::move(m_queue.front());
        m_queue.pop_front();
        ++taken;
        lock.unlock();
        Outcome outcome = write(job);
        lock.lock();
        m_written.push_back(std::move(outcome));
        ++m_writtenJobs;
        const bool wake = m_callerWaiting;
        lock.unlock();
        if (wake)
            m_changed.notify_all();
    }
}

PageWriter::Outcome PageWriter::write(const Job& job) const
{
    Outcome outcome{job.position, {}};
    outcome.files.reserve(job.files.size());
    QString folderError;
    platform::OutputFolder folder;
    try {
        folder = m_attachments.folder(job.folderName, true);
    } catch (const std::exception& e) {
        folderError = platform::messageOf(e);
    }
    for (const File& file : job.files) {
        Written written{job.documentFolder + file.name, folderError};
        if (folderError.isEmpty()) {
            try {
                folder.writeFile(file.name, file.bytes, platform::OutputFolder::Sync::No);
            } catch (const std::exception& e) {
                written.error = platform::messageOf(e);
            }
        }
        outcome.files.push_back(std::move(written));
    }
    return outcome;
}

} // namespace quill::exporting
