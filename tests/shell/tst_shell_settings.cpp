#include "platform/error.h"
#include "platform/hostname.h"
#include "scriptedprompts.h"
#include "shell/mainwindow.h"

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
    std::unique_ptr<shell::TfrmMain> window(const QString& folder);
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

std::unique_ptr<shell::TfrmMain> TestShellSettings::window(const QString& folder)
{
    shell::Environment env;
    env.prompts = &m_prompts;
    env.appPath = folder;
    return std::make_unique<shell::TfrmMain>(std::move(env));
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
    auto w = window(m_dir->path() + u'/');
    w->ReadSettings();
    QCOMPARE(w->state().serverName, platform::LocalHostName());
    QVERIFY(w->state().userName.isEmpty());
    QVERIFY(w->state().password.isEmpty());
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
        auto w = window(m_dir->path());
        w->ReadSettings();
        QCOMPARE(w->state().serverName, host);
        QCOMPARE(w->state().userName, u"admin"_s);
        QCOMPARE(read(path), content);
    }
}

void TestShellSettings::passwordRoundTripInGb18030()
{
    auto w = window(m_dir->path());
    w->state().serverName = u"服务器01/Acme"_s;
    w->state().userName = u"张三"_s;
    // A character outside GBK as well: GB18030 keeps it in four bytes.
    w->state().password = u"密码€𠀀 x"_s;
    w->WriteSettings();

    const QByteArray bytes = read(w->settingsFilePath());
    QVERIFY2(bytes.contains("pwd=\xC3\xDC\xC2\xEB\xA2\xE3\x95\x32\x82\x36 x"), bytes.toHex().constData());
    QVERIFY(bytes.contains("username=\xD5\xC5\xC8\xFD"));
    QVERIFY(bytes.startsWith("[domino]"));

    auto again = window(m_dir->path());
    again->ReadSettings();
    QCOMPARE(again->state().serverName, u"服务器01/Acme"_s);
    QCOMPARE(again->state().userName, u"张三"_s);
    QCOMPARE(again->state().password, u"密码€𠀀 x"_s);

    // Spaces at either end survive too.
    again->state().password = u"  padded  "_s;
    again->WriteSettings();
    auto third = window(m_dir->path());
    third->ReadSettings();
    QCOMPARE(third->state().password, u"  padded  "_s);
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
    auto w = window(m_dir->path());
    w->ReadSettings();
    QCOMPARE(w->state().password, u"old"_s);
    w->state().serverName = u"srv"_s;
    w->state().userName = u"u"_s;
    w->state().password = u"新"_s;
    w->WriteSettings();
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
    auto w = window(m_dir->path());
    w->ReadSettings();
    w->state().password = u"secret"_s;
    w->WriteSettings();
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

    auto w = window(folder);
    w->ReadSettings();
    w->state().password = u"p"_s;
    try {
        w->WriteSettings();
        QFAIL("the write did not fail");
    } catch (const platform::Error& error) {
        QCOMPARE(error.message(), u"Unable to write to "_s + folder + u"system.ini"_s);
    }
    QCOMPARE(read(blocker), "a regular file\n"_ba);
    // Through the general error handler, as the connect command meets it.
    QVERIFY(!w->runCommand([&] { w->WriteSettings(); }));
    QCOMPARE(m_prompts.errors(), QStringList{u"Unable to write to "_s + folder + u"system.ini."_s});

    // A value that would break the file's lines is refused and the file stays.
    const QString path = m_dir->filePath(u"system.ini"_s);
    write(path, "[domino]\nserver=a\n");
    auto ok = window(m_dir->path());
    ok->state().password = u"two\nlines"_s;
    QVERIFY_THROWS_EXCEPTION(platform::Error, ok->WriteSettings());
    QCOMPARE(read(path), "[domino]\nserver=a\n"_ba);
}

QTEST_MAIN(TestShellSettings)
#include "tst_shell_settings.moc"
