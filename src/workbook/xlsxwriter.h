#pragma once

#include "excel.h"

#include <QTemporaryDir>
#include <memory>
#include <set>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace quill::workbook {

// Writes an Excel 2007+ workbook (.xlsx) through libxlsxwriter in its constant-memory mode: rows go to a
// temporary file as they are finished, so memory stays flat however many rows there are. Rows are
// written in order; a cell of a row before the current one is refused. Every value is a string cell,
// never a formula, as the .xls writer's are.
class XlsxWriter final : public ExcelApplication
{
public:
    static constexpr int kMaxRows = 1048576;
    static constexpr int kMaxColumns = 16384;
    static constexpr int kMaxTextLength = 32767;
    static constexpr int kMaxWidth = 255;

    XlsxWriter();
    ~XlsxWriter() override;

    void StartExcel() override;
    void SetColumnWidth(int column, int width) override;
    void SetCellTextFormat(int row, int column) override;
    void SetCellValue(int row, int column, const QString& text) override;
    void SaveWorkbook(const QString& fileName) override;
    void QuitExcel() override;

private:
    void requireOpen(const char* operation) const;
    void checkCell(int row, int column);
    void release();

    std::unique_ptr<QTemporaryDir> m_spool; // the workbook file and libxlsxwriter's row files
    lxw_workbook* m_workbook = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    lxw_format* m_textFormat = nullptr;
    int m_row = 0;             // the row being written
    std::set<int> m_textCells; // columns of that row with the text format
};

} // namespace quill::workbook
