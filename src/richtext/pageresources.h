#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace quill::richtext {

// The target of a Notes document link, as DXL gives it.
struct DocumentLink
{
    QString unid;     // the target document's universal id
    QString database; // the replica id of its database
    QString view;     // the universal id of the view it was linked from
    QString server;
    QString description;
};

// A file a page shows or links to: a picture of the rich text or of a mail, or a mail's attachment.
struct FileToSave
{
    enum class Kind
    {
        Picture,
        Attachment,
    };
    Kind kind = Kind::Picture;
    QString name;      // a name it may take: the attachment's own, or "picture3.png"
    QString extension; // lower case, without the dot: gif, jpg, png, or the attachment's
    QByteArray bytes;
};

// What a page needs of the export it belongs to. Every path is relative to the page's folder, "/"
// between folders; one that is empty, absolute or has a scheme is not used, and the page shows a marked
// placeholder or the bare text instead. A callback left empty gives nothing.
struct PageResources
{
    // Saves the file and gives its path.
    std::function<QString(const FileToSave& file)> saveFile;
    // The path of an attachment of the document that the export saved; empty when it did not.
    std::function<QString(const QString& attachmentName)> attachmentPath;
    // The path of the page of the linked document when it is in the same export; empty when it is not.
    std::function<QString(const DocumentLink& link)> documentPath;
};

// What a renderer gives: an HTML fragment, and what kept it from reading all of its input.
struct RenderedHtml
{
    QString html;
    QString error; // empty when the whole input was read
};

} // namespace quill::richtext
