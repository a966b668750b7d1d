#include "richtext/mimeitems.h"

#include "richtext/mimemessage.h"

#include <QDateTime>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

// MIME_PART: WORD version, DWORD flags, BYTE part type, BYTE spare, WORD byte count, WORD boundary length,
// WORD headers length, WORD spare, DWORD spare; the part's bytes follow.
constexpr qsizetype kMimePartHeader = 20;
constexpr quint32 kHasHeaders = 0x02;
constexpr quint32 kBodyInObject = 0x04;
constexpr int kRetrieveInfo = 4;

// RFC822ITEMDESC: WORD version, DWORD flags, WORD native length, WORD name length, WORD delimiter length,
// WORD body length; native text, name, delimiter and body follow.
constexpr qsizetype kRfc822Header = 14;
constexpr quint32 kFormatMask = 0x07;
constexpr quint32 kFormatDate = 0x01;

quint16 word(QByteArrayView data, qsizetype at)
{
    return quint16(quint8(data[at]) | (quint8(data[at + 1]) << 8));
}

quint32 dword(QByteArrayView data, qsizetype at)
{
    return quint32(word(data, at)) | (quint32(word(data, at + 2)) << 16);
}

// Text Domino made (LMBCS): its ASCII is ASCII; anything else is read as UTF-8 or GB18030.
QString nativeText(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return decodeText(nul >= 0 ? bytes.first(nul) : bytes, QString());
}

// A TIMEDATE: hundredths of a second since midnight GMT, then the Julian day in the low 24 bits.
QString timeDateText(QByteArrayView bytes)
{
    const quint32 ticks = dword(bytes, 0);
    const quint32 day = dword(bytes, 4) & 0xffffff;
    if (day == 0xffffff || ticks == 0xffffffff || ticks >= 8640000)
        return {};
    const QDateTime moment(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(int(ticks) * 10),
                           QTimeZone::utc());
    return moment.isValid() ? moment.toString(u"yyyy-MM-dd HH:mm:ss"_s) + u" UTC"_s : QString();
}

} // namespace

std::optional<MimePartItem> parseMimePartItem(QByteArrayView value)
{
    if (value.size() < kMimePartHeader)
        return std::nullopt;
    MimePartItem item;
    item.flags = dword(value, 2);
    item.partType = quint8(value[6]);
    const qsizetype count = word(value, 8);
    const qsizetype boundaryLength = word(value, 10);
    const qsizetype headersLength = word(value, 12);
    if (kMimePartHeader + count > value.size() || boundaryLength + headersLength > count)
        return std::nullopt;
    const QByteArrayView data = value.sliced(kMimePartHeader, count);
    item.boundary = data.first(boundaryLength).toByteArray();
    item.headers = data.sliced(boundaryLength, headersLength).toByteArray();
    item.body = data.sliced(boundaryLength + headersLength).toByteArray();
    item.bodyInObject = item.flags & kBodyInObject;
    return item;
}

AssembledMessage assembleMimeMessage(const QList<QByteArray>& itemValues,
                                     const std::function<std::optional<QByteArray>(const QString&)>& objectBytes)
{
    AssembledMessage result;
    bool first = true;
    for (qsizetype i = 0; i < itemValues.size(); ++i) {
        const auto item = parseMimePartItem(itemValues[i]);
        if (!item) {
            result.problems << u"第"_s + QString::number(i + 1) + u"个MIME部分项的数据不完整，已跳过"_s;
            continue;
        }
        if (item->partType == kRetrieveInfo)
            continue;
        QByteArray headers = item->headers;
        // The headers end with an empty line before the body, also when the part has none.
        if (!headers.isEmpty() && !headers.endsWith("\n\n") && !headers.endsWith("\r\n\r\n"))
            headers += headers.endsWith('\n') ? "\r\n" : "\r\n\r\n";
        if (headers.isEmpty() && (!item->boundary.isEmpty() || first) && !(item->flags & kHasHeaders) &&
            item->partType != 3)
            headers = "\r\n";
        QByteArray body = item->body;
        if (item->bodyInObject) {
            const QString name = nativeText(item->body);
            const auto bytes = objectBytes ? objectBytes(name) : std::nullopt;
            if (!bytes)
                result.problems << u"MIME部分的正文存放在附件“"_s + name + u"”中，但文档中没有这个附件"_s;
            body = bytes.value_or(QByteArray());
        }
        result.message += item->boundary + headers + body;
        first = false;
    }
    return result;
}

std::optional<Rfc822Header> parseRfc822Item(QByteArrayView value)
{
    if (value.size() < kRfc822Header)
        return std::nullopt;
    const quint32 flags = dword(value, 2);
    const qsizetype nativeLength = word(value, 6);
    const qsizetype nameLength = word(value, 8);
    const qsizetype delimiterLength = word(value, 10);
    const qsizetype bodyLength = word(value, 12);
    if (kRfc822Header + nativeLength + nameLength + delimiterLength + bodyLength > value.size())
        return std::nullopt;
    qsizetype at = kRfc822Header;
    const QByteArrayView native = value.sliced(at, nativeLength);
    at += nativeLength;
    Rfc822Header header;
    header.name = nativeText(value.sliced(at, nameLength)).trimmed();
    at += nameLength + delimiterLength;
    const QByteArrayView body = value.sliced(at, bodyLength);
    if (!body.isEmpty())
        header.text = decodeHeaderText(body.trimmed());
    else if ((flags & kFormatMask) == kFormatDate && native.size() == 8)
        header.text = timeDateText(native);
    else
        header.text = nativeText(native);
    return header;
}

} // namespace quill::richtext
