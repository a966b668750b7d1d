#include "workspace/workspace.h"

#include "platform/paths.h"
#include "platform/text.h"

using namespace Qt::StringLiterals;

namespace quill::workspace {

CredentialsCheck checkCredentials(const Credentials& typed)
{
    const Credentials trimmed{platform::trimBlanks(typed.serverName), platform::trimBlanks(typed.userName),
                              platform::trimBlanks(typed.password)};
    if (trimmed.serverName.isEmpty())
        return {std::nullopt, u"服务器名不能为空"_s};
    if (trimmed.userName.isEmpty())
        return {std::nullopt, u"登录用名不能为空"_s};
    return {trimmed, QString()};
}

Workspace::Workspace(domino::SessionFactory sessionFactory, const QString& settingsFolder, QObject* parent)
    : QObject(parent),
      m_settingsFolder(settingsFolder.isEmpty() ? platform::settingsFolder(platform::applicationFolder())
                                                : settingsFolder),
      m_sessions(std::move(sessionFactory)), m_documentModel(m_pager)
{
    if (!m_settingsFolder.endsWith(u'/'))
        m_settingsFolder += u'/';
    connect(&m_pager, &Pager::counted, this, &Workspace::viewListed);
    connect(&m_pager, &Pager::uncounted, this, &Workspace::listingUncounted);
}

Workspace::~Workspace() = default;

QString Workspace::settingsFilePath() const
{
    return m_settingsFolder + u"system.ini"_s;
}

void Workspace::listView(std::shared_ptr<domino::NotesDatabase> database, const QString& viewName,
                         const DatabaseLocation& location)
{
    m_listing.reset();
    m_database.connectTo(std::move(database));
    m_listing = std::make_unique<ViewListing>(m_database, viewName, location);
    m_pager.setDocPos(0);
    emit searchChanged(QString());
}

void Workspace::listSearch(std::shared_ptr<domino::NotesDatabase> database, const QString& viewName,
                           const DatabaseLocation& location, const QString& query)
{
    auto search = std::make_unique<SearchListing>(database, viewName, location, query);
    m_listing.reset();
    m_database.connectTo(std::move(database));
    m_listing = std::move(search);
    m_pager.setDocPos(0);
    emit searchChanged(query);
}

bool Workspace::clearSearch()
{
    auto* search = dynamic_cast<SearchListing*>(m_listing.get());
    if (!search)
        return false;
    search->end();
    const std::shared_ptr<domino::NotesDatabase> database = search->sharedDatabase();
    const QString viewName = search->name();
    const DatabaseLocation location = search->location();
    listView(database, viewName, location);
    return true;
}

DatabaseLocation Workspace::rowsLocation() const
{
    if (m_listing)
        return m_listing->location();
    return {m_treeMode == TreeMode::Server ? m_credentials.serverName : QString(), m_dbPath};
}

void Workspace::loadPage(PageProgress& progress)
{
    setDocumentsShown(true);
    if (!m_listing)
        throw domino::DominoError(u"没有列出的视图"_s);
    m_pager.load(*m_listing, progress);
    // A page finds no first document when the search found none; the count is said all the same.
    if (!m_listing->query().isEmpty() && m_pager.docCount() == 0 && m_pager.pageStart() == 0)
        emit viewListed(m_listing->name(), 0);
}

void Workspace::showDatabaseViews(const QStringList& views)
{
    setDocumentsShown(false);
    m_pager.clearRows();
    m_databaseViews = views;
    emit databaseViewsChanged();
}

void Workspace::clearList()
{
    m_pager.clearRows();
    m_databaseViews.clear();
    emit databaseViewsChanged();
}

void Workspace::clearListing()
{
    m_listing.reset();
    m_database.disconnect();
    m_pager.reset();
    setDocumentsShown(false);
    m_databaseViews.clear();
    emit databaseViewsChanged();
}

void Workspace::setDocumentsShown(bool shown)
{
    if (shown == m_documentsShown)
        return;
    m_documentsShown = shown;
    emit listStyleChanged();
}

} // namespace quill::workspace
