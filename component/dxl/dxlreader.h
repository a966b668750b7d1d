#pragma once

#include "dxltext.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QIODevice;

namespace quill::component::dxl {

inline constexpr char kDxlNamespace[] = "http://www.lotus.com/dxl";

struct DatabaseInfo
{
    QString title;
    QString replicaId;
};

struct AclEntry
{
    QString name;  // "-Default-" for the default entry
    QString level; // noaccess, depositor, reader, author, editor, designer, manager
};

struct ViewColumn
{
    QString title;
    QString item;    // the item the column shows; empty when it shows nothing or a formula's value
    QString formula; // the formula whose value it shows (one the component cannot evaluate shows empty)
};

struct View
{
    QString name;
    QStringList aliases;
    std::vector<ViewColumn> columns;
    int sortColumn = -1; // -1: creation order
    bool descending = false;
    QString selection; // the selection formula; empty: every document
    qint64 line = 0;
};

struct NoteInfo
{
    QString unid; // empty when the DXL gives none
    std::optional<DateTimeValue> created;
    std::optional<DateTimeValue> modified;
    QString form; // from the <document form=...> attribute
    qint64 line = 0;
};

struct Item
{
    enum class Kind
    {
        Text,
        Number,
        DateTime,
        RichText,
        MimePart, // <rawitemdata type='19'>: one part of a mail body kept as MIME
        Rfc822,   // <rawitemdata type='502'>: one header of a mail as it came
    };
    QString name;
    Kind kind = Kind::Text;
    bool names = false;
    bool readers = false;
    bool authors = false;
    QStringList texts; // text values; rich text: its plain text as the one element
    std::vector<double> numbers;
    std::vector<DateTimeValue> dateTimes;
    QStringList objectNames; // rich text: the attachments and objects it shows, in order
    // Rich text: its <richtext> element in UTF-8, written anew from what was read: the DXL elements by their
    // local names without a namespace declaration, attributes of other namespaces and elements of other
    // namespaces left out, text and attribute values escaped.
    QByteArray richText;
    QByteArray raw; // MIME part and RFC 822 items: the value, its base64 decoded
    qint64 line = 0;
};

// Receives what the reader finds, in document order. Any of these may throw platform::Error to stop
// the reading; the reader passes it on.
class Sink
{
public:
    virtual ~Sink() = default;
    virtual void database(const DatabaseInfo& info) = 0;
    virtual void aclEntry(const AclEntry& entry) = 0;
    virtual void view(const View& view) = 0;
    virtual void beginDocument(const NoteInfo& info) = 0;
    virtual void item(const Item& item) = 0;
    // A file attachment of the current document: its bytes arrive in pieces between begin and end.
    virtual void beginAttachment(const QString& name) = 0;
    virtual void attachmentData(const char* data, qsizetype size) = 0;
    virtual void endAttachment() = 0;
    virtual void endDocument() = 0;
    // Something that was read but could not be kept; line 0 for a summary.
    virtual void notice(qint64 line, const QString& message) = 0;
    // One case of something the import made up or left out, counted by kind: what is the summary's text,
    // with %1 for the number of cases and %2 for the line of the first. A sink that does not count takes
    // each case as a notice.
    virtual void counted(qint64 line, const QString& what) { notice(line, what.arg(1).arg(line)); }
};

// Streams a DXL file into a sink: a whole database, one or more documents in either the <document>
// or the raw <note class='document'> form, or a view. External entities are never loaded and entity
// declarations are refused. A root element without a namespace is read as DXL when it is one of DXL's
// (database, document, note, view, folder): its elements without a namespace are then DXL's.
class Reader
{
public:
    explicit Reader(Sink& sink);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Throws platform::Error naming fileName, the line and what was wrong.
    void read(QIODevice& input, const QString& fileName);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace quill::component::dxl
