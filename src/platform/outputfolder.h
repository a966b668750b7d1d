#pragma once

#include "platform/error.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <functional>
#include <memory>

class QFile;

namespace quill::platform {

// A folder held open by its descriptor. What is made or read below it is reached name by name from that
// descriptor and never through a symbolic link, so that a link planted in an output folder cannot send a
// file elsewhere or let one elsewhere be overwritten; the folder itself is taken as the user named it.
// A file is written whole into a new temporary file and renamed into place only then, so that no name
// ever shows half a file. Every failure is a platform::Error naming the file and the cause.
class OutputFolder
{
public:
    enum class Entry
    {
        Missing,
        File,
        Folder,
        Link, // or reached only through a link
        Other
    };

    OutputFolder() = default;
    ~OutputFolder();
    OutputFolder(OutputFolder&& other) noexcept;
    OutputFolder& operator=(OutputFolder&& other) noexcept;
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // The folder at path (empty: the current folder), links in the path followed as given.
    static OutputFolder open(const QString& path);
    // The folder at the relative path below this one ("a/b"), each part made when missing and create
    // is set; never a link.
    OutputFolder folder(const QString& relative, bool create) const;

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    // As the user sees it, without a trailing "/".
    const QString& path() const { return m_path; }
    QString shown(const QString& relative) const;
    // A path to the name in this very folder, whatever happens to the folder's own name meanwhile: for
    // operations that take nothing but a path.
    QString pinned(const QString& name) const;
    // The text with pinned(temporary) shown as shown(name), and other pinned paths as shown ones.
    QString unpin(const QString& text, const QString& temporary = {}, const QString& name = {}) const;

    Entry entry(const QString& relative) const;
    // A new name for a temporary file here, hidden and never one an exported file gets.
    static QString temporaryName();
    // Moves the temporary file under name, replacing a file an earlier export left there. A link or
    // anything but a regular file under name is refused. The temporary file is gone afterwards.
    void place(const QString& temporary, const QString& name) const;
    void remove(const QString& name) const;

    // Writes a new file under name: write() fills a new temporary file (false: a write failed), which is
    // synced and then placed. On failure nothing under name has changed.
    // Sync::No leaves the bytes to the system's own time (or syncFileSystem()): for many small files of which a
    // crash may lose the last ones, never leaving one cut under its name unless the system loses its writes.
    enum class Sync
    {
        Yes,
        No
    };
    void writeFile(const QString& name, const std::function<bool(QIODevice&)>& write, Sync sync = Sync::Yes) const;
    void writeFile(const QString& name, const QByteArray& bytes, Sync sync = Sync::Yes) const;
    // writeFile for a path, its folder part followed as given.
    static void writeFileAt(const QString& path, const std::function<bool(QIODevice&)>& write);

    // The regular file at the relative path, for reading; nullptr when there is none. A link, or anything
    // but a regular file, is refused.
    std::unique_ptr<QFile> openFile(const QString& relative) const;
    // Whether two regular files here hold the same bytes.
    bool sameContents(const QString& a, const QString& b) const;

    // Makes what was written to this folder's file system durable: its folder entries and every file.
    void syncFileSystem() const;
    void syncFolder() const;

private:
    OutputFolder(int fd, QString path);
    // The descriptor of the folder holding relative's last part, and that part; -1 when a folder on the
    // way is missing. Throws for a link on the way.
    int walkToParent(const QString& relative, QString* last, OutputFolder* holder) const;

    int m_fd = -1;
    QString m_path;
};

// Makes the folder with its missing parents, the path followed as given (a folder the user or the system
// named); why it could not, or empty.
QString makeFolderPath(const QString& path);
// What every refusal of a planted link says.
QString linkRefused(const QString& path);
// The system's text for an errno value ("No space left on device").
QString systemErrorText(int code);

} // namespace quill::platform
