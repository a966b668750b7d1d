#include "cli/batchcommand.h"

#include "cli/batchexport.h"
#include "cli/commandline.h"
#include "cli/interruption.h"
#include "cli/passwordsource.h"
#include "domino/error.h"
#include "domino/installation.h"
#include "domino/loader.h"
#include "export/outputformat.h"
#include "platform/error.h"
#include "platform/outputfolder.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>
#include <mutex>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace quill::cli {

namespace {

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

bool isTerminal(int fd)
{
    const QByteArray term = qgetenv("TERM");
    return ::isatty(fd) && term != "dumb";
}

} // namespace

BatchCommand::BatchCommand(BatchOptions options) : m_options(std::move(options)) {}

void BatchCommand::complain(const QString& message)
{
    print(stderr, u"quillmere-export: "_s + message);
}

std::optional<workspace::Credentials> BatchCommand::askCredentials()
{
    // The names are checked before anybody is asked for a password.
    if (const auto names = workspace::checkCredentials({m_options.server, m_options.user, QString()});
        !names.credentials) {
        complain(names.message);
        return std::nullopt;
    }
    const PasswordAnswer answer = readPassword(m_options.passwordFd, platform::trimBlanks(m_options.user));
    if (!answer.password) {
        complain(answer.problem);
        return std::nullopt;
    }
    return workspace::checkCredentials({m_options.server, m_options.user, *answer.password}).credentials;
}

std::optional<QString> BatchCommand::serverDataDirectory(const platform::Registry& registry)
{
    const QString dataPath = domino::DominoDataPath(registry);
    if (dataPath == QString::fromUtf16(domino::kNotInstalled) ||
        dataPath.endsWith(QString::fromUtf16(domino::kFolderMissing))) {
        complain(u"找不到服务器的数据目录："_s + dataPath);
        return std::nullopt;
    }
    return dataPath;
}

bool BatchCommand::checkOutput()
{
    const QFileInfo info(m_options.output);
    m_options.output = QDir::cleanPath(info.absoluteFilePath());
    if (info.exists() && !info.isDir()) {
        complain(u"输出位置不是文件夹："_s + m_options.output);
        return false;
    }
    // Checked now rather than after a long run: the summary's folder is there, or is the output folder.
    const QFileInfo json(m_options.jsonFile);
    if (!m_options.jsonFile.isEmpty() && !json.absoluteDir().exists() &&
        QDir::cleanPath(json.absolutePath()) != m_options.output) {
        complain(u"无法写入结果文件"_s + m_options.jsonFile + u"：它所在的文件夹不存在"_s);
        return false;
    }
    return true;
}

int BatchCommand::run()
{
    const platform::Registry registry(platform::registryFilePath());
    if (!domino::NotesInstalled(registry) && !domino::DominoInstalled(registry)) {
        complain(QString::fromUtf16(domino::kDominoRequired));
        return kExitUsage;
    }
    const domino::SessionFactory factory = domino::registeredSessionFactory(registry);
    std::optional<workspace::Credentials> credentials;
    QString dataDirectory;
    if (m_options.serverMode()) {
        credentials = askCredentials();
        const std::optional<QString> data = credentials ? serverDataDirectory(registry) : std::nullopt;
        if (!data)
            return kExitUsage;
        dataDirectory = *data;
    }
    if (!checkOutput())
        return kExitUsage;
    ExportManifest manifest(m_options.output);
    const std::optional<BatchPlan> plan = makePlan(factory, credentials, manifest, dataDirectory);
    if (!plan)
        return kExitUsage;

    Interruption::install();
    QElapsedTimer clock;
    clock.start();
    ProgressBoard board(stderr, isTerminal(STDERR_FILENO));
    const ViewExportContext context{m_options, manifest, board, *exporting::formatNamed(m_options.format)};
    const std::vector<ViewReport> reports = BatchExport(context, factory, credentials).run(*plan);
    return finish(reports, double(clock.elapsed()) / 1000.0);
}

std::optional<BatchPlan> BatchCommand::makePlan(const domino::SessionFactory& factory,
                                                const std::optional<workspace::Credentials>& credentials,
                                                ExportManifest& manifest, const QString& dataDirectory)
{
    // Its session and the last database it listed are closed before the jobs open theirs.
    std::mutex openLock;
    BatchJob planner(factory, credentials, openLock);
    try {
        planner.signIn();
    } catch (const std::exception& e) {
        complain(platform::messageOf(e));
        return std::nullopt;
    }
    std::optional<BatchPlan> plan;
    try {
        manifest.load();
        plan.emplace(m_options, dataDirectory);
        plan->listViews([&planner](const DatabaseSource& database) { return planner.openDatabase(database)->Views(); });
    } catch (const platform::Error& e) {
        complain(e.message());
        return std::nullopt;
    }
    if (plan->databases().empty() || plan->tasks().empty()) {
        complain(plan->databases().empty() ? u"没有找到数据库："_s + m_options.sources.join(u' ')
                                           : u"没有找到要导出的视图"_s);
        return std::nullopt;
    }
    // Made only now, so that a command that exports nothing leaves nothing behind.
    if (const QString reason = platform::makeFolderPath(m_options.output); !reason.isEmpty()) {
        complain(u"无法创建输出文件夹："_s + m_options.output + u"（"_s + reason + u"）"_s);
        return std::nullopt;
    }
    try {
        manifest.openFolder();
    } catch (const platform::Error& e) {
        complain(e.message());
        return std::nullopt;
    }
    return plan;
}

int BatchCommand::finish(const std::vector<ViewReport>& reports, double seconds)
{
    const int signal = Interruption::signalNumber();
    int status = signal != 0 ? 128 + signal : exitStatusOf(reports);
    print(stdout, summaryText(reports, seconds, signal != 0));
    if (!m_options.jsonFile.isEmpty()) {
        try {
            writeSummaryJson(m_options.jsonFile, reports, seconds, status, m_options.output);
        } catch (const platform::Error& e) {
            complain(e.message());
            status = std::max(status, int(kExitSomeFailed));
        }
    }
    if (signal != 0)
        complain(u"已中断：正在写的工作簿没有保存，已完成的都在；再次运行同一命令即从中断处接着导出"_s);
    return status;
}

} // namespace quill::cli
