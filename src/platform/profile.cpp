#include "platform/profile.h"

#include "platform/error.h"
#include "platform/gbk.h"

#include <QFile>
#include <QSaveFile>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace quill::platform {
namespace {

struct Line
{
    qsizetype start = 0;   // offset of the line in the content
    qsizetype textEnd = 0; // end of the text, before "\r\n", "\n" or "\r"
    qsizetype end = 0;     // end including the line ending
};

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// An editor that saved the file with a UTF-8 byte-order mark wrote UTF-8 text; any other file is in
// the code page.
bool isUtf8(const QByteArray& content)
{
    return content.startsWith(kUtf8Bom);
}

QString decode(const QByteArray& bytes, bool utf8)
{
    return utf8 ? fromUtf8Text(bytes) : fromGbk(bytes);
}

QByteArray encode(const QString& text, bool utf8)
{
    return utf8 ? text.toUtf8() : toGbk(text);
}

// Lines end in "\r\n", "\n" or a lone "\r", as Windows reads them; a file may mix them. The byte-order
// mark is not part of the first line, so a section header there is still seen.
std::vector<Line> splitLines(const QByteArray& content)
{
    std::vector<Line> lines;
    qsizetype pos = isUtf8(content) ? qsizetype(sizeof kUtf8Bom - 1) : 0;
    while (pos < content.size()) {
        Line line;
        line.start = pos;
        line.textEnd = pos;
        while (line.textEnd < content.size() && content[line.textEnd] != '\n' && content[line.textEnd] != '\r')
            ++line.textEnd;
        line.end = line.textEnd;
        if (line.end < content.size() && content[line.end] == '\r')
            ++line.end;
        if (line.end < content.size() && content[line.end] == '\n')
            ++line.end;
        lines.push_back(line);
        pos = line.end;
    }
    return lines;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmedBytes(QByteArrayView bytes)
{
    qsizetype from = 0;
    qsizetype to = bytes.size();
    while (from < to && isBlank(bytes[from]))
        ++from;
    while (to > from && isBlank(bytes[to - 1]))
        --to;
    return bytes.sliced(from, to - from).toByteArray();
}

// Section name of a header line, or nullopt for any other line.
std::optional<QString> sectionName(QByteArrayView text, bool utf8)
{
    const QByteArray t = trimmedBytes(text);
    if (!t.startsWith('['))
        return std::nullopt;
    // GBK trail bytes can be "]", so the name is found on decoded text.
    const QString decoded = decode(t, utf8);
    const qsizetype close = decoded.indexOf(u']');
    if (close < 0)
        return std::nullopt;
    return decoded.mid(1, close - 1).trimmed();
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Offset of "=" in a key line whose key is the one asked for, else -1. "=" (0x3D) never occurs
// inside a multi-byte GBK or GB18030 character, so a byte search is exact.
qsizetype keyEquals(const QByteArray& content, const Line& line, const QString& key, bool utf8)
{
    const QByteArrayView text(content.constData() + line.start, line.textEnd - line.start);
    const QByteArray t = trimmedBytes(text);
    if (t.isEmpty() || t.startsWith(';'))
        return -1;
    const qsizetype eq = text.indexOf('=');
    if (eq < 0)
        return -1;
    if (!sameName(decode(trimmedBytes(text.first(eq)), utf8), key))
        return -1;
    return line.start + eq;
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

QByteArray stripQuotes(QByteArray value)
{
    if (value.size() >= 2 && isQuote(value.front()) && value.front() == value.back())
        return value.sliced(1, value.size() - 2);
    return value;
}

QByteArray encodeValue(const QString& value, bool utf8)
{
    const QByteArray bytes = encode(value, utf8);
    const bool needsQuotes =
        !bytes.isEmpty() && (isBlank(bytes.front()) || isBlank(bytes.back()) ||
                             (bytes.size() >= 2 && isQuote(bytes.front()) && bytes.front() == bytes.back()));
    return needsQuotes ? '"' + bytes + '"' : bytes;
}

// The ending of the file's first line; "\n" for a file of one line or none.
QByteArray lineEnding(const std::vector<Line>& lines, const QByteArray& content)
{
    if (lines.empty() || lines.front().end == lines.front().textEnd)
        return "\n"_ba;
    return content.sliced(lines.front().textEnd, lines.front().end - lines.front().textEnd);
}

// Length of the longest prefix of at most maxBytes that ends on a character boundary.
qsizetype characterPrefix(const QByteArray& bytes, qsizetype maxBytes, bool utf8)
{
    if (utf8) {
        qsizetype end = std::min(bytes.size(), maxBytes);
        while (end > 0 && end < bytes.size() && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
            --end;
        return end;
    }
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[pos]);
        qsizetype width = 1;
        if (lead >= 0x81 && lead <= 0xFE && pos + 1 < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes[pos + 1]);
            width = (next >= 0x30 && next <= 0x39) ? 4 : 2;
        }
        if (pos + width > maxBytes)
            break;
        pos += width;
    }
    return std::min(pos, bytes.size());
}

[[noreturn]] void unableToWrite(const QString& path)
{
    throw Error(u"Unable to write to "_s + path);
}

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

bool hasOuterBlank(const QString& text)
{
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    return !text.isEmpty() && (blank(text.front()) || blank(text.back()));
}

// Why a value cannot be written so that it reads back, or empty when it can. A name that reads as
// something else (a header, a comment, a key that ends earlier) would be lost or found elsewhere.
QString unwritableEntry(const QString& section, const QString& key, const QString& value)
{
    // Section names are read trimmed of any white space, key names of blanks and tabs.
    if (section.isEmpty() || hasLineBreak(section) || section.contains(u']') || section != section.trimmed() ||
        !section.isValidUtf16())
        return u"the section name \""_s + section + u"\" cannot be written"_s;
    if (key.isEmpty() || hasLineBreak(key) || key.contains(u'=') || key.startsWith(u'[') || key.startsWith(u';') ||
        hasOuterBlank(key) || !key.isValidUtf16())
        return u"the key name \""_s + key + u"\" cannot be written"_s;
    if (hasLineBreak(value))
        return u"the value of \""_s + key + u"\" holds a line break"_s;
    if (!value.isValidUtf16())
        return u"the value of \""_s + key + u"\" holds an invalid character"_s;
    return {};
}

// Inserts a line of text after the given line. A last line without an ending gets the file's, and a
// lone "\r" before a line that starts with "\n" is not left to join it.
QByteArray insertLine(const QByteArray& content, const Line& after, const QByteArray& text, const QByteArray& eol)
{
    QByteArray out = content;
    qsizetype at = after.end;
    if (after.end == after.textEnd) {
        out.insert(at, eol);
        at += eol.size();
    }
    const QByteArray ending = eol == "\r" && at < out.size() && out[at] == '\n' ? "\r\n"_ba : eol;
    out.insert(at, text + ending);
    return out;
}

} // namespace

QByteArray profileValueBytes(const QByteArray& content, const QString& section, const QString& key, bool* found)
{
    *found = false;
    const bool utf8 = isUtf8(content);
    bool inSection = false;
    bool seenSection = false;
    for (const Line& line : splitLines(content)) {
        const QByteArrayView text(content.constData() + line.start, line.textEnd - line.start);
        if (const auto name = sectionName(text, utf8)) {
            if (seenSection && inSection)
                break;
            inSection = sameName(*name, section);
            seenSection = seenSection || inSection;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = keyEquals(content, line, key, utf8);
        if (eq < 0)
            continue;
        *found = true;
        return stripQuotes(trimmedBytes(QByteArrayView(content).sliced(eq + 1, line.textEnd - eq - 1)));
    }
    return {};
}

QString readProfileString(const QString& path, const QString& section, const QString& key, const QString& defaultValue)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    bool found = false;
    const QByteArray content = file.readAll();
    QByteArray value = profileValueBytes(content, section, key, &found);
    if (!found)
        return defaultValue;
    const bool utf8 = isUtf8(content);
    value.truncate(characterPrefix(value, kProfileValueMaxBytes, utf8));
    return decode(value, utf8);
}

QByteArray setProfileValue(const QByteArray& content, const QString& section, const QString& key, const QString& value)
{
    if (const QString reason = unwritableEntry(section, key, value); !reason.isEmpty())
        throw Error(reason);
    const bool utf8 = isUtf8(content);
    const QByteArray encoded = encodeValue(value, utf8);
    const std::vector<Line> lines = splitLines(content);

    bool inSection = false;
    const Line* lastOfSection = nullptr; // last entry of the section, else its header
    for (const Line& line : lines) {
        const QByteArrayView text(content.constData() + line.start, line.textEnd - line.start);
        if (const auto name = sectionName(text, utf8)) {
            if (lastOfSection)
                break;
            inSection = sameName(*name, section);
            if (inSection)
                lastOfSection = &line;
            continue;
        }
        if (!inSection)
            continue;
        // A new key goes after the section's last entry; blank lines and comments after it tend
        // to belong to the next section.
        if (const QByteArray t = trimmedBytes(text); !t.isEmpty() && !t.startsWith(';'))
            lastOfSection = &line;
        const qsizetype eq = keyEquals(content, line, key, utf8);
        if (eq < 0)
            continue;
        // Keep the key as spelt and any blanks after "=", replace the rest of the line's text.
        qsizetype valueStart = eq + 1;
        while (valueStart < line.textEnd && isBlank(content[valueStart]))
            ++valueStart;
        QByteArray out = content;
        out.replace(valueStart, line.textEnd - valueStart, encoded);
        return out;
    }

    const QByteArray eol = lineEnding(lines, content);
    const QByteArray keyText = encode(key, utf8) + '=' + encoded;
    if (lastOfSection)
        return insertLine(content, *lastOfSection, keyText, eol);
    QByteArray out = content;
    if (!lines.empty() && lines.back().end == lines.back().textEnd)
        out += eol;
    out += '[' + encode(section, utf8) + ']' + eol + keyText + eol;
    return out;
}

void writeProfileStrings(const QString& path, const QString& section, const QList<QPair<QString, QString>>& values)
{
    for (const auto& [key, value] : values) {
        if (const QString reason = unwritableEntry(section, key, value); !reason.isEmpty())
            throw Error(u"Unable to write to "_s + path + u": "_s + reason);
    }

    QByteArray content;
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            unableToWrite(path);
        content = existing.readAll();
        existing.close();
    }
    for (const auto& [key, value] : values)
        content = setProfileValue(content, section, key, value);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        unableToWrite(path);
    // It holds the password in plain text.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        unableToWrite(path);
    if (file.write(content) != content.size() || !file.commit())
        unableToWrite(path);
}

} // namespace quill::platform
