#include "app/exportcommand.h"

#include "export/exportrun.h"
#include "export/naming.h"
#include "export/runmessages.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "shell/mainwindow.h"
#include "shell/progressdisplay.h"
#include "shell/prompts.h"
#include "workspace/settings.h"
#include "workspace/workspace.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace quill::app {

using namespace exporting;

namespace {

// The progress window repaints at every change and the event loop is not free: thousands of
// documents a second would spend most of their time there. Changes reach the screen at most every
// kProgressInterval, events are processed at most every kEventInterval; nobody sees the difference.
constexpr qint64 kProgressInterval = 50;
constexpr qint64 kEventInterval = 10;

class ShellHost : public RunHost
{
public:
    ShellHost(shell::ProgressDisplay& progress, std::function<void()> processEvents)
        : m_progress(progress), m_processEvents(std::move(processEvents))
    {
        m_progressClock.start();
        m_eventClock.start();
    }
    void showProgressWindow() override { m_progress.show(); }
    void setProgressText(const QString& text) override
    {
        m_text = text;
        m_textPending = true;
    }
    void setProgress(qint32 max, qint32 position) override
    {
        // Text and position change together, the position last.
        if (!m_shownOnce || position == 0 || position == max || m_progressClock.elapsed() >= kProgressInterval) {
            if (m_textPending)
                m_progress.setText(m_text);
            m_progress.setProgress(max, position);
            m_textPending = false;
            m_shownOnce = true;
            m_progressClock.restart();
        }
    }
    void closeProgressWindow() override { m_progress.close(); }
    void processEvents() override
    {
        if (m_processEvents) {
            m_processEvents();
        } else if (m_eventClock.elapsed() >= kEventInterval) {
            QCoreApplication::processEvents();
            m_eventClock.restart();
        }
    }

private:
    shell::ProgressDisplay& m_progress;
    std::function<void()> m_processEvents;
    QElapsedTimer m_progressClock;
    QElapsedTimer m_eventClock;
    QString m_text;
    bool m_textPending = false;
    bool m_shownOnce = false;
};

// The run lets the event loop turn; the other commands would change the state it reads.
class CommandsDisabled
{
public:
    explicit CommandsDisabled(shell::MainWindow& window) : m_window(window) { m_window.setCommandsEnabled(false); }
    ~CommandsDisabled() { m_window.setCommandsEnabled(true); }
    CommandsDisabled(const CommandsDisabled&) = delete;
    CommandsDisabled& operator=(const CommandsDisabled&) = delete;

private:
    shell::MainWindow& m_window;
};

} // namespace

std::optional<ExportTarget> askExportTarget(shell::Prompts& prompts, const std::vector<OutputFormat>& formats)
{
    QStringList filters;
    for (const OutputFormat& format : formats)
        filters << format.dialogFilter;
    int chosen = 0;
    const std::optional<QString> fileName = prompts.getSaveFileName(filters.join(u'|'), &chosen);
    if (!fileName)
        return std::nullopt;
    const QString first = u"1"_s;
    const std::optional<QString> startNo =
        prompts.inputBox(u"请输入从第几个文档开始导出!"_s, u"从第几个文档开始导："_s, first);
    const size_t format = chosen >= 0 && size_t(chosen) < formats.size() ? size_t(chosen) : 0;
    return ExportTarget{*fileName, startNo.value_or(first), format};
}

ExportCommand::ExportCommand(shell::MainWindow& window, workspace::Workspace& workspace,
                             shell::ProgressDisplay& progress, ExportCommandOptions options)
    : m_window(window), m_workspace(workspace), m_progress(progress), m_options(std::move(options))
{
}

void ExportCommand::attachCommands()
{
    m_window.setHandler(shell::Command::Export, [this] { exportListedView(); });
    // Beside the export in the tools menu; kept in the settings file, read again by every export.
    auto* pages = new QAction(u"导出时生成网页"_s, &m_window);
    pages->setObjectName(u"htmlPages"_s);
    pages->setCheckable(true);
    pages->setToolTip(
        u"导出时为每个文档写一个网页（全部域和正文），并在附件文件夹中写index.html，可用浏览器离线浏览"_s);
    pages->setChecked(workspace::readHtmlPagesSetting(m_workspace.settingsFilePath()));
    QObject::connect(pages, &QAction::toggled, &m_window, [this, pages](bool on) {
        const bool written =
            m_window.runCommand([&] { workspace::writeHtmlPagesSetting(m_workspace.settingsFilePath(), on); });
        if (!written) {
            const QSignalBlocker blocker(pages); // the box showed why; the menu shows what holds
            pages->setChecked(!on);
        }
    });
    if (auto* tools = m_window.findChild<QMenu*>(u"toolsMenu"_s))
        tools->insertAction(tools->actions().value(1), pages);
}

void ExportCommand::exportListedView()
{
    if (const std::optional<ExportTarget> target = askExportTarget(m_window.prompts(), m_options.formats))
        ExportView(*target);
}

void ExportCommand::ExportView(const ExportTarget& target)
{
    const OutputFormat& format = m_options.formats.at(target.format);
    // Taken once: the workspace may change while the run lets the event loop turn.
    const QString viewName = m_workspace.viewName();
    const qint32 docCount = m_workspace.docCount();

    // A link under the name is there too, even one that leads nowhere: nothing is written through it.
    const OpeningResult opening = checkExportRequest(
        target.fileName, target.startNo, docCount, viewName,
        [](const QString& path) {
            const QFileInfo info(path);
            return info.exists() || info.isSymLink();
        },
        format);
    if (opening.isError)
        throw platform::Error(opening.message);
    if (!opening.message.isEmpty())
        m_window.prompts().showMessage(opening.message);
    if (!opening.request)
        return;
    if (!m_workspace.database().isConnected())
        throw platform::Error(u"没有打开的数据库"_s);

    const QString folder = m_options.logFolder.isEmpty() ? platform::logFolder() : m_options.logFolder;
    ExportLog log(folder, m_options.clock);
    ShellHost host(m_progress, m_options.processEvents);

    // Search results are exported as found again now, in the view held still; a whole view is found by the run.
    const std::unique_ptr<domino::NotesView> held =
        m_workspace.listing() ? m_workspace.listing()->holdForExport() : nullptr;

    CommandsDisabled disabled(m_window);
    ExportRun run(m_workspace.database(), m_workspace.session(), format, log, host);
    RunOutput output;
    output.htmlPages = workspace::readHtmlPagesSetting(m_workspace.settingsFilePath());
    run.setOutput(output);
    const RunResult result = run.run(*opening.request, viewName, docCount, held.get());
    // A failure is told before a workbook that could not be saved; a finished run only once it is saved.
    using Stop = RunResult::Stop;
    const bool failed = result.stop == Stop::Failed || result.stop == Stop::NoWriter;
    if (failed)
        m_window.prompts().showMessage(runMessage(result));
    if (!result.saveError.isEmpty())
        throw platform::Error(result.saveError);
    if (!failed && result.stop != Stop::Cancelled)
        m_window.prompts().showMessage(runMessage(result));
}

} // namespace quill::app
