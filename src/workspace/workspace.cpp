#include "workspace/workspace.h"

#include "platform/paths.h"

using namespace Qt::StringLiterals;

namespace quill::workspace {

Workspace::Workspace(domino::SessionFactory sessionFactory, const QString& programFolder, QObject* parent)
    : QObject(parent), m_programFolder(programFolder.isEmpty() ? platform::applicationFolder() : programFolder),
      m_session(std::move(sessionFactory))
{
    if (!m_programFolder.endsWith(u'/'))
        m_programFolder += u'/';
}

Workspace::~Workspace() = default;

QString Workspace::settingsFilePath() const
{
    return m_programFolder + u"system.ini"_s;
}

void Workspace::listView(std::shared_ptr<domino::NotesDatabase> database, const QString& viewName,
                         const DatabaseLocation& location)
{
    m_rowsLocation = location;
    m_database.connectTo(std::move(database));
    m_viewName = viewName;
    m_docPos = 0;
}

DatabaseLocation Workspace::rowsLocation() const
{
    if (m_rowsLocation)
        return *m_rowsLocation;
    return {m_treeMode == TreeMode::Server ? m_credentials.serverName : QString(), m_dbPath};
}

void Workspace::startPage()
{
    m_pageStart = m_docPos;
    m_docCount = 0;
}

void Workspace::setViewCounted(const QString& viewName, qint32 count)
{
    m_docCount = count;
    emit viewListed(viewName, count);
}

} // namespace quill::workspace
