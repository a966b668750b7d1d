#pragma once

#include "platform/error.h"

#include <QIODevice>
#include <QString>
#include <functional>
#include <memory>

namespace quill::workbook {

// A workbook operation that cannot be done: carries the reason, like every other error the program reports.
class WorkbookError : public platform::Error
{
public:
    explicit WorkbookError(const QString& message);
    ~WorkbookError() override;
};

// The six automation operations through which the export reaches Excel.
class ExcelApplication
{
public:
    virtual ~ExcelApplication() = default;
    virtual void StartExcel() = 0;                           // new empty workbook with one active sheet
    virtual void SetColumnWidth(int column, int width) = 0;  // column from 1, width in characters
    virtual void SetCellTextFormat(int row, int column) = 0; // number format "@" on that cell
    virtual void SetCellValue(int row, int column, const QString& text) = 0;
    virtual void SaveWorkbook(const QString& fileName) = 0;
    virtual void QuitExcel() = 0; // releases everything
};

// The in-process writers: Excel 97-2003 (.xls), Excel 2007 and later (.xlsx), CSV in UTF-8 (.csv).
std::unique_ptr<ExcelApplication> createXlsWriter();
std::unique_ptr<ExcelApplication> createXlsxWriter();
std::unique_ptr<ExcelApplication> createCsvWriter();

// What every writer's SaveWorkbook does with the name: a link or a special file there is refused, and write()
// fills a new temporary file beside it that replaces the name only when whole. Throws WorkbookError
// ("保存工作簿失败：…").
void saveWorkbookFile(const QString& fileName, const std::function<bool(QIODevice&)>& write);
// The writers' common checks: an operation before StartExcel or after QuitExcel, and a cell outside the sheet.
void requireStarted(bool started, const char* operation);
void checkCellPosition(int row, int column, int maxRows, int maxColumns);
void checkColumnWidth(int column, int width, int maxColumns, int maxWidth);
void checkCellText(const QString& text, int maxLength, int row, int column);
// Copies the whole file at path into out; false when a read or a write fails.
bool copyFileInto(const QString& path, QIODevice& out);

} // namespace quill::workbook
