#pragma once

#include "cli/batchplan.h"
#include "cli/viewreport.h"
#include "workspace/workspace.h"

#include <optional>

namespace quill::platform {
class Registry;
}

namespace quill::cli {

class BatchJob;
class BatchPlan;
class ExportManifest;

// quillmere-export once its command line is read: the installation and login checks, the output
// folder and its manifest, the plan, the export, the summary. Returns the exit status.
class BatchCommand
{
public:
    explicit BatchCommand(BatchOptions options);

    int run();

private:
    // Messages to stderr, prefixed with the program's name.
    static void complain(const QString& message);
    // The password and login for server mode; nullopt with a message printed when they fail.
    std::optional<workspace::Credentials> askCredentials();
    // Makes the output folder absolute; false, with a message printed, when it is not a folder.
    bool checkOutput();
    std::optional<QString> serverDataDirectory(const platform::Registry& registry);
    // Signed in, the manifest read, the databases found and their views listed, the output folder made;
    // nullopt with a message printed when the login fails or there is nothing to export.
    std::optional<BatchPlan> makePlan(const domino::SessionFactory& factory,
                                      const std::optional<workspace::Credentials>& credentials,
                                      ExportManifest& manifest, const QString& dataDirectory);
    int finish(const std::vector<ViewReport>& reports, double seconds);

    BatchOptions m_options;
};

} // namespace quill::cli
