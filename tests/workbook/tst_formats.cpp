#include "workbook/csvwriter.h"
#include "workbook/excel.h"
#include "workbook/xlsxwriter.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill::workbook;

namespace {

struct CellText
{
    int row;
    int column;
    QString text;
};

// Cells a spreadsheet could misread: formulas, numbers with a sign, separators, line breaks, quotes,
// Excel's own escapes, control characters, a full cell, and an empty row.
std::vector<CellText> trickyCells()
{
    QString full;
    while (full.size() < XlsxWriter::kMaxTextLength)
        full += u"长文本abc"_s;
    full.truncate(XlsxWriter::kMaxTextLength);
    return {
        {1, 1, u"文档ID"_s}, {1, 2, u"Subject"_s},  {1, 3, u"2024"_s},     {1, 4, u"公式"_s},
        {2, 1, u"ID1"_s},    {2, 2, u"=1+1"_s},     {2, 3, u"-5"_s},       {2, 4, u"张三, 李四"_s},
        {3, 1, u"ID2"_s},    {3, 2, u"@SUM(A1)"_s}, {3, 3, u"+1.5E3"_s},   {3, 4, u"line1\nline2, \"quoted\""_s},
        {4, 1, u"ID3"_s},    {4, 2, u"_x0041_"_s},  {4, 3, u"a\u0001b"_s}, {4, 4, full},
        {6, 1, u"ID4"_s},    {6, 2, u"\tTab"_s},    {6, 3, u"-"_s},        {6, 4, u"0012"_s},
    };
}

QString guardedForCsv(const QString& text)
{
    // What a spreadsheet would run as a formula gets an apostrophe; numbers stay numbers.
    static const QStringList guarded = {u"=1+1"_s, u"@SUM(A1)"_s, u"\tTab"_s, u"-"_s};
    return guarded.contains(text) ? u'\'' + text : text;
}

void check(const QString& file, const QJsonObject& expect)
{
    QFile json(file + u".expect.json"_s);
    QVERIFY(json.open(QIODevice::WriteOnly));
    json.write(QJsonDocument(expect).toJson());
    json.close();
    QProcess python;
    python.setProcessChannelMode(QProcess::MergedChannels);
    python.start(u"/usr/bin/python3"_s, {QFINDTESTDATA("check_formats.py"), file, json.fileName()});
    QVERIFY(python.waitForFinished(300000));
    const QString out = QString::fromUtf8(python.readAll());
    QVERIFY2(python.exitCode() == 0, qPrintable(out));
}

} // namespace

class TestFormats : public QObject
{
    Q_OBJECT
private slots:
    void readBack_data();
    void readBack();
    void refusals_data();
    void refusals();
};

void TestFormats::readBack_data()
{
    QTest::addColumn<QString>("extension");
    QTest::newRow("xlsx") << u".xlsx"_s;
    QTest::newRow("csv") << u".csv"_s;
}

void TestFormats::readBack()
{
    QFETCH(QString, extension);
    QTemporaryDir tmp;
    const bool csv = extension == u".csv"_s;
    std::unique_ptr<ExcelApplication> writer = csv ? createCsvWriter() : createXlsxWriter();
    writer->StartExcel();
    writer->SetColumnWidth(1, 40);
    writer->SetColumnWidth(3, 14);
    QJsonArray cells;
    for (const CellText& cell : trickyCells()) {
        if (cell.row == 1 && cell.column == 3)
            writer->SetCellTextFormat(1, 3);
        writer->SetCellValue(cell.row, cell.column, cell.text);
        cells.append(QJsonArray{cell.row, cell.column, csv ? guardedForCsv(cell.text) : cell.text});
    }
    const QString file = tmp.filePath(u"格式"_s + extension);
    writer->SaveWorkbook(file);
    writer->QuitExcel();
    QJsonObject expect{{u"cells"_s, cells}, {u"textCells"_s, QJsonArray{QJsonArray{1, 3}}}};
    if (!csv)
        expect[u"widths"_s] = QJsonObject{{u"1"_s, 40}, {u"3"_s, 14}};
    check(file, expect);
    // Nothing is left beside the workbook.
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).filter(u"格式"_s),
             (QStringList{u"格式"_s + extension, u"格式"_s + extension + u".expect.json"_s}));
}

void TestFormats::refusals_data()
{
    QTest::addColumn<bool>("csv");
    QTest::newRow("xlsx") << false;
    QTest::newRow("csv") << true;
}

void TestFormats::refusals()
{
    QFETCH(bool, csv);
    QTemporaryDir tmp;
    const auto start = [csv] {
        std::unique_ptr<ExcelApplication> writer = csv ? createCsvWriter() : createXlsxWriter();
        writer->StartExcel();
        return writer;
    };
    {
        // Rows go out in order: an earlier row cannot change any more.
        std::unique_ptr<ExcelApplication> writer = start();
        writer->SetCellValue(3, 1, u"c"_s);
        QVERIFY_THROWS_EXCEPTION(WorkbookError, writer->SetCellValue(2, 1, u"b"_s));
        writer->QuitExcel();
    }
    if (!csv) {
        std::unique_ptr<ExcelApplication> writer = start();
        QVERIFY_THROWS_EXCEPTION(WorkbookError,
                                 writer->SetCellValue(1, 1, QString(XlsxWriter::kMaxTextLength + 1, u'x')));
        QVERIFY_THROWS_EXCEPTION(WorkbookError, writer->SetCellValue(XlsxWriter::kMaxRows + 1, 1, u"x"_s));
        QVERIFY_THROWS_EXCEPTION(WorkbookError, writer->SetCellValue(1, XlsxWriter::kMaxColumns + 1, u"x"_s));
        writer->QuitExcel();
    }
    // A save that cannot be made says why and leaves nothing; a link under the name is not followed.
    QFile plain(tmp.filePath(u"plain"_s));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(QFile::link(tmp.filePath(u"elsewhere"_s), tmp.filePath(u"link.out"_s)));
    for (const QString& target : {tmp.filePath(u"plain/a.out"_s), tmp.filePath(u"link.out"_s)}) {
        std::unique_ptr<ExcelApplication> writer = start();
        writer->SetCellValue(1, 1, u"a"_s);
        try {
            writer->SaveWorkbook(target);
            QFAIL("saved");
        } catch (const WorkbookError& e) {
            QVERIFY2(e.message().startsWith(u"保存工作簿失败："_s), qPrintable(e.message()));
        }
        writer->QuitExcel();
    }
    QVERIFY(!QFileInfo::exists(tmp.filePath(u"elsewhere"_s)));
}

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
