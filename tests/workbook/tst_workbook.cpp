#include "workbook/compoundfile.h"
#include "workbook/excel.h"
#include "workbook/xlswriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace quill::workbook;

class TestWorkbook : public QObject
{
    Q_OBJECT

private slots:
    void operationsOutsideAStartedExcelRaise();
    void limitsRaiseAndLeaveTheWorkbookIntact_data();
    void limitsRaiseAndLeaveTheWorkbookIntact();
    void storedWidthShowsTheRequestedWidth();
    void overwrittenStringsLeaveTheTable();
    void failedSavesLeaveNothingBehind_data();
    void failedSavesLeaveNothingBehind();
    void saveReplacesAnExistingWorkbook();
    void aFailingDeviceStopsTheWrite();
    void aFileSystemThatRefusesGivesItsReason();
    void quitReleasesAndStartBeginsAfresh();
};

namespace {
QString raisedMessage(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const WorkbookError& e) {
        if (QString::fromUtf8(e.what()) != e.message())
            return u"what() differs from message()"_s;
        return e.message();
    }
    return QString();
}
} // namespace

void TestWorkbook::operationsOutsideAStartedExcelRaise()
{
    auto excel = createXlsWriter();
    const QList<std::function<void()>> operations = {
        [&] { excel->SetColumnWidth(1, 10); },
        [&] { excel->SetCellTextFormat(1, 1); },
        [&] { excel->SetCellValue(1, 1, u"x"_s); },
        [&] { excel->SaveWorkbook(u"/tmp/never.xls"_s); },
        [&] { excel->QuitExcel(); },
    };
    for (const auto& op : operations)
        QVERIFY(raisedMessage(op).contains(u"StartExcel"_s));
    excel->StartExcel();
    excel->SetCellValue(1, 1, u"x"_s);
    excel->QuitExcel();
    for (const auto& op : operations)
        QVERIFY(raisedMessage(op).contains(u"StartExcel"_s));
    QVERIFY(!QFile::exists(u"/tmp/never.xls"_s));
}

void TestWorkbook::limitsRaiseAndLeaveTheWorkbookIntact_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("message");
    QTest::newRow("row 65537") << 65537 << 1 << 1 << u"行号超出范围：65537"_s;
    QTest::newRow("row 0") << 0 << 1 << 1 << u"行号超出范围：0"_s;
    QTest::newRow("column 257") << 1 << 257 << 1 << u"列号超出范围：257"_s;
    QTest::newRow("column 0") << 1 << 0 << 1 << u"列号超出范围：0"_s;
    QTest::newRow("32768 characters") << 1 << 1 << 32768 << u"文本过长：32768个字符"_s;
}

void TestWorkbook::limitsRaiseAndLeaveTheWorkbookIntact()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, length);
    QFETCH(QString, message);
    XlsWriter excel;
    excel.StartExcel();
    excel.SetCellValue(2, 2, u"kept"_s);
    const QByteArray before = excel.workbookStream();
    QVERIFY(raisedMessage([&] { excel.SetCellValue(row, column, QString(length, u'a')); }).startsWith(message));
    if (length == 1)
        QVERIFY(raisedMessage([&] { excel.SetCellTextFormat(row, column); }).startsWith(message));
    QCOMPARE(excel.workbookStream(), before);
    // The limits themselves are accepted.
    excel.SetCellValue(65536, 256, QString(32767, u'a'));
    excel.SetCellTextFormat(1, 1);
}

void TestWorkbook::storedWidthShowsTheRequestedWidth()
{
    // Excel shows trunc(((stored/256*7) - 5) / 7 * 100 + 0.5) / 100 characters for a stored width.
    for (int w = 1; w <= 255; ++w) {
        const double shown = std::trunc((XlsWriter::storedWidth(w) / 256.0 * 7 - 5) / 7 * 100 + 0.5) / 100;
        QCOMPARE(shown, double(w));
    }
    QCOMPARE(XlsWriter::storedWidth(0), uint16_t(0));
    XlsWriter excel;
    excel.StartExcel();
    QVERIFY(raisedMessage([&] { excel.SetColumnWidth(1, 256); }).startsWith(u"列宽超出范围：256"_s));
    QVERIFY(raisedMessage([&] { excel.SetColumnWidth(1, -1); }).startsWith(u"列宽超出范围：-1"_s));
    QVERIFY(raisedMessage([&] { excel.SetColumnWidth(257, 10); }).startsWith(u"列号超出范围：257"_s));
    excel.SetColumnWidth(256, 255);
}

void TestWorkbook::overwrittenStringsLeaveTheTable()
{
    XlsWriter a, b;
    a.StartExcel();
    b.StartExcel();
    a.SetCellValue(1, 1, u"丢弃的旧值"_s);
    a.SetCellValue(1, 1, u"new"_s);
    b.SetCellValue(1, 1, u"new"_s);
    QCOMPARE(a.workbookStream(), b.workbookStream());
    QVERIFY(!a.workbookStream().contains(QByteArray("\x22\x4E", 2))); // 丢 in UTF-16LE
}

void TestWorkbook::failedSavesLeaveNothingBehind_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("watchedFolder");
    QTest::newRow("missing folder") << u"/nonexistent-quill-dir/out.xls"_s << QString();
    QTest::newRow("below a regular file") << u"%1/plain.txt/out.xls"_s << u"%1"_s;
    QTest::newRow("a folder") << u"%1/folder"_s << u"%1"_s;
    QTest::newRow("a device") << u"/dev/full"_s << u"/dev"_s;
    QTest::newRow("a link to a file elsewhere") << u"%1/link.xls"_s << u"%1"_s;
    QTest::newRow("empty name") << QString() << QString();
}

void TestWorkbook::failedSavesLeaveNothingBehind()
{
    QFETCH(QString, target);
    QFETCH(QString, watchedFolder);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QFile plain(tmp.filePath(u"plain.txt"_s));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(QDir(tmp.path()).mkdir(u"folder"_s));
    QVERIFY(QFile::link(plain.fileName(), tmp.filePath(u"link.xls"_s)));
    target = target.contains(u"%1"_s) ? target.arg(tmp.path()) : target;
    watchedFolder = watchedFolder.contains(u"%1"_s) ? watchedFolder.arg(tmp.path()) : watchedFolder;
    const QStringList before =
        watchedFolder.isEmpty() ? QStringList() : QDir(watchedFolder).entryList(QDir::AllEntries | QDir::System);

    auto excel = createXlsWriter();
    excel->StartExcel();
    excel->SetCellValue(1, 1, u"内容"_s);
    const QString message = raisedMessage([&] { excel->SaveWorkbook(target); });
    QVERIFY2(message.startsWith(u"保存工作簿失败"_s), qPrintable(message));
    if (!target.isEmpty())
        QVERIFY2(message.contains(target), qPrintable(message));
    if (!watchedFolder.isEmpty())
        QCOMPARE(QDir(watchedFolder).entryList(QDir::AllEntries | QDir::System), before);
    QCOMPARE(plain.size(), 0);
    if (target == u"/dev/full"_s) {
        struct stat st
        {
        };
        QCOMPARE(::stat("/dev/full", &st), 0);
        QVERIFY(S_ISCHR(st.st_mode));
    }
    // The workbook survives a failed save and can still be saved elsewhere.
    const QString good = tmp.filePath(u"good.xls"_s);
    excel->SaveWorkbook(good);
    QVERIFY(QFileInfo(good).size() >= 512 + 4096 + 1024);
}

void TestWorkbook::saveReplacesAnExistingWorkbook()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(u"book.xls"_s);
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    XlsWriter excel;
    excel.StartExcel();
    excel.SetCellValue(1, 1, u"新"_s);
    excel.SaveWorkbook(path);
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    QCOMPARE(bytes.size() % 512, 0);
    QVERIFY(bytes.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")));
    QVERIFY(bytes.contains(excel.workbookStream()));
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{u"book.xls"_s});
}

void TestWorkbook::quitReleasesAndStartBeginsAfresh()
{
    XlsWriter used, fresh;
    fresh.StartExcel();
    used.StartExcel();
    used.SetCellValue(5, 5, u"old"_s);
    used.SetColumnWidth(3, 20);
    used.SetCellTextFormat(2, 2);
    used.QuitExcel();
    used.StartExcel();
    QCOMPARE(used.workbookStream(), fresh.workbookStream());
    used.SetCellValue(1, 1, u"a"_s);
    used.StartExcel(); // a second start also begins with an empty workbook
    QCOMPARE(used.workbookStream(), fresh.workbookStream());
}

namespace {
// Accepts a fixed number of bytes, then fails like a full disk.
class FillingDevice : public QIODevice
{
public:
    explicit FillingDevice(qint64 capacity) : m_capacity(capacity) { open(QIODevice::WriteOnly); }
    qint64 accepted = 0;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override
    {
        if (pos() + len > m_capacity)
            return -1;
        accepted = std::max(accepted, pos() + len);
        return len;
    }

private:
    qint64 m_capacity;
};
} // namespace

void TestWorkbook::aFailingDeviceStopsTheWrite()
{
    XlsWriter excel;
    excel.StartExcel();
    for (int row = 1; row <= 20000; ++row)
        excel.SetCellValue(row, 1, u"第%1行"_s.arg(row));
    const auto stream = [&](QIODevice& device, qint64 base, uint64_t& size) {
        return excel.writeStream(device, base, size);
    };
    QBuffer whole;
    whole.open(QIODevice::WriteOnly);
    QVERIFY(raisedMessage([&] { writeCompoundFile(whole, u"whole"_s, stream); }).isNull());
    const qint64 full = whole.size();
    QCOMPARE(full % 512, 0);
    for (const qint64 capacity : {qint64(0), qint64(600), qint64(1 << 20), full - 512, full - 1}) {
        FillingDevice device(capacity);
        const QString message = raisedMessage([&] { writeCompoundFile(device, u"full"_s, stream); });
        QVERIFY2(message.startsWith(u"保存工作簿失败：写入“full”时出错"_s), qPrintable(QString::number(capacity)));
    }
    FillingDevice roomy(full);
    QVERIFY(raisedMessage([&] { writeCompoundFile(roomy, u"roomy"_s, stream); }).isNull());
    QCOMPARE(roomy.accepted, full);
}

void TestWorkbook::aFileSystemThatRefusesGivesItsReason()
{
    // The file system takes part of the workbook, then no more: the message says why, and nothing stays.
    QTemporaryDir tmp;
    XlsWriter excel;
    excel.StartExcel();
    for (int row = 1; row <= 20000; ++row)
        excel.SetCellValue(row, 1, u"第%1行"_s.arg(row));
    struct rlimit old = {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const QString target = tmp.filePath(u"big.xls"_s);
    const QString message = raisedMessage([&] { excel.SaveWorkbook(target); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    QVERIFY2(message.startsWith(u"保存工作簿失败"_s) && message.contains(target) &&
                 message.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
             qPrintable(message));
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"
