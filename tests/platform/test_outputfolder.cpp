#include "platform/outputfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
namespace platform = quill::platform;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QString raised(const std::function<void()>& step)
{
    try {
        step();
    } catch (const platform::Error& e) {
        return e.message();
    }
    return {};
}

} // namespace

// Below the folder a user gave, every folder and file is reached without following a link, and a
// file appears under its name whole or not at all.
class TestOutputFolder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_out, m_elsewhere;

private slots:
    void init()
    {
        m_out = m_tmp.filePath(u"out"_s);
        m_elsewhere = m_tmp.filePath(u"elsewhere"_s);
        QDir(m_out).removeRecursively();
        QDir(m_elsewhere).removeRecursively();
        QVERIFY(QDir().mkpath(m_out + u"/real"_s) && QDir().mkpath(m_elsewhere));
        writeAll(m_elsewhere + u"/victim"_s, "precious");
    }

    void linksBelowAreRefused_data()
    {
        QTest::addColumn<QString>("link");   // below out
        QTest::addColumn<QString>("target"); // below elsewhere; empty: elsewhere itself
        QTest::addColumn<QString>("operation");
        QTest::newRow("folder on the way") << u"a"_s << QString() << u"folder a/b"_s;
        QTest::newRow("file to a file") << u"f"_s << u"victim"_s << u"write f"_s;
        QTest::newRow("file leading nowhere") << u"f"_s << u"new"_s << u"write f"_s;
        QTest::newRow("file in a linked folder") << u"a"_s << QString() << u"write a/f"_s;
        QTest::newRow("read") << u"f"_s << u"victim"_s << u"read f"_s;
        QTest::newRow("read in a linked folder") << u"a"_s << QString() << u"read a/victim"_s;
    }

    void linksBelowAreRefused()
    {
        QFETCH(QString, link);
        QFETCH(QString, target);
        QFETCH(QString, operation);
        QVERIFY(QFile::link(target.isEmpty() ? m_elsewhere : m_elsewhere + u'/' + target, m_out + u'/' + link));
        // The folder itself may be a link the user made.
        const QString userLink = m_tmp.filePath(u"mine"_s);
        QFile::remove(userLink);
        QVERIFY(QFile::link(m_out, userLink));
        const platform::OutputFolder out = platform::OutputFolder::open(userLink);
        const QString what = operation.section(u' ', 1);
        const QString message = raised([&] {
            if (operation.startsWith(u"folder"_s)) {
                out.folder(what, true);
            } else if (operation.startsWith(u"read"_s)) {
                out.openFile(what);
            } else {
                const platform::OutputFolder folder = out.folder(what.section(u'/', 0, -2), false);
                folder.writeFile(what.section(u'/', -1), QByteArray("written"));
            }
        });
        QCOMPARE(message, platform::linkRefused(userLink + u'/' + link));
        QCOMPARE(out.entry(what), platform::OutputFolder::Entry::Link);
        QCOMPARE(QDir(m_elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{u"victim"_s});
        QCOMPARE(readAll(m_elsewhere + u"/victim"_s), QByteArray("precious"));
    }

    void filesAreWholeOrAbsent()
    {
        const platform::OutputFolder out = platform::OutputFolder::open(m_out);
        const platform::OutputFolder made = out.folder(u"new/deeper"_s, true);
        QCOMPARE(made.path(), m_out + u"/new/deeper"_s);
        writeAll(m_out + u"/book"_s, "old");
        out.writeFile(u"book"_s, QByteArray("new")); // what an earlier export left is replaced
        QCOMPARE(readAll(m_out + u"/book"_s), QByteArray("new"));

        const auto failing = [&](const std::function<bool(QIODevice&)>& write) {
            return raised([&] { out.writeFile(u"book"_s, write); });
        };
        QCOMPARE(failing([](QIODevice& d) { return d.write("half") < 0; }),
                 u"无法写入文件："_s + m_out + u"/book（写入失败）"_s);
        QCOMPARE(failing([](QIODevice& d) -> bool {
                     d.write("half");
                     throw platform::Error(u"坏了"_s);
                 }),
                 u"坏了"_s);
        QVERIFY(raised([&] { out.writeFile(u"real"_s, QByteArray("x")); }).contains(u"已有同名的文件夹"_s));

        // A write that the file system cuts short, then refuses: the reason is the system's own.
        struct rlimit old = {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const QString tooBig = raised([&] { out.writeFile(u"book"_s, QByteArray(10000, 'x')); });
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, handler);
        QCOMPARE(tooBig, u"无法写入文件："_s + m_out + u"/book（"_s + platform::systemErrorText(EFBIG) + u"）"_s);

        QCOMPARE(readAll(m_out + u"/book"_s), QByteArray("new"));
        QCOMPARE(QDir(m_out).entryList(QDir::Files | QDir::Hidden), QStringList{u"book"_s});
    }

    void pinnedPathsLeadToTheFolder()
    {
        platform::OutputFolder out = platform::OutputFolder::open(m_out + u'/');
        const QString temporary = platform::OutputFolder::temporaryName();
        writeAll(out.pinned(temporary), "bytes");
        // Renamed meanwhile: the pinned path still leads to the same folder.
        QVERIFY(QDir().rename(m_out, m_out + u"2"_s));
        out.place(temporary, u"file"_s);
        QCOMPARE(readAll(m_out + u"2/file"_s), QByteArray("bytes"));
        QCOMPARE(
            out.unpin(u"无法写入文件："_s + out.pinned(temporary) + u"，"_s + out.pinned(u"x"_s), temporary, u"file"_s),
            u"无法写入文件："_s + m_out + u"/file，"_s + m_out + u"/x"_s);
        QVERIFY(QDir().rename(m_out + u"2"_s, m_out));
    }
};

QTEST_GUILESS_MAIN(TestOutputFolder)
#include "test_outputfolder.moc"
