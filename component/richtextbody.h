#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace quill::component {

class Store;

// What a rich-text item keeps beside its plain text (the table rich_text, from format version 3 on): the
// structure a renderer needs, handed out by ExportDXL and GetMIMEEntity.
enum class BodyFormat
{
    Dxl = 1,  // its DXL <richtext> element, UTF-8, DXL elements without a prefix or namespace declaration
    Mime = 2, // a mail body: the MIME message of its parts, their bodies included
};

struct StoredBody
{
    qint64 format = 0; // as the file holds it: a BodyFormat, checked where it is used
    QByteArray content;
};

void writeBody(Store& store, qint64 docId, qint64 itemSeq, BodyFormat format, const QByteArray& content);
// Leaves out what a document keeps of its items' structure, when its items are written anew.
void deleteBodies(Store& store, qint64 docId);
// What the file keeps for the item; nullopt when it keeps nothing (a file older than version 3, an item
// made from its text alone).
std::optional<StoredBody> readBody(Store& store, qint64 docId, qint64 itemSeq);

// A mail body read from its MIME message: what the document shows of it.
struct DecodedMail
{
    QString plainText; // the mail's text part, else the text of its HTML
    // The parts its page lists as attachments, by the names they are saved under; the pictures it shows stay
    // in the message only.
    std::vector<std::pair<QString, QByteArray>> attachments;
};
DecodedMail decodeMail(const QByteArray& message);

} // namespace quill::component
