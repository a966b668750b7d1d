#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace quill::platform {

// A text stand-in for the Windows registry below HKEY_LOCAL_MACHINE, kept in the registry-export
// layout:
//
//   [HKEY_LOCAL_MACHINE\Software\Lotus\Domino]
//   "Path"="/opt/quillmere/domino"
//   @="default value"
//
// UTF-8, "\\" and "\"" escaped inside quoted strings. A string that a quoted line cannot carry (a line
// break or another control character) is written as regedit exports it, hex(1): its UTF-16LE bytes.
// Plain strings in hex(1) and expandable strings (hex(2):...) are read as stored, without expanding
// variables. Key paths are given below the root, with or without a
// leading "\" ("\Software\Lotus\Domino"), and key and value names compare without regard to case.
// Reading never writes; the file is read afresh on every call, so callers keep no state.
class Registry
{
public:
    explicit Registry(QString filePath);

    const QString& filePath() const { return m_filePath; }

    enum class Access
    {
        Read,
        ReadWrite
    };

    // True when the key exists and can be opened with the access asked for (ReadWrite also needs
    // the store to be writable).
    bool openKey(const QString& key, Access access = Access::Read) const;

    // The value of a string type (plain or expandable); an empty name is the default value "@".
    // nullopt when the key or the value is missing or the value is not of a text type.
    std::optional<QString> readString(const QString& key, const QString& name) const;

    // A key path as the store names it: "\" between the keys, none at either end.
    static QString normalKey(QString key);

    // The keys that hold a section of their own, as written; the names of a key's values ("" for "@").
    QStringList keys() const;
    QStringList valueNames(const QString& key) const;

    // Creates the key when missing and sets a plain string value; the file is replaced atomically.
    // Throws platform::Error when the store cannot be written, or when a key or value name holds a
    // control character (a line break among them) or the value a NUL; the store is then unchanged.
    void writeString(const QString& key, const QString& name, const QString& value);

private:
    QString m_filePath;
};

} // namespace quill::platform
