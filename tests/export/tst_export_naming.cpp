#include "export/exportfiles.h"
#include "export/naming.h"
#include "platform/error.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill::exporting;

class TestExportNaming : public QObject
{
    Q_OBJECT
private slots:
    void workbookName_data();
    void workbookName();
    void folders();
    void cleanFileName();
    void isIntegerText_data();
    void isIntegerText();
    void openingChecks();
    void safeFileName_data();
    void safeFileName();
    void numberedNames();
    void exportFiles();
    void cutToCell();
};

void TestExportNaming::workbookName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("startNo");
    QTest::addColumn<QString>("expected");
    QTest::newRow("xls") << u"/out/合同.xls"_s << u"1"_s << u"/out/合同_开始为第1个文档.xls"_s;
    QTest::newRow("no extension") << u"/out/data"_s << u"25"_s << u"/out/data_开始为第25个文档.xls"_s;
    QTest::newRow("mixed case") << u"/out/a.XlS"_s << u"1"_s << u"/out/a_开始为第1个文档.xls"_s;
    QTest::newRow("xlsx kept") << u"/out/report.xlsx"_s << u"1"_s << u"/out/report.xlsx_开始为第1个文档.xls"_s;
    QTest::newRow("blank kept") << u"/out/a.xls"_s << u" 5"_s << u"/out/a_开始为第 5个文档.xls"_s;
    QTest::newRow("only .xls") << u".xls"_s << u"1"_s << u"_开始为第1个文档.xls"_s;
    // A name too long for the file system is cut on a character, the tail whole, the file's name within 255 bytes.
    const QString view = QString(100, u'视');
    QTest::newRow("long view name") << u"/out/"_s + view + u".xls"_s << u"1"_s
                                    << u"/out/"_s + view.left(76) + u"_开始为第1个文档.xls"_s;
    QTest::newRow("long, later workbook")
        << u"/长/"_s + view << u"65536"_s << u"/长/"_s + view.left(74) + u"_开始为第65536个文档.xls"_s;
    QTest::newRow("exactly 255 bytes") << view.left(76) << u"1"_s << view.left(76) + u"_开始为第1个文档.xls"_s;
    QString pairs;
    for (int i = 0; i < 100; ++i)
        pairs += u"𝄞"_s;
    QTest::newRow("beyond the BMP") << pairs << u"1"_s << pairs.left(2 * 57) + u"_开始为第1个文档.xls"_s;
}

void TestExportNaming::workbookName()
{
    QFETCH(QString, fileName);
    QFETCH(QString, startNo);
    QFETCH(QString, expected);
    QCOMPARE(quill::exporting::workbookName(fileName, startNo, defaultFormat()), expected);
    QVERIFY(QFile::encodeName(fileNamePart(expected)).size() <= 255);
    // Names whose workbooks could meet share their stem.
    QVERIFY(expected.startsWith(
        workbookStem(fileName.endsWith(u".xls"_s, Qt::CaseInsensitive) ? fileName.chopped(4) : fileName)));
}

void TestExportNaming::folders()
{
    const QString workbook = u"/out/合同_开始为第1个文档.xls"_s;
    QCOMPARE(exportFolder(workbook), u"/out/"_s);
    QCOMPARE(fileNamePart(workbook), u"合同_开始为第1个文档.xls"_s);
    QCOMPARE(attachmentFolder(exportFolder(workbook), u"按日期\\全部"_s), u"/out/按日期全部附件"_s);
    QCOMPARE(attachmentFolder(u"/out/"_s, u"A:B/C"_s), u"/out/ABC附件"_s);
    // A folder's own name keeps within 255 bytes, cut on a character: ASCII, Chinese, beyond the BMP.
    QCOMPARE(attachmentFolder(u"/out/"_s, QString(300, u'v')), u"/out/"_s + QString(249, u'v') + u"附件"_s);
    QCOMPARE(attachmentFolder(u"/out/"_s, QString(84, u'视')), u"/out/"_s + QString(83, u'视') + u"附件"_s);
    QCOMPARE(attachmentFolder(u"/out/"_s, QString(83, u'视')), u"/out/"_s + QString(83, u'视') + u"附件"_s);
    QString pairs;
    for (int i = 0; i < 70; ++i)
        pairs += u"𠀀"_s;
    QCOMPARE(attachmentFolder(u"/out/"_s, pairs), u"/out/"_s + pairs.left(2 * 62) + u"附件"_s);
    // A ":" is an ordinary character here; only "/" ends the folder part.
    QCOMPARE(exportFolder(u"/out/c:x.xls"_s), u"/out/"_s);
    QCOMPARE(fileNamePart(u"/out/c:x.xls"_s), u"c:x.xls"_s);
    // No folder part: beside the workbook in the current folder, never the root.
    QCOMPARE(exportFolder(u"x.xls"_s), QString());
    QCOMPARE(attachmentFolder(exportFolder(u"x.xls"_s), u"v"_s), u"v附件"_s);
}

void TestExportNaming::cleanFileName()
{
    QCOMPARE(CleanFileName(u"a\"b\\c:d>e<f|g*h?i/j"_s), u"abcdefghij"_s);
    QCOMPARE(CleanFileName(u" 全部 视图.v1 "_s), u" 全部 视图.v1 "_s);
    // Characters beyond the BMP stay whole.
    QCOMPARE(CleanFileName(u"𠀀/x"_s), u"𠀀x"_s);
}

void TestExportNaming::isIntegerText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << u"2024"_s << true << 2024;
    QTest::newRow("zero") << u"0"_s << true << 0;
    QTest::newRow("leading zeros") << u"007"_s << true << 7;
    QTest::newRow("leading blanks") << u"  5"_s << true << 5;
    QTest::newRow("plus") << u"+12"_s << true << 12;
    QTest::newRow("minus") << u"-12"_s << true << -12;
    QTest::newRow("dollar hex") << u"$1F"_s << true << 31;
    QTest::newRow("x hex") << u"x10"_s << true << 16;
    QTest::newRow("X hex") << u"Xff"_s << true << 255;
    QTest::newRow("0x hex") << u"0x1a"_s << true << 26;
    QTest::newRow("0X hex") << u"0XA"_s << true << 10;
    QTest::newRow("negative hex") << u"-$10"_s << true << -16;
    QTest::newRow("max") << u"2147483647"_s << true << 2147483647;
    QTest::newRow("min") << u"-2147483648"_s << true << int(-2147483647 - 1);
    QTest::newRow("hex max") << u"$7FFFFFFF"_s << true << 2147483647;
    QTest::newRow("above max") << u"2147483648"_s << false << 0;
    QTest::newRow("below min") << u"-2147483649"_s << false << 0;
    QTest::newRow("hex above max") << u"$80000000"_s << false << 0;
    QTest::newRow("long digits") << u"99999999999999999999"_s << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("blanks") << u"   "_s << false << 0;
    QTest::newRow("trailing blank") << u"5 "_s << false << 0;
    QTest::newRow("tab before") << u"\t5"_s << false << 0;
    QTest::newRow("sign only") << u"-"_s << false << 0;
    QTest::newRow("prefix only") << u"0x"_s << false << 0;
    QTest::newRow("dollar only") << u"$"_s << false << 0;
    QTest::newRow("double sign") << u"+-1"_s << false << 0;
    QTest::newRow("blank after sign") << u"- 1"_s << false << 0;
    QTest::newRow("hex digit in decimal") << u"1a"_s << false << 0;
    QTest::newRow("fraction") << u"1.0"_s << false << 0;
    QTest::newRow("letters") << u"Subject"_s << false << 0;
    QTest::newRow("fullwidth digits") << u"１２"_s << false << 0;
    QTest::newRow("0 then X then nothing valid") << u"0xg"_s << false << 0;
}

void TestExportNaming::isIntegerText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    QCOMPARE(IsIntegerText(text), valid);
    const auto converted = textToInteger(text);
    QCOMPARE(converted.has_value(), valid);
    if (valid)
        QCOMPARE(*converted, value);
}

void TestExportNaming::openingChecks()
{
    QStringList asked;
    const auto none = [&](const QString& path) {
        asked << path;
        return false;
    };
    const auto all = [](const QString&) { return true; };

    // Blank names stop silently; blanks and control characters count as blank.
    for (const QString& blank : {QString(), u"  "_s, u"\t\r\n "_s}) {
        const OpeningResult r = checkExportRequest(blank, u"1"_s, 10, u"v"_s, none, defaultFormat());
        QVERIFY(!r.request);
        QVERIFY(r.message.isEmpty());
    }
    QVERIFY(asked.isEmpty());

    // Existing workbook: named in the message, before the start number is looked at.
    OpeningResult r = checkExportRequest(u"/out/合同.xls"_s, u"abc"_s, 10, u"v"_s, all, defaultFormat());
    QVERIFY(!r.request);
    QCOMPARE(r.message, u"/out/合同_开始为第abc个文档.xls文件已存在!"_s);

    // The untrimmed name is used once the blank test passed.
    r = checkExportRequest(u" /out/a.xls"_s, u"1"_s, 10, u"v"_s, none, defaultFormat());
    QCOMPARE(asked.last(), u" /out/a_开始为第1个文档.xls"_s);

    // A start number that is not an integer is an error for the general error handler.
    r = checkExportRequest(u"/out/a.xls"_s, u"1.5"_s, 10, u"v"_s, none, defaultFormat());
    QVERIFY(!r.request);
    QVERIFY(r.isError);
    QCOMPARE(r.message, u"'1.5' is not a valid integer value"_s);

    // Start beyond the count, or no list shown.
    r = checkExportRequest(u"/out/a.xls"_s, u"11"_s, 10, u"v"_s, none, defaultFormat());
    QCOMPARE(r.message, u"当前没有可导出的内容"_s);
    QVERIFY(!r.request);
    r = checkExportRequest(u"/out/a.xls"_s, u"1"_s, 0, u"previous view"_s, none, defaultFormat());
    QCOMPARE(r.message, u"当前没有可导出的内容"_s);
    // Positions count from 1: below that nothing is run, whatever the count.
    for (const QString& start : {u"0"_s, u" -1"_s, u"-2147483648"_s, u"$0"_s}) {
        r = checkExportRequest(u"/out/a.xls"_s, start, 2147483647, u"v"_s, none, defaultFormat());
        QCOMPARE(r.message, u"开始导出的文档序号不能小于1"_s);
        QVERIFY(!r.request && !r.isError);
    }
    r = checkExportRequest(u"/out/a.xls"_s, u"0"_s, 0, u"v"_s, none, defaultFormat());
    QCOMPARE(r.message, u"开始导出的文档序号不能小于1"_s);

    // No view name: silent.
    r = checkExportRequest(u"/out/a.xls"_s, u"1"_s, 10, QString(), none, defaultFormat());
    QVERIFY(!r.request);
    QVERIFY(r.message.isEmpty());

    // Passing: the start equal to the count, a blank before the number, the first document.
    r = checkExportRequest(u"/out/a.xls"_s, u"10"_s, 10, u"v"_s, none, defaultFormat());
    QVERIFY(r.request && r.message.isEmpty());
    QCOMPARE(r.request->start, 10);
    r = checkExportRequest(u"/out/a.xls"_s, u" 5"_s, 10, u"v"_s, none, defaultFormat());
    QCOMPARE(r.request->start, 5);
    QCOMPARE(r.request->workbookName, u"/out/a_开始为第 5个文档.xls"_s);
    r = checkExportRequest(u"/out/a.xls"_s, u"1"_s, 10, u"v"_s, none, defaultFormat());
    QCOMPARE(r.request->start, 1);
}

void TestExportNaming::safeFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ordinary") << u"报告 (终稿), v2.doc"_s << u"报告 (终稿), v2.doc"_s;
    QTest::newRow("colon stays") << u"a:b.txt"_s << u"a:b.txt"_s;
    QTest::newRow("parent folders") << u"../../.bashrc"_s << u".bashrc"_s;
    QTest::newRow("absolute") << u"/etc/x"_s << u"x"_s;
    QTest::newRow("backslash") << u"a\\b"_s << u"b"_s;
    QTest::newRow("windows parents") << u"..\\..\\x.exe"_s << u"x.exe"_s;
    QTest::newRow("dot") << u"."_s << u"_"_s;
    QTest::newRow("dot dot") << u".."_s << u"_"_s;
    QTest::newRow("ends in slash") << u"dir/"_s << u"_"_s;
    QTest::newRow("empty") << QString() << u"_"_s;
    QTest::newRow("control characters") << u"a\nb\tc\x7f.txt"_s << u"abc.txt"_s;
    QTest::newRow("only controls") << u"\r\n"_s << u"_"_s;
    QTest::newRow("slash after control") << u"\n/.."_s << u"_"_s;
}

void TestExportNaming::safeFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(quill::exporting::safeFileName(name), expected);
}

void TestExportNaming::numberedNames()
{
    QCOMPARE(numberedFileName(u"a.txt"_s, 2), u"a (2).txt"_s);
    QCOMPARE(numberedFileName(u"_"_s, 3), u"_ (3)"_s);
    QCOMPARE(numberedFileName(u".bashrc"_s, 2), u".bashrc (2)"_s);
    QCOMPARE(numberedFileName(u"a.tar.gz"_s, 2), u"a.tar (2).gz"_s);
    const QString full = QString(251, u'x') + u".pdf"_s;
    QCOMPARE(numberedFileName(full, 10), QString(246, u'x') + u" (10).pdf"_s);
}

void TestExportNaming::exportFiles()
{
    ExportFiles files(u"/out/v附件"_s);
    // Ids as the component gives them are their own folders; others never meet one of them or each other.
    const QList<std::pair<QString, QString>> folders = {
        {u"0123ABCD"_s, u"0123ABCD"_s},
        {u"../x"_s, u"x"_s},
        {u"x"_s, u"x (2)"_s},
        {u"X"_s, u"X (3)"_s},
        {u"0123abcd"_s, u"0123abcd (2)"_s},
        {u"../0123ABCD"_s, u"0123ABCD (3)"_s},
        {u"../x"_s, u"x"_s},
    };
    for (const auto& [id, folder] : folders)
        QCOMPARE(files.documentFolder(id), u"/out/v附件/"_s + folder + u'/');

    // Names taken compare without regard to case and start afresh with each document.
    QCOMPARE(files.claim(u"Readme.txt"_s), u"Readme.txt"_s);
    QCOMPARE(files.nextName(u"README.TXT"_s), u"README (2).TXT"_s);
    QCOMPARE(files.taken(u"readme.txt"_s), u"Readme.txt"_s);
    QCOMPARE(files.claim(u"README.TXT"_s), u"README (2).TXT"_s);
    QCOMPARE(files.claim(u"readme (3).txt"_s), u"readme (3).txt"_s);
    QCOMPARE(files.claim(u"readme.txt"_s), u"readme (4).txt"_s);
    QVERIFY(files.taken(u"other"_s).isEmpty());
    files.startDocument();
    QCOMPARE(files.claim(u"readme.txt"_s), u"readme.txt"_s);
}

void TestExportNaming::cutToCell()
{
    const QString longName = QString(300, u'中') + u".pdf"_s;
    const QString safe = quill::exporting::safeFileName(longName);
    QVERIFY(safe.toUtf8().size() <= 255);
    QVERIFY(safe.endsWith(u".pdf"_s));
    QVERIFY(safe.startsWith(u"中中中"_s));

    const OutputFormat& xls = defaultFormat();
    const int cellText = xls.limits.cellText;
    QCOMPARE(cellText, 32767);
    QCOMPARE(xls.cutToCell(u"short"_s), u"short"_s);
    const QString exact(cellText, u'a');
    QCOMPARE(xls.cutToCell(exact), exact);
    QCOMPARE(xls.cutToCell(exact + u'b').size(), cellText);
    // A pair cut in half would leave an invalid character at the end.
    const QString pairAtEdge = QString(cellText - 1, u'a') + u"𠀀"_s;
    QCOMPARE(xls.cutToCell(pairAtEdge), QString(cellText - 1, u'a'));
}

QTEST_GUILESS_MAIN(TestExportNaming)
#include "tst_export_naming.moc"
