// The connection dialog and the connect command, through every way it can end.
#include "browse/selserver.h"
#include "browsefixture.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

using namespace Qt::StringLiterals;
using namespace quill;
using testing::BrowseFixture;

namespace {

// Answers the next connection dialog with the texts given and the button named.
void answerDialog(const QString& server, const QString& user, const QString& password, bool confirm,
                  QStringList* offered = nullptr)
{
    testing::whenModal([=](QDialog* dialog) {
        auto* d = qobject_cast<browse::Tfrmselserver*>(dialog);
        QVERIFY(d);
        if (offered)
            *offered = {d->Edit1()->text(), d->Edit2()->text(), d->Edit3()->text()};
        d->Edit1()->setText(server);
        d->Edit2()->setText(user);
        d->Edit3()->setText(password);
        QTest::mouseClick(confirm ? d->Button1() : d->Button2(), Qt::LeftButton);
    });
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int connectionDialogs()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<browse::Tfrmselserver*>(w))
            ++n;
    return n;
}

} // namespace

class TestBrowseConnect : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void dialogLayoutAndKeys();
    void refusalsAndTrimming();
    void connectBuildsTheServerTree();
    void failedLoginKeepsSettings();
    void cancelChangesNothing();
    void unwritableSettingsFile();
    void dataDirectoryMissing();
};

void TestBrowseConnect::dialogLayoutAndKeys()
{
    shell::MainState state;
    state.serverName = u"srv"_s;
    state.userName = u"张三"_s;
    state.password = u"secret"_s;
    testing::ScriptedPrompts prompts;
    // Centred on the screen, not over a main window that stands in a corner.
    QWidget corner;
    corner.setGeometry(0, 0, 300, 200);
    browse::Tfrmselserver dialog(state, prompts, &corner);
    QVERIFY((dialog.geometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center())
                .manhattanLength() <= 2);
    QCOMPARE(dialog.windowTitle(), u"连接服务器"_s);
    auto* gr1 = dialog.findChild<QGroupBox*>();
    QVERIFY(gr1);
    QCOMPARE(gr1->title(), u"选项"_s);
    QCOMPARE(gr1->geometry(), QRect(16, 16, 217, 121));
    QStringList labels;
    for (const QLabel* label : gr1->findChildren<QLabel*>())
        labels << label->text() + u'@' + QString::number(label->x()) + u',' + QString::number(label->y());
    QCOMPARE(labels, (QStringList{u"服务器名：@16,32"_s, u"登录名：@16,64"_s, u"用户密码：@16,88"_s}));
    QCOMPARE(dialog.Edit1()->parentWidget(), gr1);
    QCOMPARE(dialog.Edit1()->geometry(), QRect(80, 24, 113, 21));
    QCOMPARE(dialog.Edit2()->geometry(), QRect(80, 56, 113, 21));
    QCOMPARE(dialog.Edit3()->geometry(), QRect(80, 88, 113, 21));
    QCOMPARE(dialog.Button1()->geometry(), QRect(32, 152, 81, 28));
    QCOMPARE(dialog.Button2()->geometry(), QRect(120, 152, 81, 27));
    QCOMPARE(dialog.Edit1()->nextInFocusChain(), dialog.Edit2());
    QCOMPARE(dialog.Edit2()->nextInFocusChain(), dialog.Edit3());
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.Button1()->text(), u"确  定"_s);
    QCOMPARE(dialog.Button2()->text(), u"取  消"_s);
    QCOMPARE(dialog.Edit3()->echoMode(), QLineEdit::Normal);
    for (QPushButton* b : {dialog.Button1(), dialog.Button2()}) {
        QVERIFY(!b->isDefault());
        QVERIFY(!b->autoDefault());
    }
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.Edit1()->text(), u"srv"_s);
    QCOMPARE(dialog.Edit3()->text(), u"secret"_s);
    QVERIFY(dialog.cancelled);
    testing::saveScreenshot(&dialog, u"connect.png"_s);

    // Neither Escape nor Enter ends the dialog.
    dialog.Edit2()->setFocus();
    QTest::keyClick(dialog.Edit2(), Qt::Key_Escape);
    QTest::keyClick(dialog.Edit2(), Qt::Key_Return);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
    QVERIFY(prompts.shown.isEmpty());
    QCOMPARE(state.userName, u"张三"_s);
}

void TestBrowseConnect::refusalsAndTrimming()
{
    shell::MainState state;
    state.serverName = u"old"_s;
    testing::ScriptedPrompts prompts;
    browse::Tfrmselserver dialog(state, prompts);
    dialog.show();

    const auto confirm = [&](const QString& s, const QString& u, const QString& p) {
        dialog.Edit1()->setText(s);
        dialog.Edit2()->setText(u);
        dialog.Edit3()->setText(p);
        dialog.Button1Click();
    };
    confirm(u" \t "_s, u"  "_s, u"x"_s);
    confirm(u"srv"_s, u" \x01 "_s, u"x"_s);
    QCOMPARE(prompts.messages(), (QStringList{u"服务器名不能为空"_s, u"登录用名不能为空"_s}));
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.cancelled);
    QCOMPARE(state.serverName, u"old"_s);
    QCOMPARE(dialog.Edit2()->text(), u" \x01 "_s); // what was typed stays

    confirm(u"  srv 1\t"_s, u"\n张 三 "_s, u"  pass word \r"_s);
    QVERIFY(!dialog.cancelled);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(state.serverName, u"srv 1"_s);
    QCOMPARE(state.userName, u"张 三"_s);
    QCOMPARE(state.password, u"pass word"_s);

    dialog.show(); // each showing starts cancelled
    QVERIFY(dialog.cancelled);
    QCOMPARE(dialog.Edit1()->text(), u"srv 1"_s);
    dialog.Button2Click();
    QVERIFY(dialog.cancelled);
    QVERIFY(!dialog.isVisible());
}

void TestBrowseConnect::connectBuildsTheServerTree()
{
    BrowseFixture fx;
    fx.domino.addUser(u"张三"_s, u"pw"_s);
    QDir(fx.dataPath()).mkpath(u"mail"_s);
    QFile(fx.dataPath() + u"/mail/abc.nsf"_s).open(QIODevice::WriteOnly);
    QFile(fx.dataPath() + u"/names.nsf"_s).open(QIODevice::WriteOnly);
    const int sessionsBefore = fx.domino.sessionsCreated();

    answerDialog(u" srv "_s, u"张三"_s, u" pw "_s, true);
    fx.frm->openserverExecute();
    QVERIFY(fx.prompts.shown.isEmpty());
    QCOMPARE(fx.state().treeMode, 1);
    QCOMPARE(fx.state().serverName, u"srv"_s);
    QCOMPARE(fx.state().dataPath, fx.dataPath());
    QCOMPARE(fx.tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* root = fx.tree()->topLevelItem(0);
    QCOMPARE(root->text(0), u"srv("_s + fx.dataPath() + u')');
    QCOMPARE(root->childCount(), 2);
    QVERIFY(!root->isExpanded());
    QCOMPARE(fx.domino.calls(), QStringList{u"InitUserSession:张三"_s});
    QCOMPARE(fx.domino.sessionsCreated(), sessionsBefore + 1);
    QVERIFY(!fx.progress.window());
    QCOMPARE(connectionDialogs(), 0);
    const QByteArray ini = contents(fx.frm->settingsFilePath());
    QVERIFY(ini.contains("server=srv"));
    QVERIFY(ini.contains("pwd=pw"));

    // A second connection replaces the tree rather than adding a root.
    answerDialog(u"srv"_s, u"张三"_s, u"pw"_s, true);
    fx.frm->openserverExecute();
    QCOMPARE(fx.tree()->topLevelItemCount(), 1);
    QCOMPARE(fx.domino.sessionsCreated(), sessionsBefore + 2);
}

void TestBrowseConnect::failedLoginKeepsSettings()
{
    BrowseFixture fx;
    fx.domino.addUser(u"张三"_s, u"pw"_s);
    answerDialog(u"srv"_s, u"张三"_s, u"pw"_s, true);
    fx.frm->openserverExecute();
    const QByteArray before = contents(fx.frm->settingsFilePath());
    QVERIFY(!before.isEmpty());

    answerDialog(u"srv2"_s, u"张三"_s, u"wrong"_s, true);
    fx.frm->openserverExecute();
    QCOMPARE(fx.prompts.shown, QStringList{u"message:连接服务器失败!"_s});
    QCOMPARE(fx.tree()->topLevelItemCount(), 0);
    QCOMPARE(fx.state().treeMode, 1);
    QCOMPARE(fx.state().serverName, u"srv2"_s);
    QCOMPARE(fx.state().password, u"wrong"_s);
    QCOMPARE(contents(fx.frm->settingsFilePath()), before);
    QVERIFY(!fx.progress.window());

    // The dialog offers what was typed last, not the settings file.
    QStringList offered;
    answerDialog(u"x"_s, u"y"_s, u"z"_s, false, &offered);
    fx.frm->openserverExecute();
    QCOMPARE(offered, (QStringList{u"srv2"_s, u"张三"_s, u"wrong"_s}));
}

void TestBrowseConnect::cancelChangesNothing()
{
    BrowseFixture fx;
    const QString file = fx.dir.filePath(u"crm.nsf"_s);
    QFile(file).open(QIODevice::WriteOnly);
    fx.domino.addDatabase(file).addView(u"全部"_s);
    fx.prompts.openAnswers.push_back(file);
    fx.frm->openfileExecute();
    const QString server = fx.state().serverName;
    fx.domino.clearCalls();

    answerDialog(u"other"_s, u"someone"_s, u"pw"_s, false);
    fx.frm->openserverExecute();
    QCOMPARE(fx.state().treeMode, 2);
    QCOMPARE(fx.state().serverName, server);
    QVERIFY(fx.state().userName.isEmpty());
    QCOMPARE(fx.tree()->topLevelItem(0)->text(0), file);
    QVERIFY(fx.domino.calls().isEmpty());
    QVERIFY(fx.prompts.shown.mid(1).isEmpty());
    QVERIFY(!QFile::exists(fx.frm->settingsFilePath()));
}

void TestBrowseConnect::unwritableSettingsFile()
{
    QTemporaryDir tmp;
    const QString blocker = tmp.filePath(u"plainfile"_s);
    QFile(blocker).open(QIODevice::WriteOnly);
    BrowseFixture fx(true, blocker + u"/app/"_s); // a folder below a regular file
    fx.domino.addUser(u"张三"_s, u"pw"_s);
    answerDialog(u"srv"_s, u"张三"_s, u"pw"_s, true);
    fx.frm->openserverExecute();
    QCOMPARE(fx.prompts.errors().size(), 1);
    QVERIFY2(fx.prompts.errors().front().startsWith(u"Unable to write to "_s), qPrintable(fx.prompts.errors().front()));
    QVERIFY(!fx.progress.window());
    QCOMPARE(connectionDialogs(), 0);
    QCOMPARE(fx.tree()->topLevelItemCount(), 0);
    QVERIFY(fx.state().dataPath.isEmpty());
}

void TestBrowseConnect::dataDirectoryMissing()
{
    BrowseFixture fx;
    fx.domino.addUser(u"u"_s, u""_s);
    QDir(fx.dataPath()).removeRecursively();
    answerDialog(u"srv"_s, u"u"_s, u""_s, true);
    fx.frm->openserverExecute();
    QCOMPARE(fx.tree()->topLevelItemCount(), 1);
    QVERIFY(fx.tree()->topLevelItem(0)->text(0).endsWith(u"(找不到该目录))"_s));
    QCOMPARE(fx.tree()->topLevelItem(0)->childCount(), 0);
}

QTEST_MAIN(TestBrowseConnect)
#include "tst_browse_connect.moc"
