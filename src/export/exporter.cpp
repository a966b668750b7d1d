#include "export/exporter.h"

#include "export/naming.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "shell/progressdisplay.h"
#include "shell/prompts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace quill::exporting {

namespace {

// The progress window repaints at every change and the event loop is not free: thousands of
// documents a second would spend most of their time there. Changes reach the screen at most every
// kProgressInterval, events are processed at most every kEventInterval; nobody sees the difference.
constexpr qint64 kProgressInterval = 50;
constexpr qint64 kEventInterval = 10;

class ShellHost : public RunHost
{
public:
    ShellHost(shell::Prompts& prompts, shell::ProgressDisplay& progress, std::function<void()> processEvents)
        : m_prompts(prompts), m_progress(progress), m_processEvents(std::move(processEvents))
    {
        m_progressClock.start();
        m_eventClock.start();
    }
    void showMessage(const QString& text) override { m_prompts.showMessage(text); }
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
    shell::Prompts& m_prompts;
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
    explicit CommandsDisabled(shell::TfrmMain& frm) : m_frm(frm) { m_frm.setCommandsEnabled(false); }
    ~CommandsDisabled() { m_frm.setCommandsEnabled(true); }
    CommandsDisabled(const CommandsDisabled&) = delete;
    CommandsDisabled& operator=(const CommandsDisabled&) = delete;

private:
    shell::TfrmMain& m_frm;
};

} // namespace

Exporter::Exporter(shell::TfrmMain& frm, shell::ProgressDisplay& progress, ExcelFactory excelFactory,
                   ExporterOptions options)
    : m_frm(frm), m_progress(progress), m_excelFactory(std::move(excelFactory)), m_options(std::move(options))
{
}

void Exporter::exportExecute()
{
    shell::MainState& state = m_frm.state();
    const std::optional<QString> fileName = m_frm.prompts().getSaveFileName(u"Excel文件|*.xls"_s);
    if (!fileName)
        return;
    state.startNo = u"1"_s;
    if (const std::optional<QString> answer =
            m_frm.prompts().inputBox(u"请输入从第几个文档开始导出!"_s, u"从第几个文档开始导："_s, state.startNo))
        state.startNo = *answer;
    ExportView(*fileName);
}

void Exporter::ExportView(const QString& fileName)
{
    shell::MainState& state = m_frm.state();
    // Taken once: the fields may change while the run lets the event loop turn.
    const QString viewName = state.viewName;
    const qint32 docCount = state.docCount;

    const OpeningResult opening = checkExportRequest(fileName, state.startNo, docCount, viewName,
                                                     [](const QString& path) { return QFileInfo::exists(path); });
    if (opening.isError)
        throw platform::Error(opening.message);
    if (!opening.message.isEmpty())
        m_frm.prompts().showMessage(opening.message);
    if (!opening.request)
        return;
    if (!state.curDatabase || !state.notesSession)
        throw platform::Error(u"没有打开的数据库"_s);

    const QString folder = m_options.logFolder.isEmpty() ? platform::logFolder() : m_options.logFolder;
    Clock clock = m_options.clock ? m_options.clock : Clock([] { return QDateTime::currentDateTime(); });
    ExportLog log(state.appPath, folder, std::move(clock));
    ShellHost host(m_frm.prompts(), m_progress, m_options.processEvents);

    CommandsDisabled disabled(m_frm);
    ExportRun run(*state.curDatabase, *state.notesSession, m_excelFactory, log, host, m_options.limits);
    run.run(*opening.request, viewName, docCount);
}

} // namespace quill::exporting
