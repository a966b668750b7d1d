#pragma once

#include "export/outputformat.h"

#include <QString>
#include <functional>
#include <optional>

namespace quill::exporting {

// Whole-text conversion to a 32-bit signed integer: optional leading blanks, an optional sign, then
// decimal digits or hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may follow.
std::optional<qint32> textToInteger(const QString& text);
bool IsIntegerText(const QString& text);

// The text with each of  " \ : > < | * ? /  removed.
QString CleanFileName(const QString& text);

// Everything after the last "/" of a file name.
QString fileNamePart(const QString& fileName);

// The user's file name without the format's extension at its end (any case), plus "_开始为第" + startNo +
// "个文档" and the extension; a name too long for the file system is cut before that tail, as the
// attachment folder's is, so that its last part keeps within 255 bytes.
QString workbookName(const QString& fileName, const QString& startNo, const OutputFormat& format);

// The start of a name that every workbook name made from it keeps, whatever its start number: names whose
// workbooks could meet have the same stem.
QString workbookStem(const QString& fileName);

// The workbook's folder with a trailing "/"; empty when the name has no folder part (the current
// folder, where the workbook itself is saved).
QString exportFolder(const QString& workbookName);
// The export folder + the cleaned view name + "附件"; a long view name is cut so that the folder's own
// name keeps within a file name's 255 bytes.
QString attachmentFolder(const QString& exportFolder, const QString& viewName);

// A name from the database reduced to one harmless file name: no folder part, no control
// characters, never empty, "." or "..", at most 255 bytes. Chinese and punctuation stay.
QString safeFileName(const QString& name);
// A safe file name with " (number)" before its extension, the stem cut to keep within 255 bytes.
QString numberedFileName(const QString& safeName, int number);

struct ExportRequest
{
    QString workbookName;
    qint32 start = 1;
};

// The checks made before an export starts, in their order: the request to run, or why there is none.
// No request and an empty message means stop silently. A start number that is not an integer is an
// error (isError): the command hands its message to the general error handler; one below 1 is refused.
struct OpeningResult
{
    std::optional<ExportRequest> request;
    QString message;
    bool isError = false;
};
OpeningResult checkExportRequest(const QString& fileName, const QString& startNo, qint32 docCount,
                                 const QString& viewName, const std::function<bool(const QString&)>& fileExists,
                                 const OutputFormat& format);

} // namespace quill::exporting
