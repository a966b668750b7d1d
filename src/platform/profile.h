#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace quill::platform {

// Profile (INI) files in the program's 8-bit code page (GBK, read and written as GB18030). A file that
// starts with a UTF-8 byte-order mark was saved as UTF-8 by an editor and is read and written as such.
//
// Lines end in "\r\n", "\n" or a lone "\r". Sections and keys compare without regard to case; the first
// occurrence counts. Values are trimmed, and one pair of enclosing quotes (" or ') is removed on
// reading; a value that would lose spaces or quotes that way is written inside double quotes, so every
// value reads back as it was written. Writing changes only the lines of the keys written: a present key
// is replaced in place, a missing key is added after the last line of its section, a missing section at
// the end of the file; a new line ends as the file's first line does. Every other byte, including
// comments and line endings, stays as it was. A write that could not read back is refused: a line
// break in a name or value, a section name with "]", a key name with "=" or starting with "[" or ";",
// an empty name or one with blanks at either end.

// Longest value read, in bytes of the code page; a longer value is cut at a character boundary.
inline constexpr int kProfileValueMaxBytes = 2047;

// The value, or defaultValue when the file, section or key is missing.
QString readProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue = {});

// Writes the values into one section in one replacement of the file (a temporary file beside it,
// renamed over it), readable and writable by the owner only. Throws Error("Unable to write to
// <path>") when the file cannot be read or written, followed by ": " and the reason when a value
// cannot be written; the file is then unchanged.
void writeProfileStrings(const QString& path, const QString& section, const QList<QPair<QString, QString>>& values);

// The editing behind writeProfileStrings, on the file's bytes. Throws Error naming what cannot be written.
QByteArray setProfileValue(const QByteArray& content, const QString& section, const QString& key, const QString& value);
// The lookup behind readProfileString, on the file's bytes (not cut to kProfileValueMaxBytes).
QByteArray profileValueBytes(const QByteArray& content, const QString& section, const QString& key, bool* found);

} // namespace quill::platform
