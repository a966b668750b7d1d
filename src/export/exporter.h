#pragma once

#include "export/exportlog.h"
#include "export/exportrun.h"

#include <functional>
#include <optional>

namespace quill::shell {
class MainWindow;
class ProgressDisplay;
class Prompts;
} // namespace quill::shell

namespace quill::workspace {
class Workspace;
}

namespace quill::exporting {

struct ExporterOptions
{
    // The folder that stands for "c:\"; empty means platform::logFolder().
    QString logFolder;
    // Empty means the local clock (LocalClock).
    Clock clock;
    // Empty means QCoreApplication::processEvents().
    std::function<void()> processEvents;
    SheetLimits limits;
};

// What the user chose for an export: the workbook's name and the number of the first document, as typed.
struct ExportTarget
{
    QString fileName;
    QString startNo;
};

// The save dialog, then the start-number box (cancelled: from document 1); nullopt when the save
// dialog is cancelled.
std::optional<ExportTarget> askExportTarget(shell::Prompts& prompts);

// The export command of the main window: exports the view the workspace lists.
class Exporter
{
public:
    Exporter(shell::MainWindow& window, workspace::Workspace& workspace, shell::ProgressDisplay& progress,
             ExcelFactory excelFactory = workbook::createXlsWriter, ExporterOptions options = {});

    // Hands the export command to the window.
    void attachCommands();

    void ExportView(const ExportTarget& target);

private:
    void exportListedView();

    shell::MainWindow& m_window;
    workspace::Workspace& m_workspace;
    shell::ProgressDisplay& m_progress;
    ExcelFactory m_excelFactory;
    ExporterOptions m_options;
};

} // namespace quill::exporting
