#pragma once

#include "browse/paging.h"
#include "shell/mainwindow.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QTreeWidgetItem;

namespace quill::domino {
class NotesDatabase;
class NotesSession;
} // namespace quill::domino

namespace quill::shell {
class ProgressDisplay;
}

namespace quill::browse {

class Tfrmselserver;
class TfrmdocDetail;

// The browse commands of the main window: connecting, the database tree, the paged document list
// and the detail dialog. Attach with frm.setBrowseHandlers(&browser); the window runs each handler
// through its general error handler, so errors no command reports simply propagate.
class Browser : public shell::BrowseHandlers
{
public:
    Browser(shell::TfrmMain& frm, shell::ProgressDisplay& progress);

    void openserverExecute() override;
    void openfileExecute() override;
    void TreeView1Click() override;
    void ToolButton7Click() override;
    void ToolButton8Click() override;
    void ToolButton9Click() override;
    void ToolButton10Click() override;
    void ListView1DblClick() override;
    void ToolButton11Click() override;

    void ConnectServer();
    void ScanDataDirectory(const QString& directory, QTreeWidgetItem* parent);
    void LoadViewPage(domino::NotesDatabase& database, const QString& viewName);
    void ShowDocumentDetail(domino::NotesSession& session, const QString& dbPath, const QString& documentId);

    // Documents passed before the first one now listed.
    int pageStart() const { return m_pageStart; }

private:
    bool dominoAvailable();
    void openDatabaseNode(QTreeWidgetItem* node);
    void listServerView(QTreeWidgetItem* node);
    void listFileView(QTreeWidgetItem* node);
    void listView(const std::shared_ptr<domino::NotesDatabase>& database, const QString& viewName);
    // LoadViewPage without the report of a failure: throws once the list and progress window are restored.
    void fillPage(domino::NotesDatabase& database, const QString& viewName);
    void page(PageCommand command);
    void showSelectedDetail();

    // Where the listed rows came from. Opening a file or connecting afterwards changes dbPath, treeMode and
    // serverName while the rows stay on screen; the detail of a row must still come from the rows' database.
    struct RowSource
    {
        int treeMode = 0;
        QString serverName;
        QString dbPath;
    };

    shell::TfrmMain& m_frm;
    shell::ProgressDisplay& m_progress;
    int m_pageStart = 0;
    std::optional<RowSource> m_rowSource;
};

} // namespace quill::browse
