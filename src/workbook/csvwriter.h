#pragma once

#include "excel.h"

#include <QFile>
#include <QTemporaryFile>
#include <memory>
#include <vector>

namespace quill::workbook {

// Writes comma-separated values as RFC 4180 has them: UTF-8 with a byte-order mark (so that Excel in a
// Chinese locale reads it as UTF-8), CRLF at each row's end, a field in double quotes when it holds a
// comma, a quote or a line break. Rows are written in order and go to a temporary file as they are
// finished; every row has at least as many fields as the first. Widths and formats have no place in a
// CSV file and are taken without effect.
class CsvWriter final : public ExcelApplication
{
public:
    static constexpr int kMaxRows = 2147483647;
    static constexpr int kMaxColumns = 2147483647;
    static constexpr int kMaxTextLength = 2147483647;

    void StartExcel() override;
    void SetColumnWidth(int column, int width) override;
    void SetCellTextFormat(int row, int column) override;
    void SetCellValue(int row, int column, const QString& text) override;
    void SaveWorkbook(const QString& fileName) override;
    void QuitExcel() override;

    // The field as the file holds it: guarded against being run as a formula, then quoted when needed.
    static QByteArray field(const QString& text);
    // A text that a spreadsheet would run as a formula (it begins with =, +, -, @, a tab or a CR) and that is
    // not a plain number such as -5 or +1.5E3 gets an apostrophe in front.
    static QString guarded(const QString& text);

private:
    void requireOpen(const char* operation) const;
    void checkCell(int row, int column);
    void flushRow();
    void write(const QByteArray& bytes);

    std::unique_ptr<QTemporaryFile> m_spool;
    QByteArray m_buffer;
    bool m_failed = false;
    QString m_failure;
    int m_row = 0;
    std::vector<QString> m_cells; // the row being written, by column
    size_t m_headerFields = 0;
};

} // namespace quill::workbook
