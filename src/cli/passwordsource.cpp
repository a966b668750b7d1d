#include "cli/passwordsource.h"

#include <QByteArray>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace quill::cli {

namespace {

constexpr qsizetype kMaxPassword = 4096;

// Up to the first line break or the end; nullopt when the descriptor cannot be read.
std::optional<QByteArray> readLine(int fd)
{
    QByteArray line;
    char c;
    for (;;) {
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0 || c == '\n' || line.size() >= kMaxPassword)
            break;
        line += c;
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Ctrl-C at the prompt must not leave the terminal without echo: the handler puts it back and lets the
// signal end the program as it would have. Only the handler can reach these, hence their place.
int g_promptTerminal = -1;
termios g_promptSaved{};

void restoreTerminalAndDie(int number)
{
    ::tcsetattr(g_promptTerminal, TCSAFLUSH, &g_promptSaved);
    std::signal(number, SIG_DFL);
    std::raise(number);
}

// Echo off on the terminal for as long as it lives.
class EchoOff
{
public:
    explicit EchoOff(int tty) : m_tty(tty)
    {
        if (::tcgetattr(tty, &g_promptSaved) != 0)
            return;
        g_promptTerminal = tty;
        struct sigaction action = {};
        action.sa_handler = restoreTerminalAndDie;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &action, &m_previous[i]);
        termios quiet = g_promptSaved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        m_active = ::tcsetattr(tty, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff()
    {
        if (g_promptTerminal < 0)
            return;
        if (m_active)
            ::tcsetattr(m_tty, TCSAFLUSH, &g_promptSaved);
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &m_previous[i], nullptr);
        g_promptTerminal = -1;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP};
    int m_tty;
    bool m_active = false;
    struct sigaction m_previous[std::size(kSignals)] = {};
};

PasswordAnswer askOnTerminal(const QString& userName)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0 || !::isatty(STDIN_FILENO)) {
        if (tty >= 0)
            ::close(tty);
        return {std::nullopt, u"没有密码：请在终端上运行以便输入密码，或设置环境变量QUILLMERE_PASSWORD，"_s
                              u"或用 --password-fd 给出"_s};
    }
    std::optional<QByteArray> line;
    {
        const EchoOff echoOff(tty);
        const QByteArray prompt = (u"用户"_s + userName + u"的密码："_s).toUtf8();
        (void)!::write(tty, prompt.constData(), size_t(prompt.size()));
        line = readLine(tty);
    }
    ::close(tty);
    if (!line)
        return {std::nullopt, u"无法从终端读入密码："_s + systemError()};
    return {QString::fromUtf8(*line), QString()};
}

} // namespace

PasswordAnswer readPassword(int fd, const QString& userName)
{
    if (fd >= 0) {
        const std::optional<QByteArray> line = readLine(fd);
        if (!line)
            return {std::nullopt, u"无法从文件描述符"_s + QString::number(fd) + u"读入密码："_s + systemError()};
        return {QString::fromUtf8(*line), QString()};
    }
    if (qEnvironmentVariableIsSet("QUILLMERE_PASSWORD"))
        return {qEnvironmentVariable("QUILLMERE_PASSWORD"), QString()};
    return askOnTerminal(userName);
}

} // namespace quill::cli
