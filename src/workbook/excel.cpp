#include "workbook/excel.h"

namespace quill::workbook {

WorkbookError::WorkbookError(const QString& message) : platform::Error(message) {}

WorkbookError::~WorkbookError() = default;

} // namespace quill::workbook
