#include "platform/files.h"

#include <QFile>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace quill::platform {

namespace {

FileIdentity identityOf(const struct stat& st)
{
    return FileIdentity{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

} // namespace

std::optional<std::vector<FolderEntry>> listFolder(const QString& folder)
{
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir)
        return std::nullopt;
    const int dirFd = ::dirfd(dir);
    std::vector<FolderEntry> entries;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat st;
        if (::fstatat(dirFd, entry->d_name, &st, 0) != 0)
            continue; // dangling link or vanished entry
        const bool isFolder = S_ISDIR(st.st_mode);
        if (!isFolder && !S_ISREG(st.st_mode))
            continue;
        entries.push_back(FolderEntry{QFile::decodeName(entry->d_name), isFolder, identityOf(st)});
    }
    ::closedir(dir);
    return entries;
}

std::optional<FileIdentity> identityOf(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return identityOf(st);
}

namespace {

void walkFolder(const QString& folder, FolderTreeVisitor& visitor, std::set<FileIdentity>& visited)
{
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    const std::optional<std::vector<FolderEntry>> entries = listFolder(prefix);
    if (!entries)
        return;
    for (const FolderEntry& entry : *entries) {
        if (!entry.isFolder) {
            visitor.fileFound(entry.name);
            continue;
        }
        const bool enter = visited.insert(entry.identity).second;
        visitor.folderFound(entry.name, enter);
        if (enter) {
            walkFolder(prefix + entry.name, visitor, visited);
            visitor.leaveFolder();
        }
    }
}

} // namespace

void walkFolderTree(const QString& folder, FolderTreeVisitor& visitor)
{
    std::set<FileIdentity> visited;
    if (const std::optional<FileIdentity> self = identityOf(folder))
        visited.insert(*self);
    walkFolder(folder, visitor, visited);
}

bool isOpenInThisProcess(const QString& fileName)
{
    const std::optional<FileIdentity> wanted = identityOf(fileName);
    if (!wanted)
        return false;
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds)
        return false;
    const int ownFd = ::dirfd(fds);
    bool found = false;
    while (const dirent* entry = ::readdir(fds)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat st;
        if (::fstatat(ownFd, entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (identityOf(st) == *wanted) {
            found = true;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

bool IsFileLocked(const QString& fileName)
{
    const QByteArray encoded = QFile::encodeName(fileName);
    struct stat st;
    if (::stat(encoded.constData(), &st) != 0)
        return false;
    // Closing any descriptor of a file drops every classic lock this process holds on it (SQLite's
    // among them), so a file we already have open is not touched.
    if (isOpenInThisProcess(fileName))
        return false;
    // Without O_NONBLOCK a pipe with no writer would keep the open waiting for ever.
    const int fd = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true;
    struct flock probe;
    std::memset(&probe, 0, sizeof probe);
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0; // to the end of the file, however it grows
    // An open-file-description query also reports the classic locks of other processes.
    // A file system without lock support cannot hold a lock either.
    const bool locked = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

} // namespace quill::platform
