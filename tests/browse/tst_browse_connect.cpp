// The connection dialog and the connect command, through every way it can end.
#include "browse/connectiondialog.h"
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
        auto* d = qobject_cast<browse::ConnectionDialog*>(dialog);
        QVERIFY(d);
        if (offered)
            *offered = {d->serverEdit()->text(), d->userEdit()->text(), d->passwordEdit()->text()};
        d->serverEdit()->setText(server);
        d->userEdit()->setText(user);
        d->passwordEdit()->setText(password);
        QTest::mouseClick(confirm ? d->okButton() : d->cancelButton(), Qt::LeftButton);
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
        if (qobject_cast<browse::ConnectionDialog*>(w))
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
    void serverThatDoesNotAnswerChangesNothing();
    void cancelChangesNothing();
    void unwritableSettingsFile();
    void dataDirectoryMissing();
};

void TestBrowseConnect::dialogLayoutAndKeys()
{
    const workspace::Credentials offered{u"srv"_s, u"张三"_s, u"secret"_s};
    testing::ScriptedPrompts prompts;
    // Centred on the screen, not over a main window that stands in a corner.
    QWidget corner;
    corner.setGeometry(0, 0, 300, 200);
    browse::ConnectionDialog dialog(offered, prompts, &corner);
    QVERIFY((dialog.geometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center())
                .manhattanLength() <= 2);
    QCOMPARE(dialog.windowTitle(), u"连接服务器"_s);
    auto* options = dialog.findChild<QGroupBox*>();
    QVERIFY(options);
    QCOMPARE(options->title(), u"选项"_s);
    QCOMPARE(options->geometry(), QRect(16, 16, 217, 121));
    QStringList labels;
    for (const QLabel* label : options->findChildren<QLabel*>())
        labels << label->text() + u'@' + QString::number(label->x()) + u',' + QString::number(label->y());
    QCOMPARE(labels, (QStringList{u"服务器名：@16,32"_s, u"登录名：@16,64"_s, u"用户密码：@16,88"_s}));
    QCOMPARE(dialog.serverEdit()->parentWidget(), options);
    QCOMPARE(dialog.serverEdit()->geometry(), QRect(80, 24, 113, 21));
    QCOMPARE(dialog.userEdit()->geometry(), QRect(80, 56, 113, 21));
    QCOMPARE(dialog.passwordEdit()->geometry(), QRect(80, 88, 113, 21));
    QCOMPARE(dialog.okButton()->geometry(), QRect(32, 152, 81, 28));
    QCOMPARE(dialog.cancelButton()->geometry(), QRect(120, 152, 81, 27));
    QCOMPARE(dialog.serverEdit()->nextInFocusChain(), dialog.userEdit());
    QCOMPARE(dialog.userEdit()->nextInFocusChain(), dialog.passwordEdit());
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.okButton()->text(), u"确  定"_s);
    QCOMPARE(dialog.cancelButton()->text(), u"取  消"_s);
    QCOMPARE(dialog.passwordEdit()->echoMode(), QLineEdit::Normal);
    QVERIFY(dialog.okButton()->isDefault());
    QVERIFY(!dialog.cancelButton()->isDefault());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.serverEdit()->text(), u"srv"_s);
    QCOMPARE(dialog.passwordEdit()->text(), u"secret"_s);
    QVERIFY(!dialog.answer());

    // Escape cancels; Enter confirms, from any box, refusing as the button does.
    dialog.userEdit()->setFocus();
    QTest::keyClick(dialog.userEdit(), Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.answer());
    for (QLineEdit* edit : {dialog.serverEdit(), dialog.passwordEdit()}) {
        dialog.show();
        dialog.userEdit()->setText(u" "_s);
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        dialog.userEdit()->setText(u"李四"_s);
        QTest::keyClick(edit, Qt::Key_Enter);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.answer());
        QCOMPARE(dialog.answer()->userName, u"李四"_s);
    }
    QCOMPARE(prompts.messages(), (QStringList{u"登录用名不能为空"_s, u"登录用名不能为空"_s}));
}

void TestBrowseConnect::refusalsAndTrimming()
{
    testing::ScriptedPrompts prompts;
    browse::ConnectionDialog dialog({u"old"_s, {}, {}}, prompts);
    dialog.show();

    const auto confirm = [&](const QString& s, const QString& u, const QString& p) {
        dialog.serverEdit()->setText(s);
        dialog.userEdit()->setText(u);
        dialog.passwordEdit()->setText(p);
        dialog.confirm();
    };
    confirm(u" \t "_s, u"  "_s, u"x"_s);
    confirm(u"srv"_s, u" \x01 "_s, u"x"_s);
    QCOMPARE(prompts.messages(), (QStringList{u"服务器名不能为空"_s, u"登录用名不能为空"_s}));
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.answer());                        // nothing written anywhere
    QCOMPARE(dialog.userEdit()->text(), u" \x01 "_s); // what was typed stays

    confirm(u"  srv 1\t"_s, u"\n张 三 "_s, u"  pass word \r"_s);
    QVERIFY(dialog.answer());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.answer()->serverName, u"srv 1"_s);
    QCOMPARE(dialog.answer()->userName, u"张 三"_s);
    QCOMPARE(dialog.answer()->password, u"pass word"_s);

    dialog.show(); // each showing starts without an answer, offering what was confirmed
    QVERIFY(!dialog.answer());
    QCOMPARE(dialog.serverEdit()->text(), u"srv 1"_s);
    dialog.cancel();
    QVERIFY(!dialog.answer());
    QVERIFY(!dialog.isVisible());
}

void TestBrowseConnect::connectBuildsTheServerTree()
{
    BrowseFixture fx;
    fx.domino.addUser(u"张三"_s, u"pw"_s);
    fx.domino.addServer(u"srv"_s);
    QDir(fx.dataPath()).mkpath(u"mail"_s);
    QFile(fx.dataPath() + u"/mail/abc.nsf"_s).open(QIODevice::WriteOnly);
    QFile(fx.dataPath() + u"/names.nsf"_s).open(QIODevice::WriteOnly);
    const int sessionsBefore = fx.domino.sessionsCreated();

    answerDialog(u" srv "_s, u"张三"_s, u" pw "_s, true);
    fx.window->trigger(shell::Command::OpenServer);
    QVERIFY(fx.prompts.shown.isEmpty());
    QCOMPARE(fx.workspace->treeMode(), workspace::TreeMode::Server);
    QCOMPARE(fx.workspace->credentials().serverName, u"srv"_s);
    QCOMPARE(fx.workspace->dataPath(), fx.dataPath());
    QCOMPARE(fx.tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* root = fx.tree()->topLevelItem(0);
    QCOMPARE(root->text(0), u"srv("_s + fx.dataPath() + u')');
    QCOMPARE(root->childCount(), 2);
    QVERIFY(!root->isExpanded());
    QCOMPARE(fx.domino.calls(), (QStringList{u"InitUserSession:张三"_s, u"pingServer:srv"_s}));
    QCOMPARE(fx.domino.sessionsCreated(), sessionsBefore + 1);
    QVERIFY(!fx.progress.window());
    QCOMPARE(connectionDialogs(), 0);
    const QByteArray ini = contents(fx.workspace->settingsFilePath());
    QVERIFY(ini.contains("server=srv"));
    QVERIFY(ini.contains("pwd=pw"));

    // A second connection replaces the tree rather than adding a root.
    answerDialog(u"srv"_s, u"张三"_s, u"pw"_s, true);
    fx.window->trigger(shell::Command::OpenServer);
    QCOMPARE(fx.tree()->topLevelItemCount(), 1);
    QCOMPARE(fx.domino.sessionsCreated(), sessionsBefore + 2);
}

void TestBrowseConnect::failedLoginKeepsSettings()
{
    BrowseFixture fx;
    fx.domino.addUser(u"张三"_s, u"pw"_s);
    fx.domino.addServer(u"srv"_s);
    answerDialog(u"srv"_s, u"张三"_s, u"pw"_s, true);
    fx.window->trigger(shell::Command::OpenServer);
    const QByteArray before = contents(fx.workspace->settingsFilePath());
    QVERIFY(!before.isEmpty());
    fx.listCounted();
    QVERIFY(!fx.window->statusPanelText(1).isEmpty());

    answerDialog(u"srv2"_s, u"张三"_s, u"wrong"_s, true);
    fx.window->trigger(shell::Command::OpenServer);
    QCOMPARE(fx.prompts.shown, QStringList{u"message:连接服务器失败!"_s});
    QCOMPARE(fx.tree()->topLevelItemCount(), 0);
    // Nothing is listed with the tree gone, so nothing says otherwise.
    QCOMPARE(fx.list()->rowCount(), 0);
    QCOMPARE(fx.window->statusPanelText(1), QString());
    QCOMPARE(fx.workspace->docCount(), 0);
    QCOMPARE(fx.workspace->treeMode(), workspace::TreeMode::Server);
    QCOMPARE(fx.workspace->credentials().serverName, u"srv2"_s);
    QCOMPARE(fx.workspace->credentials().password, u"wrong"_s);
    QCOMPARE(contents(fx.workspace->settingsFilePath()), before);
    QVERIFY(!fx.progress.window());

    // The dialog offers what was typed last, not the settings file.
    QStringList offered;
    answerDialog(u"x"_s, u"y"_s, u"z"_s, false, &offered);
    fx.window->trigger(shell::Command::OpenServer);
    QCOMPARE(offered, (QStringList{u"srv2"_s, u"张三"_s, u"wrong"_s}));
}

void TestBrowseConnect::serverThatDoesNotAnswerChangesNothing()
{
    BrowseFixture fx;
    fx.domino.addUser(u"张三"_s, u"pw"_s);
    fx.domino.addUser(u"李四"_s, u"pw4"_s);
    fx.domino.addServer(u"srv"_s);
    QFile(fx.dataPath() + u"/abc.nsf"_s).open(QIODevice::WriteOnly);
    answerDialog(u"srv"_s, u"张三"_s, u"pw"_s, true);
    fx.window->trigger(shell::Command::OpenServer);
    fx.listCounted();
    const QString status = fx.window->statusPanelText(1);
    const QByteArray settings = contents(fx.workspace->settingsFilePath());
    const int sessions = fx.domino.sessionsCreated();
    fx.domino.clearCalls();

    answerDialog(u" nosuch "_s, u"李四"_s, u"pw4"_s, true);
    fx.window->trigger(shell::Command::OpenServer);
    QCOMPARE(fx.prompts.shown, QStringList{u"message:无法连接服务器：nosuch"_s});
    QCOMPARE(fx.domino.calls(), (QStringList{u"InitUserSession:李四"_s, u"pingServer:nosuch"_s}));
    QVERIFY(!fx.progress.window());
    QCOMPARE(contents(fx.workspace->settingsFilePath()), settings);
    QCOMPARE(fx.tree()->topLevelItemCount(), 1);
    QCOMPARE(fx.tree()->topLevelItem(0)->text(0), u"srv("_s + fx.dataPath() + u')');
    QCOMPARE(fx.tree()->topLevelItem(0)->childCount(), 1);
    QCOMPARE(fx.workspace->credentials().serverName, u"srv"_s);
    QCOMPARE(fx.workspace->credentials().userName, u"张三"_s);
    QCOMPARE(fx.workspace->treeMode(), workspace::TreeMode::Server);
    QCOMPARE(fx.list()->rowCount(), 5);
    QCOMPARE(fx.window->statusPanelText(1), status);
    QCOMPARE(fx.workspace->docCount(), 5);

    // The session there was goes on: the tree's database opens on its server as 张三.
    fx.domino.addDatabase(u"abc.nsf"_s).addView(u"v"_s);
    QCOMPARE(fx.domino.sessionsCreated(), sessions + 1); // the new one, let go
    fx.click(fx.tree()->topLevelItem(0)->child(0));
    QCOMPARE(fx.list()->iconItemCount(), 1);
    QCOMPARE(fx.domino.sessionsCreated(), sessions + 1);

    // The dialog offers what was typed, to mend it.
    QStringList offered;
    answerDialog(u"x"_s, u"y"_s, u"z"_s, false, &offered);
    fx.window->trigger(shell::Command::OpenServer);
    QCOMPARE(offered, (QStringList{u"nosuch"_s, u"李四"_s, u"pw4"_s}));
}

void TestBrowseConnect::cancelChangesNothing()
{
    BrowseFixture fx;
    const QString file = fx.dir.filePath(u"crm.nsf"_s);
    QFile(file).open(QIODevice::WriteOnly);
    fx.domino.addDatabase(file).addView(u"全部"_s);
    fx.prompts.openAnswers.push_back(file);
    fx.window->trigger(shell::Command::OpenFile);
    const QString server = fx.workspace->credentials().serverName;
    fx.domino.clearCalls();

    answerDialog(u"other"_s, u"someone"_s, u"pw"_s, false);
    fx.window->trigger(shell::Command::OpenServer);
    QCOMPARE(fx.workspace->treeMode(), workspace::TreeMode::File);
    QCOMPARE(fx.workspace->credentials().serverName, server);
    QVERIFY(fx.workspace->credentials().userName.isEmpty());
    QCOMPARE(fx.tree()->topLevelItem(0)->text(0), file);
    QVERIFY(fx.domino.calls().isEmpty());
    QVERIFY(fx.prompts.shown.mid(1).isEmpty());
    QVERIFY(!QFile::exists(fx.workspace->settingsFilePath()));
}

void TestBrowseConnect::unwritableSettingsFile()
{
    QTemporaryDir tmp;
    const QString blocker = tmp.filePath(u"plainfile"_s);
    QFile(blocker).open(QIODevice::WriteOnly);
    BrowseFixture fx(true, blocker + u"/app/"_s); // a folder below a regular file
    fx.domino.addUser(u"张三"_s, u"pw"_s);
    fx.domino.addServer(u"srv"_s);
    answerDialog(u"srv"_s, u"张三"_s, u"pw"_s, true);
    fx.window->trigger(shell::Command::OpenServer);
    QCOMPARE(fx.prompts.errors().size(), 1);
    QVERIFY2(fx.prompts.errors().front().startsWith(u"Unable to write to "_s), qPrintable(fx.prompts.errors().front()));
    QVERIFY(!fx.progress.window());
    QCOMPARE(connectionDialogs(), 0);
    QCOMPARE(fx.tree()->topLevelItemCount(), 0);
    QVERIFY(fx.workspace->dataPath().isEmpty());
}

void TestBrowseConnect::dataDirectoryMissing()
{
    BrowseFixture fx;
    fx.domino.addUser(u"u"_s, u""_s);
    fx.domino.addServer(u"srv"_s);
    QDir(fx.dataPath()).removeRecursively();
    answerDialog(u"srv"_s, u"u"_s, u""_s, true);
    fx.window->trigger(shell::Command::OpenServer);
    QCOMPARE(fx.tree()->topLevelItemCount(), 1);
    QVERIFY(fx.tree()->topLevelItem(0)->text(0).endsWith(u"(找不到该目录))"_s));
    QCOMPARE(fx.tree()->topLevelItem(0)->childCount(), 0);
}

QTEST_MAIN(TestBrowseConnect)
#include "tst_browse_connect.moc"
