#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
namespace platform = quill::platform;

// Trees laid out as cmake --install lays them (QUILL_TEST_BINDIR and QUILL_TEST_COMPONENTDIR below a
// prefix) or as a build tree holds its executables.
class TestPaths : public QObject
{
    Q_OBJECT

private:
    QString make(const QString& relative)
    {
        const QString path = m_dir.filePath(relative);
        if (!QDir().mkpath(path))
            qFatal("cannot make the test tree");
        return path;
    }

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void whereSettingsAndComponentLie_data()
    {
        QTest::addColumn<QString>("executableFolder");
        QTest::addColumn<QString>("componentFolder"); // relative to the test folder; empty: the executable's
        QTest::addColumn<bool>("installed");

        const QString bin = u"usr/"_s + QStringLiteral(QUILL_TEST_BINDIR);
        const QString component = u"usr/"_s + QStringLiteral(QUILL_TEST_COMPONENTDIR);
        make(bin);
        make(component);
        make(u"build/src/app"_s);
        make(u"build/component"_s);
        make(u"home/bin"_s);

        QTest::newRow("installed") << bin << component << true;
        QTest::newRow("installed, folder with a trailing slash") << bin + u'/' << component << true;
        QTest::newRow("program in a build tree") << u"build/src/app"_s << QString() << false;
        QTest::newRow("admin tool beside the component in a build tree") << u"build/component"_s << QString() << false;
        QTest::newRow("executable copied to a bin folder of its own") << u"home/bin"_s << QString() << false;
    }

    void whereSettingsAndComponentLie()
    {
        QFETCH(QString, executableFolder);
        QFETCH(QString, componentFolder);
        QFETCH(bool, installed);
        const QString folder = m_dir.filePath(executableFolder);
        const QString own = QDir::cleanPath(folder) + u'/';

        QCOMPARE(platform::isInstalledTree(folder), installed);
        QCOMPARE(platform::componentFolder(folder),
                 componentFolder.isEmpty() ? own : m_dir.filePath(componentFolder) + u'/');
        // Installed in a system folder, the program cannot write beside itself: system.ini goes to the
        // user's configuration folder, beside the registry, which is made when missing.
        const QString settings = platform::settingsFolder(folder);
        if (installed) {
            QCOMPARE(settings, QFileInfo(platform::registryFilePath()).absolutePath() + u'/');
            QVERIFY(QFileInfo(settings).isDir());
        } else {
            QCOMPARE(QDir::cleanPath(settings) + u'/', own);
        }
        // The guide: the installed page under the prefix's documentation, else the build tree's link to the source.
        QCOMPARE(platform::userGuidePath(folder), installed
                                                      ? m_dir.filePath(u"usr/"_s + QStringLiteral(QUILL_TEST_DATADIR) +
                                                                       u"/doc/quillmere/user-guide.html"_s)
                                                      : own + u"docs/用户手册.md"_s);
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "test_paths.moc"
