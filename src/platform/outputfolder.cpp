#include "platform/outputfolder.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace quill::platform {

namespace {

QByteArray native(const QString& name)
{
    return QFile::encodeName(name);
}

Error writeFailed(const QString& path, const QString& reason)
{
    return Error(u"无法写入文件："_s + path + u"（"_s + reason + u"）"_s);
}

// Writes straight to a descriptor: every byte or an error that says why, never a buffer that fails
// later without a word.
class DescriptorDevice final : public QIODevice
{
public:
    explicit DescriptorDevice(int fd) : m_fd(fd) { QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

    bool failed() const { return m_failed; }
    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override
    {
        if (::lseek(m_fd, pos, SEEK_SET) != pos) {
            fail(systemErrorText(errno));
            return false;
        }
        return QIODevice::seek(pos);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override
    {
        qint64 done = 0;
        while (done < length) {
            // A short write is not the end: the rest is written, or the next call says why it cannot be.
            const ssize_t n = ::write(m_fd, data + done, size_t(std::min<qint64>(length - done, 1 << 30)));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                fail(n < 0 ? systemErrorText(errno) : u"只写入了部分内容"_s);
                return -1;
            }
            done += n;
        }
        return length;
    }

private:
    void fail(const QString& reason)
    {
        m_failed = true;
        setErrorString(reason);
    }

    int m_fd;
    bool m_failed = false;
};

int openFolder(int at, const QByteArray& name, bool follow)
{
    int fd;
    do
        fd = ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool isLink(int at, const QByteArray& name)
{
    struct stat st = {};
    return ::fstatat(at, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

} // namespace

QString systemErrorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString makeFolderPath(const QString& path)
{
    std::error_code error;
    const std::filesystem::path native(QFile::encodeName(path).toStdString());
    std::filesystem::create_directories(native, error);
    if (!error && !std::filesystem::is_directory(native, error))
        error = std::make_error_code(std::errc::not_a_directory);
    return error ? QString::fromLocal8Bit(error.message()) : QString();
}

QString linkRefused(const QString& path)
{
    return path + u"是符号链接：导出不经由链接读写文件，请移走它再导出"_s;
}

OutputFolder::OutputFolder(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}

OutputFolder::~OutputFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

OutputFolder OutputFolder::open(const QString& path)
{
    QString shown = path;
    while (shown.size() > 1 && shown.endsWith(u'/'))
        shown.chop(1);
    const int fd = openFolder(AT_FDCWD, native(shown.isEmpty() ? u"."_s : shown), true);
    if (fd < 0)
        throw Error(u"无法打开文件夹："_s + shown + u"（"_s + systemErrorText(errno) + u"）"_s);
    return OutputFolder(fd, shown);
}

OutputFolder OutputFolder::folder(const QString& relative, bool create) const
{
    OutputFolder current(::fcntl(m_fd, F_DUPFD_CLOEXEC, 0), m_path);
    if (!current.isOpen())
        throw Error(u"无法打开文件夹："_s + m_path + u"（"_s + systemErrorText(errno) + u"）"_s);
    for (const QString& part : relative.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"."_s)
            continue;
        const QString shownPart = current.shown(part);
        if (part == u".."_s)
            throw Error(u"无法打开文件夹："_s + shownPart + u"（不能离开输出文件夹）"_s);
        const QByteArray name = native(part);
        int fd = openFolder(current.m_fd, name, false);
        if (fd < 0 && errno == ENOENT && create) {
            if (::mkdirat(current.m_fd, name.constData(), 0777) != 0 && errno != EEXIST)
                throw Error(u"无法创建文件夹："_s + shownPart + u"（"_s + systemErrorText(errno) + u"）"_s);
            fd = openFolder(current.m_fd, name, false);
        }
        if (fd < 0) {
            const int error = errno;
            if (isLink(current.m_fd, name))
                throw Error(linkRefused(shownPart));
            throw Error((create ? u"无法创建文件夹："_s : u"无法打开文件夹："_s) + shownPart + u"（"_s +
                        systemErrorText(error) + u"）"_s);
        }
        current = OutputFolder(fd, shownPart);
    }
    return current;
}

QString OutputFolder::shown(const QString& relative) const
{
    if (m_path.isEmpty())
        return relative;
    if (relative.isEmpty())
        return m_path;
    return m_path.endsWith(u'/') ? QString(m_path + relative) : QString(m_path + u'/' + relative);
}

QString OutputFolder::pinned(const QString& name) const
{
    return u"/proc/self/fd/"_s + QString::number(m_fd) + u'/' + name;
}

QString OutputFolder::unpin(const QString& text, const QString& temporary, const QString& name) const
{
    QString out = text;
    if (!temporary.isEmpty())
        out.replace(pinned(temporary), shown(name));
    const QString prefix = m_path.isEmpty() || m_path.endsWith(u'/') ? m_path : QString(m_path + u'/');
    out.replace(pinned(QString()), prefix);
    return out.replace(QRegularExpression(QRegularExpression::escape(pinned(QString()).chopped(1)) + u"(?!\\d)"_s),
                       m_path);
}

int OutputFolder::walkToParent(const QString& relative, QString* last, OutputFolder* holder) const
{
    QStringList parts = relative.split(u'/', Qt::SkipEmptyParts);
    *last = parts.isEmpty() ? QString() : parts.takeLast();
    if (*last == u".."_s)
        return -1;
    if (parts.isEmpty())
        return m_fd;
    int at = m_fd;
    QString walked;
    for (const QString& part : parts) {
        walked = walked.isEmpty() ? part : walked + u'/' + part;
        if (part == u".."_s)
            return -1; // never above this folder
        const QByteArray name = native(part);
        const int fd = openFolder(at, name, false);
        if (fd < 0) {
            if (isLink(at, name))
                throw Error(linkRefused(shown(walked)));
            return -1;
        }
        *holder = OutputFolder(fd, shown(walked));
        at = fd;
    }
    return at;
}

OutputFolder::Entry OutputFolder::entry(const QString& relative) const
{
    QString last;
    OutputFolder holder;
    int at;
    try {
        at = walkToParent(relative, &last, &holder);
    } catch (const Error&) {
        return Entry::Link;
    }
    struct stat st = {};
    if (at < 0 || ::fstatat(at, native(last).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Entry::Missing;
    if (S_ISLNK(st.st_mode))
        return Entry::Link;
    if (S_ISREG(st.st_mode))
        return Entry::File;
    return S_ISDIR(st.st_mode) ? Entry::Folder : Entry::Other;
}

QString OutputFolder::temporaryName()
{
    return u".quillmere-"_s + QString::number(QRandomGenerator::global()->generate64(), 16) + u".tmp"_s;
}

void OutputFolder::remove(const QString& name) const
{
    ::unlinkat(m_fd, native(name).constData(), 0);
}

void OutputFolder::place(const QString& temporary, const QString& name) const
{
    const QByteArray target = native(name);
    struct stat st = {};
    if (::fstatat(m_fd, target.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
        remove(temporary);
        if (S_ISLNK(st.st_mode))
            throw Error(linkRefused(shown(name)));
        throw writeFailed(shown(name), u"已有同名的文件夹或特殊文件"_s);
    }
    if (::renameat(m_fd, native(temporary).constData(), m_fd, target.constData()) != 0) {
        const int error = errno;
        remove(temporary);
        throw writeFailed(shown(name), systemErrorText(error));
    }
}

void OutputFolder::writeFile(const QString& name, const std::function<bool(QIODevice&)>& write, Sync sync) const
{
    if (name.isEmpty() || name.contains(u'/'))
        throw writeFailed(shown(name), u"不是文件名"_s);
    QString temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = temporaryName();
        do
            fd = ::openat(m_fd, native(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0666);
        while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw writeFailed(shown(name), systemErrorText(errno));
    QString reason;
    {
        DescriptorDevice device(fd);
        bool written = false;
        try {
            written = write(device);
        } catch (...) {
            ::close(fd);
            remove(temporary);
            throw;
        }
        if (!written || device.failed())
            reason = device.failed() ? device.errorString() : u"写入失败"_s;
    }
    // A file renamed into place before its bytes are on the disk can be empty after a crash.
    if (reason.isEmpty() && sync == Sync::Yes && ::fsync(fd) != 0)
        reason = systemErrorText(errno);
    if (::close(fd) != 0 && reason.isEmpty())
        reason = systemErrorText(errno);
    if (!reason.isEmpty()) {
        remove(temporary);
        throw writeFailed(shown(name), reason);
    }
    place(temporary, name);
}

void OutputFolder::writeFile(const QString& name, const QByteArray& bytes, Sync sync) const
{
    writeFile(
        name, [&bytes](QIODevice& device) { return device.write(bytes) == bytes.size(); }, sync);
}

void OutputFolder::writeFileAt(const QString& path, const std::function<bool(QIODevice&)>& write)
{
    const qsizetype cut = path.lastIndexOf(u'/');
    const QString name = path.mid(cut + 1);
    if (name.isEmpty())
        throw writeFailed(path, u"不是文件名"_s);
    const QString folderPath = cut < 0 ? QString() : cut == 0 ? u"/"_s : path.left(cut);
    const int fd = openFolder(AT_FDCWD, native(folderPath.isEmpty() ? u"."_s : folderPath), true);
    if (fd < 0)
        throw writeFailed(path, systemErrorText(errno));
    OutputFolder(fd, folderPath).writeFile(name, write);
}

std::unique_ptr<QFile> OutputFolder::openFile(const QString& relative) const
{
    QString last;
    OutputFolder holder;
    const int at = walkToParent(relative, &last, &holder);
    if (at < 0)
        return nullptr;
    const QByteArray name = native(last);
    int fd;
    do
        fd = ::openat(at, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return nullptr;
        if (isLink(at, name))
            throw Error(linkRefused(shown(relative)));
        throw Error(u"无法读取"_s + shown(relative) + u"（"_s + systemErrorText(error) + u"）"_s);
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error(shown(relative) + u"不是普通文件"_s);
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Error(u"无法读取"_s + shown(relative) + u"（"_s + file->errorString() + u"）"_s);
    }
    return file;
}

bool OutputFolder::sameContents(const QString& a, const QString& b) const
{
    try {
        const std::unique_ptr<QFile> first = openFile(a);
        const std::unique_ptr<QFile> second = openFile(b);
        if (!first || !second || first->size() != second->size())
            return false;
        constexpr qint64 kChunk = 1 << 16;
        while (!first->atEnd()) {
            const QByteArray left = first->read(kChunk);
            if (left.isEmpty() || left != second->read(left.size()))
                return false;
        }
        return true;
    } catch (const Error&) {
        return false;
    }
}

void OutputFolder::syncFileSystem() const
{
    if (::syncfs(m_fd) != 0)
        throw Error(u"无法把"_s + m_path + u"中写好的文件存到磁盘上（"_s + systemErrorText(errno) + u"）"_s);
}

void OutputFolder::syncFolder() const
{
    if (::fsync(m_fd) != 0)
        throw Error(u"无法把"_s + m_path + u"中写好的文件存到磁盘上（"_s + systemErrorText(errno) + u"）"_s);
}

} // namespace quill::platform
