#include "domino/loader.h"
#include "platform/registry.h"
#include "scriptedprompts.h"
#include "shell/installation.h"

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
const QString kDomino = QString::fromUtf16(shell::kDominoKey);
const QString kNotes = QString::fromUtf16(shell::kNotesKey);

} // namespace

class TestShellInstallation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void nothingInstalled();
    void onlyNotes();
    void bothInstalledDominoWins();
    void deletedFolder();
    void registrationEqualOrDifferingInCase();
    void missingRegistrationWithoutLibrary();
    void missingRegistrationWithBrokenLibrary();
    void missingRegistrationWithComponent();
    void trailingSlashNamesTheSameLibrary();

private:
    QString folder(const QString& name);
    QByteArray storeBytes() const;
    QString registered() const { return m_registry->readString(kRegistration, QString()).value_or(u"<none>"_s); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Registry> m_registry;
    testing::ScriptedPrompts m_prompts;
    QString m_startDir;
};

void TestShellInstallation::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_startDir = QDir::currentPath();
}

void TestShellInstallation::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_registry = std::make_unique<Registry>(m_dir->filePath(u"registry.reg"_s));
    m_prompts = {};
}

void TestShellInstallation::cleanup()
{
    QDir::setCurrent(m_startDir);
}

QString TestShellInstallation::folder(const QString& name)
{
    const QString path = m_dir->filePath(name);
    QDir().mkpath(path);
    return path;
}

QByteArray TestShellInstallation::storeBytes() const
{
    QFile f(m_registry->filePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestShellInstallation::nothingInstalled()
{
    QVERIFY(!shell::DominoInstalled(*m_registry));
    QVERIFY(!shell::NotesInstalled(*m_registry));
    QCOMPARE(shell::DominoPath(*m_registry), u"没有安装Domino"_s);
    QCOMPARE(shell::DominoDataPath(*m_registry), u"没有安装Domino"_s);
    QCOMPARE(shell::NotesPath(*m_registry), QString());

    m_registry->writeString(kRegistration, QString(), u"/somewhere/libnlsxbe.so"_s);
    const QByteArray before = storeBytes();
    shell::StartupComponentCheck(*m_registry, m_prompts);
    // No installation: a working registration elsewhere is not damaged.
    QCOMPARE(storeBytes(), before);
    QVERIFY(m_prompts.shown.isEmpty());
}

void TestShellInstallation::onlyNotes()
{
    const QString notes = folder(u"notes"_s);
    m_registry->writeString(kNotes, u"Path"_s, notes);
    m_registry->writeString(kRegistration, QString(), u"/old/libnlsxbe.so"_s);
    QVERIFY(shell::NotesInstalled(*m_registry));
    QVERIFY(!shell::DominoInstalled(*m_registry));
    QCOMPARE(shell::NotesPath(*m_registry), notes);
    QCOMPARE(shell::DominoDataPath(*m_registry), u"没有安装Domino"_s);

    shell::StartupComponentCheck(*m_registry, m_prompts);
    QCOMPARE(registered(), notes + u"/libnlsxbe.so"_s);
    QVERIFY(m_prompts.shown.isEmpty());
}

void TestShellInstallation::bothInstalledDominoWins()
{
    const QString notes = folder(u"notes"_s);
    const QString domino = folder(u"domino"_s);
    const QString data = folder(u"domino/data"_s);
    m_registry->writeString(kNotes, u"Path"_s, notes);
    m_registry->writeString(kDomino, u"path"_s, domino); // value names ignore case
    m_registry->writeString(kDomino, u"DataPath"_s, data);
    m_registry->writeString(kRegistration, QString(), notes + u"/libnlsxbe.so"_s);
    QCOMPARE(shell::DominoPath(*m_registry), domino);
    QCOMPARE(shell::DominoDataPath(*m_registry), data);

    shell::StartupComponentCheck(*m_registry, m_prompts);
    QCOMPARE(registered(), domino + u"/libnlsxbe.so"_s);
}

void TestShellInstallation::deletedFolder()
{
    const QString gone = m_dir->filePath(u"removed"_s);
    m_registry->writeString(kDomino, u"Path"_s, gone);
    m_registry->writeString(kDomino, u"DataPath"_s, m_dir->filePath(u"file.txt"_s));
    QFile(m_dir->filePath(u"file.txt"_s)).open(QIODevice::WriteOnly);
    QVERIFY(shell::DominoInstalled(*m_registry));
    QCOMPARE(shell::DominoPath(*m_registry), gone + u"(找不到该目录)"_s);
    // A file is not a folder.
    QCOMPARE(shell::DominoDataPath(*m_registry), m_dir->filePath(u"file.txt"_s) + u"(找不到该目录)"_s);

    // A key without the value: an empty folder text, marked.
    m_registry->writeString(kNotes, u"Other"_s, u"x"_s);
    QCOMPARE(shell::NotesPath(*m_registry), u"(找不到该目录)"_s);

    m_registry->writeString(kRegistration, QString(), u"/working/libnlsxbe.so"_s);
    const QByteArray before = storeBytes();
    const QString cwd = QDir::currentPath();
    shell::StartupComponentCheck(*m_registry, m_prompts);
    QCOMPARE(storeBytes(), before);
    QCOMPARE(QDir::currentPath(), cwd);
    QVERIFY(m_prompts.shown.isEmpty());
}

void TestShellInstallation::registrationEqualOrDifferingInCase()
{
    const QString domino = folder(u"Domino"_s);
    m_registry->writeString(kDomino, u"Path"_s, domino);
    m_registry->writeString(kRegistration, QString(), domino + u"/libnlsxbe.so"_s);
    const QByteArray before = storeBytes();
    QVERIFY(shell::CheckNotesComponent(*m_registry, m_prompts, domino));
    QCOMPARE(storeBytes(), before);

    const QString otherCase = domino.left(domino.size() - 6) + u"DOMINO/libnlsxbe.so"_s;
    m_registry->writeString(kRegistration, QString(), otherCase);
    QVERIFY(shell::CheckNotesComponent(*m_registry, m_prompts, domino));
    QCOMPARE(registered(), domino + u"/libnlsxbe.so"_s);
    QVERIFY(m_prompts.shown.isEmpty());
}

void TestShellInstallation::missingRegistrationWithoutLibrary()
{
    const QString domino = folder(u"domino"_s);
    m_registry->writeString(kDomino, u"Path"_s, domino);
    const QByteArray before = storeBytes();
    shell::StartupComponentCheck(*m_registry, m_prompts);
    QCOMPARE(m_prompts.messages().size(), 1);
    const QString message = m_prompts.messages().constFirst();
    QVERIFY(message.startsWith(u"找不到您系统上Domino的一个关键组件，请确认您的Domino或NOtes安装正常!或联系"_s));
    QVERIFY(message.endsWith(u"帮您免费解决!"_s));
    QVERIFY(message.size() > 50);
    QCOMPARE(storeBytes(), before);
    QCOMPARE(QDir::currentPath(), QDir(domino).canonicalPath());
}

void TestShellInstallation::missingRegistrationWithBrokenLibrary()
{
    const QString domino = folder(u"domino"_s);
    QFile library(domino + u"/libnlsxbe.so"_s);
    QVERIFY(library.open(QIODevice::WriteOnly));
    library.write("not a shared library");
    library.close();
    m_registry->writeString(kDomino, u"Path"_s, domino);
    const QByteArray before = storeBytes();

    shell::StartupComponentCheck(*m_registry, m_prompts);
    QCOMPARE(m_prompts.messages().size(), 1);
    QVERIFY(m_prompts.messages().constFirst().startsWith(
        u"您好，系统在注册domino组件时失败，或许是您的系统对权限的限制，请联系"_s));
    QVERIFY(m_prompts.messages().constFirst().endsWith(u"帮您解决。免费！"_s));
    QCOMPARE(storeBytes(), before);
}

void TestShellInstallation::missingRegistrationWithComponent()
{
#ifndef QUILL_COMPONENT_LIBRARY
    QSKIP("the component library is not part of this build");
#else
    const QString domino = folder(u"domino"_s);
    QVERIFY(QFile::copy(QStringLiteral(QUILL_COMPONENT_LIBRARY), domino + u"/libnlsxbe.so"_s));
    m_registry->writeString(kDomino, u"Path"_s, domino);
    shell::StartupComponentCheck(*m_registry, m_prompts);
    QVERIFY2(m_prompts.shown.isEmpty(), qPrintable(m_prompts.shown.join(u'\n')));
    QCOMPARE(registered(), domino + u"/libnlsxbe.so"_s);
    // The registration is usable as written.
    QVERIFY(domino::createRegisteredSession(*m_registry));
#endif
}

void TestShellInstallation::trailingSlashNamesTheSameLibrary()
{
    const QString domino = folder(u"domino"_s);
    m_registry->writeString(kRegistration, QString(), domino + u"/libnlsxbe.so"_s);
    const QByteArray before = storeBytes();
    shell::CheckNotesComponent(*m_registry, m_prompts, domino + u'/');
    QCOMPARE(storeBytes(), before);
}

QTEST_MAIN(TestShellInstallation)
#include "tst_shell_installation.moc"
