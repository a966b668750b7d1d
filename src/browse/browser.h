#pragma once

#include "browse/paging.h"
#include "workspace/workspace.h"

#include <QString>
#include <memory>
#include <optional>

class QTreeWidgetItem;

namespace quill::domino {
class NotesDatabase;
}

namespace quill::shell {
class MainWindow;
class ProgressDisplay;
} // namespace quill::shell

namespace quill::browse {

// The browse commands of the main window: connecting, the database tree, the paged document list
// and the detail dialog. They fill the window's tree and change the workspace, which the window draws. The
// window runs each through its general error handler, so errors no command reports simply propagate.
class Browser
{
public:
    Browser(shell::MainWindow& window, workspace::Workspace& workspace, shell::ProgressDisplay& progress);

    // Hands the browse commands to the window.
    void attachCommands();

    // Signs in and, once the server answers, rebuilds the tree from the data directory.
    void ConnectServer(const workspace::Credentials& credentials);
    void ScanDataDirectory(const QString& directory, QTreeWidgetItem* parent);
    // Reads the page of what is listed from the workspace's cursor on; a failure is told.
    void LoadViewPage();
    void ShowDocumentDetail(const workspace::DatabaseLocation& location, const QString& documentId);

private:
    // The commands.
    void openServer();
    void openFile();
    void treeClicked();
    void page(PageCommand command);
    void showSelectedDetail();
    void search();
    void clearSearch();
    void makeSearchIndex(const domino::NotesDatabase& database);

    bool dominoAvailable();
    // The tree goes, and what was listed with it.
    void rebuildTree(workspace::TreeMode mode, const std::optional<workspace::Credentials>& credentials);
    void openDatabaseNode(QTreeWidgetItem* node);
    void listServerView(QTreeWidgetItem* node);
    void listFileView(QTreeWidgetItem* node);
    void listView(const std::shared_ptr<domino::NotesDatabase>& database, const QString& viewName,
                  const workspace::DatabaseLocation& location);

    shell::MainWindow& m_window;
    workspace::Workspace& m_workspace;
    shell::ProgressDisplay& m_progress;
    // What the connection dialog offers instead of the credentials in use: what was typed for a server that
    // did not answer.
    std::optional<workspace::Credentials> m_offered;
};

} // namespace quill::browse
