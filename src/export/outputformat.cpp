#include "export/outputformat.h"

#include "workbook/xlswriter.h"

using namespace Qt::StringLiterals;

namespace quill::exporting {

QString OutputFormat::cutToCell(const QString& text) const
{
    if (text.size() <= limits.cellText)
        return text;
    qsizetype length = limits.cellText;
    if (length > 0 && text[length - 1].isHighSurrogate())
        --length;
    return text.left(length);
}

const std::vector<OutputFormat>& outputFormats()
{
    using workbook::XlsWriter;
    static const std::vector<OutputFormat> formats = {
        {u"xls"_s,
         u".xls"_s,
         u"Excel文件|*.xls"_s,
         {XlsWriter::kMaxRows, XlsWriter::kMaxColumns, XlsWriter::kMaxTextLength},
         workbook::createXlsWriter},
    };
    return formats;
}

const OutputFormat& defaultFormat()
{
    return outputFormats().front();
}

} // namespace quill::exporting
