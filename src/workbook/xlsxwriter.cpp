#include "xlsxwriter.h"

#include "platform/outputfolder.h"

#include <QFile>
#include <QRegularExpression>
#include <cerrno>
#include <xlsxwriter.h>

// Debian 12's libxlsxwriter; its pkg-config file gives the soname, not this.
static_assert(LXW_VERSION_ID >= 114, "libxlsxwriter 1.1.4 or later is needed");

using namespace Qt::StringLiterals;

namespace quill::workbook {

std::unique_ptr<ExcelApplication> createXlsxWriter()
{
    return std::make_unique<XlsxWriter>();
}

namespace {

QString reasonOf(lxw_error error)
{
    return QString::fromUtf8(lxw_strerror(error));
}

// Excel reads "_x0041_" in a cell's XML as "A"; libxlsxwriter 1.1.4 escapes control characters that way but
// leaves such text as it is. Escaping its underscore ("_x005F_") keeps the text as it was written.
QByteArray cellBytes(const QString& text)
{
    static const QRegularExpression escape(u"_(?=x[0-9A-Fa-f]{4}_)"_s);
    if (!text.contains(u"_x"_s))
        return text.toUtf8();
    QString escaped = text;
    escaped.replace(escape, u"_x005F_"_s);
    return escaped.toUtf8();
}

} // namespace

XlsxWriter::XlsxWriter() = default;

XlsxWriter::~XlsxWriter()
{
    release();
}

void XlsxWriter::requireOpen(const char* operation) const
{
    requireStarted(bool(m_workbook), operation);
}

void XlsxWriter::checkCell(int row, int column)
{
    checkCellPosition(row, column, kMaxRows, kMaxColumns);
    // Constant memory: a finished row is on its way to the file and cannot change.
    if (row < m_row)
        throw WorkbookError(u"第%1行已写出，不能再写入（当前为第%2行）"_s.arg(row).arg(m_row));
    if (row > m_row) {
        m_row = row;
        m_textCells.clear();
    }
}

void XlsxWriter::StartExcel()
{
    release(); // a second start gives a fresh workbook, as a new Excel instance would
    auto spool = std::make_unique<QTemporaryDir>();
    if (!spool->isValid())
        throw WorkbookError(u"无法创建临时文件夹：%1"_s.arg(spool->errorString()));
    const QByteArray folder = QFile::encodeName(spool->path());
    const QByteArray file = QFile::encodeName(spool->filePath(u"workbook.xlsx"_s));
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char*>(folder.constData());
    options.use_zip64 = LXW_TRUE; // a million rows of long texts pass 4 GB unpacked
    m_workbook = workbook_new_opt(file.constData(), &options);
    if (!m_workbook)
        throw WorkbookError(u"无法创建工作簿"_s);
    m_sheet = workbook_add_worksheet(m_workbook, nullptr);
    m_textFormat = workbook_add_format(m_workbook);
    if (!m_sheet || !m_textFormat) {
        release();
        throw WorkbookError(u"无法创建工作表"_s);
    }
    format_set_num_format(m_textFormat, "@");
    m_spool = std::move(spool);
    m_row = 0;
    m_textCells.clear();
}

void XlsxWriter::SetColumnWidth(int column, int width)
{
    requireOpen("SetColumnWidth");
    checkColumnWidth(column, width, kMaxColumns, kMaxWidth);
    const auto col = static_cast<lxw_col_t>(column - 1);
    const lxw_error error = worksheet_set_column(m_sheet, col, col, width, nullptr);
    if (error != LXW_NO_ERROR)
        throw WorkbookError(u"设置列宽失败：%1"_s.arg(reasonOf(error)));
}

void XlsxWriter::SetCellTextFormat(int row, int column)
{
    requireOpen("SetCellTextFormat");
    checkCell(row, column);
    m_textCells.insert(column);
    const lxw_error error = worksheet_write_blank(m_sheet, static_cast<lxw_row_t>(row - 1),
                                                  static_cast<lxw_col_t>(column - 1), m_textFormat);
    if (error != LXW_NO_ERROR)
        throw WorkbookError(u"设置单元格格式失败：%1"_s.arg(reasonOf(error)));
}

void XlsxWriter::SetCellValue(int row, int column, const QString& text)
{
    requireOpen("SetCellValue");
    checkCell(row, column);
    checkCellText(text, kMaxTextLength, row, column);
    lxw_format* format = m_textCells.contains(column) ? m_textFormat : nullptr;
    const auto r = static_cast<lxw_row_t>(row - 1);
    const auto c = static_cast<lxw_col_t>(column - 1);
    // Always a string cell: a text that begins with "=" stays text, as in the .xls.
    const lxw_error error = text.isEmpty() ? worksheet_write_blank(m_sheet, r, c, format)
                                           : worksheet_write_string(m_sheet, r, c, cellBytes(text).constData(), format);
    if (error != LXW_NO_ERROR)
        throw WorkbookError(u"写入单元格失败：%1，位于第%2行第%3列"_s.arg(reasonOf(error)).arg(row).arg(column));
}

void XlsxWriter::SaveWorkbook(const QString& fileName)
{
    requireOpen("SaveWorkbook");
    const QString packed = m_spool->filePath(u"workbook.xlsx"_s);
    // workbook_close writes the package and lets the workbook go: a writer is saved once.
    errno = 0;
    const lxw_error error = workbook_close(m_workbook);
    const int cause = errno;
    m_workbook = nullptr;
    m_sheet = nullptr;
    m_textFormat = nullptr;
    if (error != LXW_NO_ERROR) {
        const QString system = cause ? u"（"_s + platform::systemErrorText(cause) + u"）"_s : QString();
        throw WorkbookError(u"保存工作簿失败：%1%2"_s.arg(reasonOf(error), system));
    }
    // Packed in the temporary folder, then copied beside the target and renamed only when whole.
    saveWorkbookFile(fileName, [&](QIODevice& device) { return copyFileInto(packed, device); });
}

void XlsxWriter::QuitExcel()
{
    if (!m_spool)
        throw WorkbookError(u"Excel未启动或已退出，无法执行QuitExcel：请先调用StartExcel"_s);
    release();
}

void XlsxWriter::release()
{
    if (m_workbook)
        lxw_workbook_free(m_workbook);
    m_workbook = nullptr;
    m_sheet = nullptr;
    m_textFormat = nullptr;
    m_spool.reset();
    m_textCells.clear();
    m_row = 0;
}

} // namespace quill::workbook
