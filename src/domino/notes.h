#pragma once

#include "domino/value.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace quill::domino {

// The Domino objects as the program uses them. The component (libnlsxbe.so) implements these
// interfaces; every operation either succeeds or throws DominoError with the component's message,
// in Simplified Chinese. Objects handed out stay valid on their own: a document keeps its database
// alive, so the caller may release them in any order.

class NotesEmbeddedObject
{
public:
    virtual ~NotesEmbeddedObject() = default;
    virtual QString Name() const = 0;
    // Writes the object's file to path, replacing a file that is there.
    virtual void SaveToFile(const QString& path) = 0;
};

class NotesItem
{
public:
    static constexpr int RichText = 1;
    static constexpr int Text = 1280;
    static constexpr int Number = 768;
    static constexpr int DateTime = 1024;
    static constexpr int Names = 1074;
    static constexpr int Readers = 1075;
    static constexpr int Authors = 1076;
    static constexpr int Attachment = 1084;

    virtual ~NotesItem() = default;
    virtual QString Name() const = 0;
    virtual int ItemType() const = 0;
};

class NotesRichTextItem : public NotesItem
{
public:
    // The item's plain text; tabs become spaces when asked, lines wrap at lineLength characters
    // without breaking a longer word.
    virtual QString FormattedText(bool tabsToSpaces, int lineLength) const = 0;
    virtual QStringList EmbeddedObjects() const = 0;
    virtual std::unique_ptr<NotesEmbeddedObject> EmbeddedObjectByName(const QString& name) const = 0;
    // The object at that position (from 0) of the EmbeddedObjects list; several may share a name.
    // Throws outside the list.
    virtual std::unique_ptr<NotesEmbeddedObject> EmbeddedObjectAt(int index) const = 0;
    // The item as Domino's DXL exporter writes it: one <richtext> element in UTF-8, its elements those of the
    // DXL namespace without a prefix or a namespace declaration, its pictures inline. Attachment icons name
    // the document's attachments, objects EmbeddedObjects. An item whose structure was not kept (made from
    // text alone, or by an older program), a mail body among them, gives its plain text as paragraphs.
    virtual QByteArray ExportDXL() const = 0;
};

// A mail body kept as MIME, as NotesDocument::GetMIMEEntity gives its top entity.
class NotesMIMEEntity
{
public:
    virtual ~NotesMIMEEntity() = default;
    // The whole entity: its headers, an empty line, its body with every part, the bodies of inline pictures
    // and attachments included.
    virtual QByteArray GetEntityAsText() const = 0;
};

class NotesDocument
{
public:
    virtual ~NotesDocument() = default;
    // 32 hexadecimal digits, unique in its database.
    virtual QString DocumentId() const = 0;
    // One value per column of the view the document was reached through (a list for a
    // multi-value item). Throws for a document not reached through a view.
    virtual ValueList ColumnValues() const = 0;
    virtual QStringList Items() const = 0;
    // The values of the first item of that name; an empty list when there is no such item. A rich
    // text item gives its plain text as the one element.
    virtual ValueList ItemValue(const QString& name) const = 0;
    virtual bool HasAttachments() const = 0;
    // The first attachment of that name: exactly, or else without regard to case.
    virtual std::unique_ptr<NotesEmbeddedObject> AttachmentByName(const QString& fileName) const = 0;
    // The attachment at that position (from 0) of the "@AttachmentNames" list; several may share a name.
    // Throws outside the list.
    virtual std::unique_ptr<NotesEmbeddedObject> AttachmentAt(int index) const = 0;
    // Throws when the document has no item of that name.
    virtual std::unique_ptr<NotesItem> ItemByName(const QString& name) const = 0;
    // The item as rich text; throws when it is missing or not rich text.
    virtual std::unique_ptr<NotesRichTextItem> RichTextItemByName(const QString& name) const = 0;
    // The mail body the item keeps as MIME (as RichTextItemByName it gives the mail's plain text); nullptr when
    // there is no such item or it keeps no MIME.
    virtual std::unique_ptr<NotesMIMEEntity> GetMIMEEntity(const QString& itemName) const = 0;
};

class NotesView
{
public:
    virtual ~NotesView() = default;
    virtual int ColumnCount() const = 0;
    virtual QStringList ColumnNames() const = 0;
    virtual int EntryCount() const = 0;
    virtual QString ViewName() const = 0;
    // Position counted from 1; throws past the end or below 1.
    virtual std::unique_ptr<NotesDocument> NthDocument(int position) const = 0;
    // The document after the given one in view order; nullptr after the last.
    virtual std::unique_ptr<NotesDocument> NextDocument(const NotesDocument& document) const = 0;
    // True (as found): positions are looked up in the view as the database stands at each call, so that
    // another program's changes move them. False: the view keeps the entries it has at that moment, in
    // their order, and EntryCount, NthDocument and NextDocument answer from them however the database
    // changes meanwhile (a walk then sees the view of one moment); a document deleted since is an error
    // of its position, never another document. Setting it true again follows the database once more.
    virtual void SetAutoUpdate(bool autoUpdate) = 0;
    virtual bool AutoUpdate() const = 0;
    // Narrows the view to the documents a full-text search finds (see NotesDatabase::FTSearch), the first maxDocs of
    // them in view order (0: all): EntryCount, NthDocument and NextDocument answer within them, in view order, until
    // Clear. They are the documents of the moment of the search whatever AutoUpdate says; a view held still is
    // searched among the entries it holds. Returns how many were found.
    virtual int FTSearch(const QString& query, int maxDocs) = 0;
    // Ends FTSearch's narrowing: the view answers with all its entries again, held still or not as before.
    virtual void Clear() = 0;
};

// The documents a full-text search found, in the order it gives them. Its documents have no column values.
class NotesDocumentCollection
{
public:
    virtual ~NotesDocumentCollection() = default;
    virtual int Count() const = 0;
    // nullptr when the collection is empty.
    virtual std::unique_ptr<NotesDocument> GetFirstDocument() const = 0;
    // The document after one of the collection's; nullptr after the last. Throws for a document not in it.
    virtual std::unique_ptr<NotesDocument> GetNextDocument(const NotesDocument& document) const = 0;
    // Position counted from 1; nullptr outside 1..Count, as Domino gives it. A document deleted since the search
    // is an error of its position.
    virtual std::unique_ptr<NotesDocument> GetNthDocument(int position) const = 0;
};

// Held while a series of reads belongs together (a page of a view, an export): the implementation may
// keep one read of the database open meanwhile instead of starting one for every call. Releasing it
// ends it; batches nest. A writer of the database is kept waiting a fraction of a second at most, so
// a long batch can see the database change between calls, as it would without a batch (a view whose
// AutoUpdate is false keeps its entries all the same).
class ReadBatch
{
public:
    virtual ~ReadBatch() = default;
};

class NotesDatabase
{
public:
    virtual ~NotesDatabase() = default;
    virtual QStringList Views() const = 0;
    virtual std::unique_ptr<NotesView> FindView(const QString& name) const = 0;
    virtual std::unique_ptr<NotesDocument> FindDocumentById(const QString& documentId) const = 0;
    // The batch may outlive this object.
    virtual std::unique_ptr<ReadBatch> beginReadBatch() const = 0;

    // Full-text search (the query language and what a document's text is: domino/ftsearch.h). On a server only the
    // documents the user may read. The first maxDocs found (0: all), as they are at that moment, in the order they
    // were added to the database. Throws DominoError for a query outside the language, saying what is wrong.
    // The component answers from the database's full-text index, making it or bringing it up to date first when it
    // can write the file; otherwise (a read-only file or folder) it reads every document's text: slower, the same
    // documents.
    virtual std::unique_ptr<NotesDocumentCollection> FTSearch(const QString& query, int maxDocs) const = 0;
    // True when the database has a full-text index (a search then need not read every document).
    virtual bool IsFTIndexed() const = 0;
    // Brings the full-text index up to date with the documents; without one, makes it when create is true and
    // otherwise does nothing. progress (may be empty) is told the documents indexed so far and in all, between
    // short writes that other programs' reads wait for at most a fraction of a second. Throws DominoError when the
    // file cannot be written (read only, or held by another writer); what was indexed before stays.
    using FTIndexProgress = std::function<void(qint64 done, qint64 total)>;
    virtual void UpdateFTIndex(bool create, const FTIndexProgress& progress) const = 0;
};

class NotesSession
{
public:
    virtual ~NotesSession() = default;
    virtual void InitUserSession(const QString& userName, const QString& password) = 0;
    virtual void InitLocalSession(const QString& text) = 0;
    // Empty server: a local file path. Otherwise a path below the server's data directory, with
    // "\" or "/" as separators.
    virtual std::shared_ptr<NotesDatabase> OpenDatabase(const QString& server, const QString& path, bool flag) = 0;
    // Only "@AttachmentNames" is understood: the document's attachment file names.
    virtual ValueList EvaluateFormula(const QString& formula, const NotesDocument& document) = 0;
    // Reaches the server as opening its directory database would, without handing anything out. Throws
    // DominoError when it does not answer (a name the installation does not serve: "无法连接服务器…") or the
    // session is not signed in.
    virtual void pingServer(const QString& server) = 0;
};

} // namespace quill::domino

// The component's one entry point. Returns a new session the caller owns, or nullptr on failure.
extern "C" {
using NlsxbeCreateSessionFn = quill::domino::NotesSession* (*)();
#define QUILL_NLSXBE_ENTRY_POINT "nlsxbe_create_session"
}
