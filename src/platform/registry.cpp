#include "platform/registry.h"

#include "platform/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    QString raw;  // the text after "=", continuation lines joined with "\n"
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

Store parse(const QString& filePath)
{
    Store store;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return store;
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(u'\n');
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
            if (!trimmed.isEmpty())
                store.preamble << trimmed;
            continue;
        }
        if (trimmed.isEmpty() || trimmed.startsWith(u';'))
            continue;
        Entry entry;
        qsizetype pos = 0;
        if (trimmed.startsWith(u'@')) {
            pos = 1;
        } else {
            const qsizetype used = readQuoted(trimmed, 0, &entry.name);
            if (used < 0)
                continue;
            pos = used;
        }
        if (pos >= trimmed.size() || trimmed[pos] != u'=')
            continue;
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
            if (sameName(entry.name, name))
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
            if (!names.contains(entry.name, Qt::CaseInsensitive))
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
        if (sameName(entry.name, name)) {
            entry.raw = encodeText(value);
            replaced = true;
        }
    }
    if (!replaced)
        target->entries.push_back(Entry{name, encodeText(value)});
    save(m_filePath, store);
}

} // namespace quill::platform
