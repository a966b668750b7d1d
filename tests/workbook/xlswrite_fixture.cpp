// Writes named workbooks into a folder, each with <name>.expect.json recording what was asked of the writer
// (final cell texts, text-format cells, widths) for the independent readers to compare against.
#include "workbook/compoundfile.h"
#include "workbook/xlswriter.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <cstdio>
#include <random>

using namespace Qt::StringLiterals;
using quill::workbook::XlsWriter;

namespace {

class Fixture
{
public:
    Fixture() { m_writer.StartExcel(); }
    void value(int row, int column, const QString& text)
    {
        m_writer.SetCellValue(row, column, text);
        m_values[{row, column}] = text;
    }
    void textFormat(int row, int column)
    {
        m_writer.SetCellTextFormat(row, column);
        m_textFormat.insert({row, column});
    }
    void width(int column, int w)
    {
        m_writer.SetColumnWidth(column, w);
        m_widths[column] = w;
    }
    qsizetype streamSize() const { return m_writer.workbookStream().size(); }
    // Gives (row, column) the longest run of `unit` whose stream stays within `target` bytes.
    qsizetype fillTo(int row, int column, QChar unit, qsizetype target)
    {
        qsizetype lo = 0, hi = XlsWriter::kMaxTextLength;
        while (lo < hi) {
            const qsizetype mid = (lo + hi + 1) / 2;
            value(row, column, QString(mid, unit));
            if (streamSize() <= target)
                lo = mid;
            else
                hi = mid - 1;
        }
        value(row, column, QString(lo, unit));
        return streamSize();
    }
    void save(const QString& dir, const QString& name, QJsonObject extra = {})
    {
        m_writer.SaveWorkbook(dir + u'/' + name + u".xls"_s);
        QJsonArray cells, formats;
        for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
            cells.append(QJsonArray{it.key().first, it.key().second, it.value()});
        for (const auto& cell : m_textFormat)
            formats.append(QJsonArray{cell.first, cell.second});
        QJsonObject widths;
        for (auto it = m_widths.cbegin(); it != m_widths.cend(); ++it)
            widths[QString::number(it.key())] = it.value();
        extra[u"cells"_s] = cells;
        extra[u"textFormat"_s] = formats;
        extra[u"widths"_s] = widths;
        QFile json(dir + u'/' + name + u".expect.json"_s);
        if (!json.open(QIODevice::WriteOnly) || json.write(QJsonDocument(extra).toJson(QJsonDocument::Compact)) < 0)
            throw std::runtime_error("cannot write expectation");
    }

private:
    XlsWriter m_writer;
    QMap<QPair<int, int>, QString> m_values;
    QSet<QPair<int, int>> m_textFormat;
    QMap<int, int> m_widths;
};

const QString kPairs[] = {u"😀"_s, u"𠀀"_s, u"𝄞"_s, u"🀄"_s};

void corners(const QString& dir)
{
    Fixture f;
    f.value(1, 1, u"左上角A1"_s);
    f.value(65536, 256, u"右下角IV65536"_s);
    f.value(2, 2, QString());
    f.textFormat(3, 3);
    f.value(3, 3, u"2024"_s);
    f.value(4, 4, u"007"_s);
    f.textFormat(4, 4);
    f.textFormat(5, 5); // formatted, never written
    f.value(6, 6, u"first"_s);
    f.value(6, 6, u"second"_s);
    f.value(7, 7, u"café ñ ÿ"_s);
    for (int column : {5, 3, 1, 4, 2})
        f.value(10, column, u"倒序%1"_s.arg(column));
    f.value(11, 1, u"second"_s);
    for (int column = 1; column <= 8; ++column)
        f.width(column, 40);
    f.width(2, 14);
    f.width(3, 0);
    f.width(4, 1);
    f.width(5, 255);
    f.width(256, 8);
    f.save(dir, u"corners"_s);
}

void unicode(const QString& dir)
{
    Fixture f;
    f.value(1, 1, u"文档ID"_s);
    f.value(1, 2, u"中文与English混排，标点：“引号”、《书名》"_s);
    f.value(1, 3, u"surrogates 😀𠀀𝄞 in 中文"_s);
    f.value(1, 4, u"tab\there\nnew line"_s);
    f.value(2, 1, QString(XlsWriter::kMaxTextLength, u'x'));
    f.value(2, 2, QString(XlsWriter::kMaxTextLength, u'汉'));
    QString pairs;
    while (pairs.size() + 2 <= XlsWriter::kMaxTextLength)
        pairs += kPairs[(pairs.size() / 2) % 4];
    pairs += u'z';
    f.value(2, 3, pairs);
    f.value(2, 4, QString(XlsWriter::kMaxTextLength, u'é'));
    f.save(dir, u"unicode"_s);
}

void sstSplits(const QString& dir)
{
    // Many strings of random length and kind, so that record boundaries fall at every kind of place; the
    // checker confirms each awkward case actually occurred.
    Fixture f;
    std::mt19937 rng(20240601);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    // Mostly tiny strings, so that record ends meet string boundaries often, with long ones among them that
    // span several records.
    for (int i = 0; i < 60000; ++i) {
        const int kind = pick(4);
        const int length = pick(300) == 0 ? pick(12000) : pick(9);
        QString text;
        while (text.size() < length) {
            switch (kind) {
            case 0:
                text += QChar(u'a' + pick(26));
                break;
            case 1:
                text += QChar(0xC0 + pick(0x3F));
                break;
            case 2:
                text += QChar(0x4E00 + pick(0x5000));
                break;
            default:
                if (pick(2))
                    text += kPairs[pick(4)];
                else
                    text += QChar(0x4E00 + pick(0x5000));
            }
        }
        f.value(1 + i / 20, 1 + i % 20, text.left(XlsWriter::kMaxTextLength));
    }
    f.save(dir, u"sst_splits"_s, QJsonObject{{u"splitCoverage"_s, true}});
}

void manyRows(const QString& dir)
{
    // A cell table of several megabytes, so that the INDEX is completed after the writer has let it go.
    Fixture f;
    for (int row = 1; row <= XlsWriter::kMaxRows; ++row) {
        f.value(row, 1, u"行%1"_s.arg(row % 100));
        f.value(row, 2, QString::number(row));
    }
    f.save(dir, u"many_rows"_s);
}

void exactStream(const QString& dir, qsizetype target)
{
    Fixture f;
    f.value(1, 1, u"大小"_s);
    const qsizetype size = f.fillTo(2, 1, u'q', target);
    if (size != target)
        throw std::runtime_error("stream size not reached");
    f.save(dir, u"stream_%1"_s.arg(target), QJsonObject{{u"biffSize"_s, size}});
}

void fatSectors(const QString& dir, uint32_t fat, uint32_t streamSectors)
{
    Fixture f;
    const qsizetype target = qsizetype(streamSectors) * 512 - 100;
    auto fill = [&](int row) {
        f.value(row, 1, QString::number(row) + QString(XlsWriter::kMaxTextLength - 10, QChar(u'a' + row % 26)));
    };
    int row = 1;
    for (; row < target / (XlsWriter::kMaxTextLength + 100) - 2; ++row)
        fill(row);
    while (f.streamSize() + XlsWriter::kMaxTextLength < target)
        fill(row++);
    const qsizetype size = f.fillTo(row, 2, u'z', target);
    const auto layout = quill::workbook::compoundLayout(uint64_t(size));
    if (layout.fatSectors != fat)
        throw std::runtime_error("FAT sector count not reached");
    f.save(dir, u"fat%1"_s.arg(fat),
           QJsonObject{{u"biffSize"_s, size}, {u"fatSectors"_s, int(fat)}, {u"difatSectors"_s, fat > 109 ? 1 : 0}});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: xlswrite_fixture <folder>\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    try {
        QDir(dir).removeRecursively(); // no stale workbooks from earlier runs
        if (!QDir().mkpath(dir))
            throw std::runtime_error("cannot create folder");
        corners(dir);
        unicode(dir);
        sstSplits(dir);
        manyRows(dir);
        exactStream(dir, 4095);
        exactStream(dir, 4096);
        // 109 FAT sectors map up to 13952 sectors; the 110th needs a DIFAT sector.
        fatSectors(dir, 109, 13780);
        fatSectors(dir, 110, 13900);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "xlswrite_fixture: %s\n", e.what());
        return 1;
    }
    return 0;
}
