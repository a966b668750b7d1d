#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace quill::richtext {

// Domino keeps a mail's MIME message in items: each part in an item of type MIME_PART (DXL:
// <rawitemdata type='19'>) and each RFC 822 header in an item of type RFC822_TEXT (<rawitemdata type='502'>).
// These read the items' values, the bytes of the rawitemdata (its base64 decoded).

// One MIME_PART item: the part's boundary line, its headers and its body, as Domino keeps them.
struct MimePartItem
{
    quint32 flags = 0;
    int partType = 0; // 1 prolog, 2 body, 3 epilog, 4 retrieve information, 5 message
    QByteArray boundary;
    QByteArray headers;
    QByteArray body;
    bool bodyInObject = false; // body holds the name of the file object that holds the body
};

// nullopt when the value is shorter than its header says.
std::optional<MimePartItem> parseMimePartItem(QByteArrayView value);

struct AssembledMessage
{
    QByteArray message;   // the MIME message the items hold, without the RFC 822 headers of the mail
    QStringList problems; // what could not be used, in the words the program shows
};

// The MIME message of a document's MIME_PART items, in their order. A body kept in a file object is asked of
// objectBytes by the object's name; nullopt: the document has no such object.
AssembledMessage assembleMimeMessage(const QList<QByteArray>& itemValues,
                                     const std::function<std::optional<QByteArray>(const QString&)>& objectBytes);

struct Rfc822Header
{
    QString name; // the header's name as the mail had it ("From", "To"...); empty when the item kept none
    QString text; // its value as text, encoded words decoded
};

// One RFC822_TEXT item: the header as the mail had it, else the text Domino made of it (a date as
// "yyyy-MM-dd HH:mm:ss UTC"). nullopt when the value is shorter than its header says.
std::optional<Rfc822Header> parseRfc822Item(QByteArrayView value);

} // namespace quill::richtext
