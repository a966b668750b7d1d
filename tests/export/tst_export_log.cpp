#include "domino/value.h"
#include "export/exportlog.h"
#include "exporttestsupport.h"
#include "platform/error.h"
#include "platform/outputfolder.h"

#include <QScopeGuard>
#include <QTest>
#include <ctime>

using namespace Qt::StringLiterals;
using namespace quill::exporting;
using namespace quill::testing;

class TestExportLog : public QObject
{
    Q_OBJECT
private slots:
    void appendLogLine();
    void appendLogLineFailures();
    void clockAndDateChange();
    void fileRemovedOrRenamedMidRun();
    void localClockFollowsTheZone();
    void linesOfOneDocument();
    void startDocumentWithoutItems();
    void lineBreaksStayInTheirLine();
};

void TestExportLog::appendLogLine()
{
    QTemporaryDir tmp;
    const QString folder = tmp.path() + u"/"_s;
    // Only the file-name part counts: neither the folder given nor a "log" folder is used.
    AppendLogLine(u"/opt/prog/log/log20261208.txt"_s, u"开始导出视图全部;2026-12-8 4:24:34"_s, folder);
    AppendLogLine(u"D:\\prog\\log\\log20261208.txt"_s, u"第二行 𠀀"_s, folder);
    QVERIFY(!QFileInfo::exists(u"/opt/prog/log"_s));
    QCOMPARE(filesBelow(folder), QStringList{u"log20261208.txt"_s});

    QFile file(folder + u"log20261208.txt"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // GBK bytes for the Chinese text ("开" is BF AA), CRLF endings, no byte-order mark, and a
    // character outside GBK kept by GB18030.
    QVERIFY(bytes.startsWith("\xbf\xaa"));
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(readLogLines(file.fileName()), (QStringList{u"开始导出视图全部;2026-12-8 4:24:34"_s, u"第二行 𠀀"_s}));
    QCOMPARE(logFileName(QDate(2026, 1, 2)), u"log20260102.txt"_s);
}

void TestExportLog::appendLogLineFailures()
{
    QTemporaryDir tmp;
    QFile regular(tmp.path() + u"/plain"_s);
    QVERIFY(regular.open(QIODevice::WriteOnly));
    regular.close();
    // A missing folder is made again (it stands for "c:\", which is always there); one that cannot be is
    // an error that says why.
    AppendLogLine(u"log20261208.txt"_s, u"x"_s, tmp.path() + u"/made/"_s);
    QVERIFY(QFileInfo::exists(tmp.path() + u"/made/log20261208.txt"_s));
    const QString cases[] = {regular.fileName() + u"/"_s, regular.fileName() + u"/below/"_s};
    for (const QString& folder : cases) {
        try {
            AppendLogLine(u"log20261208.txt"_s, u"x"_s, folder);
            QFAIL(qPrintable(u"no error for "_s + folder));
        } catch (const quill::platform::Error& e) {
            QVERIFY2(e.message().startsWith(u"无法写入日志文件："_s + folder + u"log20261208.txt（"_s +
                                            quill::platform::systemErrorText(ENOTDIR)),
                     qPrintable(e.message()));
        }
    }
    // A full device takes the open but not the write.
    if (QFileInfo::exists(u"/dev/full"_s)) {
        QVERIFY_THROWS_EXCEPTION(quill::platform::Error, AppendLogLine(u"full"_s, u"x"_s, u"/dev/"_s));
    }
    QVERIFY_THROWS_EXCEPTION(quill::platform::Error, AppendLogLine(u"/path/ending/"_s, u"x"_s, tmp.path()));
}

void TestExportLog::clockAndDateChange()
{
    QTemporaryDir tmp;
    QList<QDateTime> times = {QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59)),
                              QDateTime(QDate(2026, 12, 9), QTime(0, 0, 0)),
                              QDateTime(QDate(2026, 12, 9), QTime(0, 0, 1))};
    ExportLog log(tmp.path(), [&] { return times.takeFirst(); });
    log.write(u"a;"_s);
    log.write(u"b;"_s);
    log.write(u"c;"_s);
    QCOMPARE(readLogLines(tmp.path() + u"/log20261208.txt"_s), QStringList{u"a;2026-12-8 23:59:59"_s});
    // Midnight leaves the time out; the run goes on in the next day's file.
    QCOMPARE(readLogLines(tmp.path() + u"/log20261209.txt"_s),
             (QStringList{u"b;2026-12-9"_s, u"c;2026-12-9 0:00:01"_s}));
}

void TestExportLog::fileRemovedOrRenamedMidRun()
{
    QTemporaryDir tmp;
    const QString path = tmp.path() + u"/log20261208.txt"_s;
    const QString rotated = path + u".1"_s;
    QDateTime now(QDate(2026, 12, 8), QTime(10, 0, 0));
    const auto line = [&](const QString& text) -> QString { return text + now.toString(u"yyyy-M-d h:mm:ss"_s); };
    QStringList first;
    QStringList second;
    {
        ExportLog log(tmp.path(), [&] { return now; });
        log.write(u"a;"_s);
        first << line(u"a;"_s);
        // Removed: noticed within a few lines; the lines since the last look go to a new file again.
        QVERIFY(QFile::remove(path));
        for (int n = 0; n < LogFile::kCheckEvery; ++n) {
            log.write(u"b%1;"_s.arg(n));
            first << line(u"b%1;"_s.arg(n));
        }
        QCOMPARE(readLogLines(path), first);
        // Renamed away: the lines of the same second follow it, the next second's go to a new file.
        QVERIFY(QFile::rename(path, rotated));
        log.write(u"c;"_s);
        first << line(u"c;"_s);
        now = now.addSecs(1);
        log.write(u"d;"_s);
        second << line(u"d;"_s);
        // Removed just before the run ends: noticed at its end.
        QVERIFY(QFile::remove(path));
        log.write(u"e;"_s);
        second << line(u"e;"_s);
    }
    QCOMPARE(readLogLines(rotated), first);
    QCOMPARE(readLogLines(path), second);
}

void TestExportLog::localClockFollowsTheZone()
{
    // POSIX rules, so that no zone files are needed: Central Europe with daylight saving, and China.
    const QByteArray oldZone = qgetenv("TZ");
    const auto restore = qScopeGuard([&] {
        oldZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldZone);
        tzset();
    });
    const auto utc = [](int month, int day, int hour, int minute, int second) {
        return QDateTime(QDate(2026, month, day), QTime(hour, minute, second), Qt::UTC).toMSecsSinceEpoch();
    };
    const std::pair<const char*, std::vector<qint64>> zones[] = {
        {"CET-1CEST,M3.5.0,M10.5.0/3",
         {utc(3, 29, 0, 59, 59), utc(3, 29, 1, 0, 0), utc(10, 25, 0, 59, 59), utc(10, 25, 1, 0, 0),
          utc(12, 7, 23, 0, 0), -1500}},
        {"CST-8", {utc(12, 7, 16, 0, 0), utc(12, 7, 20, 24, 34), 0}},
    };
    for (const auto& [zone, moments] : zones) {
        qputenv("TZ", zone);
        tzset();
        const LocalClock clock;
        for (const qint64 ms : moments) {
            const QDateTime expected = QDateTime::fromMSecsSinceEpoch(ms);
            const QDateTime local = clock.at(ms);
            QCOMPARE(local.toMSecsSinceEpoch(), ms);
            QCOMPARE(local.offsetFromUtc(), expected.offsetFromUtc());
            QCOMPARE(quill::domino::formatShortDateTime(local), quill::domino::formatShortDateTime(expected));
        }
        QVERIFY(std::abs(clock.now().secsTo(QDateTime::currentDateTime())) <= 2);
    }
}

void TestExportLog::linesOfOneDocument()
{
    ExportRig rig;
    rig.db.addView(u"全部"_s);
    for (int i = 1; i <= 6; ++i)
        rig.db.addDocument().text(u"Subject"_s, u"skip"_s);
    FakeDocument& seventh = rig.db.addDocument();
    seventh.text(u"Subject"_s, u"合同"_s)
        .richText(u"Body"_s, u"正文"_s, {{u"p1.png"_s, "1"}, {u"p2.png"_s, "2"}, {u"p3.png"_s, "3"}})
        .number(u"Count"_s, 3)
        .values(u"Empty"_s, {})
        .text(u"Extra"_s, u"x"_s)
        .attachment(u"a.doc"_s, "A")
        .attachment(u"b.pdf"_s, "B");
    FakeDocument& eighth = rig.db.addDocument();
    eighth.text(u"Subject"_s, u"第八"_s);

    // Extra's value cannot be read in the seventh document.
    rig.domino.failOn(u"ItemValue"_s, u"坏了"_s, 0, 1, u"Extra"_s);
    rig.run(u"全部"_s, 7, 8, rig.workbook());

    const QString now = u"2026-12-8 4:24:34"_s;
    const QString f7 = rig.out() + u"全部附件/"_s + seventh.id + u"/"_s;
    const QString f8 = rig.out() + u"全部附件/"_s + eighth.id + u"/"_s;
    const QStringList expected = {
        u"开始导出视图全部到文件"_s + rig.workbook() + u";"_s + now,
        u"完成向excel写入第7个文档;"_s + now,
        u"判断第7个文档有附件;"_s + now,
        u"获取第7个文档有附件列表;"_s + now,
        u"获取第7个文档有附件数量为:2;"_s + now,
        u"获取第7个文档第1个附件:a.doc;"_s + now,
        u"保存第7个文档第1个附件到:"_s + f7 + u"a.doc;"_s + now,
        u"获取第7个文档第2个附件:b.pdf;"_s + now,
        u"保存第7个文档第2个附件到:"_s + f7 + u"b.pdf;"_s + now,
        u"调用图片导出程序保存到:"_s + f7 + u" ;"_s + now,
        u"结束图片导出程序保存到:"_s + f7 + u" ;"_s + now,
        u"开始分离第7个文档RichText域;"_s + now, // Subject
        u"  s=s+合同;"_s + now,
        u" s值写入excel表 ;"_s + now,
        u"开始分离第7个文档RichText域;"_s + now, // Body: every object, no value line
        u"分离第7个文档RichText域到:"_s + f7 + u"p1.png;"_s + now,
        u"分离第7个文档RichText域到:"_s + f7 + u"p2.png;"_s + now,
        u"分离第7个文档RichText域到:"_s + f7 + u"p3.png;"_s + now,
        u" s值写入excel表 ;"_s + now,
        u"开始分离第7个文档RichText域;"_s + now, // Count
        u"  s=s+3;"_s + now,
        u" s值写入excel表 ;"_s + now,
        u"开始分离第7个文档RichText域;"_s + now, // Empty: no value line
        u" s值写入excel表 ;"_s + now,
        u"开始分离第7个文档RichText域;"_s + now, // Extra
        u"读取第7个文档的Extra域出错:坏了;"_s + now,
        u" s值写入excel表 ;"_s + now,
        u"完成向excel写入第8个文档;"_s + now,
        u"调用图片导出程序保存到:"_s + f8 + u" ;"_s + now,
        u"结束图片导出程序保存到:"_s + f8 + u" ;"_s + now,
        u"开始分离第8个文档RichText域;"_s + now,
        u"  s=s+第八;"_s + now,
        u" s值写入excel表 ;"_s + now,
        u"开始分离第8个文档RichText域;"_s + now, // Body, Count, Empty, Extra are missing
        u"开始分离第8个文档RichText域;"_s + now,
        u"开始分离第8个文档RichText域;"_s + now,
        u"开始分离第8个文档RichText域;"_s + now,
    };
    const QStringList actual = readLogLines(rig.logPath());
    for (qsizetype i = 0; i < std::min(actual.size(), expected.size()); ++i)
        QCOMPARE(actual[i], expected[i]);
    QCOMPARE(actual.size(), expected.size());

    QCOMPARE(filesBelow(rig.out() + u"全部附件"_s),
             (QStringList{seventh.id + u"/a.doc"_s, seventh.id + u"/b.pdf"_s, seventh.id + u"/p1.png"_s,
                          seventh.id + u"/p2.png"_s, seventh.id + u"/p3.png"_s}));
    const auto& cells = rig.excel->saved;
    QCOMPARE(cells.at({2, 3}), u"正文"_s); // the rich text once, not twice
    QCOMPARE(cells.at({2, 4}), u"3"_s);
    QCOMPARE(cells.at({2, 5}), QString());
    QCOMPARE(cells.at({3, 2}), u"第八"_s);
    QVERIFY(!cells.contains({3, 3}));
}

void TestExportLog::startDocumentWithoutItems()
{
    ExportRig rig;
    rig.db.addView(u"v"_s);
    rig.db.addDocument();
    rig.db.addDocument().attachment(u"a.txt"_s, "a");
    rig.db.addDocument();
    rig.run(u"v"_s, 1, 3, rig.workbook());

    const QString now = u";2026-12-8 4:24:34"_s;
    QStringList expected = {u"开始导出视图v到文件"_s + rig.workbook() + now};
    for (int n = 1; n <= 3; ++n) {
        const QString folder = rig.out() + u"v附件/"_s + rig.db.documents[size_t(n - 1)]->id + u"/"_s;
        expected << u"完成向excel写入第%1个文档"_s.arg(n) + now;
        if (n == 2)
            expected << u"判断第2个文档有附件"_s + now << u"获取第2个文档有附件列表"_s + now
                     << u"获取第2个文档有附件数量为:1"_s + now << u"获取第2个文档第1个附件:a.txt"_s + now
                     << u"保存第2个文档第1个附件到:"_s + folder + u"a.txt"_s + now;
        expected << u"调用图片导出程序保存到:"_s + folder + u" "_s + now
                 << u"结束图片导出程序保存到:"_s + folder + u" "_s + now;
    }
    QCOMPARE(readLogLines(rig.logPath()), expected);
    // No header at all, not even the id title; only the id column in the rows.
    for (const auto& [cell, text] : rig.excel->saved)
        QCOMPARE(cell.second, 1);
    QVERIFY(!rig.excel->saved.contains({1, 1}));
    QCOMPARE(rig.excel->saved.size(), size_t(3));
}

void TestExportLog::lineBreaksStayInTheirLine()
{
    ExportRig rig;
    const QString view = u"视图\n第二行"_s;
    rig.db.addView(view);
    FakeDocument& doc = rig.db.addDocument();
    doc.text(u"Subject"_s, u"a\r\nb\nc\rd"_s).text(u"Path"_s, u"C:\\new\\r"_s).attachment(u"x\r\ny.txt"_s, "X");
    const QString workbook = rig.out() + u"合\n同.xls"_s;
    rig.run(view, 1, 1, workbook);

    QFile file(rig.logPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
    const QString now = u";2026-12-8 4:24:34"_s;
    const QString folder = rig.out() + u"视图\\n第二行附件/"_s + doc.id + u'/';
    const QStringList log = readLogLines(rig.logPath());
    QCOMPARE(log.size(), 15);
    QCOMPARE(log[0], u"开始导出视图视图\\n第二行到文件"_s + rig.out() + u"合\\n同.xls"_s + now);
    QCOMPARE(log[5], u"获取第1个文档第1个附件:x\\r\\ny.txt"_s + now);
    QCOMPARE(log[6], u"保存第1个文档第1个附件到:"_s + folder + u"xy.txt"_s + now);
    QCOMPARE(log[7], u"调用图片导出程序保存到:"_s + folder + u" "_s + now);
    QCOMPARE(log[10], u"  s=s+a\\r\\nb\\nc\\rd"_s + now);
    // A backslash is written as it is.
    QCOMPARE(log[13], u"  s=s+C:\\new\\r"_s + now);
}

QTEST_GUILESS_MAIN(TestExportLog)
#include "tst_export_log.moc"
