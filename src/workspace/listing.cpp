#include "workspace/listing.h"

#include "domino/error.h"

using namespace Qt::StringLiterals;

namespace quill::workspace {

ViewListing::ViewListing(const domino::NotesDatabase& database, QString viewName, domino::DatabaseLocation location)
    : m_database(database), m_viewName(std::move(viewName)), m_location(std::move(location))
{
}

std::unique_ptr<domino::NotesView> findListedView(const domino::NotesDatabase& database, const QString& viewName)
{
    std::unique_ptr<domino::NotesView> view = database.FindView(viewName);
    if (!view)
        throw domino::DominoError(u"找不到视图："_s + viewName);
    return view;
}

std::shared_ptr<domino::NotesView> ViewListing::open() const
{
    return findListedView(m_database, m_viewName);
}

SearchListing::SearchListing(std::shared_ptr<domino::NotesDatabase> database, QString viewName,
                             domino::DatabaseLocation location, QString query)
    : m_database(std::move(database)), m_viewName(std::move(viewName)), m_location(std::move(location)),
      m_query(std::move(query))
{
    m_view = findListedView(*m_database, m_viewName);
    m_found = m_view->FTSearch(m_query, 0);
}

void SearchListing::end()
{
    m_view->Clear();
}

std::unique_ptr<domino::NotesView> SearchListing::holdForExport() const
{
    std::unique_ptr<domino::NotesView> view = findListedView(*m_database, m_viewName);
    // Held first, so that the search narrows the entries the export then walks.
    view->SetAutoUpdate(false);
    view->FTSearch(m_query, 0);
    return view;
}

} // namespace quill::workspace
