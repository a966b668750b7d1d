#include "export/outputformat.h"

#include "workbook/csvwriter.h"
#include "workbook/xlswriter.h"
#include "workbook/xlsxwriter.h"

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
    using workbook::CsvWriter;
    using workbook::XlsWriter;
    using workbook::XlsxWriter;
    static const std::vector<OutputFormat> formats = {
        {u"xls"_s,
         u".xls"_s,
         u"Excel 97-2003 工作簿|*.xls"_s,
         {XlsWriter::kMaxRows, XlsWriter::kMaxColumns, XlsWriter::kMaxTextLength},
         workbook::createXlsWriter},
        {u"xlsx"_s,
         u".xlsx"_s,
         u"Excel 工作簿|*.xlsx"_s,
         {XlsxWriter::kMaxRows, XlsxWriter::kMaxColumns, XlsxWriter::kMaxTextLength},
         workbook::createXlsxWriter,
         true,
         true},
        {u"csv"_s,
         u".csv"_s,
         u"CSV UTF-8|*.csv"_s,
         {CsvWriter::kMaxRows, CsvWriter::kMaxColumns, CsvWriter::kMaxTextLength},
         workbook::createCsvWriter,
         true,
         true},
    };
    return formats;
}

const OutputFormat& defaultFormat()
{
    return outputFormats().front();
}

const OutputFormat* formatNamed(const QString& name)
{
    for (const OutputFormat& format : outputFormats())
        if (format.name == name)
            return &format;
    return nullptr;
}

QString formatNames()
{
    QStringList names;
    for (const OutputFormat& format : outputFormats())
        names << format.name;
    return names.join(u'|');
}

} // namespace quill::exporting
