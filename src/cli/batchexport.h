#pragma once

#include "cli/batchplan.h"
#include "cli/viewexport.h"

#include <condition_variable>
#include <mutex>
#include <optional>

namespace quill::cli {

// Exports the views of a plan with options.jobs jobs at once, each a thread with a Domino session
// and export log of its own (the work is the component's reading and the writer's building, both in
// this process; threads share the manifest and the progress board without any hand-over). A job with no
// view left to start writes the next workbook of a view that has several. The calling thread redraws the
// progress board until the jobs are done.
class BatchExport
{
public:
    BatchExport(const ViewExportContext& context, domino::SessionFactory factory,
                std::optional<workspace::Credentials> credentials);

    // One report per view of the plan, in its order.
    std::vector<ViewReport> run(const BatchPlan& plan);

private:
    void work(const BatchPlan& plan);

    const ViewExportContext& m_context;
    domino::SessionFactory m_factory;
    std::optional<workspace::Credentials> m_credentials;
    QString m_logFolder;
    std::vector<ViewReport> m_reports;
    SharedWorkbooks m_shared;
    std::mutex m_openLock;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    int m_running = 0;
};

} // namespace quill::cli
