#include "domino/installation.h"
#include "domino/loader.h"
#include "platform/registry.h"
#include "scriptedprompts.h"
#include "shell/registrationreport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill;
using platform::Registry;

namespace {

const QString kRegistration = QString::fromUtf16(domino::kSessionClassKey);
const QString kDomino = QString::fromUtf16(domino::kDominoKey);
const QString kNotes = QString::fromUtf16(domino::kNotesKey);

} // namespace

class TestDominoInstallation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void nothingInstalled();
    void onlyNotes();
    void bothInstalledDominoWins();
    void deletedFolder();
    void registrationEqualOrDifferingInCase();
    void missingRegistrationWithoutLibrary();
    void missingRegistrationWithBrokenLibrary();
    void missingRegistrationWithComponent();
    void trailingSlashNamesTheSameLibrary();
    void unreadableRegistryIsLeftAlone();

private:
    QString folder(const QString& name);
    QByteArray storeBytes() const;
    QString registered() const { return m_registry->readString(kRegistration, QString()).value_or(u"<none>"_s); }
    // The start-up check as the main window makes it: the registration, then what the user is told.
    domino::Registration startupCheck()
    {
        const domino::Registration outcome = domino::StartupComponentCheck(*m_registry);
        shell::reportRegistration(outcome, m_prompts);
        return outcome;
    }
    domino::Registration check(const QString& folder)
    {
        const domino::Registration outcome = domino::CheckNotesComponent(*m_registry, folder);
        shell::reportRegistration(outcome, m_prompts);
        return outcome;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Registry> m_registry;
    testing::ScriptedPrompts m_prompts;
    QString m_startDir;
};

void TestDominoInstallation::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_startDir = QDir::currentPath();
}

void TestDominoInstallation::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_registry = std::make_unique<Registry>(m_dir->filePath(u"registry.reg"_s));
    m_prompts = {};
}

QString TestDominoInstallation::folder(const QString& name)
{
    const QString path = m_dir->filePath(name);
    QDir().mkpath(path);
    return path;
}

QByteArray TestDominoInstallation::storeBytes() const
{
    QFile f(m_registry->filePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestDominoInstallation::nothingInstalled()
{
    QVERIFY(!domino::DominoInstalled(*m_registry));
    QVERIFY(!domino::NotesInstalled(*m_registry));
    QCOMPARE(domino::DominoPath(*m_registry), u"没有安装Domino"_s);
    QCOMPARE(domino::DominoDataPath(*m_registry), u"没有安装Domino"_s);
    QCOMPARE(domino::NotesPath(*m_registry), QString());

    m_registry->writeString(kRegistration, QString(), u"/somewhere/libnlsxbe.so"_s);
    const QByteArray before = storeBytes();
    startupCheck();
    // No installation: a working registration elsewhere is not damaged.
    QCOMPARE(storeBytes(), before);
    QVERIFY(m_prompts.shown.isEmpty());
}

void TestDominoInstallation::onlyNotes()
{
    const QString notes = folder(u"notes"_s);
    m_registry->writeString(kNotes, u"Path"_s, notes);
    m_registry->writeString(kRegistration, QString(), u"/old/libnlsxbe.so"_s);
    QVERIFY(domino::NotesInstalled(*m_registry));
    QVERIFY(!domino::DominoInstalled(*m_registry));
    QCOMPARE(domino::NotesPath(*m_registry), notes);
    QCOMPARE(domino::DominoDataPath(*m_registry), u"没有安装Domino"_s);

    startupCheck();
    QCOMPARE(registered(), notes + u"/libnlsxbe.so"_s);
    QVERIFY(m_prompts.shown.isEmpty());
}

void TestDominoInstallation::bothInstalledDominoWins()
{
    const QString notes = folder(u"notes"_s);
    const QString domino = folder(u"domino"_s);
    const QString data = folder(u"domino/data"_s);
    m_registry->writeString(kNotes, u"Path"_s, notes);
    m_registry->writeString(kDomino, u"path"_s, domino); // value names ignore case
    m_registry->writeString(kDomino, u"DataPath"_s, data);
    m_registry->writeString(kRegistration, QString(), notes + u"/libnlsxbe.so"_s);
    QCOMPARE(domino::DominoPath(*m_registry), domino);
    QCOMPARE(domino::DominoDataPath(*m_registry), data);

    startupCheck();
    QCOMPARE(registered(), domino + u"/libnlsxbe.so"_s);
}

void TestDominoInstallation::deletedFolder()
{
    const QString gone = m_dir->filePath(u"removed"_s);
    m_registry->writeString(kDomino, u"Path"_s, gone);
    m_registry->writeString(kDomino, u"DataPath"_s, m_dir->filePath(u"file.txt"_s));
    QFile(m_dir->filePath(u"file.txt"_s)).open(QIODevice::WriteOnly);
    QVERIFY(domino::DominoInstalled(*m_registry));
    QCOMPARE(domino::DominoPath(*m_registry), gone + u"(找不到该目录)"_s);
    // A file is not a folder.
    QCOMPARE(domino::DominoDataPath(*m_registry), m_dir->filePath(u"file.txt"_s) + u"(找不到该目录)"_s);

    // A key without the value: an empty folder text, marked.
    m_registry->writeString(kNotes, u"Other"_s, u"x"_s);
    QCOMPARE(domino::NotesPath(*m_registry), u"(找不到该目录)"_s);

    m_registry->writeString(kRegistration, QString(), u"/working/libnlsxbe.so"_s);
    const QByteArray before = storeBytes();
    const QString cwd = QDir::currentPath();
    startupCheck();
    QCOMPARE(storeBytes(), before);
    QCOMPARE(QDir::currentPath(), cwd);
    QVERIFY(m_prompts.shown.isEmpty());
}

void TestDominoInstallation::registrationEqualOrDifferingInCase()
{
    const QString domino = folder(u"Domino"_s);
    m_registry->writeString(kDomino, u"Path"_s, domino);
    m_registry->writeString(kRegistration, QString(), domino + u"/libnlsxbe.so"_s);
    const QByteArray before = storeBytes();
    QCOMPARE(check(domino), domino::Registration::Unchanged);
    QCOMPARE(storeBytes(), before);

    const QString otherCase = domino.left(domino.size() - 6) + u"DOMINO/libnlsxbe.so"_s;
    m_registry->writeString(kRegistration, QString(), otherCase);
    QCOMPARE(check(domino), domino::Registration::Written);
    QCOMPARE(registered(), domino + u"/libnlsxbe.so"_s);
    QVERIFY(m_prompts.shown.isEmpty());
}

void TestDominoInstallation::missingRegistrationWithoutLibrary()
{
    const QString domino = folder(u"domino"_s);
    m_registry->writeString(kDomino, u"Path"_s, domino);
    const QByteArray before = storeBytes();
    startupCheck();
    QCOMPARE(m_prompts.messages().size(), 1);
    const QString message = m_prompts.messages().constFirst();
    QVERIFY(message.startsWith(u"找不到您系统上Domino的一个关键组件，请确认您的Domino或NOtes安装正常!或联系"_s));
    QVERIFY(message.endsWith(u"帮您免费解决!"_s));
    QVERIFY(message.size() > 50);
    QCOMPARE(storeBytes(), before);
    // The check looks at the folder; it does not make it the process's working directory.
    QCOMPARE(QDir::currentPath(), m_startDir);
}

void TestDominoInstallation::missingRegistrationWithBrokenLibrary()
{
    const QString domino = folder(u"domino"_s);
    QFile library(domino + u"/libnlsxbe.so"_s);
    QVERIFY(library.open(QIODevice::WriteOnly));
    library.write("not a shared library");
    library.close();
    m_registry->writeString(kDomino, u"Path"_s, domino);
    const QByteArray before = storeBytes();

    startupCheck();
    QCOMPARE(m_prompts.messages().size(), 1);
    QVERIFY(m_prompts.messages().constFirst().startsWith(
        u"您好，系统在注册domino组件时失败，或许是您的系统对权限的限制，请联系"_s));
    QVERIFY(m_prompts.messages().constFirst().endsWith(u"帮您解决。免费！"_s));
    QCOMPARE(storeBytes(), before);
}

void TestDominoInstallation::missingRegistrationWithComponent()
{
#ifndef QUILL_COMPONENT_LIBRARY
    QSKIP("the component library is not part of this build");
#else
    const QString domino = folder(u"domino"_s);
    QVERIFY(QFile::copy(QStringLiteral(QUILL_COMPONENT_LIBRARY), domino + u"/libnlsxbe.so"_s));
    m_registry->writeString(kDomino, u"Path"_s, domino);
    startupCheck();
    QVERIFY2(m_prompts.shown.isEmpty(), qPrintable(m_prompts.shown.join(u'\n')));
    QCOMPARE(registered(), domino + u"/libnlsxbe.so"_s);
    // The registration is usable as written.
    QVERIFY(domino::createRegisteredSession(*m_registry));
#endif
}

void TestDominoInstallation::trailingSlashNamesTheSameLibrary()
{
    const QString domino = folder(u"domino"_s);
    m_registry->writeString(kRegistration, QString(), domino + u"/libnlsxbe.so"_s);
    const QByteArray before = storeBytes();
    check(domino + u'/');
    QCOMPARE(storeBytes(), before);
}

void TestDominoInstallation::unreadableRegistryIsLeftAlone()
{
    // An installation whose registration should be rewritten, in a file with a line the store cannot read.
    m_registry->writeString(kDomino, u"Path"_s, folder(u"domino"_s));
    m_registry->writeString(kRegistration, QString(), u"/old/libnlsxbe.so"_s);
    QFile file(m_registry->filePath());
    QVERIFY(file.open(QIODevice::Append));
    file.write("\xFF\xFEgarbage\n");
    file.close();
    const QByteArray before = storeBytes();
    QCOMPARE(startupCheck(), domino::Registration::Failed);
    QCOMPARE(storeBytes(), before);
    QCOMPARE(m_prompts.shown.size(), 1);
}

QTEST_MAIN(TestDominoInstallation)
#include "tst_domino_installation.moc"
