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
      m_session(std::move(sessionFactory))
{
    if (!m_settingsFolder.endsWith(u'/'))
        m_settingsFolder += u'/';
}

Workspace::~Workspace() = default;

QString Workspace::settingsFilePath() const
{
    return m_settingsFolder + u"system.ini"_s;
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
