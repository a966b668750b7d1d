#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <vector>

namespace quill::richtext {

struct MimeHeader
{
    QString name;
    QString value; // unfolded, its encoded words (RFC 2047) decoded
};

// One entity of a MIME message (RFC 2045-2047, 2231): its headers, what they say of its content, and either
// its decoded body or, for a multipart, its parts.
struct MimeEntity
{
    QList<MimeHeader> headers;
    QString type = QStringLiteral("text/plain"); // lower case
    QHash<QString, QString> parameters;          // of the Content-Type, names in lower case
    QString disposition;                         // "inline", "attachment" or empty, lower case
    QString fileName;                            // the disposition's filename, else the type's name
    QString contentId;                           // without "<>"
    QByteArray body;                             // its transfer encoding undone; empty for a multipart
    std::vector<MimeEntity> parts;

    // The first header of the name (compared without regard to case); empty when there is none.
    QString header(QStringView name) const;
    bool isMultipart() const { return type.startsWith(u"multipart/"); }
    // The body as text in the charset the entity names.
    QString text() const;
};

// Reads a message or an entity: headers up to the first empty line, then the body. Lenient as mail readers
// are: LF or CRLF line ends, a missing closing boundary, stray bytes. Multiparts nest at most 32 deep; a
// message/rfc822 entity is read as a nested message (its one part).
MimeEntity parseMimeEntity(QByteArrayView bytes);

// Bytes of text in a charset: GB2312 and GBK are read as GB18030, their superset; ISO-8859-1 and US-ASCII
// as windows-1252, as browsers do; any other name QStringDecoder knows as itself. An unknown or missing
// charset: UTF-8 when the bytes are valid UTF-8, else GB18030.
QString decodeText(QByteArrayView bytes, const QString& charset);

// A header's text: encoded words (=?charset?B|Q?...?=) decoded, the blanks between two of them dropped, and
// bytes outside them read as UTF-8 when valid, else as GB18030.
QString decodeHeaderText(QByteArrayView raw);

QByteArray decodeQuotedPrintable(QByteArrayView encoded);

} // namespace quill::richtext
