#include "platform/error.h"
#include "platform/hostname.h"
#include "scriptedprompts.h"
#include "shell/mainwindow.h"
#include "workspace/settings.h"
#include "workspace/workspace.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill;

class TestShellSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void firstRunDefaults();
    void emptyServerFallsBackToHostName();
    void passwordRoundTripInGb18030();
    void writeKeepsEverythingElse();
    void ownerOnly();
    void failedWriteChangesNothing_data();
    void failedWriteChangesNothing();

private:
    // The workspace of a program whose folder is the one given, as the main window's start-up leaves it.
    std::unique_ptr<workspace::Workspace> workspaceIn(const QString& folder);
    static void readSettings(workspace::Workspace& ws);
    static void writeSettings(const workspace::Workspace& ws);
    static void set(workspace::Workspace& ws, QString workspace::Credentials::*field, const QString& value);
    static QByteArray read(const QString& path);
    static void write(const QString& path, const QByteArray& bytes);

    std::unique_ptr<QTemporaryDir> m_dir;
    testing::ScriptedPrompts m_prompts;
};

void TestShellSettings::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestShellSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_prompts = {};
}

std::unique_ptr<workspace::Workspace> TestShellSettings::workspaceIn(const QString& folder)
{
    return std::make_unique<workspace::Workspace>(domino::SessionFactory(), folder);
}

void TestShellSettings::readSettings(workspace::Workspace& ws)
{
    ws.setCredentials(workspace::ReadSettings(ws.settingsFilePath()));
}

void TestShellSettings::writeSettings(const workspace::Workspace& ws)
{
    workspace::WriteSettings(ws.settingsFilePath(), ws.credentials());
}

void TestShellSettings::set(workspace::Workspace& ws, QString workspace::Credentials::*field, const QString& value)
{
    workspace::Credentials credentials = ws.credentials();
    credentials.*field = value;
    ws.setCredentials(credentials);
}

QByteArray TestShellSettings::read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestShellSettings::write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void TestShellSettings::firstRunDefaults()
{
    auto w = workspaceIn(m_dir->path() + u'/');
    readSettings(*w);
    QCOMPARE(w->credentials().serverName, platform::LocalHostName());
    QVERIFY(w->credentials().userName.isEmpty());
    QVERIFY(w->credentials().password.isEmpty());
    QVERIFY(!QFile::exists(w->settingsFilePath()));
}

void TestShellSettings::emptyServerFallsBackToHostName()
{
    const QString host = platform::LocalHostName();
    QVERIFY(!host.isEmpty());
    for (QChar c : host)
        QVERIFY2(!(c >= u'a' && c <= u'z'), qPrintable(host));

    for (const QByteArray& content :
         {"[domino]\r\nserver=\r\nusername=admin\r\n"_ba, "[domino]\r\nusername=admin\r\n"_ba,
          "[other]\r\nserver=elsewhere\r\n[domino]\r\nusername=admin\r\n"_ba}) {
        const QString path = m_dir->filePath(u"system.ini"_s);
        write(path, content);
        auto w = workspaceIn(m_dir->path());
        readSettings(*w);
        QCOMPARE(w->credentials().serverName, host);
        QCOMPARE(w->credentials().userName, u"admin"_s);
        QCOMPARE(read(path), content);
    }
}

void TestShellSettings::passwordRoundTripInGb18030()
{
    auto w = workspaceIn(m_dir->path());
    set(*w, &workspace::Credentials::serverName, u"服务器01/Acme"_s);
    set(*w, &workspace::Credentials::userName, u"张三"_s);
    // A character outside GBK as well: GB18030 keeps it in four bytes.
    set(*w, &workspace::Credentials::password, u"密码€𠀀 x"_s);
    writeSettings(*w);

    const QByteArray bytes = read(w->settingsFilePath());
    QVERIFY2(bytes.contains("pwd=\xC3\xDC\xC2\xEB\xA2\xE3\x95\x32\x82\x36 x"), bytes.toHex().constData());
    QVERIFY(bytes.contains("username=\xD5\xC5\xC8\xFD"));
    QVERIFY(bytes.startsWith("[domino]"));

    auto again = workspaceIn(m_dir->path());
    readSettings(*again);
    QCOMPARE(again->credentials().serverName, u"服务器01/Acme"_s);
    QCOMPARE(again->credentials().userName, u"张三"_s);
    QCOMPARE(again->credentials().password, u"密码€𠀀 x"_s);

    // Spaces at either end survive too.
    set(*again, &workspace::Credentials::password, u"  padded  "_s);
    writeSettings(*again);
    auto third = workspaceIn(m_dir->path());
    readSettings(*third);
    QCOMPARE(third->credentials().password, u"  padded  "_s);
}

void TestShellSettings::writeKeepsEverythingElse()
{
    const QString path = m_dir->filePath(u"system.ini"_s);
    const QByteArray before = "; settings of the program\r\n"
                              "[window]\r\n"
                              "left=10\r\n"
                              "server=not this one\r\n"
                              "\r\n"
                              "[Domino]\r\n"
                              "PWD = old\r\n"
                              "; kept comment\r\n"
                              "theme=\xC0\xB6\r\n"
                              "\r\n"
                              "[tail]\r\n"
                              "x=1"_ba;
    write(path, before);
    auto w = workspaceIn(m_dir->path());
    readSettings(*w);
    QCOMPARE(w->credentials().password, u"old"_s);
    set(*w, &workspace::Credentials::serverName, u"srv"_s);
    set(*w, &workspace::Credentials::userName, u"u"_s);
    set(*w, &workspace::Credentials::password, u"新"_s);
    writeSettings(*w);
    const QByteArray expected = "; settings of the program\r\n"
                                "[window]\r\n"
                                "left=10\r\n"
                                "server=not this one\r\n"
                                "\r\n"
                                "[Domino]\r\n"
                                "PWD = \xD0\xC2\r\n"
                                "; kept comment\r\n"
                                "theme=\xC0\xB6\r\n"
                                "server=srv\r\n"
                                "username=u\r\n"
                                "\r\n"
                                "[tail]\r\n"
                                "x=1"_ba;
    QCOMPARE(read(path), expected);
}

void TestShellSettings::ownerOnly()
{
    const QString path = m_dir->filePath(u"system.ini"_s);
    write(path, "[domino]\nserver=a\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                    QFileDevice::ReadOther);
    auto w = workspaceIn(m_dir->path());
    readSettings(*w);
    set(*w, &workspace::Credentials::password, u"secret"_s);
    writeSettings(*w);
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QCOMPARE(read(path), "[domino]\nserver=a\nusername=\npwd=secret\n"_ba);
    // Nothing left behind beside it.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"system.ini"_s});
}

void TestShellSettings::failedWriteChangesNothing_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("missing folder") << u"/nonexistent-dir/x/"_s;
    QTest::newRow("below a regular file") << u"@blocker/"_s;
}

void TestShellSettings::failedWriteChangesNothing()
{
    QFETCH(QString, folder);
    const QString blocker = m_dir->filePath(u"blocker"_s);
    write(blocker, "a regular file\n");
    folder.replace(u"@"_s, m_dir->path() + u'/');

    auto w = workspaceIn(folder);
    readSettings(*w);
    set(*w, &workspace::Credentials::password, u"p"_s);
    try {
        writeSettings(*w);
        QFAIL("the write did not fail");
    } catch (const platform::Error& error) {
        QCOMPARE(error.message(), u"Unable to write to "_s + folder + u"system.ini"_s);
    }
    QCOMPARE(read(blocker), "a regular file\n"_ba);
    // Through the general error handler, as the connect command meets it.
    shell::Environment env;
    env.prompts = &m_prompts;
    shell::MainWindow window(*w, env);
    QVERIFY(!window.runCommand([&] { writeSettings(*w); }));
    QCOMPARE(m_prompts.errors(), QStringList{u"Unable to write to "_s + folder + u"system.ini."_s});

    // A value that would break the file's lines is refused and the file stays.
    const QString path = m_dir->filePath(u"system.ini"_s);
    write(path, "[domino]\nserver=a\n");
    auto ok = workspaceIn(m_dir->path());
    set(*ok, &workspace::Credentials::password, u"two\nlines"_s);
    QVERIFY_THROWS_EXCEPTION(platform::Error, writeSettings(*ok));
    QCOMPARE(read(path), "[domino]\nserver=a\n"_ba);
}

QTEST_MAIN(TestShellSettings)
#include "tst_shell_settings.moc"
