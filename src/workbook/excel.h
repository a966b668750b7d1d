#pragma once

#include "platform/error.h"

#include <QString>
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

// The in-process writer of Excel 97-2003 workbooks (.xls).
std::unique_ptr<ExcelApplication> createXlsWriter();

} // namespace quill::workbook
