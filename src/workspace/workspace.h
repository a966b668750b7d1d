#pragma once

#include "domino/databasehandle.h"
#include "domino/sessionservice.h"
#include "workspace/documentlistmodel.h"
#include "workspace/listing.h"
#include "workspace/pager.h"

#include <QObject>
#include <QString>
#include <memory>
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

using DatabaseLocation = domino::DatabaseLocation;

// The program's working state, without widgets: the session, what the tree holds, and what the list shows
// (a database's views, or the documents of what is listed, a page at a time, through the pager and its
// model). Browsing changes it, the export and the detail read it, the main window draws it.
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

    domino::SessionService& sessions() { return m_sessions; }
    domino::LazySession& session() { return m_sessions.session(); }
    // The database of what is listed.
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

    // Lists the documents of the view of database (opened at location) from the first on; loadPage reads
    // them.
    void listView(std::shared_ptr<domino::NotesDatabase> database, const QString& viewName,
                  const DatabaseLocation& location);
    // Lists the documents of the view of database that the full-text query finds, from the first on. Throws
    // domino::DominoError (a query the language refuses, a view not there) and then leaves what is listed as it was.
    void listSearch(std::shared_ptr<domino::NotesDatabase> database, const QString& viewName,
                    const DatabaseLocation& location, const QString& query);
    // Lists the whole view of the search listed, from the first document on; nothing when no search is listed.
    // Returns whether a search was listed.
    bool clearSearch();
    // The query of the search listed; empty when what is listed is a whole view, or nothing is.
    QString searchQuery() const { return m_listing ? m_listing->query() : QString(); }
    // What is listed, or nullptr.
    const Listing* listing() const { return m_listing.get(); }
    // The name of what is listed (the view's, also for a search in it); empty before anything is.
    QString viewName() const { return m_listing ? m_listing->name() : QString(); }
    // Where the listed rows came from; before anything is listed, where a database would be opened now.
    DatabaseLocation rowsLocation() const;

    // Reads the page from the cursor on and shows the documents. Throws domino::DominoError once the rows so
    // far are shown.
    void loadPage(PageProgress& progress);
    Pager& pager() { return m_pager; }
    const Pager& pager() const { return m_pager; }
    DocumentListModel& documentModel() { return m_documentModel; }
    qint32 docPos() const { return m_pager.docPos(); }
    qint32 pageStart() const { return m_pager.pageStart(); }
    // What is listed has this many documents; 0 while nothing is counted, which stops paging and export.
    qint32 docCount() const { return m_pager.docCount(); }

    // The list shows a database's views (as large icons) instead of documents; the rows go.
    void showDatabaseViews(const QStringList& views);
    const QStringList& databaseViews() const { return m_databaseViews; }
    // Whether the list shows documents: only then do the paging and detail commands act.
    bool documentsShown() const { return m_documentsShown; }
    // The list shows nothing: its rows and views go; what is listed and the cursor stay.
    void clearList();
    // Nothing is listed any more, as at start (the tree was rebuilt): no rows, columns, views or count, and
    // the database of what was listed let go.
    void clearListing();

signals:
    // A page counted what is listed: viewName is the view's own name.
    void viewListed(const QString& viewName, qint32 documentCount);
    // What was counted no longer is: paging and export do nothing, and the status says nothing, until a page
    // counts what is listed again.
    void listingUncounted();
    void listStyleChanged();
    // Something new is listed: the documents the query found, or (query empty) a whole view.
    void searchChanged(const QString& query);
    void databaseViewsChanged();

private:
    void setDocumentsShown(bool shown);

    QString m_settingsFolder;
    domino::SessionService m_sessions;
    domino::DatabaseHandle m_database;
    Credentials m_credentials;
    QString m_dataPath;
    QString m_dbPath;
    TreeMode m_treeMode = TreeMode::Empty;
    std::unique_ptr<Listing> m_listing;
    Pager m_pager;
    DocumentListModel m_documentModel;
    QStringList m_databaseViews;
    bool m_documentsShown = false;
};

} // namespace quill::workspace
