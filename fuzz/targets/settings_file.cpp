// The settings file editor: after a write, reading back gives what was written, every other key reads
// as before, and no other line of the file changes.
//
// Input: section, key and value, each ended by a NUL byte, then the file's bytes.
#include "fuzzinput.h"
#include "platform/error.h"
#include "platform/gbk.h"
#include "platform/profile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace Qt::StringLiterals;
using namespace quill;

namespace {

// The file's lines with their endings ("\r\n", "\n" or a lone "\r").
std::vector<QByteArray> lines(const QByteArray& content)
{
    std::vector<QByteArray> out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < content.size(); ++i) {
        if (content[i] == '\n' || (content[i] == '\r' && (i + 1 == content.size() || content[i + 1] != '\n'))) {
            out.push_back(content.sliced(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < content.size())
        out.push_back(content.sliced(start));
    return out;
}

QByteArray withoutEnding(QByteArray line)
{
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

// One line may change (the key's, or a last line gaining an ending) and at most three come (an ending, a
// section header, the key's line); all others stay, in order.
void checkOtherLinesKept(QByteArray before, QByteArray after)
{
    // A UTF-8 file's byte-order mark is no part of its first line.
    if (before.startsWith("\xEF\xBB\xBF")) {
        before.remove(0, 3);
        after.remove(0, 3);
    }
    const std::vector<QByteArray> a = lines(before);
    const std::vector<QByteArray> b = lines(after);
    size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const size_t removed = a.size() - head - tail;
    const size_t added = b.size() - head - tail;
    if (removed > 1 || added > 3 || added < removed)
        fuzz::propertyFailed("lines other than the written one changed", QString::fromUtf8(after.toPercentEncoding()));
    if (removed == 1 && withoutEnding(a[head]) != withoutEnding(b[head]) && !a[head].contains('='))
        fuzz::propertyFailed("a line without a key changed", QString::fromUtf8(a[head].toPercentEncoding()));
}

QString decoded(const QByteArray& content, const QByteArray& value)
{
    return content.startsWith("\xEF\xBB\xBF") ? platform::fromUtf8Text(value) : platform::fromGbk(value);
}

// Every section and key name the file might hold: each header's text and each text before "=".
std::vector<std::pair<QString, QString>> candidateNames(const QByteArray& content)
{
    std::vector<std::pair<QString, QString>> names;
    QString section;
    for (const QByteArray& line : lines(content)) {
        const QString text = decoded(content, withoutEnding(line)).trimmed();
        if (text.startsWith(u'[') && text.contains(u']'))
            section = text.mid(1, text.indexOf(u']') - 1).trimmed();
        else if (text.contains(u'='))
            names.emplace_back(section, text.left(text.indexOf(u'=')).trimmed());
    }
    return names;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList fields;
    QByteArray before;
    if (!fuzz::splitFields(data, size, 3, &fields, &before))
        return 0;
    const QString &section = fields[0], &key = fields[1], &value = fields[2];
    QByteArray after;
    try {
        after = platform::setProfileValue(before, section, key, value);
    } catch (const platform::Error&) {
        return 0;
    }
    bool found = false;
    const QByteArray stored = platform::profileValueBytes(after, section, key, &found);
    if (!found || decoded(after, stored) != value)
        fuzz::propertyFailed("the written value does not read back",
                             u"wrote \""_s + value + u"\", read \""_s + decoded(after, stored) + u"\" from:\n"_s +
                                 QString::fromLatin1(after.toPercentEncoding(" []=;\"'")));
    checkOtherLinesKept(before, after);
    for (const auto& [otherSection, otherKey] : candidateNames(before)) {
        if (sameName(otherSection, section) && sameName(otherKey, key))
            continue;
        bool was = false;
        bool is = false;
        if (platform::profileValueBytes(before, otherSection, otherKey, &was) !=
                platform::profileValueBytes(after, otherSection, otherKey, &is) ||
            was != is)
            fuzz::propertyFailed("another key changed", otherSection + u'/' + otherKey);
    }
    return 0;
}
