#include "richtext/mimemessage.h"

#include <QStringDecoder>
#include <algorithm>
#include <map>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

constexpr int kMaxDepth = 32;
constexpr int kMaxParts = 10000;

// Bytes of unknown charset: a Chinese mail's 8-bit text is GB18030 when it is not UTF-8.
QString guessText(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return QString::fromUtf8(bytes);
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; }))
        return QString::fromLatin1(bytes); // ASCII reads the same in both
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        // The decoder drops a byte order mark at the start, which the text keeps.
        return bytes.startsWith("\xef\xbb\xbf") ? QString::fromUtf8(bytes) : text;
    }
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QByteArray percentDecode(QByteArrayView text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

QByteArray trimmed(QByteArrayView bytes)
{
    return bytes.trimmed().toByteArray();
}

// A header's value split at ";" outside quoted strings, the quotes taken away: the value itself, then the
// parameters.
QList<QByteArray> splitAtSemicolons(QByteArrayView raw)
{
    QList<QByteArray> pieces;
    QByteArray current;
    bool inQuotes = false;
    qsizetype run = 0; // the characters since run are taken as they are
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (inQuotes ? c != '\\' && c != '"' : c != '"' && c != ';')
            continue;
        current += raw.sliced(run, i - run);
        run = i + 1;
        if (inQuotes) {
            if (c == '\\' && i + 1 < raw.size()) {
                current += raw[++i];
                run = i + 1;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == '"') {
            inQuotes = true;
        } else {
            pieces << current;
            current.clear();
        }
    }
    current += raw.sliced(run);
    pieces << current;
    return pieces;
}

// A structured header (Content-Type, Content-Disposition): its value in lower case and its parameters,
// continuations and charsets of RFC 2231 put together, encoded words inside them decoded.
QString parseStructured(QByteArrayView raw, QHash<QString, QString>* parameters)
{
    const QList<QByteArray> pieces = splitAtSemicolons(raw);
    struct Segment
    {
        QByteArray bytes;
        bool extended = false;
    };
    std::map<QByteArray, std::map<int, Segment>> collected;
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const QByteArray& piece = pieces[i];
        const qsizetype equals = piece.indexOf('=');
        if (equals <= 0)
            continue;
        QByteArray name = trimmed(QByteArrayView(piece).first(equals)).toLower();
        const QByteArray value = piece.mid(equals + 1).trimmed();
        bool extended = false;
        if (name.endsWith('*')) {
            extended = true;
            name.chop(1);
        }
        int index = 0;
        if (const qsizetype star = name.indexOf('*'); star > 0) {
            bool ok = false;
            index = name.mid(star + 1).toInt(&ok);
            if (!ok || index < 0 || index > 999)
                continue;
            name.truncate(star);
        }
        collected[name].emplace(index, Segment{value, extended});
    }
    for (const auto& [name, segments] : collected) {
        QByteArray bytes;
        QString charset;
        bool anyExtended = false;
        for (const auto& [index, segment] : segments) {
            if (segment.extended) {
                anyExtended = true;
                QByteArrayView value = segment.bytes;
                if (index == segments.begin()->first) {
                    // charset'language'value
                    const qsizetype first = value.indexOf('\'');
                    const qsizetype second = first >= 0 ? value.sliced(first + 1).indexOf('\'') : -1;
                    if (second >= 0) {
                        charset = QString::fromLatin1(value.first(first));
                        value = value.sliced(first + 1 + second + 1);
                    }
                }
                bytes += percentDecode(value);
            } else {
                bytes += segment.bytes;
            }
        }
        QString value = anyExtended && !charset.isEmpty() ? decodeText(bytes, charset) : guessText(bytes);
        if (value.contains(u"=?"))
            value = decodeHeaderText(value.toUtf8());
        parameters->insert(QString::fromLatin1(name), value);
    }
    return QString::fromUtf8(trimmed(pieces.first())).toLower();
}

QByteArray decodeBody(const QByteArray& body, const QString& encoding)
{
    if (encoding == u"base64")
        return QByteArray::fromBase64(body);
    if (encoding == u"quoted-printable")
        return decodeQuotedPrintable(body);
    return body;
}

// The position after the line end at or after at; size when there is none.
qsizetype afterLineEnd(QByteArrayView bytes, qsizetype at)
{
    const qsizetype lf = bytes.indexOf('\n', at);
    return lf < 0 ? bytes.size() : lf + 1;
}

class Parser
{
public:
    MimeEntity parse(QByteArrayView bytes, int depth);

private:
    void splitMultipart(MimeEntity& entity, QByteArrayView body, int depth);
    int m_parts = 0;
};

MimeEntity Parser::parse(QByteArrayView bytes, int depth)
{
    ++m_parts;
    MimeEntity entity;
    // The headers end at the first empty line; a message that starts with one has none, and so has one whose
    // first line is no header: that is body already.
    qsizetype bodyStart = bytes.size();
    QList<QByteArray> lines;
    const QByteArrayView firstLine = bytes.first(afterLineEnd(bytes, 0)).trimmed();
    const qsizetype firstColon = firstLine.indexOf(':');
    if (!firstLine.isEmpty() &&
        (firstColon <= 0 || firstLine.first(firstColon).contains(' ') || firstLine.first(firstColon).contains('\t')))
        bodyStart = 0;
    for (qsizetype at = 0; at < bytes.size() && bodyStart > 0;) {
        const qsizetype next = afterLineEnd(bytes, at);
        QByteArrayView line = bytes.sliced(at, next - at);
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty()) {
            bodyStart = next;
            break;
        }
        if ((line.startsWith(' ') || line.startsWith('\t')) && !lines.isEmpty())
            lines.last() += line;
        else
            lines << line.toByteArray();
        at = next;
    }
    QByteArray contentType, disposition, encoding;
    for (const QByteArray& line : std::as_const(lines)) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.first(colon).trimmed();
        const QByteArray raw = line.mid(colon + 1).trimmed();
        entity.headers.append(MimeHeader{QString::fromLatin1(name), decodeHeaderText(raw)});
        const auto is = [&name](QByteArrayView header) {
            return name.size() == header.size() &&
                   std::equal(name.begin(), name.end(), header.begin(),
                              [](char a, char b) { return (a >= 'A' && a <= 'Z' ? char(a + 32) : a) == b; });
        };
        if (is("content-type") && contentType.isEmpty())
            contentType = raw;
        else if (is("content-disposition") && disposition.isEmpty())
            disposition = raw;
        else if (is("content-transfer-encoding") && encoding.isEmpty())
            encoding = raw.toLower();
        else if (is("content-id") && entity.contentId.isEmpty())
            entity.contentId = QString::fromLatin1(raw).remove(u'<').remove(u'>').trimmed();
    }
    if (!contentType.isEmpty()) {
        const QString type = parseStructured(contentType, &entity.parameters);
        if (type.contains(u'/'))
            entity.type = type;
    }
    QHash<QString, QString> dispositionParameters;
    if (!disposition.isEmpty())
        entity.disposition = parseStructured(disposition, &dispositionParameters);
    entity.fileName = dispositionParameters.value(u"filename"_s, entity.parameters.value(u"name"_s));
    const QByteArrayView body = bytes.sliced(std::min(bodyStart, bytes.size()));
    const QString transfer = QString::fromLatin1(encoding.trimmed());
    if (entity.isMultipart() && !entity.parameters.value(u"boundary"_s).isEmpty() && depth < kMaxDepth) {
        splitMultipart(entity, body, depth);
    } else if (entity.type == u"message/rfc822" && depth < kMaxDepth && m_parts < kMaxParts) {
        entity.parts.push_back(parse(decodeBody(body.toByteArray(), transfer), depth + 1));
    } else {
        if (entity.isMultipart())
            entity.type = u"text/plain"_s; // a multipart without its boundary is shown as it stands
        entity.body = decodeBody(body.toByteArray(), transfer);
    }
    return entity;
}

void Parser::splitMultipart(MimeEntity& entity, QByteArrayView body, int depth)
{
    const QByteArray delimiter = "--" + entity.parameters.value(u"boundary"_s).toUtf8();
    qsizetype partStart = -1;
    qsizetype at = 0;
    while (at <= body.size()) {
        qsizetype found = body.indexOf(delimiter, at);
        while (found > 0 && body[found - 1] != '\n')
            found = body.indexOf(delimiter, found + 1);
        if (found < 0)
            break;
        const qsizetype after = found + delimiter.size();
        const bool closing = body.sliced(after).startsWith("--");
        // Only blanks may follow a delimiter on its line.
        const qsizetype lineEnd = afterLineEnd(body, after);
        const QByteArrayView rest = body.sliced(after + (closing ? 2 : 0), lineEnd - after - (closing ? 2 : 0));
        if (!rest.trimmed().isEmpty()) {
            at = after;
            continue;
        }
        if (partStart >= 0 && m_parts < kMaxParts) {
            // The line end before the delimiter belongs to it.
            qsizetype partEnd = found;
            if (partEnd > partStart && body[partEnd - 1] == '\n')
                --partEnd;
            if (partEnd > partStart && body[partEnd - 1] == '\r')
                --partEnd;
            entity.parts.push_back(parse(body.sliced(partStart, partEnd - partStart), depth + 1));
        }
        if (closing)
            return;
        partStart = lineEnd;
        at = lineEnd;
    }
    // No closing delimiter: the last part runs to the end.
    if (partStart >= 0 && partStart < body.size() && m_parts < kMaxParts)
        entity.parts.push_back(parse(body.sliced(partStart), depth + 1));
}

} // namespace

QString MimeEntity::header(QStringView name) const
{
    for (const MimeHeader& h : headers) {
        if (h.name.compare(name, Qt::CaseInsensitive) == 0)
            return h.value;
    }
    return {};
}

QString MimeEntity::text() const
{
    return decodeText(body, parameters.value(u"charset"_s));
}

MimeEntity parseMimeEntity(QByteArrayView bytes)
{
    return Parser().parse(bytes, 0);
}

QString decodeText(QByteArrayView bytes, const QString& charset)
{
    QString name = charset.trimmed().toLower();
    name.remove(u'"');
    static const QStringList gb = {u"gb2312"_s,     u"gbk"_s,         u"x-gbk"_s,  u"cp936"_s,
                                   u"ms936"_s,      u"windows-936"_s, u"euc-cn"_s, u"x-euc-cn"_s,
                                   u"gb_2312-80"_s, u"csgb2312"_s,    u"gb18030"_s};
    if (gb.contains(name))
        name = u"gb18030"_s;
    else if (name == u"iso-8859-1" || name == u"latin1" || name == u"us-ascii" || name == u"ascii" ||
             name == u"iso_8859-1")
        name = u"windows-1252"_s;
    if (name.isEmpty() || name == u"unknown-8bit" || name == u"x-unknown")
        return guessText(bytes);
    if (name == u"utf-8" || name == u"utf8")
        return QString::fromUtf8(bytes);
    QStringDecoder decoder(name.toLatin1().constData());
    if (!decoder.isValid())
        return guessText(bytes);
    return decoder.decode(bytes);
}

QString decodeHeaderText(QByteArrayView raw)
{
    if (!raw.contains("=?"))
        return raw.isEmpty() ? QString() : guessText(raw);
    struct Piece
    {
        bool word = false;
        QByteArray bytes;
        QString charset;
    };
    std::vector<Piece> pieces;
    qsizetype at = 0;
    qsizetype plainStart = 0;
    while (at < raw.size()) {
        const qsizetype start = raw.indexOf("=?", at);
        if (start < 0)
            break;
        // An encoded word: =?charset?B|Q?text?= with no blank inside.
        const qsizetype q1 = raw.indexOf('?', start + 2);
        const qsizetype end =
            q1 > start + 2 && q1 + 2 < raw.size() && raw[q1 + 2] == '?' ? raw.indexOf("?=", q1 + 3) : -1;
        const char encoding = q1 > 0 && q1 + 1 < raw.size() ? char(std::tolower(raw[q1 + 1])) : 0;
        if (end < 0 || (encoding != 'b' && encoding != 'q') ||
            std::any_of(raw.begin() + start, raw.begin() + end, [](char c) { return c == ' ' || c == '\t'; })) {
            at = start + 1;
            continue;
        }
        if (start > plainStart)
            pieces.push_back(Piece{false, raw.sliced(plainStart, start - plainStart).toByteArray(), {}});
        QString charset = QString::fromLatin1(raw.sliced(start + 2, q1 - start - 2));
        if (const qsizetype star = charset.indexOf(u'*'); star >= 0)
            charset.truncate(star); // RFC 2231 language
        QByteArray text = raw.sliced(q1 + 3, end - q1 - 3).toByteArray();
        if (encoding == 'q')
            text = decodeQuotedPrintable(text.replace('_', ' '));
        else
            text = QByteArray::fromBase64(text);
        pieces.push_back(Piece{true, text, charset.isEmpty() ? u"utf-8"_s : charset});
        at = plainStart = end + 2;
    }
    if (plainStart < raw.size())
        pieces.push_back(Piece{false, raw.sliced(plainStart).toByteArray(), {}});
    QString out;
    QByteArray pending; // adjacent encoded words of one charset are decoded together: a character may span two
    QString pendingCharset;
    const auto flush = [&] {
        if (!pendingCharset.isEmpty())
            out += decodeText(pending, pendingCharset);
        pending.clear();
        pendingCharset.clear();
    };
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& piece = pieces[i];
        if (piece.word) {
            if (piece.charset.compare(pendingCharset, Qt::CaseInsensitive) != 0)
                flush();
            pendingCharset = piece.charset;
            pending += piece.bytes;
            continue;
        }
        // Blanks between two encoded words are no part of the text.
        if (piece.bytes.trimmed().isEmpty() && i > 0 && pieces[i - 1].word && i + 1 < pieces.size() &&
            pieces[i + 1].word)
            continue;
        flush();
        out += guessText(piece.bytes);
    }
    flush();
    return out;
}

QByteArray decodeQuotedPrintable(QByteArrayView encoded)
{
    QByteArray out;
    out.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c != '=') {
            out += c;
            continue;
        }
        if (i + 2 < encoded.size() && hexValue(encoded[i + 1]) >= 0 && hexValue(encoded[i + 2]) >= 0) {
            out += char(hexValue(encoded[i + 1]) * 16 + hexValue(encoded[i + 2]));
            i += 2;
            continue;
        }
        // A soft line break: "=" and blanks at the end of a line.
        qsizetype j = i + 1;
        while (j < encoded.size() && (encoded[j] == ' ' || encoded[j] == '\t'))
            ++j;
        if (j < encoded.size() && encoded[j] == '\r')
            ++j;
        if (j < encoded.size() && encoded[j] == '\n') {
            i = j;
            continue;
        }
        if (j == encoded.size()) {
            i = j;
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace quill::richtext
