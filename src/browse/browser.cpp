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
#include "platform/files.h"
#include "platform/text.h"
#include "shell/icons.h"
#include "shell/listview.h"
#include "shell/mainwindow.h"
#include "shell/progressdisplay.h"
#include "shell/prompts.h"
#include "workspace/settings.h"

#include <QScopeGuard>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace quill::browse {

namespace {

using workspace::TreeMode;

const QString kReadingPage = u"正在读入前100条文档数据..."_s;

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
        ConnectionDialog::ask(m_workspace.credentials(), m_window.prompts(), &m_window);
    if (!answer)
        return;
    m_workspace.setCredentials(*answer);
    m_workspace.setTreeMode(TreeMode::Server);
    m_progress.showText(u"正在连接Domino服务器"_s);
    // Also when writing the settings fails and the error goes on to the error handler.
    const auto closeProgress = qScopeGuard([this] { m_progress.close(); });
    m_workspace.session().disconnect();
    m_window.databaseTree()->clear();
    m_window.documentList()->clearItems();
    ConnectServer();
}

void Browser::ConnectServer()
{
    const workspace::Credentials& credentials = m_workspace.credentials();
    try {
        m_workspace.session().InitUserSession(credentials.userName, credentials.password);
    } catch (const domino::DominoError&) {
        m_progress.close();
        m_window.prompts().showMessage(u"连接服务器失败!"_s);
        return;
    }
    workspace::WriteSettings(m_workspace.settingsFilePath(), credentials);
    m_workspace.setDataPath(domino::DominoDataPath(m_window.registry()));
    QTreeWidgetItem* root = addRootNode(m_window.databaseTree(), NodeKind::ServerRoot,
                                        credentials.serverName + u'(' + m_workspace.dataPath() + u')', QString());
    ScanDataDirectory(m_workspace.dataPath(), root);
    m_progress.close();
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
    if (platform::IsFileLocked(name)) {
        m_window.prompts().showMessage(u"文件"_s + name + u"正在被其它程序锁定，无法打开!"_s);
        return;
    }
    domino::LazySession& session = m_workspace.session();
    session.disconnect();
    session.InitLocalSession(QString());
    const std::shared_ptr<domino::NotesDatabase> database = session.OpenDatabase(QString(), name, false);
    m_workspace.setDbPath(name);

    QTreeWidget* tree = m_window.databaseTree();
    const TreeUpdateSuspension suspension(tree);
    tree->clear();
    m_workspace.setTreeMode(TreeMode::File);
    QTreeWidgetItem* root = addRootNode(tree, NodeKind::Database, name, name);
    const QStringList views = database->Views();
    for (const QString& view : views)
        addViewNode(root, platform::trimBlanks(view));
    m_window.documentList()->clearItems();
}

void Browser::treeClicked()
{
    QTreeWidget* tree = m_window.databaseTree();
    if (tree->topLevelItemCount() == 0)
        return;
    m_workspace.setDocCount(0);
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
        database = m_workspace.session().OpenDatabase(m_workspace.credentials().serverName, path, false);
    } catch (const domino::DominoError& e) {
        m_window.prompts().showMessage(u"访问数据库出错："_s + e.message());
        return;
    }
    m_workspace.setDbPath(path);
    const QStringList views = database->Views();
    shell::ListView* list = m_window.documentList();
    list->setViewStyle(shell::ListView::Style::Icon);
    list->clearItems();
    const TreeUpdateSuspension suspension(m_window.databaseTree());
    const QIcon icon = shell::treeIcon(shell::TreeIcon::View);
    for (const QString& view : views) {
        addViewNode(node, view);
        list->addIconItem(view, icon);
    }
    node->setExpanded(true);
}

void Browser::listServerView(QTreeWidgetItem* node)
{
    const QString path = NodePath(node);
    const QString server = m_workspace.credentials().serverName;
    const std::shared_ptr<domino::NotesDatabase> database = m_workspace.session().OpenDatabase(server, path, false);
    m_workspace.setDbPath(path);
    listView(database, viewNameOf(node), {server, path});
}

void Browser::listFileView(QTreeWidgetItem* node)
{
    const QString file = NodePath(node);
    const std::shared_ptr<domino::NotesDatabase> database = m_workspace.session().OpenDatabase(QString(), file, false);
    listView(database, viewNameOf(node), {QString(), file});
}

void Browser::listView(const std::shared_ptr<domino::NotesDatabase>& database, const QString& viewName,
                       const workspace::DatabaseLocation& location)
{
    m_workspace.listView(database, viewName, location);
    LoadViewPage(*database, viewName);
}

// ---- Document list and paging

void Browser::LoadViewPage(domino::NotesDatabase& database, const QString& viewName)
{
    try {
        fillPage(database, viewName);
    } catch (const domino::DominoError& e) {
        // Shown once the list is redrawn again and the progress window is gone.
        m_window.prompts().showMessage(u"读取数据出错:"_s + e.message());
    }
}

void Browser::fillPage(domino::NotesDatabase& database, const QString& viewName)
{
    shell::ListView* list = m_window.documentList();
    const int width = list->width();
    list->beginUpdate();
    const auto resumeList = qScopeGuard([list] { list->endUpdate(); });
    m_workspace.startPage();

    list->clearColumns();
    list->clearItems();
    list->setRowSelect(true);
    list->setViewStyle(shell::ListView::Style::Report);

    const std::unique_ptr<domino::ReadBatch> batch = database.beginReadBatch();
    const std::unique_ptr<domino::NotesView> view = database.FindView(viewName);
    const int columns = std::max(0, view->ColumnCount());
    const QStringList titles = view->ColumnNames();
    const int columnWidth = width / (columns + 1);
    list->addColumn(u"文档ID"_s, columnWidth);
    for (int c = 0; c < columns; ++c)
        list->addColumn(c < titles.size() ? titles.at(c) : QString(), columnWidth);

    m_progress.show();
    const auto closeProgress = qScopeGuard([this] { m_progress.close(); });
    m_progress.setProgress(100, 1);
    m_progress.setText(kReadingPage);

    std::unique_ptr<domino::NotesDocument> document;
    try {
        document = view->NthDocument(m_workspace.docPos() + 1);
    } catch (const domino::DominoError&) {
        return; // past the view's end, or the view went away: an empty page, said nowhere
    }

    m_workspace.setViewCounted(view->ViewName(), view->EntryCount());

    int k = 1;
    if (view->EntryCount() <= 0)
        return;
    while (document && k <= kPageSize && view->EntryCount() > m_workspace.docPos()) {
        ++k;
        m_workspace.advance();
        const QString id = document->DocumentId();
        QStringList cells;
        try {
            const domino::ValueList values = document->ColumnValues();
            for (int c = 0; c < columns; ++c)
                cells << (static_cast<size_t>(c) < values.size() ? domino::ValueToText(values[c]) : QString());
        } catch (const domino::DominoError&) {
            cells.clear(); // the row keeps its id; the page goes on
        }
        list->addRow(id, cells);
        document = view->NextDocument(*document);
        const int count = view->EntryCount();
        m_progress.setText(kReadingPage + QString::number(k) + u'/' + QString::number(count));
        m_progress.setProgress(count, k);
    }
}

void Browser::page(PageCommand command)
{
    const PagingState paging{m_workspace.docPos(), m_workspace.docCount(), m_workspace.pageStart(),
                             m_window.documentList()->viewStyle() == shell::ListView::Style::Report};
    const std::optional<int> position = pagePosition(command, paging);
    if (!position)
        return;
    m_workspace.setDocPos(*position);
    LoadViewPage(m_workspace.database(), m_workspace.viewName());
}

// ---- Document detail

void Browser::showSelectedDetail()
{
    shell::ListView* list = m_window.documentList();
    if (list->viewStyle() != shell::ListView::Style::Report)
        return;
    const QStringList selected = list->selectedRowCaptions();
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
