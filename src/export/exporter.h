#pragma once

#include "export/exportlog.h"
#include "export/exportrun.h"
#include "shell/mainwindow.h"

#include <functional>

namespace quill::shell {
class ProgressDisplay;
}

namespace quill::exporting {

struct ExporterOptions
{
    // The folder that stands for "c:\"; empty means platform::logFolder().
    QString logFolder;
    // Empty means the local clock.
    Clock clock;
    // Empty means QCoreApplication::processEvents().
    std::function<void()> processEvents;
    SheetLimits limits;
};

// The export command of the main window.
class Exporter : public shell::ExportHandlers
{
public:
    Exporter(shell::TfrmMain& frm, shell::ProgressDisplay& progress,
             ExcelFactory excelFactory = workbook::createXlsWriter, ExporterOptions options = {});

    void exportExecute() override;
    void ExportView(const QString& fileName);

private:
    shell::TfrmMain& m_frm;
    shell::ProgressDisplay& m_progress;
    ExcelFactory m_excelFactory;
    ExporterOptions m_options;
};

} // namespace quill::exporting
