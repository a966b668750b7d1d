#include "cli/batchexport.h"

#include "cli/interruption.h"
#include "platform/error.h"
#include "platform/paths.h"

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace quill::cli {

BatchExport::BatchExport(const ViewExportContext& context, domino::SessionFactory factory,
                         std::optional<workspace::Credentials> credentials)
    : m_context(context), m_factory(std::move(factory)), m_credentials(std::move(credentials))
{
}

std::vector<ViewReport> BatchExport::run(const BatchPlan& plan)
{
    const std::vector<ViewTask>& tasks = plan.tasks();
    m_reports.assign(tasks.size(), ViewReport());
    for (size_t i = 0; i < tasks.size(); ++i) {
        m_reports[i].database = plan.databases()[tasks[i].database].label;
        m_reports[i].view = tasks[i].view;
    }
    m_logFolder = platform::logFolder();
    // Jobs beyond the views help write the workbooks of views that need several.
    const int jobs = m_context.options.jobs;
    std::vector<std::thread> threads;
    m_running = jobs;
    for (int j = 0; j < jobs; ++j)
        threads.emplace_back([this, &plan] { work(plan); });
    {
        std::unique_lock lock(m_mutex);
        while (m_running > 0) {
            m_finished.wait_for(lock, std::chrono::milliseconds(250));
            lock.unlock();
            m_context.board.redraw();
            lock.lock();
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    m_context.board.clear();
    return m_reports;
}

void BatchExport::work(const BatchPlan& plan)
{
    BatchJob job(m_factory, m_credentials, m_openLock);
    QString signInProblem;
    try {
        job.signIn();
    } catch (const std::exception& e) {
        signInProblem = platform::messageOf(e);
    }
    exporting::ExportLog log(m_logFolder);
    // With one job there is nobody to share a view's workbooks with: it writes them one after the other.
    SharedWorkbooks* share = m_context.options.jobs > 1 ? &m_shared : nullptr;
    for (;;) {
        if (Interruption::requested())
            break;
        const std::optional<size_t> next = m_shared.startView(plan.tasks().size());
        if (!next) {
            const auto [view, index] =
                share && signInProblem.isEmpty() ? m_shared.claim(true) : std::pair<ViewExport*, size_t>{nullptr, 0};
            if (!view)
                break;
            view->writeForOther(index, job, log);
            continue;
        }
        const size_t i = *next;
        const ViewTask& task = plan.tasks()[i];
        ViewReport report;
        if (signInProblem.isEmpty()) {
            report = ViewExport(m_context, job, log, plan.databases()[task.database], task, share).run();
        } else {
            if (share)
                share->offer(nullptr);
            report = m_reports[i];
            report.status = ViewReport::Status::Failed;
            report.errors << signInProblem;
        }
        if (report.status == ViewReport::Status::Failed)
            m_context.board.message(u"quillmere-export: "_s + report.where() + u"："_s + report.errors.join(u"；"_s));
        m_reports[i] = std::move(report);
    }
    {
        const std::lock_guard lock(m_mutex);
        --m_running;
    }
    m_finished.notify_all();
}

} // namespace quill::cli
