#include "cli/passwordsource.h"

#include <QByteArray>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

PasswordAnswer askOnTerminal(const QString& userName)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0 || !::isatty(STDIN_FILENO)) {
        if (tty >= 0)
            ::close(tty);
        return {std::nullopt, u"没有密码：请在终端上运行以便输入密码，或设置环境变量QUILLMERE_PASSWORD，"_s
                              u"或用 --password-fd 给出"_s};
    }
    const QByteArray prompt = (u"用户"_s + userName + u"的密码："_s).toUtf8();
    (void)!::write(tty, prompt.constData(), size_t(prompt.size()));
    termios saved{};
    const bool hidden = ::tcgetattr(tty, &saved) == 0;
    if (hidden) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    const std::optional<QByteArray> line = readLine(tty);
    if (hidden)
        ::tcsetattr(tty, TCSAFLUSH, &saved);
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
