#include "platform/registry.h"

#include "platform/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace quill::platform {
namespace {

const QString kRoot = u"HKEY_LOCAL_MACHINE"_s;

struct Entry
{
    QString name; // "" is the default value "@"
    QString raw;  // the text after "=", continuation lines joined with "\n"; a comment's whole line
    bool comment = false;
};

struct Section
{
    QString header; // as written between the brackets
    bool local = false;
    QString key; // below HKEY_LOCAL_MACHINE, no leading "\"
    std::vector<Entry> entries;
};

struct Store
{
    QStringList preamble;
    std::vector<Section> sections;
    // Why the file cannot be read whole, or empty: a write would lose what this store does not hold.
    QString unreadable;
};

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// "a\"b" at the start of text: the unescaped string and the length consumed; -1 when unterminated.
qsizetype readQuoted(const QString& text, qsizetype start, QString* out)
{
    if (start >= text.size() || text[start] != u'"')
        return -1;
    QString value;
    for (qsizetype i = start + 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            value += text[++i];
        } else if (c == u'"') {
            *out = value;
            return i + 1 - start;
        } else {
            value += c;
        }
    }
    return -1;
}

QString quote(const QString& text)
{
    QString out = u"\""_s;
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    return out + u'"';
}

// Whether raw, the text after "=", is a value as regedit writes one: a quoted string and nothing after it, a
// dword, hex bytes (of any type), or "-" (a deletion).
bool wellFormed(const QString& raw)
{
    if (raw.startsWith(u'"')) {
        QString value;
        return readQuoted(raw, 0, &value) == raw.size();
    }
    if (raw == u"-"_s)
        return true;
    static const QRegularExpression dword(u"^dword:[0-9a-fA-F]{8}$"_s, QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression hex(u"^hex(\\([0-9a-fA-F]+\\))?:\\s*([0-9a-fA-F]{1,2}(\\s*,\\s*[0-9a-fA-F]{1,2})*)?"
                                        u"\\s*,?\\s*$"_s,
                                        QRegularExpression::CaseInsensitiveOption);
    return dword.match(raw).hasMatch() || hex.match(raw).hasMatch();
}

QString lineExcerpt(const QString& line)
{
    QString out;
    for (const QChar c : QStringView(line).left(40))
        out += c.unicode() < 0x20 ? QChar(u'?') : c;
    return line.size() > 40 ? out + u'…' : out;
}

// The file's text; *unreadable says why it is not text this store can write back without a loss. Reading
// takes what it can either way.
QString textOf(const QByteArray& bytes, QString* unreadable)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        *unreadable = u"它是UTF-16编码的，只能改写UTF-8编码的注册表文件"_s;
    else if (bytes.contains('\0'))
        *unreadable = u"其中有NUL字节，不是文本"_s;
    else if (!QByteArrayView(bytes).isValidUtf8())
        *unreadable = u"不是UTF-8编码的文本"_s;
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

Store parse(const QString& filePath)
{
    Store store;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists())
            store.unreadable = u"无法打开（"_s + file.errorString() + u"）"_s;
        return store;
    }
    const QString text = textOf(file.readAll(), &store.unreadable);
    // Old Mac files end their lines in CR alone.
    const QStringList lines = text.split(text.contains(u'\n') ? u'\n' : u'\r');
    const auto unknownLine = [&](qsizetype i) {
        if (store.unreadable.isEmpty())
            store.unreadable =
                u"第"_s + QString::number(i + 1) + u"行无法识别：“"_s + lineExcerpt(lines[i].trimmed()) + u"”"_s;
    };
    Section* current = nullptr;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
            Section section;
            section.header = trimmed.mid(1, trimmed.size() - 2);
            const QString header = Registry::normalKey(section.header);
            if (sameName(header.left(kRoot.size()), kRoot) &&
                (header.size() == kRoot.size() || header[kRoot.size()] == u'\\')) {
                section.local = true;
                section.key = Registry::normalKey(header.mid(kRoot.size()));
            }
            store.sections.push_back(std::move(section));
            current = &store.sections.back();
            continue;
        }
        if (!current) {
            if (trimmed.isEmpty())
                continue;
            // Only the version line of an export, or comments, come before the first key.
            const bool versionLine = store.preamble.isEmpty() &&
                                     (trimmed == u"Windows Registry Editor Version 5.00"_s || trimmed == u"REGEDIT4"_s);
            if (!versionLine && !trimmed.startsWith(u';'))
                unknownLine(i);
            store.preamble << trimmed;
            continue;
        }
        if (trimmed.isEmpty())
            continue;
        if (trimmed.startsWith(u';')) {
            current->entries.push_back(Entry{QString(), trimmed, true});
            continue;
        }
        Entry entry;
        qsizetype pos = 0;
        if (trimmed.startsWith(u'@')) {
            pos = 1;
        } else {
            const qsizetype used = readQuoted(trimmed, 0, &entry.name);
            if (used < 0) {
                unknownLine(i);
                continue;
            }
            pos = used;
        }
        if (pos >= trimmed.size() || trimmed[pos] != u'=') {
            unknownLine(i);
            continue;
        }
        const qsizetype first = i;
        entry.raw = trimmed.mid(pos + 1);
        // Hex values continue on the next line after a trailing "\"; at the end of the file, on an empty
        // one, so that the value reads the same when more lines follow it after a write.
        while (!entry.raw.startsWith(u'"') && entry.raw.endsWith(u'\\')) {
            entry.raw.chop(1);
            entry.raw += u'\n';
            if (i + 1 == lines.size())
                break;
            entry.raw += lines[++i].trimmed();
        }
        if (!wellFormed(entry.raw))
            unknownLine(first);
        current->entries.push_back(std::move(entry));
    }
    return store;
}

// The UTF-16LE bytes of a hex(1) (plain) or hex(2) (expandable) string, up to its terminating NUL.
std::optional<QString> decodeHexText(const QString& hex)
{
    QString value;
    const QStringList parts = hex.split(u',', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const uint byte = parts[i].trimmed().toUInt(&ok, 16);
        if (!ok || byte > 0xFF)
            return std::nullopt;
        if (i % 2)
            value.back() = QChar(char16_t(value.back().unicode() | (byte << 8)));
        else
            value += QChar(char16_t(byte));
    }
    if (parts.size() % 2)
        value.chop(1);
    const qsizetype nul = value.indexOf(QChar(0));
    if (nul >= 0)
        value.truncate(nul);
    return value;
}

std::optional<QString> decodeText(const QString& raw)
{
    if (raw.startsWith(u'"')) {
        QString value;
        if (readQuoted(raw, 0, &value) < 0)
            return std::nullopt;
        return value;
    }
    for (const QString& type : {u"hex(1):"_s, u"hex(2):"_s}) {
        if (raw.startsWith(type, Qt::CaseInsensitive))
            return decodeHexText(raw.mid(type.size()));
    }
    return std::nullopt;
}

bool hasControl(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 && c != u'\t'; });
}

// A string as regedit exports it: quoted, or, when it holds a line break or another character that a
// quoted line cannot carry, as hex(1): its UTF-16LE bytes with the terminating NUL, 24 bytes a line.
QString encodeText(const QString& value)
{
    if (!hasControl(value) && value.isValidUtf16())
        return quote(value);
    QString raw = u"hex(1):"_s;
    const QString terminated = value + QChar(0);
    for (qsizetype i = 0; i < terminated.size(); ++i) {
        const char16_t c = terminated[i].unicode();
        raw += u"%1,%2"_s.arg(c & 0xFF, 2, 16, QChar(u'0')).arg(c >> 8, 2, 16, QChar(u'0'));
        if (i + 1 < terminated.size())
            raw += (i % 12 == 11) ? u",\n"_s : u","_s;
    }
    return raw;
}

// Why a key, name or value cannot be written, or empty when it can. A line break in a name would
// split its line and could make another entry.
QString unwritable(const QString& key, const QString& name, const QString& value)
{
    if (hasControl(key) || !key.isValidUtf16())
        return u"the key name cannot hold a line break or a control character"_s;
    if (hasControl(name) || !name.isValidUtf16())
        return u"the value name cannot hold a line break or a control character"_s;
    if (value.contains(QChar(0)))
        return u"a string value cannot hold a NUL character"_s;
    return {};
}

QByteArray serialise(const Store& store)
{
    QString out;
    if (store.preamble.isEmpty())
        out += u"Windows Registry Editor Version 5.00\n"_s;
    for (const QString& line : store.preamble)
        out += line + u'\n';
    for (const Section& section : store.sections) {
        out += u"\n["_s + section.header + u"]\n"_s;
        for (const Entry& entry : section.entries) {
            if (entry.comment) {
                out += entry.raw + u'\n';
                continue;
            }
            out += entry.name.isEmpty() ? u"@"_s : quote(entry.name);
            QString raw = entry.raw;
            raw.replace(u"\n"_s, u"\\\n  "_s);
            out += u'=' + raw + u'\n';
        }
    }
    return out.toUtf8();
}

bool isKeyOrBelow(const QString& sectionKey, const QString& key)
{
    if (key.isEmpty())
        return true;
    return sameName(sectionKey, key) || (sectionKey.size() > key.size() && sectionKey[key.size()] == u'\\' &&
                                         sameName(sectionKey.left(key.size()), key));
}

void save(const QString& filePath, const Store& store)
{
    const QString folder = QFileInfo(filePath).absolutePath();
    QSaveFile file(filePath);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly)) {
        throw Error(u"Unable to write to "_s + filePath);
    }
    const QByteArray bytes = serialise(store);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Error(u"Unable to write to "_s + filePath);
}

} // namespace

Registry::Registry(QString filePath) : m_filePath(std::move(filePath)) {}

QString Registry::normalKey(QString key)
{
    key.replace(u'/', u'\\');
    while (key.startsWith(u'\\'))
        key.remove(0, 1);
    while (key.endsWith(u'\\'))
        key.chop(1);
    return key;
}

bool Registry::openKey(const QString& key, Access access) const
{
    const QString wanted = normalKey(key);
    const Store store = parse(m_filePath);
    bool found = wanted.isEmpty();
    for (const Section& section : store.sections) {
        if (section.local && isKeyOrBelow(section.key, wanted)) {
            found = true;
            break;
        }
    }
    if (!found)
        return false;
    if (access == Access::Read)
        return true;
    const QFileInfo info(m_filePath);
    return info.isWritable() && QFileInfo(info.absolutePath()).isWritable();
}

std::optional<QString> Registry::readString(const QString& key, const QString& name) const
{
    const QString wanted = normalKey(key);
    const Store store = parse(m_filePath);
    std::optional<QString> result;
    // A later section of the same key wins, as when the export is imported.
    for (const Section& section : store.sections) {
        if (!section.local || !sameName(section.key, wanted))
            continue;
        for (const Entry& entry : section.entries) {
            if (!entry.comment && sameName(entry.name, name))
                result = decodeText(entry.raw);
        }
    }
    return result;
}

QStringList Registry::keys() const
{
    QStringList keys;
    for (const Section& section : parse(m_filePath).sections) {
        if (section.local && !keys.contains(section.key, Qt::CaseInsensitive))
            keys << section.key;
    }
    return keys;
}

QStringList Registry::valueNames(const QString& key) const
{
    const QString wanted = normalKey(key);
    QStringList names;
    for (const Section& section : parse(m_filePath).sections) {
        if (!section.local || !sameName(section.key, wanted))
            continue;
        for (const Entry& entry : section.entries) {
            if (!entry.comment && !names.contains(entry.name, Qt::CaseInsensitive))
                names << entry.name;
        }
    }
    return names;
}

void Registry::writeString(const QString& key, const QString& name, const QString& value)
{
    if (const QString reason = unwritable(key, name, value); !reason.isEmpty())
        throw Error(u"Unable to write to "_s + m_filePath + u": "_s + reason);
    const QString wanted = normalKey(key);
    Store store = parse(m_filePath);
    if (!store.unreadable.isEmpty()) {
        throw Error(u"无法读取注册表文件"_s + m_filePath + u"：" + store.unreadable +
                    u"。为了不丢失其中的内容，没有改写它；请修正或移走这个文件后再试"_s);
    }
    Section* target = nullptr;
    for (Section& section : store.sections) {
        if (section.local && sameName(section.key, wanted))
            target = &section;
    }
    if (!target) {
        Section section;
        section.header = wanted.isEmpty() ? kRoot : kRoot + u'\\' + wanted;
        section.local = true;
        section.key = wanted;
        store.sections.push_back(std::move(section));
        target = &store.sections.back();
    }
    bool replaced = false;
    for (Entry& entry : target->entries) {
        if (!entry.comment && sameName(entry.name, name)) {
            entry.raw = encodeText(value);
            replaced = true;
        }
    }
    if (!replaced)
        target->entries.push_back(Entry{name, encodeText(value)});
    save(m_filePath, store);
}

} // namespace quill::platform
