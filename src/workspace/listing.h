#pragma once

#include "domino/notes.h"
#include "domino/sessionservice.h"

#include <QString>
#include <memory>

namespace quill::workspace {

// What the document list shows, pages through and exports: the documents of a view, or those of a view a
// full-text search found. Both answer the same questions.
class Listing
{
public:
    virtual ~Listing() = default;

    // The name the status bar, the export's log and its attachment folder carry.
    virtual QString name() const = 0;
    // Where the listed documents' database was opened; the detail dialog opens it again there.
    virtual domino::DatabaseLocation location() const = 0;
    virtual const domino::NotesDatabase& database() const = 0;
    // The documents as a view gives them: columns, count, documents by position and in order. Throws
    // domino::DominoError.
    virtual std::shared_ptr<domino::NotesView> open() const = 0;
    // The full-text query the documents were found by; empty for a whole view.
    virtual QString query() const { return {}; }
    // What an export walks: the documents as they are now, held still (AutoUpdate false), or nullptr when the
    // export finds the view by name itself. Throws domino::DominoError.
    virtual std::unique_ptr<domino::NotesView> holdForExport() const { return nullptr; }
};

// A view of a database, found by its name at every open, as the paging commands find it again.
class ViewListing final : public Listing
{
public:
    ViewListing(const domino::NotesDatabase& database, QString viewName, domino::DatabaseLocation location);

    QString name() const override { return m_viewName; }
    domino::DatabaseLocation location() const override { return m_location; }
    const domino::NotesDatabase& database() const override { return m_database; }
    std::shared_ptr<domino::NotesView> open() const override;

private:
    const domino::NotesDatabase& m_database;
    QString m_viewName;
    domino::DatabaseLocation m_location;
};

// The documents of a view that a full-text search found, in view order. The view narrowed by the search is kept
// for every page, so paging goes through the documents of the moment of the search.
class SearchListing final : public Listing
{
public:
    // Searches the view; throws domino::DominoError for a query the language refuses or a view not found, and then
    // nothing is listed.
    SearchListing(std::shared_ptr<domino::NotesDatabase> database, QString viewName, domino::DatabaseLocation location,
                  QString query);

    QString name() const override { return m_viewName; }
    domino::DatabaseLocation location() const override { return m_location; }
    const domino::NotesDatabase& database() const override { return *m_database; }
    const std::shared_ptr<domino::NotesDatabase>& sharedDatabase() const { return m_database; }
    std::shared_ptr<domino::NotesView> open() const override { return m_view; }
    QString query() const override { return m_query; }
    // The same search on the view found anew and held still first.
    std::unique_ptr<domino::NotesView> holdForExport() const override;
    // The documents found.
    int found() const { return m_found; }
    // Ends the narrowing of the kept view (Clear).
    void end();

private:
    std::shared_ptr<domino::NotesDatabase> m_database;
    QString m_viewName;
    domino::DatabaseLocation m_location;
    QString m_query;
    std::shared_ptr<domino::NotesView> m_view;
    int m_found = 0;
};

// The view named, or a DominoError saying it is not there.
std::unique_ptr<domino::NotesView> findListedView(const domino::NotesDatabase& database, const QString& viewName);

} // namespace quill::workspace
