// Node kinds and paths, the click dispatch, and opening databases from the server tree and from a file.
#include "browse/treenodes.h"
#include "browsefixture.h"
#include "lockingchild.h"

#include <QFile>

using namespace Qt::StringLiterals;
using namespace quill;
using browse::NodeKind;
using browse::TreeAction;
using testing::BrowseFixture;

namespace {

const QString kNoDomino =
    u"对不起，Quillmere要求运行的电脑上已经安装过Domino客户端或服务器端软件!请安装Domino环境后再运行本系统!"_s;

QTreeWidgetItem* find(QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text)
            return node->child(i);
    return nullptr;
}

void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

// A server tree over mail/abc.nsf, top.nsf, abcnsf, an empty folder and an empty folder named like a
// database, as the connect command makes it.
QTreeWidgetItem* buildServerTree(BrowseFixture& fx)
{
    const QString data = fx.dataPath() + u'/';
    QDir(data).mkpath(u"mail"_s);
    QDir(data).mkpath(u"empty"_s);
    QDir(data).mkpath(u"归档.nsf"_s);
    touch(data + u"mail/abc.nsf"_s);
    touch(data + u"top.nsf"_s);
    touch(data + u"abcnsf"_s);
    fx.domino.addServer(u"srv"_s);
    auto& abc = fx.domino.addDatabase(u"mail/abc.nsf"_s);
    abc.addView(u"全部"_s, {{u"标题"_s, u"Subject"_s}});
    abc.addView(u"x.NSF"_s);
    abc.addDocument().text(u"Subject"_s, u"你好"_s);
    fx.domino.addDatabase(u"top.nsf"_s).addView(u"v"_s);
    // What connecting leaves behind: a signed-in session on the server.
    fx.domino.addUser(u"张三"_s, u"pw"_s);
    fx.workspace->session().InitUserSession(u"张三"_s, u"pw"_s);
    fx.domino.clearCalls();
    fx.setServerName(u"srv"_s);
    fx.workspace->setTreeMode(workspace::TreeMode::Server);
    QTreeWidgetItem* root =
        browse::addRootNode(fx.tree(), NodeKind::ServerRoot, u"srv("_s + fx.dataPath() + u')', QString());
    fx.browser->ScanDataDirectory(fx.dataPath(), root);
    return root;
}

} // namespace

class TestBrowseTree : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void nodePaths();
    void dispatchTable_data();
    void dispatchTable();
    void serverTreeOpensDatabasesAndViews();
    void serverTreeFailures();
    void clicksThatDoNothing();
    void openFileListsTrimmedViews();
    void openFileRefusals();
    void openFileFailuresGoToTheErrorHandler();
};

void TestBrowseTree::nodePaths()
{
    using browse::childPath;
    using browse::NodePath;
    QTreeWidget tree;
    auto* root = browse::addRootNode(&tree, NodeKind::ServerRoot, u"srv(/data)"_s, QString());
    auto* mail = browse::addNode(root, NodeKind::Folder, u"mail"_s, childPath(root, u"mail"_s));
    auto* abc = browse::addNode(mail, NodeKind::Database, u"abc.nsf"_s, childPath(mail, u"abc.nsf"_s));
    auto* top = browse::addNode(root, NodeKind::Database, u"top.nsf"_s, childPath(root, u"top.nsf"_s));
    QCOMPARE(NodePath(root), QString());
    QCOMPARE(NodePath(abc), u"mail\\abc.nsf"_s);
    QCOMPARE(NodePath(top), u"top.nsf"_s);
    // Listing its views changes nothing of a database's path; a view leads to its database.
    auto* view = browse::addViewNode(abc, u"全部"_s);
    QCOMPARE(NodePath(abc), u"mail\\abc.nsf"_s);
    QCOMPARE(NodePath(view), u"mail\\abc.nsf"_s);
    QCOMPARE(browse::viewNameOf(view), u"全部"_s);
    QCOMPARE(NodePath(mail), u"mail"_s);
    QCOMPARE(browse::nodeKind(view), NodeKind::View);
    QCOMPARE(browse::nodeKind(root), NodeKind::ServerRoot);
    QCOMPARE(browse::nodeKind(mail), NodeKind::Folder);

    // Captions are only shown: whatever they say, kinds, paths and view names stay.
    root->setText(0, u"srv(/other)"_s);
    mail->setText(0, u"邮件\\旧"_s);
    abc->setText(0, u"abc.nsf (3 个视图)"_s);
    view->setText(0, u"全部.nsf"_s);
    QCOMPARE(NodePath(abc), u"mail\\abc.nsf"_s);
    QCOMPARE(NodePath(view), u"mail\\abc.nsf"_s);
    QCOMPARE(browse::viewNameOf(view), u"全部"_s);
    QCOMPARE(browse::nodeKind(view), NodeKind::View);
    QCOMPARE(childPath(mail, u"新.nsf"_s), u"mail\\新.nsf"_s);
}

void TestBrowseTree::dispatchTable_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("children");
    QTest::addColumn<int>("action");
    using workspace::TreeMode;
    const auto add = [](const char* name, TreeMode mode, NodeKind kind, bool children, TreeAction action) {
        QTest::newRow(name) << static_cast<int>(mode) << static_cast<int>(kind) << children << static_cast<int>(action);
    };
    add("server database", TreeMode::Server, NodeKind::Database, false, TreeAction::OpenDatabase);
    add("server view", TreeMode::Server, NodeKind::View, false, TreeAction::ListServerView);
    add("server listed views", TreeMode::Server, NodeKind::Database, true, TreeAction::Nothing);
    add("server empty folder", TreeMode::Server, NodeKind::Folder, false, TreeAction::Nothing);
    add("server folder with content", TreeMode::Server, NodeKind::Folder, true, TreeAction::Nothing);
    add("server name without dot", TreeMode::Server, NodeKind::OtherFile, false, TreeAction::Nothing);
    add("server root", TreeMode::Server, NodeKind::ServerRoot, false, TreeAction::Nothing);
    add("file view", TreeMode::File, NodeKind::View, false, TreeAction::ListFileView);
    add("file root without views", TreeMode::File, NodeKind::Database, false, TreeAction::Nothing);
    add("file root with views", TreeMode::File, NodeKind::Database, true, TreeAction::Nothing);
    add("nothing opened yet", TreeMode::Empty, NodeKind::View, false, TreeAction::Nothing);
}

void TestBrowseTree::dispatchTable()
{
    QFETCH(int, mode);
    QFETCH(int, kind);
    QFETCH(bool, children);
    QFETCH(int, action);
    QCOMPARE(static_cast<int>(browse::classifyTreeClick(static_cast<workspace::TreeMode>(mode),
                                                        static_cast<NodeKind>(kind), children)),
             action);
}

void TestBrowseTree::serverTreeOpensDatabasesAndViews()
{
    BrowseFixture fx;
    QTreeWidgetItem* root = buildServerTree(fx);
    QTreeWidgetItem* mail = find(root, u"mail"_s);
    QTreeWidgetItem* abc = find(mail, u"abc.nsf"_s);
    QVERIFY(abc);

    fx.listCounted();
    fx.click(abc);
    QCOMPARE(fx.workspace->docCount(), 0);
    QCOMPARE(fx.domino.calls().first(), u"OpenDatabase:mail\\abc.nsf"_s);
    QCOMPARE(fx.workspace->dbPath(), u"mail\\abc.nsf"_s);
    QCOMPARE(abc->childCount(), 2);
    QCOMPARE(abc->child(0)->text(0), u"全部"_s);
    QVERIFY(abc->isExpanded());
    QCOMPARE(fx.list()->viewStyle(), shell::ListView::Style::Icon);
    QCOMPARE(fx.list()->iconItemCount(), 2);
    QCOMPARE(fx.list()->iconItemCaption(1), u"x.NSF"_s);
    QVERIFY(fx.prompts.shown.isEmpty());
    QCOMPARE(fx.workspace->viewName(), u"v"_s); // showing views lists nothing: what was listed stays

    fx.domino.clearCalls();
    fx.click(abc); // views already listed: nothing again
    QVERIFY(fx.domino.calls().isEmpty());
    QCOMPARE(abc->childCount(), 2);

    fx.click(abc->child(0));
    QCOMPARE(fx.domino.calls().first(), u"OpenDatabase:mail\\abc.nsf"_s);
    QCOMPARE(fx.workspace->dbPath(), u"mail\\abc.nsf"_s);
    QCOMPARE(fx.workspace->viewName(), u"全部"_s);
    QVERIFY(fx.workspace->database().isConnected());
    QCOMPARE(fx.list()->viewStyle(), shell::ListView::Style::Report);
    QCOMPARE(fx.list()->rowCount(), 1);
    QCOMPARE(fx.workspace->docCount(), 1);

    // A view whose name ends in ".NSF" is a view like any other.
    fx.domino.clearCalls();
    fx.click(abc->child(1));
    QCOMPARE(fx.domino.calls().first(), u"OpenDatabase:mail\\abc.nsf"_s);
    QVERIFY(fx.prompts.shown.isEmpty());
    QCOMPARE(fx.workspace->viewName(), u"x.NSF"_s);
    QCOMPARE(fx.workspace->docCount(), 1);
    QCOMPARE(fx.list()->rowCount(), 1);

    // Nor does a caption decide: a renamed database node still opens its file.
    abc->setText(0, u"改了名字的节点"_s);
    mail->setText(0, u"别的文件夹"_s);
    fx.domino.clearCalls();
    fx.click(abc->child(0));
    QCOMPARE(fx.domino.calls().first(), u"OpenDatabase:mail\\abc.nsf"_s);
    QCOMPARE(fx.workspace->viewName(), u"全部"_s);
    QVERIFY(fx.prompts.shown.isEmpty());

    fx.domino.clearCalls();
    fx.click(find(root, u"top.nsf"_s));
    QCOMPARE(fx.domino.calls().first(), u"OpenDatabase:top.nsf"_s);
    QCOMPARE(fx.workspace->dbPath(), u"top.nsf"_s);
}

void TestBrowseTree::serverTreeFailures()
{
    BrowseFixture fx;
    QTreeWidgetItem* root = buildServerTree(fx);
    QTreeWidgetItem* top = find(root, u"top.nsf"_s);

    fx.setServerName(u"elsewhere"_s);
    fx.click(top);
    QCOMPARE(fx.prompts.messages(), QStringList{u"访问数据库出错：无法连接服务器：elsewhere"_s});
    QCOMPARE(top->childCount(), 0);
    QVERIFY(fx.prompts.errors().isEmpty());

    // Listing the views fails after the database opened: the error handler reports it.
    fx.prompts.shown.clear();
    fx.setServerName(u"srv"_s);
    fx.domino.failOn(u"Views"_s, u"视图列表不可读"_s);
    fx.click(top);
    QCOMPARE(fx.prompts.errors(), QStringList{u"视图列表不可读."_s});
    QCOMPARE(fx.workspace->dbPath(), u"top.nsf"_s);
    QCOMPARE(top->childCount(), 0);
    fx.domino.clearFailures();

    // Opening the database of a clicked view is not guarded by the command.
    fx.click(top);
    QCOMPARE(top->childCount(), 1);
    fx.prompts.shown.clear();
    fx.domino.failOn(u"OpenDatabase"_s, u"服务器不可达"_s);
    fx.click(top->child(0));
    QCOMPARE(fx.prompts.errors(), QStringList{u"服务器不可达."_s});
    QVERIFY(fx.prompts.messages().isEmpty());
}

void TestBrowseTree::clicksThatDoNothing()
{
    BrowseFixture fx;
    fx.listCounted();
    fx.window->trigger(shell::Command::TreeClick); // empty tree: not even docCount changes
    QCOMPARE(fx.workspace->docCount(), 5);

    QTreeWidgetItem* root = buildServerTree(fx);
    // An empty folder named like a database is a folder: nothing to open.
    for (QTreeWidgetItem* node :
         {find(root, u"abcnsf"_s), find(root, u"empty"_s), root, find(root, u"mail"_s), find(root, u"归档.nsf"_s)}) {
        QVERIFY(node);
        fx.listCounted();
        fx.click(node);
        QCOMPARE(fx.workspace->docCount(), 0);
    }
    fx.listCounted();
    fx.tree()->setCurrentItem(nullptr);
    fx.tree()->clearSelection();
    fx.window->trigger(shell::Command::TreeClick);
    QCOMPARE(fx.workspace->docCount(), 0);
    QVERIFY(fx.domino.calls().isEmpty());
    QVERIFY(fx.prompts.shown.isEmpty());
}

void TestBrowseTree::openFileListsTrimmedViews()
{
    BrowseFixture fx;
    const QString file = fx.dir.filePath(u"crm.nsf"_s);
    touch(file);
    auto& db = fx.domino.addDatabase(file);
    db.addView(u"全部"_s, {{u"标题"_s, u"Subject"_s}});
    db.addView(u" \t按日期\r\n"_s);
    db.addDocument().text(u"Subject"_s, u"一"_s);
    fx.setServerName(u"nowhere"_s);

    fx.prompts.openAnswers.push_back(file);
    fx.window->trigger(shell::Command::OpenFile);
    QCOMPARE(fx.prompts.shown, QStringList{u"open:NSF文件|*.nsf"_s});
    QCOMPARE(fx.workspace->treeMode(), workspace::TreeMode::File);
    QCOMPARE(fx.workspace->dbPath(), file);
    QCOMPARE(fx.tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* root = fx.tree()->topLevelItem(0);
    QCOMPARE(root->text(0), file);
    QCOMPARE(root->childCount(), 2);
    QCOMPARE(root->child(1)->text(0), u"按日期"_s);
    QVERIFY(!root->isExpanded());
    QCOMPARE(fx.domino.calls().mid(0, 2), (QStringList{u"InitLocalSession"_s, u"OpenDatabase:"_s + file}));

    // A view of the file: opened locally by the file name even with a server name set.
    fx.domino.clearCalls();
    fx.click(root->child(0));
    QCOMPARE(fx.domino.calls().first(), u"OpenDatabase:"_s + file);
    QVERIFY(fx.prompts.errors().isEmpty());
    QCOMPARE(fx.workspace->viewName(), u"全部"_s);
    QCOMPARE(fx.list()->rowCount(), 1);
    QCOMPARE(fx.list()->rowCaption(0), db.documents[0]->id);
    QCOMPARE(fx.list()->rowSubItems(0), QStringList{u"一"_s});
}

void TestBrowseTree::openFileRefusals()
{
    {
        BrowseFixture fx(false);
        fx.window->trigger(shell::Command::OpenFile);
        fx.window->trigger(shell::Command::OpenServer);
        QCOMPARE(fx.prompts.shown, (QStringList{u"message:"_s + kNoDomino, u"message:"_s + kNoDomino}));
    }
    BrowseFixture fx;
    const QString file = fx.dir.filePath(u"busy.nsf"_s);
    touch(file);
    fx.domino.addDatabase(file).addView(u"v"_s);
    fx.window->trigger(shell::Command::OpenFile); // cancelled
    QCOMPARE(fx.prompts.shown, QStringList{u"open:NSF文件|*.nsf"_s});
    QVERIFY(fx.domino.calls().isEmpty());

    fx.prompts.shown.clear();
    {
        testing::LockingChild child(file);
        QVERIFY(child.locked());
        fx.prompts.openAnswers.push_back(file);
        fx.window->trigger(shell::Command::OpenFile);
    }
    QCOMPARE(fx.prompts.messages(), QStringList{u"文件"_s + file + u"正在被其它程序锁定，无法打开!"_s});
    QVERIFY(fx.domino.calls().isEmpty());
    QCOMPARE(fx.tree()->topLevelItemCount(), 0);
    QCOMPARE(fx.workspace->treeMode(), workspace::TreeMode::Empty);
}

void TestBrowseTree::openFileFailuresGoToTheErrorHandler()
{
    BrowseFixture fx;
    const QString first = fx.dir.filePath(u"first.nsf"_s);
    touch(first);
    fx.domino.addDatabase(first).addView(u"v"_s);
    fx.prompts.openAnswers.push_back(first);
    fx.window->trigger(shell::Command::OpenFile);

    const QString stranger = fx.dir.filePath(u"stranger.nsf"_s);
    touch(stranger);
    fx.prompts.openAnswers.push_back(stranger);
    fx.window->trigger(shell::Command::OpenFile);
    QCOMPARE(fx.prompts.errors(), QStringList{u"找不到数据库："_s + stranger + u"."_s});
    QCOMPARE(fx.tree()->topLevelItem(0)->text(0), first); // nothing replaced
    QCOMPARE(fx.workspace->dbPath(), first);

    fx.prompts.shown.clear();
    const QString broken = fx.dir.filePath(u"broken.nsf"_s);
    touch(broken);
    fx.domino.addDatabase(broken).addView(u"v"_s);
    fx.domino.failOn(u"Views"_s, u"视图读不出来"_s);
    fx.prompts.openAnswers.push_back(broken);
    fx.window->trigger(shell::Command::OpenFile);
    QCOMPARE(fx.prompts.errors(), QStringList{u"视图读不出来."_s});
    QCOMPARE(fx.tree()->topLevelItemCount(), 1);
    QCOMPARE(fx.tree()->topLevelItem(0)->text(0), broken);
    QCOMPARE(fx.tree()->topLevelItem(0)->childCount(), 0);
    QCOMPARE(fx.workspace->treeMode(), workspace::TreeMode::File);
    QCOMPARE(fx.workspace->dbPath(), broken);
}

QTEST_MAIN(TestBrowseTree)
#include "tst_browse_tree.moc"
