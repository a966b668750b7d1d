// The data directory scan on a real folder tree, and the lock test against other processes.
#include "browse/datadirectoryscanner.h"
#include "browse/treenodes.h"
#include "browse/treeupdatesuspension.h"
#include "lockingchild.h"
#include "platform/files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quill;
using quill::testing::LockingChild;

namespace {

void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

QStringList childTexts(const QTreeWidgetItem* node)
{
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i)
        out << node->child(i)->text(0);
    out.sort();
    return out;
}

const QTreeWidgetItem* childNamed(const QTreeWidgetItem* node, const QString& name)
{
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == name)
            return node->child(i);
    return nullptr;
}

// Whether another process sees a write lock on the file (the child reports through its exit code).
bool otherProcessSeesLock(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(name.constData(), O_RDONLY);
        struct flock probe = {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        if (fd < 0 || ::fcntl(fd, F_GETLK, &probe) != 0)
            ::_exit(2);
        ::_exit(probe.l_type == F_UNLCK ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

} // namespace

class TestBrowseFiles : public QObject
{
    Q_OBJECT
private slots:
    void scanListsFoldersAndDatabases();
    void scanStaysFiniteOnLinkLoops();
    void scanOfUnreadableRootAddsNothing();
    void scanSuspendsRedrawingNested();
    void lockTestReportsOtherProcessesLocks();
    void lockTestNeverDropsThisProcessLocks();
    void lockTestDoesNotWaitOnAPipe();
};

void TestBrowseFiles::scanListsFoldersAndDatabases()
{
    QTemporaryDir tmp;
    const QString d = tmp.path() + u'/';
    for (const char* name :
         {"ABC.NSF", "abc.nsf", "Abc.Nsf", "abc.ntf", ".hidden.nsf", "abcnsf", "a.nsfx", "notes.txt"})
        touch(d + QString::fromUtf8(name));
    QVERIFY(QDir(d).mkpath(u"mail/deep"_s));
    touch(d + u"mail/box.nsf"_s);
    touch(d + u"mail/deep/old.NSF"_s);
    QVERIFY(QDir(d).mkpath(u"empty"_s));
    QVERIFY(QDir(d).mkpath(u".hiddenfolder"_s));
    touch(d + u".hiddenfolder/secret.nsf"_s);
    QVERIFY(QFile::link(d + u"ABC.NSF"_s, d + u"linked.nsf"_s));
    QVERIFY(QFile::link(d + u"nowhere"_s, d + u"dangling.nsf"_s));
    QCOMPARE(::mkfifo(QFile::encodeName(d + u"pipe.nsf"_s).constData(), 0600), 0);

    QTreeWidget tree;
    auto* root = browse::addRootNode(&tree, browse::NodeKind::ServerRoot, u"srv"_s, QString());
    browse::DataDirectoryScanner().scan(tmp.path(), root); // no trailing "/"

    QCOMPARE(childTexts(root), (QStringList{u"ABC.NSF"_s, u"Abc.Nsf"_s, u"abc.nsf"_s, u"abcnsf"_s, u"empty"_s,
                                            u"linked.nsf"_s, u"mail"_s}));
    const QTreeWidgetItem* mail = childNamed(root, u"mail"_s);
    QCOMPARE(childTexts(mail), (QStringList{u"box.nsf"_s, u"deep"_s}));
    QCOMPARE(childTexts(childNamed(mail, u"deep"_s)), QStringList{u"old.NSF"_s});
    QCOMPARE(childNamed(root, u"empty"_s)->childCount(), 0);

    // What each node is and where it leads, decided by its file name when it is listed.
    using browse::NodeKind;
    for (const char* name : {"ABC.NSF", "Abc.Nsf", "abc.nsf", "linked.nsf"})
        QCOMPARE(browse::nodeKind(childNamed(root, QString::fromUtf8(name))), NodeKind::Database);
    QCOMPARE(browse::nodeKind(childNamed(root, u"abcnsf"_s)), NodeKind::OtherFile);
    QCOMPARE(browse::nodeKind(mail), NodeKind::Folder);
    QCOMPARE(browse::NodePath(mail), u"mail"_s);
    QCOMPARE(browse::NodePath(childNamed(mail, u"box.nsf"_s)), u"mail\\box.nsf"_s);
    QCOMPARE(browse::NodePath(childNamed(childNamed(mail, u"deep"_s), u"old.NSF"_s)), u"mail\\deep\\old.NSF"_s);
    QCOMPARE(browse::NodePath(childNamed(root, u"ABC.NSF"_s)), u"ABC.NSF"_s);
}

void TestBrowseFiles::scanStaysFiniteOnLinkLoops()
{
    QTemporaryDir tmp;
    const QString d = tmp.path() + u'/';
    QVERIFY(QDir(d).mkpath(u"mail"_s));
    touch(d + u"mail/box.nsf"_s);
    QVERIFY(QFile::link(d, d + u"mail/up"_s));           // back to the root
    QVERIFY(QFile::link(d + u"mail"_s, d + u"again"_s)); // the same folder by a second name

    QTreeWidget tree;
    auto* root = new QTreeWidgetItem(&tree, QStringList{u"srv"_s});
    browse::DataDirectoryScanner().scan(d, root);

    // Each folder is entered once; the second way to it is shown without children.
    QCOMPARE(childTexts(root), (QStringList{u"again"_s, u"mail"_s}));
    const QTreeWidgetItem* first = childNamed(root, u"mail"_s);
    const QTreeWidgetItem* second = childNamed(root, u"again"_s);
    QCOMPARE(first->childCount() + second->childCount(), 2);
    const QTreeWidgetItem* entered = first->childCount() ? first : second;
    QCOMPARE(childTexts(entered), (QStringList{u"box.nsf"_s, u"up"_s}));
    QCOMPARE(childNamed(entered, u"up"_s)->childCount(), 0);
}

void TestBrowseFiles::scanOfUnreadableRootAddsNothing()
{
    QTemporaryDir tmp;
    const QString d = tmp.path() + u'/';
    touch(d + u"plain.nsf"_s);
    QVERIFY(QFile::link(d + u"missing"_s, d + u"dangling"_s));
    QTreeWidget tree;
    for (const QString& directory : QStringList{d + u"missing"_s, d + u"dangling"_s, d + u"plain.nsf"_s,
                                                u"没有安装Domino"_s, d + u"(找不到该目录)"_s}) {
        auto* root = new QTreeWidgetItem(&tree, QStringList{directory});
        browse::DataDirectoryScanner().scan(directory, root);
        QCOMPARE(root->childCount(), 0);
    }
    QVERIFY(!platform::listFolder(d + u"plain.nsf"_s));
}

void TestBrowseFiles::scanSuspendsRedrawingNested()
{
    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkpath(u"a/b"_s));
    QTreeWidget tree;
    auto* root = new QTreeWidgetItem(&tree, QStringList{u"srv"_s});
    {
        const browse::TreeUpdateSuspension outer(&tree);
        browse::DataDirectoryScanner().scan(tmp.path(), root);
        QVERIFY(!tree.updatesEnabled()); // the scan's own resumption must not end the outer one
    }
    QVERIFY(tree.updatesEnabled());
    QCOMPARE(root->childCount(), 1);
}

void TestBrowseFiles::lockTestReportsOtherProcessesLocks()
{
    QTemporaryDir tmp;
    const QString file = tmp.filePath(u"crm.nsf"_s);
    QVERIFY(!platform::IsFileLocked(file)); // no such file
    touch(file);
    QVERIFY(!platform::IsFileLocked(file));
    {
        LockingChild child(file);
        QVERIFY(child.locked());
        QVERIFY(platform::IsFileLocked(file));
    }
    QVERIFY(!platform::IsFileLocked(file));
    {
        // A lock on a byte range far beyond the end, as SQLite takes them.
        LockingChild child(file, 1073741824, 1);
        QVERIFY(child.locked());
        QVERIFY(platform::IsFileLocked(file));
    }
    QVERIFY(!platform::IsFileLocked(file));
}

void TestBrowseFiles::lockTestNeverDropsThisProcessLocks()
{
    QTemporaryDir tmp;
    const QString file = tmp.filePath(u"own.nsf"_s);
    touch(file);
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(fd >= 0);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    QCOMPARE(::fcntl(fd, F_SETLK, &lock), 0);
    QVERIFY(otherProcessSeesLock(file));

    // Our own lock is no reason to refuse, and asking must not release it.
    QVERIFY(platform::isOpenInThisProcess(file));
    QVERIFY(!platform::IsFileLocked(file));
    QVERIFY(otherProcessSeesLock(file));
    ::close(fd);
    QVERIFY(!otherProcessSeesLock(file));
    QVERIFY(!platform::isOpenInThisProcess(file));
}

void TestBrowseFiles::lockTestDoesNotWaitOnAPipe()
{
    // A pipe picked in the open dialog has no writer: a plain open for reading would wait forever.
    QTemporaryDir tmp;
    const QString fifo = tmp.filePath(u"pipe.nsf"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0)
        ::_exit(platform::IsFileLocked(fifo) ? 1 : 0);
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 500 && done == 0; ++i) {
        done = ::waitpid(child, &status, WNOHANG);
        if (done == 0)
            QTest::qSleep(10);
    }
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        QFAIL("the lock test blocked on a pipe");
    }
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_MAIN(TestBrowseFiles)
#include "tst_browse_files.moc"
