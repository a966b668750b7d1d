#include "csvwriter.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace quill::workbook {

std::unique_ptr<ExcelApplication> createCsvWriter()
{
    return std::make_unique<CsvWriter>();
}

namespace {

constexpr qsizetype kChunk = 1 << 20;

bool isPlainNumber(const QString& text)
{
    static const QRegularExpression number(u"^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?$"_s);
    return number.match(text).hasMatch();
}

} // namespace

QString CsvWriter::guarded(const QString& text)
{
    if (text.isEmpty())
        return text;
    const QChar first = text.front();
    const bool formulaStart =
        first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' || first == u'\r';
    if (!formulaStart || ((first == u'+' || first == u'-') && isPlainNumber(text)))
        return text;
    return u'\'' + text;
}

QByteArray CsvWriter::field(const QString& text)
{
    const QString safe = guarded(text);
    const bool quoted = safe.contains(u',') || safe.contains(u'"') || safe.contains(u'\n') || safe.contains(u'\r');
    if (!quoted)
        return safe.toUtf8();
    QString out = safe;
    out.replace(u'"', u"\"\""_s);
    return '"' + out.toUtf8() + '"';
}

void CsvWriter::requireOpen(const char* operation) const
{
    requireStarted(bool(m_spool), operation);
}

void CsvWriter::checkCell(int row, int column)
{
    if (row < 1 || column < 1)
        throw WorkbookError(u"单元格位置超出范围：第%1行第%2列"_s.arg(row).arg(column));
    if (row < m_row)
        throw WorkbookError(u"第%1行已写出，不能再写入（当前为第%2行）"_s.arg(row).arg(m_row));
    // Rows in between are empty rows of the file.
    while (m_row < row) {
        if (m_row > 0)
            flushRow();
        ++m_row;
    }
}

void CsvWriter::StartExcel()
{
    auto spool = std::make_unique<QTemporaryFile>();
    if (!spool->open())
        throw WorkbookError(u"无法创建临时文件：%1"_s.arg(spool->errorString()));
    m_spool = std::move(spool);
    m_buffer.clear();
    m_failed = false;
    m_failure.clear();
    m_row = 0;
    m_cells.clear();
    m_headerFields = 0;
    write("\xEF\xBB\xBF");
}

void CsvWriter::SetColumnWidth(int column, int width)
{
    requireOpen("SetColumnWidth");
    if (column < 1 || width < 0)
        throw WorkbookError(u"列宽超出范围：第%1列，%2个字符"_s.arg(column).arg(width));
}

void CsvWriter::SetCellTextFormat(int row, int column)
{
    requireOpen("SetCellTextFormat");
    checkCell(row, column);
}

void CsvWriter::SetCellValue(int row, int column, const QString& text)
{
    requireOpen("SetCellValue");
    checkCell(row, column);
    if (m_cells.size() < size_t(column))
        m_cells.resize(size_t(column));
    m_cells[size_t(column - 1)] = text;
}

void CsvWriter::flushRow()
{
    if (m_row == 1)
        m_headerFields = m_cells.size();
    const size_t fields = std::max(m_cells.size(), m_headerFields);
    QByteArray line;
    for (size_t i = 0; i < fields; ++i) {
        if (i)
            line += ',';
        if (i < m_cells.size())
            line += field(m_cells[i]);
    }
    line += "\r\n";
    write(line);
    m_cells.clear();
}

void CsvWriter::write(const QByteArray& bytes)
{
    m_buffer += bytes;
    if (m_buffer.size() < kChunk || m_failed)
        return;
    if (m_spool->write(m_buffer) != m_buffer.size()) {
        // Kept for the save, which reports it; the rows after it are not worth writing.
        m_failed = true;
        m_failure = m_spool->errorString();
    }
    m_buffer.clear();
}

void CsvWriter::SaveWorkbook(const QString& fileName)
{
    requireOpen("SaveWorkbook");
    if (m_row > 0)
        flushRow();
    m_row = 0;
    if (!m_failed && (m_spool->write(m_buffer) != m_buffer.size() || !m_spool->flush())) {
        m_failed = true;
        m_failure = m_spool->errorString();
    }
    m_buffer.clear();
    if (m_failed)
        throw WorkbookError(u"保存工作簿失败：无法写入临时文件（%1）"_s.arg(m_failure));
    saveWorkbookFile(fileName, [&](QIODevice& device) { return copyFileInto(m_spool->fileName(), device); });
}

void CsvWriter::QuitExcel()
{
    requireOpen("QuitExcel");
    m_spool.reset();
    m_buffer.clear();
    m_cells.clear();
}

} // namespace quill::workbook
