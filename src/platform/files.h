#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace quill::platform {

// Identity of a file-system object, to recognise one reached by two paths (links).
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

struct FolderEntry
{
    QString name;
    bool isFolder = false; // otherwise a regular file
    FileIdentity identity;
};

// The folders and regular files of a folder, in the order the file system delivers them, links
// followed. Hidden entries (names beginning with "."), sockets, devices, pipes and dangling links
// are left out. nullopt when the folder cannot be opened (missing, unreadable, not a folder).
std::optional<std::vector<FolderEntry>> listFolder(const QString& folder);

// Identity of what the path leads to (links followed); nullopt when it cannot be reached.
std::optional<FileIdentity> identityOf(const QString& path);

// Whether this process holds a descriptor open on that file.
bool isOpenInThisProcess(const QString& fileName);

// The lock test before opening a database file. False when no such file exists. Otherwise true
// when the file cannot be opened for reading, or when another process holds an advisory lock on
// any part of it (the component and its tool lock a database while they write it). A file this
// process itself has open is never reported: opening and closing a second descriptor would drop
// the locks the process holds on it.
bool IsFileLocked(const QString& fileName);

} // namespace quill::platform
