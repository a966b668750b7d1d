#include "shell/mainwindow.h"

#include "domino/installation.h"
#include "platform/error.h"
#include "shell/aboutdialog.h"
#include "shell/icons.h"
#include "shell/prompts.h"
#include "shell/registrationreport.h"
#include "shell/screencentre.h"
#include "shell/vendor.h"
#include "workspace/settings.h"
#include "workspace/workspace.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

using namespace Qt::StringLiterals;

namespace quill::shell {
namespace {

// The strip between tree and list. Positions are handed on in the central area's pixels, a frame
// that does not move with the strip, so the tree follows the mouse without drifting.
class SplitterStrip : public QFrame
{
public:
    SplitterStrip(QWidget* parent, std::function<void(int)> onMove, std::function<void(int)> onPress)
        : QFrame(parent), m_onMove(std::move(onMove)), m_onPress(std::move(onPress))
    {
        setObjectName(u"splitterStrip"_s);
        setFixedWidth(3);
        setCursor(Qt::SplitHCursor);
        setMouseTracking(true);
    }

protected:
    void mouseMoveEvent(QMouseEvent* event) override { m_onMove(frameX(event)); }
    void mousePressEvent(QMouseEvent* event) override { m_onPress(frameX(event)); }

private:
    int frameX(const QMouseEvent* event) const { return mapToParent(event->position().toPoint()).x(); }

    std::function<void(int)> m_onMove;
    std::function<void(int)> m_onPress;
};

QFrame* loweredPanel(const QString& name, QWidget* parent)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    return panel;
}

bool sortsAfterDot(const QString& message)
{
    if (message.isEmpty())
        return false;
    // The last character's first byte in the 8-bit code page: ASCII is itself, anything else
    // starts with a byte of 0x81 or more, so the code point decides alike.
    const QChar last = message.back();
    return last.unicode() > u'.';
}

} // namespace

QString errorBoxText(const QString& message)
{
    return sortsAfterDot(message) ? message + u'.' : message;
}

MainWindow::MainWindow(workspace::Workspace& workspace, Environment environment, QWidget* parent)
    : QMainWindow(parent), m_workspace(workspace), m_env(std::move(environment))
{
    Q_ASSERT(m_env.prompts);
    if (!m_env.leftButtonDown)
        m_env.leftButtonDown = [] { return (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0; };
    if (!m_env.openDocument)
        m_env.openDocument = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    initShellResources();
    setObjectName(u"mainWindow"_s);
    setWindowTitle(QString::fromUtf16(kAppTitle));
    resize(825, 606);
    centreOnScreen(this);

    buildActions();
    buildMenu();
    buildPanels();
    buildToolBar();
    m_list->setModel(&m_workspace.documentModel(), workspace::DocumentListModel::DocumentIdRole);
    connect(&m_workspace, &workspace::Workspace::viewListed, this, &MainWindow::showViewListed);
    connect(&m_workspace, &workspace::Workspace::listingUncounted, m_statusPanels[1], &QLabel::clear);
    connect(&m_workspace, &workspace::Workspace::listStyleChanged, this, &MainWindow::showListStyle);
    connect(&m_workspace, &workspace::Workspace::databaseViewsChanged, this, &MainWindow::showDatabaseViews);
    connect(&m_workspace, &workspace::Workspace::searchChanged, this, &MainWindow::showSearch);
}

MainWindow::~MainWindow() = default;

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    startUp();
}

void MainWindow::startUp()
{
    if (m_shown)
        return;
    m_shown = true;
    m_workspace.setCredentials(workspace::ReadSettings(m_workspace.settingsFilePath()));
    if (m_env.registry)
        reportRegistration(domino::StartupComponentCheck(*m_env.registry), *m_env.prompts);
}

void MainWindow::setHandler(Command command, std::function<void()> handler)
{
    m_handlers[command] = std::move(handler);
}

void MainWindow::trigger(Command command)
{
    const auto handler = m_handlers.find(command);
    if (handler != m_handlers.end() && handler->second && m_commandsEnabled)
        runCommand(handler->second);
}

bool MainWindow::runCommand(const std::function<void()>& command)
{
    QString message;
    try {
        command();
        return true;
    } catch (const std::exception& error) {
        message = platform::messageOf(error);
    } catch (...) {
        message = u"未知错误"_s;
    }
    m_env.prompts->showError(errorBoxText(message));
    return false;
}

void MainWindow::setCommandsEnabled(bool enabled)
{
    m_commandsEnabled = enabled;
    // Reading about the program, or its guide, changes nothing an export reads.
    for (QAction* a : std::as_const(m_actions))
        if (a->objectName() != u"about"_s && a->objectName() != u"userGuide"_s)
            a->setEnabled(enabled);
    for (QToolButton* button : std::as_const(m_toolButtons))
        if (!button->defaultAction())
            button->setEnabled(enabled);
    m_tree->setEnabled(enabled);
    m_list->setEnabled(enabled);
    m_searchBox->setEnabled(enabled);
}

void MainWindow::dragSplitter(int x)
{
    if (m_env.leftButtonDown() && x != m_lastX) {
        const int strip = m_splitterStrip->width();
        const int available = m_treePanel->parentWidget()->width();
        const int widest = std::max(kMinTreeWidth, available - strip - kMinListWidth);
        const int width = std::clamp(m_treePanel->width() + x - m_lastX, kMinTreeWidth, widest);
        m_treePanel->setFixedWidth(width);
    }
    m_lastX = x;
}

void MainWindow::exitProgram()
{
    if (!m_env.prompts->askOkCancel(u"您要退出Quillmere么?"_s, u"确认"_s))
        return;
    close();
    QCoreApplication::quit();
}

void MainWindow::importData()
{
    m_env.prompts->showMessage(u"对不起，该功能暂时尚未提供!"_s);
}

AboutDialog* MainWindow::createAboutDialog()
{
    auto* dialog = new AboutDialog(this, m_env.openUrl);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

void MainWindow::showAbout()
{
    createAboutDialog()->exec();
}

void MainWindow::showUserGuide()
{
    const QString guide = m_env.userGuide;
    if (guide.isEmpty() || !QFileInfo(guide).isFile()) {
        m_env.prompts->showMessage(u"找不到用户手册："_s + guide);
        return;
    }
    if (!m_env.openDocument(QUrl::fromLocalFile(guide)))
        m_env.prompts->showMessage(u"无法打开用户手册：没有可以打开它的程序。手册在："_s + guide);
}

void MainWindow::showViewListed(const QString& viewName, qint32 documentCount)
{
    if (const QString query = m_workspace.searchQuery(); !query.isEmpty()) {
        m_statusPanels[1]->setText(u"搜索“"_s + query + u"”："_s + QString::number(documentCount) + u"个文档"_s);
        return;
    }
    m_statusPanels[1]->setText(u"视图："_s + viewName + u'(' + viewName + u") 共有文档:"_s +
                               QString::number(documentCount));
}

void MainWindow::showListStyle()
{
    m_list->setViewStyle(m_workspace.documentsShown() ? ListView::Style::Report : ListView::Style::Icon);
}

void MainWindow::showDatabaseViews()
{
    m_list->clearIcons();
    const QIcon icon = treeIcon(TreeIcon::View);
    for (const QString& view : m_workspace.databaseViews())
        m_list->addIconItem(view, icon);
}

void MainWindow::showSearch(const QString& query)
{
    // A view listed from the tree empties the box; the user's own typing is never taken back otherwise.
    if (query.isEmpty())
        m_searchBox->clear();
}

QString MainWindow::statusPanelText(int panel) const
{
    if (panel < 0 || panel > 1)
        return {};
    return m_statusPanels[panel]->text();
}

QAction* MainWindow::action(const QString& name) const
{
    for (QAction* a : m_actions)
        if (a->objectName() == name)
            return a;
    return nullptr;
}

QToolButton* MainWindow::toolButton(const QString& name) const
{
    for (QToolButton* button : m_toolButtons)
        if (button->objectName() == name)
            return button;
    return nullptr;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip && qobject_cast<QToolButton*>(watched))
        return true;
    if (watched == m_tree->viewport() && event->type() == QEvent::Resize)
        m_tree->header()->setMinimumSectionSize(m_tree->viewport()->width());
    // A click on the tree's empty space also runs the tree command, with nothing selected.
    if (watched == m_tree->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && !m_tree->itemAt(mouse->position().toPoint())) {
            m_tree->clearSelection();
            m_tree->setCurrentItem(nullptr);
            trigger(Command::TreeClick);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::buildActions()
{
    struct Entry
    {
        const char16_t* name;
        const char16_t* caption;
        ToolbarIcon icon;
        const char16_t* hint;
        std::function<void()> run;
    };
    const Entry entries[] = {
        {u"exit", u"退出系统", ToolbarIcon::Exit, nullptr, [this] { exitProgram(); }},
        {u"openServer", u"连接服务器", ToolbarIcon::Server, u"连接到Domino服务器",
         [this] { trigger(Command::OpenServer); }},
        {u"openFile", u"打开文件", ToolbarIcon::OpenFile, u"打开独立的NSF库文件",
         [this] { trigger(Command::OpenFile); }},
        {u"export", u"导出数据", ToolbarIcon::Export,
         u"导出所选视图的文档数据到EXCEL文件中，并与附件RTF域图片等一并导出", [this] { trigger(Command::Export); }},
        {u"importData", u"导入数据", ToolbarIcon::Import, nullptr, [this] { importData(); }},
        {u"about", u"关于", ToolbarIcon::About, nullptr, [this] { showAbout(); }},
    };
    for (const Entry& entry : entries) {
        auto* a = new QAction(toolbarIcon(entry.icon), QString::fromUtf16(entry.caption), this);
        a->setObjectName(QString::fromUtf16(entry.name));
        if (entry.hint)
            a->setToolTip(QString::fromUtf16(entry.hint));
        connect(a, &QAction::triggered, this, entry.run);
        m_actions << a;
    }
    // Only in the 关于 menu, not on the toolbar; F1 opens it from anywhere in the window.
    auto* guide = new QAction(u"用户手册"_s, this);
    guide->setObjectName(u"userGuide"_s);
    guide->setShortcut(QKeySequence(Qt::Key_F1));
    connect(guide, &QAction::triggered, this, [this] { showUserGuide(); });
    addAction(guide);
    m_actions << guide;
}

void MainWindow::buildMenu()
{
    auto* bar = new QMenuBar(this);
    bar->setObjectName(u"menuBar"_s);
    QMenu* file = bar->addMenu(u"文   件"_s);
    file->setObjectName(u"fileMenu"_s);
    file->addAction(action(u"openFile"_s));
    file->addAction(action(u"openServer"_s));
    file->addAction(action(u"exit"_s));
    QMenu* tools = bar->addMenu(u"工   具"_s);
    tools->setObjectName(u"toolsMenu"_s);
    tools->addAction(action(u"export"_s));
    tools->addAction(action(u"importData"_s));
    QMenu* about = bar->addMenu(u"关  于"_s);
    about->setObjectName(u"aboutMenu"_s);
    about->addAction(action(u"about"_s));
    about->addAction(action(u"userGuide"_s));
    setMenuBar(bar);
}

void MainWindow::buildToolBar()
{
    QWidget* toolArea = findChild<QWidget*>(u"toolArea"_s);
    auto* toolBar = new QToolBar(toolArea);
    toolBar->setObjectName(u"toolBar"_s);
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setIconSize(QSize(16, 16));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolBar->setCursor(Qt::PointingHandCursor);
    toolBar->setStyleSheet(u"QToolBar { border: none; spacing: 0px; }"_s);
    auto* layout = new QHBoxLayout(toolArea);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->addWidget(toolBar, 0, Qt::AlignTop);

    struct Entry
    {
        const char16_t* name;
        const char16_t* action; // bound action, or nullptr
        const char16_t* caption;
        ToolbarIcon icon;
        const char16_t* hint;
        Command command;
    };
    const Entry entries[] = {
        {u"openServerButton", u"openServer", nullptr, {}, nullptr, {}},
        {u"openFileButton", u"openFile", nullptr, {}, nullptr, {}},
        {u"exportButton", u"export", nullptr, {}, nullptr, {}},
        {u"detailButton", nullptr, u"文档详情", ToolbarIcon::Detail, u"查看所选中文档的所有域和值",
         Command::ShowDetail},
        {u"firstPageButton", nullptr, u"首页", ToolbarIcon::FirstPage, nullptr, Command::FirstPage},
        {u"previousPageButton", nullptr, u"上一页", ToolbarIcon::PreviousPage, nullptr, Command::PreviousPage},
        {u"nextPageButton", nullptr, u"下一页", ToolbarIcon::NextPage, nullptr, Command::NextPage},
        {u"lastPageButton", nullptr, u"尾页", ToolbarIcon::LastPage, nullptr, Command::LastPage},
        {u"aboutButton", u"about", nullptr, {}, nullptr, {}},
        {u"exitButton", u"exit", nullptr, {}, nullptr, {}},
    };
    for (const Entry& entry : entries) {
        auto* button = new QToolButton(toolBar);
        button->setObjectName(QString::fromUtf16(entry.name));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFixedSize(67, 36);
        button->setIconSize(QSize(16, 16));
        if (entry.action) {
            button->setDefaultAction(action(QString::fromUtf16(entry.action)));
            // An action without a hint lends its caption as the tooltip; such a button shows none.
            if (button->toolTip() == button->text())
                button->installEventFilter(this);
        } else {
            button->setText(QString::fromUtf16(entry.caption));
            // An empty picture still takes its place, so the caption sits level with the others.
            QIcon icon = toolbarIcon(entry.icon);
            if (icon.isNull()) {
                QPixmap blank(16, 16);
                blank.fill(Qt::transparent);
                icon = QIcon(blank);
            }
            button->setIcon(icon);
            if (entry.hint)
                button->setToolTip(QString::fromUtf16(entry.hint));
            const Command command = entry.command;
            connect(button, &QToolButton::clicked, this, [this, command] { trigger(command); });
        }
        toolBar->addWidget(button);
        m_toolButtons << button;
    }
}

void MainWindow::buildPanels()
{
    auto* central = new QWidget(this);
    central->setObjectName(u"central"_s);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* toolArea = new QFrame(central);
    toolArea->setObjectName(u"toolArea"_s);
    toolArea->setFixedHeight(49);
    column->addWidget(toolArea);

    auto* middle = new QWidget(central);
    middle->setObjectName(u"middle"_s);
    auto* row = new QHBoxLayout(middle);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(buildTreePanel(middle));
    m_splitterStrip = new SplitterStrip(
        middle, [this](int x) { dragSplitter(x); }, [this](int x) { m_lastX = x; });
    row->addWidget(m_splitterStrip);
    row->addWidget(buildListPanel(middle), 1);
    column->addWidget(middle, 1);

    column->addWidget(buildStatusArea(central));
    setCentralWidget(central);
}

QWidget* MainWindow::buildTreePanel(QWidget* parent)
{
    m_treePanel = loweredPanel(u"treePanel"_s, parent);
    m_treePanel->setFixedWidth(225);
    m_tree = new QTreeWidget(m_treePanel);
    m_tree->setObjectName(u"databaseTree"_s);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setHeaderHidden(true);
    m_tree->setIndentation(19);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setIconSize(QSize(16, 16));
    // A long node (the data directory of the server root, a file root's full name) scrolls instead of
    // being cut off with "..."; the column never gets narrower than the tree, so a click anywhere on
    // a row still hits its node.
    m_tree->setTextElideMode(Qt::ElideNone);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(m_treePanel);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_tree);
    connect(m_tree, &QTreeWidget::itemClicked, this, [this] { trigger(Command::TreeClick); });
    m_tree->viewport()->installEventFilter(this);
    return m_treePanel;
}

QWidget* MainWindow::buildListPanel(QWidget* parent)
{
    auto* column = new QWidget(parent);
    column->setObjectName(u"listColumn"_s);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(2);

    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(2, 2, 2, 0);
    auto* searchLabel = new QLabel(u"全文搜索："_s, column);
    m_searchBox = new QLineEdit(column);
    m_searchBox->setObjectName(u"searchBox"_s);
    m_searchBox->setPlaceholderText(u"输入要查找的词，按回车在所选数据库或列出的视图中搜索"_s);
    m_searchBox->setClearButtonEnabled(true);
    searchLabel->setBuddy(m_searchBox);
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(m_searchBox, 1);
    columnLayout->addLayout(searchRow);
    connect(m_searchBox, &QLineEdit::returnPressed, this, [this] { trigger(Command::Search); });
    // Only the user's emptying (typing or the clear button) lists the view again, not the window's own.
    connect(m_searchBox, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (text.isEmpty())
            trigger(Command::ClearSearch);
    });

    auto* panel = loweredPanel(u"listPanel"_s, column);
    m_list = new ListView(panel);
    m_list->setObjectName(u"documentList"_s);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_list);
    columnLayout->addWidget(panel, 1);
    connect(m_list, &ListView::doubleClicked, this, [this] { trigger(Command::ShowDetail); });
    return column;
}

QWidget* MainWindow::buildStatusArea(QWidget* parent)
{
    auto* area = loweredPanel(u"statusArea"_s, parent);
    area->setFixedHeight(32);
    auto* status = new QStatusBar(area);
    status->setObjectName(u"statusBar"_s);
    status->setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        auto* label = new QLabel(status);
        label->setObjectName(u"statusPanel"_s + QString::number(i));
        label->setFixedWidth(250);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        status->addWidget(label);
        m_statusPanels[i] = label;
    }
    m_statusPanels[0]->setText(QString::fromUtf16(kServiceLine));
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(status);
    return area;
}

} // namespace quill::shell
