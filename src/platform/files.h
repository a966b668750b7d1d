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

// What a walk of a folder tree meets, in the file system's order (folders and files interleaved).
class FolderTreeVisitor
{
public:
    virtual ~FolderTreeVisitor() = default;
    // A folder. When entered, what it holds follows, then leaveFolder(); a folder reached a second
    // time (through a link back into the tree) is met but not entered.
    virtual void folderFound(const QString& name, bool entered) = 0;
    virtual void leaveFolder() = 0;
    virtual void fileFound(const QString& name) = 0;
};

// Walks the folders and regular files below folder as listFolder gives them, entering each folder at
// most once, so that links cannot make the walk endless. Meets nothing when folder cannot be read.
void walkFolderTree(const QString& folder, FolderTreeVisitor& visitor);

// Whether this process holds a descriptor open on that file.
bool isOpenInThisProcess(const QString& fileName);

// The lock test before opening a database file. False when no such file exists. Otherwise true
// when the file cannot be opened for reading, or when another process holds an advisory lock on
// any part of it (the component and its tool lock a database while they write it). A file this
// process itself has open is never reported: opening and closing a second descriptor would drop
// the locks the process holds on it.
bool IsFileLocked(const QString& fileName);

} // namespace quill::platform
