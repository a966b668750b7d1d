#include "workspace/listing.h"

#include "domino/error.h"

using namespace Qt::StringLiterals;

namespace quill::workspace {

ViewListing::ViewListing(const domino::NotesDatabase& database, QString viewName, domino::DatabaseLocation location)
    : m_database(database), m_viewName(std::move(viewName)), m_location(std::move(location))
{
}

std::unique_ptr<domino::NotesView> ViewListing::open() const
{
    std::unique_ptr<domino::NotesView> view = m_database.FindView(m_viewName);
    if (!view)
        throw domino::DominoError(u"找不到视图："_s + m_viewName);
    return view;
}

} // namespace quill::workspace
