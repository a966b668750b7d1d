#include "shell/mainwindow.h"

#include "platform/error.h"
#include "platform/hostname.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "shell/about.h"
#include "shell/icons.h"
#include "shell/prompts.h"
#include "shell/registrationreport.h"
#include "shell/screencentre.h"
#include "shell/vendor.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
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

// Panel4: the strip between tree and list. Positions are handed on in the central area's pixels, a
// frame that does not move with the strip, so the tree follows the mouse without drifting.
class SplitterStrip : public QFrame
{
public:
    SplitterStrip(QWidget* parent, std::function<void(int)> onMove, std::function<void(int)> onPress)
        : QFrame(parent), m_onMove(std::move(onMove)), m_onPress(std::move(onPress))
    {
        setObjectName(u"Panel4"_s);
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

namespace {

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

TfrmMain::TfrmMain(Environment environment, QWidget* parent) : QMainWindow(parent), m_env(std::move(environment))
{
    Q_ASSERT(m_env.prompts);
    if (!m_env.leftButtonDown)
        m_env.leftButtonDown = [] { return (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0; };
    if (!m_env.sessionFactory && m_env.registry)
        m_env.sessionFactory = domino::registeredSessionFactory(*m_env.registry);

    initShellResources();
    setObjectName(u"frmMain"_s);
    setWindowTitle(QString::fromUtf16(kAppTitle));
    resize(825, 606);
    centreOnScreen(this);

    buildActions();
    buildMenu();
    buildPanels();
    buildToolBar();
    FormCreate();
}

TfrmMain::~TfrmMain()
{
    FormDestroy();
}

void TfrmMain::FormCreate()
{
    m_state.lastX = 0;
    m_state.docCount = 0;
    m_state.startNo = u"1"_s;
}

void TfrmMain::FormDestroy()
{
    m_state.notesSession.reset();
    m_state.curDatabase.reset();
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    FormShow();
}

void TfrmMain::FormShow()
{
    if (m_shown)
        return;
    m_shown = true;

    m_state.appPath = programFolder();

    ReadSettings();
    if (m_env.registry)
        reportRegistration(domino::StartupComponentCheck(*m_env.registry), *m_env.prompts);
    m_state.notesSession = std::make_unique<domino::TNotesSession>(m_env.sessionFactory);
    m_state.curDatabase = std::make_unique<domino::TNotesDatabase>();
}

QString TfrmMain::programFolder() const
{
    QString folder = m_env.appPath.isEmpty() ? platform::applicationFolder() : m_env.appPath;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString TfrmMain::settingsFilePath() const
{
    return (m_state.appPath.isEmpty() ? programFolder() : m_state.appPath) + u"system.ini"_s;
}

void TfrmMain::ReadSettings()
{
    const QString path = settingsFilePath();
    m_state.serverName = platform::readProfileString(path, u"domino"_s, u"server"_s);
    m_state.userName = platform::readProfileString(path, u"domino"_s, u"username"_s);
    m_state.password = platform::readProfileString(path, u"domino"_s, u"pwd"_s);
    if (m_state.serverName.isEmpty())
        m_state.serverName = platform::LocalHostName();
}

void TfrmMain::WriteSettings()
{
    platform::writeProfileStrings(
        settingsFilePath(), u"domino"_s,
        {{u"server"_s, m_state.serverName}, {u"username"_s, m_state.userName}, {u"pwd"_s, m_state.password}});
}

bool TfrmMain::runCommand(const std::function<void()>& command)
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

void TfrmMain::setCommandsEnabled(bool enabled)
{
    m_commandsEnabled = enabled;
    for (QAction* a : std::as_const(m_actions))
        if (a->objectName() != u"about"_s)
            a->setEnabled(enabled);
    for (QToolButton* button : std::as_const(m_toolButtons))
        if (!button->defaultAction())
            button->setEnabled(enabled);
    m_tree->setEnabled(enabled);
    m_list->setEnabled(enabled);
}

QWidget* TfrmMain::Panel4() const
{
    return m_panel4;
}

void TfrmMain::Panel4MouseMove(int x)
{
    if (m_env.leftButtonDown() && x != m_state.lastX) {
        const int strip = m_panel4->width();
        const int available = m_panel2->parentWidget()->width();
        const int widest = std::max(kMinTreeWidth, available - strip - kMinListWidth);
        const int width = std::clamp(m_panel2->width() + x - m_state.lastX, kMinTreeWidth, widest);
        m_panel2->setFixedWidth(width);
    }
    m_state.lastX = x;
}

void TfrmMain::exitsystemExecute()
{
    if (!m_env.prompts->askOkCancel(u"您要退出Quillmere么?"_s, u"确认"_s))
        return;
    close();
    QCoreApplication::quit();
}

void TfrmMain::inportdataExecute()
{
    m_env.prompts->showMessage(u"对不起，该功能暂时尚未提供!"_s);
}

TfrmAbout* TfrmMain::createAboutDialog()
{
    auto* dialog = new TfrmAbout(this, m_env.openUrl);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

void TfrmMain::aboutExecute()
{
    createAboutDialog()->exec();
}

void TfrmMain::openserverExecute()
{
    if (m_browse && m_commandsEnabled)
        runCommand([this] { m_browse->openserverExecute(); });
}

void TfrmMain::openfileExecute()
{
    if (m_browse && m_commandsEnabled)
        runCommand([this] { m_browse->openfileExecute(); });
}

void TfrmMain::exportExecute()
{
    if (m_export && m_commandsEnabled)
        runCommand([this] { m_export->exportExecute(); });
}

void TfrmMain::TreeView1Click()
{
    if (m_browse && m_commandsEnabled)
        runCommand([this] { m_browse->TreeView1Click(); });
}

void TfrmMain::ToolButton7Click()
{
    if (m_browse && m_commandsEnabled)
        runCommand([this] { m_browse->ToolButton7Click(); });
}

void TfrmMain::ToolButton8Click()
{
    if (m_browse && m_commandsEnabled)
        runCommand([this] { m_browse->ToolButton8Click(); });
}

void TfrmMain::ToolButton9Click()
{
    if (m_browse && m_commandsEnabled)
        runCommand([this] { m_browse->ToolButton9Click(); });
}

void TfrmMain::ToolButton10Click()
{
    if (m_browse && m_commandsEnabled)
        runCommand([this] { m_browse->ToolButton10Click(); });
}

void TfrmMain::ListView1DblClick()
{
    if (m_browse && m_commandsEnabled)
        runCommand([this] { m_browse->ListView1DblClick(); });
}

void TfrmMain::ToolButton11Click()
{
    if (m_browse && m_commandsEnabled)
        runCommand([this] { m_browse->ToolButton11Click(); });
}

QString TfrmMain::statusPanelText(int panel) const
{
    if (panel < 0 || panel > 1)
        return {};
    return m_statusPanels[panel]->text();
}

void TfrmMain::setStatusPanelText(int panel, const QString& text)
{
    if (panel < 0 || panel > 1)
        return;
    m_statusPanels[panel]->setText(text);
}

QIcon TfrmMain::treeImage(int index) const
{
    return shell::treeImage(index);
}

QAction* TfrmMain::action(const QString& name) const
{
    for (QAction* a : m_actions)
        if (a->objectName() == name)
            return a;
    return nullptr;
}

QToolButton* TfrmMain::toolButton(const QString& name) const
{
    for (QToolButton* button : m_toolButtons)
        if (button->objectName() == name)
            return button;
    return nullptr;
}

int TfrmMain::nodeLevel(const QTreeWidgetItem* node)
{
    int level = 0;
    for (const QTreeWidgetItem* p = node ? node->parent() : nullptr; p; p = p->parent())
        ++level;
    return level;
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
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
            TreeView1Click();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::buildActions()
{
    struct Entry
    {
        const char16_t* name;
        const char16_t* caption;
        int image;
        const char16_t* hint;
        void (TfrmMain::*handler)();
    };
    const Entry entries[] = {
        {u"exitsystem", u"退出系统", 1, nullptr, &TfrmMain::exitsystemExecute},
        {u"openserver", u"连接服务器", 4, u"连接到Domino服务器", &TfrmMain::openserverExecute},
        {u"openfile", u"打开文件", 3, u"打开独立的NSF库文件", &TfrmMain::openfileExecute},
        {u"export", u"导出数据", 2, u"导出所选视图的文档数据到EXCEL文件中，并与附件RTF域图片等一并导出",
         &TfrmMain::exportExecute},
        {u"inportdata", u"导入数据", 0, nullptr, &TfrmMain::inportdataExecute},
        {u"about", u"关于", 5, nullptr, &TfrmMain::aboutExecute},
    };
    for (const Entry& entry : entries) {
        auto* a = new QAction(toolbarImage(entry.image), QString::fromUtf16(entry.caption), this);
        a->setObjectName(QString::fromUtf16(entry.name));
        if (entry.hint)
            a->setToolTip(QString::fromUtf16(entry.hint));
        const auto handler = entry.handler;
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        m_actions << a;
    }
}

void TfrmMain::buildMenu()
{
    auto* bar = new QMenuBar(this);
    bar->setObjectName(u"MainMenu1"_s);
    QMenu* n1 = bar->addMenu(u"文   件"_s);
    n1->setObjectName(u"N1"_s);
    n1->addAction(action(u"openfile"_s));
    n1->addAction(action(u"openserver"_s));
    n1->addAction(action(u"exitsystem"_s));
    QMenu* n4 = bar->addMenu(u"工   具"_s);
    n4->setObjectName(u"N4"_s);
    n4->addAction(action(u"export"_s));
    n4->addAction(action(u"inportdata"_s));
    QMenu* n5 = bar->addMenu(u"关  于"_s);
    n5->setObjectName(u"N5"_s);
    n5->addAction(action(u"about"_s));
    setMenuBar(bar);
}

void TfrmMain::buildToolBar()
{
    QWidget* panel1 = findChild<QWidget*>(u"Panel1"_s);
    auto* toolBar = new QToolBar(panel1);
    toolBar->setObjectName(u"ToolBar1"_s);
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setIconSize(QSize(16, 16));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolBar->setCursor(Qt::PointingHandCursor);
    toolBar->setStyleSheet(u"QToolBar { border: none; spacing: 0px; }"_s);
    auto* layout = new QHBoxLayout(panel1);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->addWidget(toolBar, 0, Qt::AlignTop);

    struct Entry
    {
        const char16_t* name;
        const char16_t* action; // bound action, or nullptr
        const char16_t* caption;
        int image;
        const char16_t* hint;
        void (TfrmMain::*handler)();
    };
    const Entry entries[] = {
        {u"ToolButton1", u"openserver", nullptr, 0, nullptr, nullptr},
        {u"ToolButton2", u"openfile", nullptr, 0, nullptr, nullptr},
        {u"ToolButton4", u"export", nullptr, 0, nullptr, nullptr},
        {u"ToolButton11", nullptr, u"文档详情", 10, u"查看所选中文档的所有域和值", &TfrmMain::ToolButton11Click},
        {u"ToolButton7", nullptr, u"首页", 8, nullptr, &TfrmMain::ToolButton7Click},
        {u"ToolButton8", nullptr, u"上一页", 6, nullptr, &TfrmMain::ToolButton8Click},
        {u"ToolButton9", nullptr, u"下一页", 7, nullptr, &TfrmMain::ToolButton9Click},
        {u"ToolButton10", nullptr, u"尾页", 9, nullptr, &TfrmMain::ToolButton10Click},
        {u"ToolButton5", u"about", nullptr, 0, nullptr, nullptr},
        {u"ToolButton6", u"exitsystem", nullptr, 0, nullptr, nullptr},
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
            QIcon icon = toolbarImage(entry.image);
            if (icon.isNull()) {
                QPixmap blank(16, 16);
                blank.fill(Qt::transparent);
                icon = QIcon(blank);
            }
            button->setIcon(icon);
            if (entry.hint)
                button->setToolTip(QString::fromUtf16(entry.hint));
            const auto handler = entry.handler;
            connect(button, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
        }
        toolBar->addWidget(button);
        m_toolButtons << button;
    }
}

void TfrmMain::buildPanels()
{
    auto* central = new QWidget(this);
    central->setObjectName(u"Central"_s);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* panel1 = new QFrame(central);
    panel1->setObjectName(u"Panel1"_s);
    panel1->setFixedHeight(49);
    column->addWidget(panel1);

    auto* middle = new QWidget(central);
    middle->setObjectName(u"Middle"_s);
    auto* row = new QHBoxLayout(middle);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    m_panel2 = loweredPanel(u"Panel2"_s, middle);
    m_panel2->setFixedWidth(225);
    m_tree = new QTreeWidget(m_panel2);
    m_tree->setObjectName(u"TreeView1"_s);
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
    auto* treeLayout = new QVBoxLayout(m_panel2);
    treeLayout->setContentsMargins(1, 1, 1, 1);
    treeLayout->addWidget(m_tree);
    connect(m_tree, &QTreeWidget::itemClicked, this, [this] { TreeView1Click(); });
    m_tree->viewport()->installEventFilter(this);

    m_panel4 = new SplitterStrip(
        middle, [this](int x) { Panel4MouseMove(x); }, [this](int x) { m_state.lastX = x; });

    auto* panel3 = loweredPanel(u"Panel3"_s, middle);
    m_list = new ListView(panel3);
    m_list->setObjectName(u"ListView1"_s);
    auto* listLayout = new QVBoxLayout(panel3);
    listLayout->setContentsMargins(1, 1, 1, 1);
    listLayout->addWidget(m_list);
    connect(m_list, &ListView::doubleClicked, this, [this] { ListView1DblClick(); });

    row->addWidget(m_panel2);
    row->addWidget(m_panel4);
    row->addWidget(panel3, 1);
    column->addWidget(middle, 1);

    auto* panel5 = loweredPanel(u"Panel5"_s, central);
    panel5->setFixedHeight(32);
    auto* status = new QStatusBar(panel5);
    status->setObjectName(u"StatusBar1"_s);
    status->setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        auto* label = new QLabel(status);
        label->setObjectName(u"StatusPanel"_s + QString::number(i));
        label->setFixedWidth(250);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        status->addWidget(label);
        m_statusPanels[i] = label;
    }
    m_statusPanels[0]->setText(QString::fromUtf16(kServiceLine));
    auto* statusLayout = new QVBoxLayout(panel5);
    statusLayout->setContentsMargins(1, 1, 1, 1);
    statusLayout->addWidget(status);
    column->addWidget(panel5);

    setCentralWidget(central);
}

} // namespace quill::shell
