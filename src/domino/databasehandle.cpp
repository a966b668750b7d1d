#include "domino/databasehandle.h"

#include "domino/error.h"

using namespace Qt::StringLiterals;

namespace quill::domino {

const NotesDatabase& DatabaseHandle::database() const
{
    if (!m_database)
        throw DominoError(u"数据库对象尚未连接到Domino数据库"_s);
    return *m_database;
}

QStringList DatabaseHandle::Views() const
{
    return database().Views();
}

std::unique_ptr<NotesView> DatabaseHandle::FindView(const QString& name) const
{
    return database().FindView(name);
}

std::unique_ptr<NotesDocument> DatabaseHandle::FindDocumentById(const QString& documentId) const
{
    return database().FindDocumentById(documentId);
}

std::unique_ptr<ReadBatch> DatabaseHandle::beginReadBatch() const
{
    return database().beginReadBatch();
}

std::unique_ptr<NotesDocumentCollection> DatabaseHandle::FTSearch(const QString& query, int maxDocs) const
{
    return database().FTSearch(query, maxDocs);
}

bool DatabaseHandle::IsFTIndexed() const
{
    return database().IsFTIndexed();
}

void DatabaseHandle::UpdateFTIndex(bool create, const FTIndexProgress& progress) const
{
    database().UpdateFTIndex(create, progress);
}

} // namespace quill::domino
