#pragma once

#include "export/exportlog.h"
#include "export/outputformat.h"

#include <functional>
#include <optional>
#include <vector>

namespace quill::shell {
class MainWindow;
class ProgressDisplay;
class Prompts;
} // namespace quill::shell

namespace quill::workspace {
class Workspace;
}

namespace quill::app {

struct ExportCommandOptions
{
    // The folder that stands for "c:\"; empty means platform::logFolder().
    QString logFolder;
    // Empty means the local clock (LocalClock).
    exporting::Clock clock;
    // Empty means QCoreApplication::processEvents().
    std::function<void()> processEvents;
    // The save dialog's types, the default first.
    std::vector<exporting::OutputFormat> formats = exporting::outputFormats();
};

// What the user chose for an export: the workbook's name and the number of the first document, as typed.
struct ExportTarget
{
    QString fileName;
    QString startNo;
    size_t format = 0; // the type chosen in the save dialog, in the list it was offered
};

// The save dialog, offering each format's type, then the start-number box (cancelled: from document 1);
// nullopt when the save dialog is cancelled.
std::optional<ExportTarget> askExportTarget(shell::Prompts& prompts,
                                            const std::vector<exporting::OutputFormat>& formats);

// The export command of the main window: exports what the workspace lists, and tells the user how it went.
class ExportCommand
{
public:
    ExportCommand(shell::MainWindow& window, workspace::Workspace& workspace, shell::ProgressDisplay& progress,
                  ExportCommandOptions options = {});

    // Hands the export command to the window.
    void attachCommands();

    void ExportView(const ExportTarget& target);

private:
    void exportListedView();

    shell::MainWindow& m_window;
    workspace::Workspace& m_workspace;
    shell::ProgressDisplay& m_progress;
    ExportCommandOptions m_options;
};

} // namespace quill::app
