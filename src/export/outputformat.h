#pragma once

#include "workbook/excel.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace quill::exporting {

using ExcelFactory = std::function<std::unique_ptr<workbook::ExcelApplication>()>;

// How much one sheet holds: rows with the header row, columns with the id column, characters in a cell.
struct SheetLimits
{
    int rows = 0;
    int columns = 0;
    int cellText = 0;
};

// An output format: what the workbook's name, the run, the window's save dialog and quillmere-export ask of
// it. A format is a writer behind the six workbook operations and one entry in outputFormats().
struct OutputFormat
{
    QString name;         // as the command line names it
    QString extension;    // the workbook name's ending, with its dot
    QString dialogFilter; // the save dialog's "描述|*.ext"; one entry of the dialog's list
    SheetLimits limits;
    ExcelFactory makeWriter;
    // Columns for every item of the exported documents (their union, the start document's first), not only
    // the start document's; columns of the run's own (a page's path, say) may join them.
    bool completeColumns = false;
    // When the run writes HTML pages, the workbook gets a last column with each document's page, relative to the
    // workbook's folder.
    bool pageColumn = false;

    // The text as a cell of the format holds it: cut at limits.cellText characters, never inside a pair.
    QString cutToCell(const QString& text) const;
};

// Every format, the window's default first.
const std::vector<OutputFormat>& outputFormats();
const OutputFormat& defaultFormat();
// The format of that name ("xls", "xlsx", "csv"), or nullptr.
const OutputFormat* formatNamed(const QString& name);
// Every format's names, "xls|xlsx|csv".
QString formatNames();

} // namespace quill::exporting
