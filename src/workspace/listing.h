#pragma once

#include "domino/notes.h"
#include "domino/sessionservice.h"

#include <QString>
#include <memory>

namespace quill::workspace {

// What the document list shows, pages through and exports: the documents of a view. Another kind of listing
// (a search result over a database or a view) answers the same questions.
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
    virtual std::unique_ptr<domino::NotesView> open() const = 0;
};

// A view of a database, found by its name at every open, as the paging commands find it again.
class ViewListing final : public Listing
{
public:
    ViewListing(const domino::NotesDatabase& database, QString viewName, domino::DatabaseLocation location);

    QString name() const override { return m_viewName; }
    domino::DatabaseLocation location() const override { return m_location; }
    const domino::NotesDatabase& database() const override { return m_database; }
    std::unique_ptr<domino::NotesView> open() const override;

private:
    const domino::NotesDatabase& m_database;
    QString m_viewName;
    domino::DatabaseLocation m_location;
};

} // namespace quill::workspace
