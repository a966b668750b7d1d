#pragma once

#include "domino/notes.h"

#include <memory>

namespace quill::domino {

// A database held between commands (the listed view's): empty until connected to a database that
// another operation returned; using it empty is an error.
class DatabaseHandle : public NotesDatabase
{
public:
    void connectTo(std::shared_ptr<NotesDatabase> database) { m_database = std::move(database); }
    void disconnect() { m_database.reset(); }
    bool isConnected() const { return m_database != nullptr; }

    QStringList Views() const override;
    std::unique_ptr<NotesView> FindView(const QString& name) const override;
    std::unique_ptr<NotesDocument> FindDocumentById(const QString& documentId) const override;
    std::unique_ptr<ReadBatch> beginReadBatch() const override;
    std::unique_ptr<NotesDocumentCollection> FTSearch(const QString& query, int maxDocs) const override;
    bool IsFTIndexed() const override;
    void UpdateFTIndex(bool create, const FTIndexProgress& progress) const override;

private:
    const NotesDatabase& database() const;

    std::shared_ptr<NotesDatabase> m_database;
};

} // namespace quill::domino
