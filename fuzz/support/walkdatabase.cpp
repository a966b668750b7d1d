#include "walkdatabase.h"

#include "domino/error.h"
#include "domino/notes.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;
using quill::domino::DominoError;

extern "C" quill::domino::NotesSession* nlsxbe_create_session();

namespace quill::fuzz {
namespace {

// Enough to reach every row of a small database, few enough that a tampered count costs no time.
constexpr int kMaxDocumentsPerView = 64;

template <typename Step> void guarded(Step&& step)
{
    try {
        step();
    } catch (const DominoError&) {
    }
}

void toText(const domino::ValueList& values)
{
    for (const domino::Value& value : values)
        guarded([&] { domino::ValueToText(value); });
}

void save(domino::NotesEmbeddedObject& object, const QString& scratch)
{
    const QString file = QDir(scratch).filePath(u"object"_s);
    guarded([&] { object.SaveToFile(file); });
    QFile::remove(file);
}

void walkItem(const domino::NotesDocument& document, const QString& name, const QString& scratch)
{
    guarded([&] { toText(document.ItemValue(name)); });
    guarded([&] { document.ItemByName(name)->ItemType(); });
    guarded([&] {
        const auto richText = document.RichTextItemByName(name);
        richText->FormattedText(true, 80);
        richText->FormattedText(false, 1);
        const QStringList objects = richText->EmbeddedObjects();
        for (const QString& objectName : objects)
            guarded([&] { richText->EmbeddedObjectByName(objectName); });
        for (int i = -1; i <= int(objects.size()); ++i) {
            guarded([&] {
                if (const auto object = richText->EmbeddedObjectAt(i))
                    save(*object, scratch);
            });
        }
        richText->ExportDXL();
    });
    guarded([&] {
        if (const auto mime = document.GetMIMEEntity(name))
            mime->GetEntityAsText();
    });
}

void walkDocument(domino::NotesSession& session, const domino::NotesDatabase& database,
                  const domino::NotesDocument& document, const QString& scratch)
{
    guarded([&] { toText(document.ColumnValues()); });
    guarded([&] {
        for (const QString& name : document.Items())
            walkItem(document, name, scratch);
    });
    guarded([&] {
        if (!document.HasAttachments())
            return;
        const domino::ValueList names = session.EvaluateFormula(u"@AttachmentNames"_s, document);
        for (int i = -1; i <= int(names.size()); ++i) {
            guarded([&] {
                if (const auto object = document.AttachmentAt(i))
                    save(*object, scratch);
            });
        }
        for (const domino::Value& name : names)
            guarded([&] { document.AttachmentByName(domino::ValueToText(name)); });
    });
    guarded([&] { database.FindDocumentById(document.DocumentId()); });
}

// Every document of the view, each walked whole when given a session.
void walkDocuments(domino::NotesSession* session, const domino::NotesDatabase& database, const domino::NotesView& view,
                   const QString& scratch)
{
    if (view.EntryCount() < 1)
        return;
    std::unique_ptr<domino::NotesDocument> document = view.NthDocument(1);
    for (int n = 0; document && n < kMaxDocumentsPerView; ++n) {
        if (session)
            walkDocument(*session, database, *document, scratch);
        else
            document->DocumentId();
        document = view.NextDocument(*document);
    }
    guarded([&] { view.NthDocument(view.EntryCount()); });
}

void walkView(domino::NotesSession& session, const domino::NotesDatabase& database, const QString& name,
              const QString& scratch)
{
    const auto view = database.FindView(name);
    if (!view)
        return;
    view->ColumnNames();
    view->ColumnCount();
    view->ViewName();
    guarded([&] { walkDocuments(&session, database, *view, scratch); });
    // As an export walks it: the entries of one moment.
    view->SetAutoUpdate(false);
    walkDocuments(nullptr, database, *view, scratch);
    // Narrowed to what a search finds.
    guarded([&] {
        view->FTSearch(u"NOT 合同"_s, 0);
        walkDocuments(nullptr, database, *view, scratch);
    });
}

// Full-text searches, one the index narrows and one read from every document's text, and their documents.
void walkSearches(const domino::NotesDatabase& database)
{
    for (const QString& query : {u"\"华夏贸易\" OR [Subject] CONTAINS 文档"_s, u"NOT x"_s}) {
        guarded([&] {
            const auto found = database.FTSearch(query, 0);
            std::unique_ptr<domino::NotesDocument> document = found->GetFirstDocument();
            for (int n = 0; document && n < kMaxDocumentsPerView; ++n) {
                document->DocumentId();
                document = found->GetNextDocument(*document);
            }
            found->GetNthDocument(found->Count());
        });
    }
}

} // namespace

void walkDatabase(const QString& path, const QString& scratch)
{
    const std::unique_ptr<domino::NotesSession> session(nlsxbe_create_session());
    if (!session)
        return;
    session->InitLocalSession(QString());
    std::shared_ptr<domino::NotesDatabase> database;
    guarded([&] { database = session->OpenDatabase(QString(), path, false); });
    if (!database)
        return;
    QStringList views;
    guarded([&] { views = database->Views(); });
    for (const QString& name : views)
        guarded([&] { walkView(*session, *database, name, scratch); });
    walkSearches(*database);
}

} // namespace quill::fuzz
