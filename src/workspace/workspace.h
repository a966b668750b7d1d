#pragma once

#include "domino/databasehandle.h"
#include "domino/lazysession.h"

#include <QObject>
#include <QString>
#include <optional>

namespace quill::workspace {

// What the database tree holds: nothing yet, a server's data directory, or one database file.
enum class TreeMode
{
    Empty,
    Server,
    File
};

// What the user logs in with; kept in the settings file.
struct Credentials
{
    QString serverName;
    QString userName;
    QString password;
};

// The typed credentials trimmed of blanks and control characters, or why they cannot be used: an empty
// server name ("服务器名不能为空", asked first) or login name ("登录用名不能为空"). The password may be empty.
struct CredentialsCheck
{
    std::optional<Credentials> credentials;
    QString message;
};
CredentialsCheck checkCredentials(const Credentials& typed);

// Where a database is opened: on a server (path below its data directory), or, with no server, the
// local file path.
struct DatabaseLocation
{
    QString server;
    QString path;
};

// The program's working state, without widgets: the one session, the listed view with its database
// and paging cursor, the document count, and what the commands remember between them. Browsing
// writes it, the export and the detail read it, the main window draws it.
class Workspace : public QObject
{
    Q_OBJECT
public:
    // settingsFolder holds system.ini; empty means the program's own (platform::settingsFolder).
    explicit Workspace(domino::SessionFactory sessionFactory, const QString& settingsFolder = {},
                       QObject* parent = nullptr);
    ~Workspace() override;

    // The folder of system.ini, with a trailing "/".
    const QString& settingsFolder() const { return m_settingsFolder; }
    QString settingsFilePath() const;

    domino::LazySession& session() { return m_session; }
    // The listed view's database.
    domino::DatabaseHandle& database() { return m_database; }
    const domino::DatabaseHandle& database() const { return m_database; }

    const Credentials& credentials() const { return m_credentials; }
    void setCredentials(const Credentials& credentials) { m_credentials = credentials; }
    const QString& dataPath() const { return m_dataPath; }
    void setDataPath(const QString& path) { m_dataPath = path; }
    // The database last opened: below the data directory in the server tree, the file in the file tree.
    const QString& dbPath() const { return m_dbPath; }
    void setDbPath(const QString& path) { m_dbPath = path; }
    TreeMode treeMode() const { return m_treeMode; }
    void setTreeMode(TreeMode mode) { m_treeMode = mode; }

    // Binds the database (opened at location) and the view whose documents are listed next, from the
    // first document on.
    void listView(std::shared_ptr<domino::NotesDatabase> database, const QString& viewName,
                  const DatabaseLocation& location);
    const QString& viewName() const { return m_viewName; }
    // Where the listed rows came from; before any view is listed, where one would be opened now.
    DatabaseLocation rowsLocation() const;

    // The paging cursor: documents passed (after a page is read, the position of the last one listed)
    // and documents passed before the first one now listed.
    qint32 docPos() const { return m_docPos; }
    void setDocPos(qint32 position) { m_docPos = position; }
    qint32 pageStart() const { return m_pageStart; }
    // A page is read from docPos on: it starts there, and the view is not counted yet.
    void startPage();
    // One more document listed.
    void advance() { ++m_docPos; }

    // The listed view's documents; 0 while none is counted, which stops paging and export.
    qint32 docCount() const { return m_docCount; }
    void setDocCount(qint32 count) { m_docCount = count; }
    // A page's view is counted: viewName is the view's own name.
    void setViewCounted(const QString& viewName, qint32 count);

signals:
    void viewListed(const QString& viewName, qint32 documentCount);

private:
    QString m_settingsFolder;
    domino::LazySession m_session;
    domino::DatabaseHandle m_database;
    Credentials m_credentials;
    QString m_dataPath;
    QString m_dbPath;
    TreeMode m_treeMode = TreeMode::Empty;
    QString m_viewName;
    std::optional<DatabaseLocation> m_rowsLocation;
    qint32 m_docPos = 0;
    qint32 m_pageStart = 0;
    qint32 m_docCount = 0;
};

} // namespace quill::workspace
