#pragma once

#include "excel.h"
#include "stringtable.h"

#include <QByteArray>
#include <QIODevice>
#include <array>
#include <cstdint>
#include <vector>

namespace quill::workbook {

// Keeps one sheet in memory (cells as shared-string indexes) and writes it as a BIFF8 workbook on save.
class XlsWriter final : public ExcelApplication
{
public:
    static constexpr int kMaxRows = 65536;
    static constexpr int kMaxColumns = 256;
    static constexpr int kMaxTextLength = 32767;
    static constexpr int kMaxWidth = 255;

    void StartExcel() override;
    void SetColumnWidth(int column, int width) override;
    void SetCellTextFormat(int row, int column) override;
    void SetCellValue(int row, int column, const QString& text) override;
    void SaveWorkbook(const QString& fileName) override;
    void QuitExcel() override;

    // Writes the BIFF8 "Workbook" stream (unpadded) at device offset `base`; false when a write fails.
    bool writeStream(QIODevice& device, qint64 base, uint64_t& size) const;
    // The BIFF8 "Workbook" stream as it would be saved now, before padding.
    QByteArray workbookStream() const;
    // The COLINFO width (1/256 of a character) stored for a width in characters.
    static uint16_t storedWidth(int width);

private:
    struct Cell
    {
        uint32_t sst; // kNoString: a formatted cell without value
        uint16_t column;
        uint16_t xf;
    };
    static constexpr uint32_t kNoString = 0xFFFFFFFF;
    class StreamWriter;

    void requireOpen(const char* operation) const;
    static void checkCell(int row, int column);
    Cell& cellAt(int row, int column);
    void release();

    bool m_open = false;
    StringTable m_strings;
    std::vector<uint32_t> m_refs; // cells referring to each string
    std::vector<std::vector<Cell>> m_rows;
    std::array<int16_t, kMaxColumns> m_widths{};
};

} // namespace quill::workbook
