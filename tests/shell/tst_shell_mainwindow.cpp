#include "fakedomino.h"
#include "platform/error.h"
#include "scriptedprompts.h"
#include "shell/aboutdialog.h"
#include "shell/icons.h"
#include "shell/linklabel.h"
#include "shell/mainwindow.h"
#include "shell/qtprompts.h"
#include "workspace/settings.h"
#include "workspace/workspace.h"
#include "workspacesupport.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>
#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace quill;
using shell::Command;
using shell::MainWindow;

namespace {

// Records the browse commands the window runs and throws what it is told to.
class StubBrowse
{
public:
    QStringList calls;
    std::function<void()> thrower;

    void record(const QString& name)
    {
        calls << name;
        if (thrower)
            thrower();
    }
    void attachTo(MainWindow& window)
    {
        const std::pair<Command, QString> commands[] = {
            {Command::OpenServer, u"openserver"_s}, {Command::OpenFile, u"openfile"_s},
            {Command::TreeClick, u"tree"_s},        {Command::FirstPage, u"first"_s},
            {Command::PreviousPage, u"previous"_s}, {Command::NextPage, u"next"_s},
            {Command::LastPage, u"last"_s},         {Command::ShowDetail, u"detail"_s},
        };
        for (const auto& [command, name] : commands)
            window.setHandler(command, [this, name] { record(name); });
    }
};

class StubExport
{
public:
    int runs = 0;
    void attachTo(MainWindow& window)
    {
        window.setHandler(Command::Export, [this] { ++runs; });
    }
};

} // namespace

class TestShellMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void chineseGlyphsRender();
    void layoutAndVocabulary();
    void startupSequence();
    void exitAsksFirst();
    void importOnlyTellsSorry();
    void splitter();
    void errorHandlerText_data();
    void errorHandlerText();
    void errorHandlerCatchesEveryKind();
    void routedCommands();
    void treeClicks();
    void listView();
    void aboutDialog();
    void userGuide();
    void fileFilters();
    void realPromptBoxes();
    void workspaceDrivesTheStatusBar();

private:
    std::unique_ptr<MainWindow> makeWindow();

    QTemporaryDir m_dir;
    std::unique_ptr<workspace::Workspace> m_workspace;
    testing::ScriptedPrompts m_prompts;
    bool m_leftDown = false;
};

void TestShellMainWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestShellMainWindow::init()
{
    m_prompts = {};
    m_leftDown = false;
    m_workspace = std::make_unique<workspace::Workspace>(domino::SessionFactory(), m_dir.path());
}

void TestShellMainWindow::cleanup() {}

std::unique_ptr<MainWindow> TestShellMainWindow::makeWindow()
{
    shell::Environment env;
    env.prompts = &m_prompts;
    env.leftButtonDown = [this] { return m_leftDown; };
    auto window = std::make_unique<MainWindow>(*m_workspace, std::move(env));
    window->resize(1024, 700);
    return window;
}

void TestShellMainWindow::chineseGlyphsRender()
{
    // Without a CJK font both characters render as the same empty box.
    QLabel a(u"客"_s);
    QLabel b(u"服"_s);
    a.resize(40, 30);
    b.resize(40, 30);
    QVERIFY2(a.grab().toImage() != b.grab().toImage(), "no font with Chinese glyphs is found");
}

void TestShellMainWindow::layoutAndVocabulary()
{
    auto w = makeWindow();
    QCOMPARE(w->windowTitle(), u"QuillmereV3.6"_s);
    const QImage grabbed = w->grab().toImage();
    QCOMPARE(grabbed.size() / grabbed.devicePixelRatio(), QSize(1024, 700));
    QCOMPARE(m_workspace->docCount(), 0);
    QCOMPARE(m_workspace->treeMode(), workspace::TreeMode::Empty);
    QVERIFY(!m_workspace->session().isConnected());

    const QStringList order = {u"openServerButton"_s, u"openFileButton"_s,     u"exportButton"_s,   u"detailButton"_s,
                               u"firstPageButton"_s,  u"previousPageButton"_s, u"nextPageButton"_s, u"lastPageButton"_s,
                               u"aboutButton"_s,      u"exitButton"_s};
    const QStringList captions = {u"连接服务器"_s, u"打开文件"_s, u"导出数据"_s, u"文档详情"_s, u"首页"_s,
                                  u"上一页"_s,     u"下一页"_s,   u"尾页"_s,     u"关于"_s,     u"退出系统"_s};
    w->show();
    int previousX = -1;
    for (qsizetype i = 0; i < order.size(); ++i) {
        QToolButton* b = w->toolButton(order[i]);
        QVERIFY2(b, qPrintable(order[i]));
        QCOMPARE(b->text(), captions[i]);
        QCOMPARE(b->size(), QSize(67, 36));
        QCOMPARE(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QVERIFY2(b->x() > previousX, qPrintable(order[i]));
        previousX = b->x();
        // Only the first-page and last-page buttons have no picture.
        const bool blank = order[i] == u"firstPageButton"_s || order[i] == u"lastPageButton"_s;
        const QImage picture = b->icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!picture.isNull());
        int opaque = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                opaque += qAlpha(picture.pixel(x, y)) > 0;
        QVERIFY2((opaque == 0) == blank, qPrintable(order[i]));
    }
    QCOMPARE(w->toolButton(u"openServerButton"_s)->toolTip(), u"连接到Domino服务器"_s);
    QCOMPARE(w->toolButton(u"detailButton"_s)->toolTip(), u"查看所选中文档的所有域和值"_s);
    // Buttons without a hint show no tooltip, not even their caption.
    auto showTip = [](QToolButton* button) {
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), button->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(button, &help);
    };
    for (const QString& name : {u"aboutButton"_s, u"exitButton"_s, u"firstPageButton"_s, u"nextPageButton"_s}) {
        showTip(w->toolButton(name));
        QVERIFY2(!QToolTip::isVisible(), qPrintable(name));
    }
    showTip(w->toolButton(u"exportButton"_s));
    QVERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), u"导出所选视图的文档数据到EXCEL文件中，并与附件RTF域图片等一并导出"_s);
    QToolTip::hideText();

    QCOMPARE(w->treePanel()->width(), 225);
    QCOMPARE(w->splitterStrip()->width(), 3);
    QCOMPARE(w->splitterStrip()->cursor().shape(), Qt::SplitHCursor);
    QCOMPARE(w->findChild<QWidget*>(u"toolArea"_s)->height(), 49);
    QCOMPARE(w->findChild<QWidget*>(u"statusArea"_s)->height(), 32);
    QCOMPARE(w->findChild<QWidget*>(u"statusPanel0"_s)->width(), 250);
    QCOMPARE(w->findChild<QWidget*>(u"statusPanel1"_s)->width(), 250);
    QVERIFY(w->statusPanelText(0).contains(u"客服"_s));
    QVERIFY(w->statusPanelText(1).isEmpty());

    QTreeWidget* tree = w->databaseTree();
    QCOMPARE(tree->indentation(), 19);
    QVERIFY(tree->isHeaderHidden());
    QCOMPARE(tree->editTriggers(), QAbstractItemView::NoEditTriggers);
    for (shell::TreeIcon icon :
         {shell::TreeIcon::Server, shell::TreeIcon::Folder, shell::TreeIcon::Database, shell::TreeIcon::View})
        QVERIFY(!shell::treeIcon(icon).pixmap(16, 16).isNull());

    QStringList menus;
    for (QAction* a : w->menuBar()->actions()) {
        QStringList items;
        for (QAction* item : a->menu()->actions())
            items << item->objectName();
        menus << a->text() + u':' + items.join(u',');
    }
    QCOMPARE(menus, QStringList({u"文   件:openFile,openServer,exit"_s, u"工   具:export,importData"_s,
                                 u"关  于:about,userGuide"_s}));
}

void TestShellMainWindow::startupSequence()
{
    testing::FakeDomino domino;
    workspace::Workspace ws(domino.sessionFactory(), m_dir.path()); // no trailing "/"
    shell::Environment env;
    env.prompts = &m_prompts;
    int created = 0;
    {
        MainWindow w(ws, env);
        QVERIFY(ws.credentials().serverName.isEmpty()); // read on first show
        w.show();
        QCOMPARE(ws.settingsFolder(), m_dir.path() + u'/');
        QCOMPARE(ws.settingsFilePath(), m_dir.path() + u"/system.ini"_s);
        QVERIFY(!ws.credentials().serverName.isEmpty()); // the host name
        QVERIFY(ws.credentials().userName.isEmpty());
        QVERIFY(ws.credentials().password.isEmpty());
        QVERIFY(!ws.database().isConnected());
        // No Domino call at start-up: the session is made on first use only.
        QVERIFY(!ws.session().isConnected());
        QCOMPARE(domino.sessionsCreated(), 0);
        // Shown once: showing the window again reads nothing again.
        workspace::WriteSettings(ws.settingsFilePath(), {u"其他"_s, u"someone"_s, u"pw"_s});
        w.hide();
        w.show();
        QVERIFY(ws.credentials().userName.isEmpty());
        QVERIFY(QFile::remove(ws.settingsFilePath()));
        created = 1;
    }
    QCOMPARE(created, 1);
    QVERIFY(m_prompts.shown.isEmpty());
}

void TestShellMainWindow::exitAsksFirst()
{
    auto w = makeWindow();
    w->show();
    m_prompts.okCancelAnswers = {false};
    w->action(u"exit"_s)->trigger();
    QCOMPARE(m_prompts.shown, QStringList{u"question:确认|您要退出Quillmere么?"_s});
    QVERIFY(w->isVisible());

    m_prompts.okCancelAnswers = {true};
    w->toolButton(u"exitButton"_s)->click();
    QCOMPARE(m_prompts.shown.size(), 2);
    QVERIFY(!w->isVisible());
}

void TestShellMainWindow::importOnlyTellsSorry()
{
    auto w = makeWindow();
    StubBrowse browse;
    browse.attachTo(*w);
    m_workspace->pager().setDocPos(7);
    w->action(u"importData"_s)->trigger();
    QCOMPARE(m_prompts.shown, QStringList{u"message:对不起，该功能暂时尚未提供!"_s});
    QCOMPARE(m_workspace->docPos(), 7);
    QVERIFY(browse.calls.isEmpty());
}

void TestShellMainWindow::splitter()
{
    auto w = makeWindow();
    w->show();
    QCOMPARE(w->treePanel()->width(), 225);

    // The recorded position starts at 0.
    m_leftDown = true;
    w->dragSplitter(0);
    QCOMPARE(w->treePanel()->width(), 225);
    m_leftDown = false;

    // Without the left button only the position is recorded.
    w->dragSplitter(40);
    QCOMPARE(w->treePanel()->width(), 225);

    m_leftDown = true;
    w->dragSplitter(40);
    QCOMPARE(w->treePanel()->width(), 225);
    w->dragSplitter(70);
    QCOMPARE(w->treePanel()->width(), 255);
    w->dragSplitter(50);
    QCOMPARE(w->treePanel()->width(), 235);

    // The tree keeps a minimum width, the list stays visible.
    w->dragSplitter(-1000);
    QCOMPARE(w->treePanel()->width(), shell::kMinTreeWidth);
    w->dragSplitter(-990); // from the position recorded, not from where the tree stopped
    QCOMPARE(w->treePanel()->width(), shell::kMinTreeWidth + 10);
    w->dragSplitter(5000);
    QApplication::processEvents();
    QVERIFY(w->treePanel()->width() < w->width());
    QVERIFY(w->documentList()->width() >= shell::kMinListWidth - 2);

    // A real drag over the strip: the tree follows the mouse, though the strip moves under it.
    w->treePanel()->setFixedWidth(225);
    QApplication::processEvents();
    QWidget* strip = w->splitterStrip();
    const int startX = strip->x() + 1;
    QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(1, 10));
    for (int dx = 1; dx <= 30; ++dx) {
        QTest::mouseMove(strip, QPoint(startX + dx - strip->x(), 10));
        QApplication::processEvents(); // the strip moves with the tree's new width
    }
    QCOMPARE(w->treePanel()->width(), 255);
    QCOMPARE(strip->x(), startX - 1 + 30);
}

void TestShellMainWindow::errorHandlerText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << u"abc"_s << u"abc."_s;
    QTest::newRow("dot") << u"abc."_s << u"abc."_s;
    QTest::newRow("bang sorts before dot") << u"abc!"_s << u"abc!"_s;
    QTest::newRow("comma sorts before dot") << u"a,"_s << u"a,"_s;
    QTest::newRow("slash sorts after dot") << u"a/"_s << u"a/."_s;
    QTest::newRow("digit") << u"错误1"_s << u"错误1."_s;
    QTest::newRow("chinese") << u"访问数据库出错"_s << u"访问数据库出错."_s;
    QTest::newRow("full stop ideograph") << u"出错。"_s << u"出错。."_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestShellMainWindow::errorHandlerText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    auto w = makeWindow();
    StubBrowse browse;
    browse.thrower = [message] { throw platform::Error(message); };
    browse.attachTo(*w);
    w->trigger(Command::NextPage);
    QCOMPARE(browse.calls, QStringList{u"next"_s});
    QCOMPARE(m_prompts.shown, QStringList{u"error:"_s + shown});
}

void TestShellMainWindow::errorHandlerCatchesEveryKind()
{
    auto w = makeWindow();
    QVERIFY(w->runCommand([] {}));
    QVERIFY(m_prompts.shown.isEmpty());
    QVERIFY(!w->runCommand([] { throw std::runtime_error("磁盘已满"); }));
    QVERIFY(!w->runCommand([] { throw 42; }));
    QCOMPARE(m_prompts.errors().size(), 2);
    QCOMPARE(m_prompts.errors().at(0), u"磁盘已满."_s);
    QVERIFY(!m_prompts.errors().at(1).isEmpty());
    // The state the command reached stays.
    QVERIFY(!w->runCommand([&] {
        m_workspace->pager().setDocPos(100);
        throw platform::Error(u"x"_s);
    }));
    QCOMPARE(m_workspace->docPos(), 100);
}

void TestShellMainWindow::routedCommands()
{
    auto w = makeWindow();
    // No handlers: nothing happens.
    w->action(u"openServer"_s)->trigger();
    w->action(u"export"_s)->trigger();
    w->toolButton(u"nextPageButton"_s)->click();
    QVERIFY(m_prompts.shown.isEmpty());

    StubBrowse browse;
    StubExport exporter;
    browse.attachTo(*w);
    exporter.attachTo(*w);
    w->action(u"openServer"_s)->trigger();
    w->action(u"openFile"_s)->trigger();
    for (const char16_t* name :
         {u"detailButton", u"firstPageButton", u"previousPageButton", u"nextPageButton", u"lastPageButton"})
        w->toolButton(QString::fromUtf16(name))->click();
    w->toolButton(u"exportButton"_s)->click();
    QCOMPARE(browse.calls, QStringList({u"openserver"_s, u"openfile"_s, u"detail"_s, u"first"_s, u"previous"_s,
                                        u"next"_s, u"last"_s}));
    QCOMPARE(exporter.runs, 1);

    // While an export runs, the commands are off.
    w->setCommandsEnabled(false);
    QVERIFY(!w->action(u"openFile"_s)->isEnabled());
    QVERIFY(!w->toolButton(u"nextPageButton"_s)->isEnabled());
    QVERIFY(w->action(u"about"_s)->isEnabled());
    w->action(u"openFile"_s)->trigger();
    w->trigger(Command::NextPage);
    QCOMPARE(browse.calls.size(), 7);
    w->setCommandsEnabled(true);
    w->trigger(Command::NextPage);
    QCOMPARE(browse.calls.size(), 8);
}

void TestShellMainWindow::treeClicks()
{
    auto w = makeWindow();
    StubBrowse browse;
    browse.attachTo(*w);
    w->show();
    QTreeWidget* tree = w->databaseTree();
    auto* root = new QTreeWidgetItem(tree, {u"服务器"_s});
    auto* child = new QTreeWidgetItem(root, {u"crm.nsf"_s});
    auto* view = new QTreeWidgetItem(child, {u"全部"_s});
    tree->expandAll();

    const QRect rect = tree->visualItemRect(child);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(browse.calls, QStringList{u"tree"_s});
    QCOMPARE(tree->currentItem(), child);

    // A node wider than the tree scrolls instead of being cut short; a short one is hit across the row.
    const QString longText = u"QUILLSERVER(/home/用户/.local/share/quillmere/sample/一个很长的数据目录名)"_s;
    auto* wide = new QTreeWidgetItem(tree, {longText});
    QTest::qWait(1);
    QCOMPARE(tree->textElideMode(), Qt::ElideNone);
    QVERIFY(tree->header()->sectionSize(0) > tree->fontMetrics().horizontalAdvance(longText));
    QVERIFY(tree->horizontalScrollBar()->maximum() > 0);
    delete wide;
    QTest::qWait(1);
    QCOMPARE(tree->header()->sectionSize(0), tree->viewport()->width());
    browse.calls.clear();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(tree->viewport()->width() - 5, tree->visualItemRect(view).center().y()));
    QCOMPARE(tree->currentItem(), view);
    QCOMPARE(browse.calls, QStringList{u"tree"_s});

    // Empty space below the nodes: selection cleared, and the command still runs.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(10, tree->viewport()->height() - 3));
    QCOMPARE(browse.calls.size(), 2);
    QVERIFY(tree->selectedItems().isEmpty());
    QVERIFY(!tree->currentItem());
}

void TestShellMainWindow::listView()
{
    testing::FakeDomino domino;
    testing::FakeDatabase& db = domino.addDatabase(u"/data/crm.nsf"_s);
    db.addView(u"v"_s, {{u"标题"_s, u"Subject"_s}});
    db.addDocument().text(u"Subject"_s, u"一"_s).id = u"A1"_s;
    db.addDocument().text(u"Subject"_s, u"二"_s).id = u"B2"_s;
    auto w = makeWindow();
    StubBrowse browse;
    browse.attachTo(*w);
    w->show();
    shell::ListView* list = w->documentList();
    QCOMPARE(list->columnCount(), 0);

    list->setViewStyle(shell::ListView::Style::Icon);
    list->addIconItem(u"全部"_s, shell::treeIcon(shell::TreeIcon::View));
    list->addIconItem(u"按日期"_s, shell::treeIcon(shell::TreeIcon::View));
    QCOMPARE(list->iconItemCount(), 2);
    QCOMPARE(list->iconItemCaption(1), u"按日期"_s);
    QCOMPARE(list->iconWidget()->viewMode(), QListView::IconMode);
    QCOMPARE(list->iconWidget()->iconSize(), QSize(32, 32));

    // The rows are the workspace's model, read a page at a time; the list is not redrawn meanwhile.
    QList<bool> drawnWhileRead;
    connect(&m_workspace->documentModel(), &QAbstractItemModel::modelAboutToBeReset, this,
            [&] { drawnWhileRead << list->reportWidget()->parentWidget()->updatesEnabled(); });
    std::unique_ptr<domino::NotesSession> session = domino.sessionFactory()();
    session->InitLocalSession(QString());
    testing::listAndLoad(*m_workspace, session->OpenDatabase(QString(), u"/data/crm.nsf"_s, false), u"v"_s, {});
    QVERIFY(!drawnWhileRead.isEmpty() && !drawnWhileRead.contains(true));
    QVERIFY(list->reportWidget()->parentWidget()->updatesEnabled());
    QCOMPARE(list->viewStyle(), shell::ListView::Style::Report);
    QCOMPARE(list->columnCount(), 2);
    QCOMPARE(list->columnCaption(0), u"文档ID"_s);
    QCOMPARE(list->columnCaption(1), u"标题"_s);
    QCOMPARE(list->columnWidth(0), list->width() / 2);
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(list->rowCaption(0), u"A1"_s);
    QCOMPARE(list->rowSubItems(1), QStringList{u"二"_s});
    QVERIFY(!list->reportWidget()->rootIsDecorated());
    QCOMPARE(list->reportWidget()->selectionBehavior(), QAbstractItemView::SelectRows);

    QVERIFY(list->selectedDocumentIds().isEmpty());
    list->selectRow(1);
    QCOMPARE(list->selectedDocumentIds(), QStringList{u"B2"_s});

    // Double-clicks in either style run the detail command.
    emit list->reportWidget()->doubleClicked(list->reportWidget()->model()->index(0, 0));
    emit list->iconWidget()->itemDoubleClicked(list->iconWidget()->item(0));
    QCOMPARE(browse.calls, QStringList({u"detail"_s, u"detail"_s}));

    // Cleared: the rows go, the columns stay.
    m_workspace->clearList();
    QCOMPARE(list->rowCount(), 0);
    QCOMPARE(list->iconItemCount(), 0);
    QCOMPARE(list->columnCount(), 2);
    // Nothing listed any more (a file opened, a server connected): as at start.
    m_workspace->clearListing();
    QCOMPARE(list->columnCount(), 0);
    QCOMPARE(list->viewStyle(), shell::ListView::Style::Icon);
}

void TestShellMainWindow::userGuide()
{
    QTemporaryDir docs;
    const QString guide = docs.filePath(u"用户手册.html"_s);
    QFile file(guide);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    struct Case
    {
        const char* name;
        QString path;
        bool viewerOpens;
        QStringList messages;
    };
    const Case cases[] = {
        {"opened by the viewer", guide, true, {}},
        {"no viewer", guide, false, {u"message:无法打开用户手册：没有可以打开它的程序。手册在："_s + guide}},
        {"file missing",
         docs.filePath(u"无.html"_s),
         true,
         {u"message:找不到用户手册："_s + docs.filePath(u"无.html"_s)}},
        {"folder given", docs.path(), true, {u"message:找不到用户手册："_s + docs.path()}},
    };
    for (const Case& c : cases) {
        m_prompts = {};
        QList<QUrl> opened;
        shell::Environment env;
        env.prompts = &m_prompts;
        env.userGuide = c.path;
        env.openDocument = [&](const QUrl& url) {
            opened << url;
            return c.viewerOpens;
        };
        MainWindow w(*m_workspace, env);
        QAction* item = w.action(u"userGuide"_s);
        QVERIFY2(item, c.name);
        QCOMPARE(item->text(), u"用户手册"_s);
        QCOMPARE(item->shortcut(), QKeySequence(Qt::Key_F1));
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // F1 from the window, also while an export has the other commands off.
        w.setCommandsEnabled(false);
        QTest::keyClick(&w, Qt::Key_F1);
        const QList<QUrl> expected =
            QFileInfo(c.path).isFile() ? QList<QUrl>{QUrl::fromLocalFile(c.path)} : QList<QUrl>{};
        QVERIFY2(opened == expected, c.name);
        QVERIFY2(m_prompts.shown == c.messages, qPrintable(m_prompts.shown.join(u'\n')));
    }
}

void TestShellMainWindow::aboutDialog()
{
    QList<QUrl> opened;
    shell::AboutDialog about(nullptr, [&](const QUrl& url) { opened << url; });
    QCOMPARE(about.windowTitle(), u"关于"_s);
    QCOMPARE(about.size(), QSize(380, 301));
    QCOMPARE(about.okButton()->text(), u"确       定"_s);
    const QStringList lines = about.lines();
    QCOMPARE(lines.size(), 5);
    const QStringList prefixes = {u"开发："_s, u"电话："_s, u"客服QQ："_s, u"手机："_s, u"网址:"_s};
    for (qsizetype i = 0; i < 5; ++i) {
        QVERIFY2(lines[i].startsWith(prefixes[i]), qPrintable(lines[i]));
        QVERIFY(lines[i].size() > prefixes[i].size());
    }

    about.show();
    QCOMPARE(about.grab().toImage().pixelColor(5, 5), QColor(Qt::white));
    shell::LinkLabel* link = about.linkLabel();
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::black));
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), link->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(link, &enter);
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::red));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::black));

    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(opened.size(), 1);
    QVERIFY(lines[4].endsWith(opened[0].toString()));
    QVERIFY(opened[0].scheme().startsWith(u"http"_s));

    QTest::mouseClick(about.okButton(), Qt::LeftButton);
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Accepted));
}

void TestShellMainWindow::fileFilters()
{
    QCOMPARE(shell::qtFileFilter(u"NSF文件|*.nsf"_s), u"NSF文件 (*.nsf)"_s);
    QCOMPARE(shell::qtFileFilter(u"Excel文件|*.xls"_s), u"Excel文件 (*.xls)"_s);
    QCOMPARE(shell::qtFileFilter(u"库|*.nsf;*.ntf|全部|*.*"_s), u"库 (*.nsf *.ntf);;全部 (*.*)"_s);
}

void TestShellMainWindow::realPromptBoxes()
{
    shell::QtPrompts prompts;
    struct Seen
    {
        QString caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList buttons;
    };
    // Reads the box that the prompt opened, then presses the button of the given caption.
    auto answer = [](Seen* seen, const QString& press) {
        QTimer::singleShot(0, [seen, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen->caption = box->windowTitle();
            seen->icon = box->icon();
            QAbstractButton* pressed = nullptr;
            for (QAbstractButton* button : box->buttons()) {
                seen->buttons << button->text();
                if (button->text() == press)
                    pressed = button;
            }
            if (!pressed)
                box->done(QMessageBox::Cancel); // so that a failure does not leave the box waiting
            QVERIFY(pressed);
            pressed->click();
        });
    };

    Seen exitBox;
    answer(&exitBox, u"取消"_s);
    QVERIFY(!prompts.askOkCancel(u"您要退出Quillmere么?"_s, u"确认"_s));
    QCOMPARE(exitBox.caption, u"确认"_s);
    QCOMPARE(exitBox.icon, QMessageBox::NoIcon);
    exitBox.buttons.sort();
    QCOMPARE(exitBox.buttons, (QStringList{u"取消"_s, u"确定"_s}));
    Seen okBox;
    answer(&okBox, u"确定"_s);
    QVERIFY(prompts.askOkCancel(u"您要退出Quillmere么?"_s, u"确认"_s));

    Seen plain;
    answer(&plain, u"确定"_s);
    prompts.showMessage(u"对不起，该功能暂时尚未提供!"_s);
    QCOMPARE(plain.caption, u"QuillmereV3.6"_s);
    QCOMPARE(plain.icon, QMessageBox::NoIcon);
    QCOMPARE(plain.buttons, QStringList{u"确定"_s});

    Seen error;
    answer(&error, u"确定"_s);
    prompts.showError(u"出错了."_s);
    QCOMPARE(error.caption, u"QuillmereV3.6"_s);
    QCOMPARE(error.icon, QMessageBox::Critical);
    QCOMPARE(error.buttons, QStringList{u"确定"_s});
}

void TestShellMainWindow::workspaceDrivesTheStatusBar()
{
    testing::FakeDomino domino;
    testing::FakeDatabase& db = domino.addDatabase(u"/data/crm.nsf"_s);
    db.addView(u"按日期"_s);
    for (int i = 0; i < 3; ++i)
        db.addDocument();
    auto w = makeWindow();
    w->show();
    QVERIFY(w->statusPanelText(1).isEmpty());
    std::unique_ptr<domino::NotesSession> session = domino.sessionFactory()();
    session->InitLocalSession(QString());
    testing::listAndLoad(*m_workspace, session->OpenDatabase(QString(), u"/data/crm.nsf"_s, false), u"按日期"_s, {});
    QCOMPARE(m_workspace->docCount(), 3);
    QCOMPARE(w->statusPanelText(1), u"视图：按日期(按日期) 共有文档:3"_s);
    QVERIFY(w->statusPanelText(0).contains(u"客服"_s));
    // What is not counted (after a tree click, a page that ends before its first document) is not shown as
    // counted: paging and export do nothing then.
    m_workspace->pager().stop();
    QVERIFY(w->statusPanelText(1).isEmpty());
    testing::QuietPageProgress progress;
    m_workspace->pager().setDocPos(0);
    m_workspace->loadPage(progress);
    QCOMPARE(w->statusPanelText(1), u"视图：按日期(按日期) 共有文档:3"_s);
    m_workspace->pager().setDocPos(0);
    domino.failOn(u"NthDocument"_s, u"没有这个文档"_s);
    m_workspace->loadPage(progress);
    QCOMPARE(m_workspace->docCount(), 0);
    QVERIFY(w->statusPanelText(1).isEmpty());
}

QTEST_MAIN(TestShellMainWindow)
#include "tst_shell_mainwindow.moc"
