#include "browse/browser.h"

#include "browse/connectiondialog.h"
#include "browse/datadirectoryscanner.h"
#include "browse/documentdetaildialog.h"
#include "browse/treenodes.h"
#include "browse/treeupdatesuspension.h"
#include "domino/error.h"
#include "domino/installation.h"
#include "domino/notes.h"
#include "domino/value.h"
#include "platform/text.h"
#include "shell/mainwindow.h"
#include "shell/progressdisplay.h"
#include "shell/prompts.h"
#include "workspace/settings.h"

#include <QLineEdit>
#include <QScopeGuard>
#include <QTreeWidget>
#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace quill::browse {

namespace {

using workspace::TreeMode;

const QString kReadingPage = u"正在读入前100条文档数据..."_s;

// A page's progress in the progress window.
class PageProgressWindow : public workspace::PageProgress
{
public:
    explicit PageProgressWindow(shell::ProgressDisplay& progress) : m_progress(progress) {}
    void begin() override
    {
        m_progress.show();
        m_progress.setProgress(100, 1);
        m_progress.setText(kReadingPage);
    }
    void step(int k, int count) override
    {
        m_progress.setText(kReadingPage + QString::number(k) + u'/' + QString::number(count));
        m_progress.setProgress(count, k);
    }
    void end() override { m_progress.close(); }

private:
    shell::ProgressDisplay& m_progress;
};

} // namespace

Browser::Browser(shell::MainWindow& window, workspace::Workspace& workspace, shell::ProgressDisplay& progress)
    : m_window(window), m_workspace(workspace), m_progress(progress)
{
}

void Browser::attachCommands()
{
    using shell::Command;
    m_window.setHandler(Command::OpenServer, [this] { openServer(); });
    m_window.setHandler(Command::OpenFile, [this] { openFile(); });
    m_window.setHandler(Command::TreeClick, [this] { treeClicked(); });
    m_window.setHandler(Command::FirstPage, [this] { page(PageCommand::First); });
    m_window.setHandler(Command::PreviousPage, [this] { page(PageCommand::Previous); });
    m_window.setHandler(Command::NextPage, [this] { page(PageCommand::Next); });
    m_window.setHandler(Command::LastPage, [this] { page(PageCommand::Last); });
    m_window.setHandler(Command::ShowDetail, [this] { showSelectedDetail(); });
    m_window.setHandler(Command::Search, [this] { search(); });
    m_window.setHandler(Command::ClearSearch, [this] { clearSearch(); });
}

bool Browser::dominoAvailable()
{
    if (domino::NotesInstalled(m_window.registry()) || domino::DominoInstalled(m_window.registry()))
        return true;
    m_window.prompts().showMessage(QString::fromUtf16(domino::kDominoRequired));
    return false;
}

// ---- Server connection

void Browser::openServer()
{
    if (!dominoAvailable())
        return;
    const std::optional<workspace::Credentials> answer =
        ConnectionDialog::ask(m_offered.value_or(m_workspace.credentials()), m_window.prompts(), &m_window);
    if (!answer)
        return;
    m_offered.reset();
    m_progress.showText(u"正在连接Domino服务器"_s);
    // Also when writing the settings fails and the error goes on to the error handler.
    const auto closeProgress = qScopeGuard([this] { m_progress.close(); });
    ConnectServer(*answer);
}

void Browser::ConnectServer(const workspace::Credentials& credentials)
{
    try {
        m_workspace.sessions().signInTo(credentials.serverName, credentials.userName, credentials.password);
    } catch (const domino::SessionError& e) {
        m_progress.close();
        if (e.step() == domino::SessionError::Step::ReachServer) {
            // No server to show: the tree, the list, the session and the settings stay as they were; the dialog
            // offers what was typed again.
            m_offered = credentials;
            m_window.prompts().showMessage(e.sentence());
            return;
        }
        // A refused login ends the connection there was.
        m_workspace.sessions().disconnect();
        rebuildTree(TreeMode::Server, credentials);
        m_window.prompts().showMessage(e.sentence());
        return;
    }
    rebuildTree(TreeMode::Server, credentials);
    workspace::WriteSettings(m_workspace.settingsFilePath(), credentials);
    m_workspace.setDataPath(domino::DominoDataPath(m_window.registry()));
    QTreeWidgetItem* root = addRootNode(m_window.databaseTree(), NodeKind::ServerRoot,
                                        credentials.serverName + u'(' + m_workspace.dataPath() + u')', QString());
    ScanDataDirectory(m_workspace.dataPath(), root);
    m_progress.close();
}

void Browser::rebuildTree(TreeMode mode, const std::optional<workspace::Credentials>& credentials)
{
    if (credentials)
        m_workspace.setCredentials(*credentials);
    m_workspace.setTreeMode(mode);
    m_window.databaseTree()->clear();
    // What was listed belongs to the tree that went.
    m_workspace.clearListing();
}

// ---- Tree and file opening

void Browser::ScanDataDirectory(const QString& directory, QTreeWidgetItem* parent)
{
    DataDirectoryScanner().scan(directory, parent);
}

void Browser::openFile()
{
    if (!dominoAvailable())
        return;
    const std::optional<QString> chosen = m_window.prompts().getOpenFileName(u"NSF文件|*.nsf"_s);
    if (!chosen)
        return;
    const QString name = *chosen;
    if (const QString locked = domino::SessionService::lockedMessage(name); !locked.isEmpty()) {
        m_window.prompts().showMessage(locked);
        return;
    }
    domino::SessionService& sessions = m_workspace.sessions();
    sessions.disconnect();
    sessions.signInLocally();
    const std::shared_ptr<domino::NotesDatabase> database = sessions.openDatabase({QString(), name});
    m_workspace.setDbPath(name);

    QTreeWidget* tree = m_window.databaseTree();
    const TreeUpdateSuspension suspension(tree);
    rebuildTree(TreeMode::File, std::nullopt);
    QTreeWidgetItem* root = addRootNode(tree, NodeKind::Database, name, name);
    const QStringList views = database->Views();
    for (const QString& view : views)
        addViewNode(root, platform::trimBlanks(view));
}

void Browser::treeClicked()
{
    QTreeWidget* tree = m_window.databaseTree();
    if (tree->topLevelItemCount() == 0)
        return;
    m_workspace.pager().stop();
    QTreeWidgetItem* node = tree->currentItem();
    if (!node || !node->isSelected())
        return;
    switch (classifyTreeClick(m_workspace.treeMode(), nodeKind(node), node->childCount() > 0)) {
    case TreeAction::Nothing:
        return;
    case TreeAction::OpenDatabase:
        openDatabaseNode(node);
        return;
    case TreeAction::ListServerView:
        listServerView(node);
        return;
    case TreeAction::ListFileView:
        listFileView(node);
        return;
    }
}

void Browser::openDatabaseNode(QTreeWidgetItem* node)
{
    const QString path = NodePath(node);
    std::shared_ptr<domino::NotesDatabase> database;
    try {
        database = m_workspace.sessions().openDatabase({m_workspace.credentials().serverName, path});
    } catch (const domino::SessionError& e) {
        m_window.prompts().showMessage(e.sentence());
        return;
    }
    m_workspace.setDbPath(path);
    const QStringList views = database->Views();
    m_workspace.showDatabaseViews(views);
    const TreeUpdateSuspension suspension(m_window.databaseTree());
    for (const QString& view : views)
        addViewNode(node, view);
    node->setExpanded(true);
}

void Browser::listServerView(QTreeWidgetItem* node)
{
    const QString path = NodePath(node);
    const QString server = m_workspace.credentials().serverName;
    const std::shared_ptr<domino::NotesDatabase> database = m_workspace.sessions().openDatabase({server, path});
    m_workspace.setDbPath(path);
    listView(database, viewNameOf(node), {server, path});
}

void Browser::listFileView(QTreeWidgetItem* node)
{
    const QString file = NodePath(node);
    const std::shared_ptr<domino::NotesDatabase> database = m_workspace.sessions().openDatabase({QString(), file});
    listView(database, viewNameOf(node), {QString(), file});
}

void Browser::listView(const std::shared_ptr<domino::NotesDatabase>& database, const QString& viewName,
                       const workspace::DatabaseLocation& location)
{
    m_workspace.listView(database, viewName, location);
    LoadViewPage();
}

// ---- Document list and paging

void Browser::LoadViewPage()
{
    PageProgressWindow progress(m_progress);
    try {
        m_workspace.loadPage(progress);
    } catch (const domino::DominoError& e) {
        // Shown once the list is redrawn again and the progress window is gone.
        m_window.prompts().showMessage(u"读取数据出错:"_s + e.message());
    }
}

void Browser::page(PageCommand command)
{
    const PagingState paging{m_workspace.docPos(), m_workspace.docCount(), m_workspace.pageStart(),
                             m_workspace.documentsShown()};
    const std::optional<int> position = pagePosition(command, paging);
    if (!position)
        return;
    m_workspace.pager().setDocPos(*position);
    LoadViewPage();
}

// ---- Full-text search

void Browser::search()
{
    const QString query = platform::trimBlanks(m_window.searchBox()->text());
    if (query.isEmpty()) {
        clearSearch();
        return;
    }
    // The database selected in the tree: the view listed when it is of that database (also the one a search was
    // listed in), else the view selected, else the database's first view. Nothing selected: the view listed.
    const workspace::Listing* listed = m_workspace.documentsShown() ? m_workspace.listing() : nullptr;
    QTreeWidgetItem* node = m_window.databaseTree()->currentItem();
    if (node && (!node->isSelected() || (nodeKind(node) != NodeKind::Database && nodeKind(node) != NodeKind::View)))
        node = nullptr;
    workspace::DatabaseLocation location;
    if (node) {
        const bool server = m_workspace.treeMode() == TreeMode::Server;
        location = {server ? m_workspace.credentials().serverName : QString(), NodePath(node)};
        if (listed && (listed->location().server != location.server || listed->location().path != location.path))
            listed = nullptr; // a list left from another tree
    } else if (listed) {
        location = listed->location();
    } else {
        m_window.prompts().showMessage(u"请先在左边选择要搜索的数据库或视图"_s);
        return;
    }
    std::shared_ptr<domino::NotesDatabase> database;
    try {
        database = m_workspace.sessions().openDatabase(location);
    } catch (const domino::SessionError& e) {
        m_window.prompts().showMessage(e.sentence());
        return;
    }
    QString viewName;
    if (listed) {
        viewName = listed->name();
    } else if (nodeKind(node) == NodeKind::View) {
        viewName = viewNameOf(node);
    } else {
        const QStringList views = database->Views();
        if (views.isEmpty()) {
            m_window.prompts().showMessage(u"数据库"_s + location.path + u"没有视图，无法列出搜索结果"_s);
            return;
        }
        viewName = views.front();
    }
    makeSearchIndex(*database);
    try {
        m_workspace.listSearch(database, viewName, location, query);
    } catch (const domino::DominoError& e) {
        // What is listed stays; the box keeps the query to be mended.
        m_window.prompts().showMessage(e.message());
        return;
    }
    LoadViewPage();
}

void Browser::makeSearchIndex(const domino::NotesDatabase& database)
{
    if (database.IsFTIndexed())
        return;
    // The first search of a database makes its index; a large one takes a while, which the progress window shows.
    const QString text = u"正在为数据库建立全文索引..."_s;
    m_progress.showText(text);
    const auto closeProgress = qScopeGuard([this] { m_progress.close(); });
    try {
        database.UpdateFTIndex(true, [this, &text](qint64 done, qint64 total) {
            const int max = static_cast<int>(std::min<qint64>(total, std::numeric_limits<int>::max()));
            const int position = static_cast<int>(std::min<qint64>(done, max));
            m_progress.setText(text + QString::number(done) + u'/' + QString::number(total));
            m_progress.setProgress(max, position);
        });
    } catch (const domino::DominoError&) {
        // A file that cannot be written is searched without an index: the same documents, more slowly.
    }
}

void Browser::clearSearch()
{
    if (m_workspace.clearSearch())
        LoadViewPage();
}

// ---- Document detail

void Browser::showSelectedDetail()
{
    if (!m_workspace.documentsShown())
        return;
    const QStringList selected = m_window.documentList()->selectedDocumentIds();
    if (selected.size() != 1)
        return;
    ShowDocumentDetail(m_workspace.rowsLocation(), selected.front());
}

void Browser::ShowDocumentDetail(const workspace::DatabaseLocation& location, const QString& documentId)
{
    // Everything that can fail happens before the dialog exists, so none stays open on an error.
    const DetailRows rows = readDocumentDetail(m_workspace.session(), location, documentId);
    DocumentDetailDialog dialog(rows, &m_window);
    dialog.exec();
}

} // namespace quill::browse
