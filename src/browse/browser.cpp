#include "browse/browser.h"

#include "browse/docdetail.h"
#include "browse/selserver.h"
#include "browse/tree.h"
#include "domino/error.h"
#include "domino/installation.h"
#include "domino/notes.h"
#include "domino/session.h"
#include "domino/value.h"
#include "platform/files.h"
#include "platform/text.h"
#include "shell/listview.h"
#include "shell/progressdisplay.h"
#include "shell/prompts.h"

#include <QScopeGuard>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace quill::browse {

namespace {

const QString kNoDomino =
    u"对不起，Quillmere要求运行的电脑上已经安装过Domino客户端或服务器端软件!请安装Domino环境后再运行本系统!"_s;
const QString kReadingPage = u"正在读入前100条文档数据..."_s;

domino::TNotesSession& sessionOf(shell::MainState& state)
{
    if (!state.notesSession)
        throw domino::DominoError(u"Domino会话对象尚未创建"_s);
    return *state.notesSession;
}

domino::TNotesDatabase& curDatabaseOf(shell::MainState& state)
{
    if (!state.curDatabase)
        state.curDatabase = std::make_unique<domino::TNotesDatabase>();
    return *state.curDatabase;
}

} // namespace

Browser::Browser(shell::TfrmMain& frm, shell::ProgressDisplay& progress) : m_frm(frm), m_progress(progress) {}

bool Browser::dominoAvailable()
{
    if (domino::NotesInstalled(m_frm.registry()) || domino::DominoInstalled(m_frm.registry()))
        return true;
    m_frm.prompts().showMessage(kNoDomino);
    return false;
}

// ---- Server connection

void Browser::openserverExecute()
{
    if (!dominoAvailable())
        return;
    shell::MainState& state = m_frm.state();
    // Destroyed on every way out, also when the connection's error goes on to the error handler.
    auto dialog = std::make_unique<Tfrmselserver>(state, m_frm.prompts(), &m_frm);
    dialog->exec();
    if (dialog->cancelled)
        return;
    state.treeMode = 1;
    m_progress.showText(u"正在连接Domino服务器"_s);
    // Also when writing the settings fails and the error goes on to the error handler.
    const auto closeProgress = qScopeGuard([this] { m_progress.close(); });
    sessionOf(state).Disconnect();
    m_frm.TreeView1()->clear();
    m_frm.ListView1()->clearItems();
    ConnectServer();
}

void Browser::ConnectServer()
{
    shell::MainState& state = m_frm.state();
    try {
        sessionOf(state).InitUserSession(state.userName, state.password);
    } catch (const domino::DominoError&) {
        m_progress.close();
        m_frm.prompts().showMessage(u"连接服务器失败!"_s);
        return;
    }
    m_frm.WriteSettings();
    state.dataPath = domino::DominoDataPath(m_frm.registry());
    auto* root = new QTreeWidgetItem(m_frm.TreeView1(), QStringList{state.serverName + u'(' + state.dataPath + u')'});
    root->setIcon(0, m_frm.treeImage(0));
    ScanDataDirectory(state.dataPath, root);
    m_progress.close();
}

// ---- Tree and file opening

void Browser::ScanDataDirectory(const QString& directory, QTreeWidgetItem* parent)
{
    DataDirectoryScanner scanner(m_frm.treeImage(1), m_frm.treeImage(2));
    scanner.scan(directory, parent);
}

void Browser::openfileExecute()
{
    if (!dominoAvailable())
        return;
    const std::optional<QString> chosen = m_frm.prompts().getOpenFileName(u"NSF文件|*.nsf"_s);
    if (!chosen)
        return;
    const QString name = *chosen;
    if (platform::IsFileLocked(name)) {
        m_frm.prompts().showMessage(u"文件"_s + name + u"正在被其它程序锁定，无法打开!"_s);
        return;
    }
    shell::MainState& state = m_frm.state();
    domino::TNotesSession& session = sessionOf(state);
    session.Disconnect();
    session.InitLocalSession(QString());
    const std::shared_ptr<domino::NotesDatabase> database = session.OpenDatabase(QString(), name, false);
    state.dbPath = name;

    QTreeWidget* tree = m_frm.TreeView1();
    const TreeUpdateSuspension suspension(tree);
    tree->clear();
    state.treeMode = 2;
    auto* root = new QTreeWidgetItem(tree, QStringList{name});
    root->setIcon(0, m_frm.treeImage(2));
    const QStringList views = database->Views();
    for (const QString& view : views) {
        auto* node = new QTreeWidgetItem(root, QStringList{platform::trimBlanks(view)});
        node->setIcon(0, m_frm.treeImage(3));
    }
    m_frm.ListView1()->clearItems();
}

void Browser::TreeView1Click()
{
    QTreeWidget* tree = m_frm.TreeView1();
    if (tree->topLevelItemCount() == 0)
        return;
    shell::MainState& state = m_frm.state();
    state.docCount = 0;
    QTreeWidgetItem* node = tree->currentItem();
    if (!node || !node->isSelected())
        return;
    const QTreeWidgetItem* parent = node->parent();
    switch (classifyTreeClick(state.treeMode, NodeLevel(node), node->childCount() > 0, node->text(0),
                              parent ? parent->text(0) : QString())) {
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
    shell::MainState& state = m_frm.state();
    const QString path = NodePath(node);
    std::shared_ptr<domino::NotesDatabase> database;
    try {
        database = sessionOf(state).OpenDatabase(state.serverName, path, false);
    } catch (const domino::DominoError& e) {
        m_frm.prompts().showMessage(u"访问数据库出错："_s + e.message());
        return;
    }
    state.dbPath = path;
    const QStringList views = database->Views();
    shell::ListView* list = m_frm.ListView1();
    list->setViewStyle(shell::ListView::Style::Icon);
    list->clearItems();
    const TreeUpdateSuspension suspension(m_frm.TreeView1());
    for (const QString& view : views) {
        auto* child = new QTreeWidgetItem(node, QStringList{view});
        child->setIcon(0, m_frm.treeImage(3));
        list->addIconItem(view, m_frm.treeImage(3));
    }
    node->setExpanded(true);
}

void Browser::listServerView(QTreeWidgetItem* node)
{
    shell::MainState& state = m_frm.state();
    QString path = NodePath(node->parent());
    if (path.endsWith(u'\\'))
        path.chop(1);
    const std::shared_ptr<domino::NotesDatabase> database =
        sessionOf(state).OpenDatabase(state.serverName, path, false);
    state.dbPath = path;
    listView(database, node->text(0));
}

void Browser::listFileView(QTreeWidgetItem* node)
{
    shell::MainState& state = m_frm.state();
    const std::shared_ptr<domino::NotesDatabase> database =
        sessionOf(state).OpenDatabase(QString(), node->parent()->text(0), false);
    listView(database, node->text(0));
}

void Browser::listView(const std::shared_ptr<domino::NotesDatabase>& database, const QString& viewName)
{
    shell::MainState& state = m_frm.state();
    state.docPos = 0;
    curDatabaseOf(state).ConnectTo(database);
    state.viewName = viewName;
    m_rowSource = RowSource{state.treeMode, state.serverName, state.dbPath};
    LoadViewPage(*database, viewName);
}

// ---- Document list and paging

void Browser::LoadViewPage(domino::NotesDatabase& database, const QString& viewName)
{
    try {
        fillPage(database, viewName);
    } catch (const domino::DominoError& e) {
        // Shown once the list is redrawn again and the progress window is gone.
        m_frm.prompts().showMessage(u"读取数据出错:"_s + e.message());
    }
}

void Browser::fillPage(domino::NotesDatabase& database, const QString& viewName)
{
    shell::MainState& state = m_frm.state();
    shell::ListView* list = m_frm.ListView1();
    const int width = list->width();
    list->beginUpdate();
    const auto resumeList = qScopeGuard([list] { list->endUpdate(); });
    m_pageStart = state.docPos;

    state.docCount = 0;
    list->clearColumns();
    list->clearItems();
    list->setRowSelect(true);
    list->setViewStyle(shell::ListView::Style::Report);

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
        document = view->NthDocument(state.docPos + 1);
    } catch (const domino::DominoError&) {
        return; // past the view's end, or the view went away: an empty page, said nowhere
    }

    state.docCount = view->EntryCount();
    const QString name = view->ViewName();
    m_frm.setStatusPanelText(1, u"视图："_s + name + u'(' + view->ViewName() + u") 共有文档:"_s +
                                    QString::number(state.docCount));

    int k = 1;
    if (view->EntryCount() <= 0)
        return;
    while (document && k <= kPageSize && view->EntryCount() > state.docPos) {
        ++k;
        ++state.docPos;
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
    shell::MainState& state = m_frm.state();
    const PagingState paging{state.docPos, state.docCount, m_pageStart,
                             m_frm.ListView1()->viewStyle() == shell::ListView::Style::Report};
    const std::optional<int> position = pagePosition(command, paging);
    if (!position)
        return;
    state.docPos = *position;
    LoadViewPage(curDatabaseOf(state), state.viewName);
}

void Browser::ToolButton7Click()
{
    page(PageCommand::First);
}

void Browser::ToolButton8Click()
{
    page(PageCommand::Previous);
}

void Browser::ToolButton9Click()
{
    page(PageCommand::Next);
}

void Browser::ToolButton10Click()
{
    page(PageCommand::Last);
}

// ---- Document detail

void Browser::ListView1DblClick()
{
    showSelectedDetail();
}

void Browser::ToolButton11Click()
{
    showSelectedDetail();
}

void Browser::showSelectedDetail()
{
    shell::ListView* list = m_frm.ListView1();
    if (list->viewStyle() != shell::ListView::Style::Report)
        return;
    const QStringList selected = list->selectedRowCaptions();
    if (selected.size() != 1)
        return;
    shell::MainState& state = m_frm.state();
    const RowSource source = m_rowSource.value_or(RowSource{state.treeMode, state.serverName, state.dbPath});
    const DetailRows rows =
        readDocumentDetail(sessionOf(state), source.treeMode, source.serverName, source.dbPath, selected.front());
    TfrmdocDetail dialog(rows, &m_frm);
    dialog.exec();
}

void Browser::ShowDocumentDetail(domino::NotesSession& session, const QString& dbPath, const QString& documentId)
{
    const shell::MainState& state = m_frm.state();
    // Everything that can fail happens before the dialog exists, so none stays open on an error.
    const DetailRows rows = readDocumentDetail(session, state.treeMode, state.serverName, dbPath, documentId);
    TfrmdocDetail dialog(rows, &m_frm);
    dialog.exec();
}

} // namespace quill::browse
