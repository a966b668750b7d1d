#include "xlswriter.h"

#include "compoundfile.h"

#include <QBuffer>
#include <QtEndian>
#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace quill::workbook {

std::unique_ptr<ExcelApplication> createXlsWriter()
{
    return std::make_unique<XlsWriter>();
}

namespace {

constexpr size_t kMaxRecordData = 8224;
constexpr uint16_t kDefaultXf = 15;
constexpr uint16_t kTextXf = 16;
constexpr uint16_t kTextFormat = 49; // built-in "@"
constexpr int kRowsPerBlock = 32;

// Little-endian record writer that hands complete records to a device in large chunks, so the stream is never
// held whole in memory. Positions are stream offsets; a patch behind the chunk goes to the device directly.
class Sink
{
public:
    Sink(QIODevice& device, qint64 base) : m_device(device), m_base(base) { m_buf.reserve(kChunk + 64 * 1024); }
    uint64_t pos() const { return m_flushed + m_buf.size(); }
    void u8(uint8_t v) { m_buf.push_back(static_cast<char>(v)); }
    void u16(uint16_t v)
    {
        const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
        m_buf.append(b, 2);
    }
    void u32(uint32_t v)
    {
        u16(static_cast<uint16_t>(v & 0xFFFF));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void zeros(size_t n) { m_buf.append(n, '\0'); }
    void bytes(const uint8_t* p, size_t n) { m_buf.append(reinterpret_cast<const char*>(p), n); }
    void latin1(const char* s)
    {
        while (*s)
            u8(static_cast<uint8_t>(*s++));
    }
    uint64_t begin(uint16_t type)
    {
        const uint64_t at = pos();
        u16(type);
        u16(0);
        return at;
    }
    // Records are only ever handed on whole, so a record being written is always in the buffer.
    void end(uint64_t at)
    {
        const auto size = static_cast<uint16_t>(pos() - at - 4);
        m_buf[at - m_flushed + 2] = static_cast<char>(size & 0xFF);
        m_buf[at - m_flushed + 3] = static_cast<char>(size >> 8);
        maybeFlush();
    }
    void maybeFlush()
    {
        if (m_buf.size() >= kChunk)
            flush();
    }
    size_t room(uint64_t at) const { return kMaxRecordData - size_t(pos() - at - 4); }
    void patch32(uint64_t at, uint32_t v)
    {
        uint8_t b[4];
        qToLittleEndian(v, b);
        patch(at, b, 4);
    }
    void patch(uint64_t at, const uint8_t* p, size_t n)
    {
        if (at < m_flushed) {
            const auto head = static_cast<size_t>(std::min<uint64_t>(n, m_flushed - at));
            if (!m_failed && (!m_device.seek(m_base + qint64(at)) ||
                              m_device.write(reinterpret_cast<const char*>(p), qint64(head)) != qint64(head) ||
                              !m_device.seek(m_base + qint64(m_flushed))))
                m_failed = true;
            at += head;
            p += head;
            n -= head;
        }
        if (n)
            std::memcpy(m_buf.data() + (at - m_flushed), p, n);
    }
    void units(const char16_t* p, size_t n, bool wide)
    {
        const size_t at = m_buf.size();
        m_buf.resize(at + n * (wide ? 2 : 1));
        char* out = m_buf.data() + at;
        for (size_t i = 0; i < n; ++i) {
            *out++ = static_cast<char>(p[i] & 0xFF);
            if (wide)
                *out++ = static_cast<char>(p[i] >> 8);
        }
    }
    bool finish()
    {
        flush();
        return !m_failed;
    }

private:
    static constexpr size_t kChunk = 1 << 20;
    void flush()
    {
        if (!m_failed && m_device.write(m_buf.data(), qint64(m_buf.size())) != qint64(m_buf.size()))
            m_failed = true;
        m_flushed += m_buf.size();
        m_buf.clear();
    }

    QIODevice& m_device;
    qint64 m_base;
    uint64_t m_flushed = 0;
    std::string m_buf;
    bool m_failed = false;
};

void bof(Sink& s, uint16_t substream)
{
    const uint64_t r = s.begin(0x0809);
    s.u16(0x0600); // BIFF8
    s.u16(substream);
    s.u16(0x0DBB); // build
    s.u16(0x07CC); // year
    s.u32(0);      // file history
    s.u32(0x06);   // lowest BIFF version that can read all records
    s.end(r);
}

void eof(Sink& s)
{
    s.end(s.begin(0x000A));
}

void font(Sink& s)
{
    const uint64_t r = s.begin(0x0031);
    s.u16(200);    // 10 pt in twips
    s.u16(0);      // no attributes
    s.u16(0x7FFF); // automatic colour
    s.u16(400);    // normal weight
    s.u16(0);      // no super/subscript
    s.u8(0);       // no underline
    s.u8(2);       // swiss family
    s.u8(0);       // ANSI charset
    s.u8(0);
    s.u8(5);
    s.u8(0); // compressed name
    s.latin1("Arial");
    s.end(r);
}

void xf(Sink& s, uint16_t fontIndex, uint16_t format, bool style, uint8_t usedAttributes)
{
    const uint64_t r = s.begin(0x00E0);
    s.u16(fontIndex);
    s.u16(format);
    s.u16(style ? 0xFFF5 : 0x0001); // locked; a style has no parent, a cell XF has style 0 as parent
    s.u8(0x20);                     // general horizontal, bottom vertical alignment
    s.u8(0);
    s.u8(0);
    s.u8(usedAttributes);
    s.u32(0);
    s.u32(0);
    s.u16(0x20C0); // pattern colours: automatic foreground and background
    s.end(r);
}

bool needsWide(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; });
}

} // namespace

void XlsWriter::requireOpen(const char* operation) const
{
    requireStarted(bool(m_open), operation);
}

void XlsWriter::checkCell(int row, int column)
{
    checkCellPosition(row, column, kMaxRows, kMaxColumns);
}

void XlsWriter::StartExcel()
{
    release(); // a second start gives a fresh workbook, as a new Excel instance would
    m_rows.resize(kMaxRows);
    m_widths.fill(-1);
    m_open = true;
}

void XlsWriter::SetColumnWidth(int column, int width)
{
    requireOpen("SetColumnWidth");
    checkColumnWidth(column, width, kMaxColumns, kMaxWidth);
    m_widths[size_t(column - 1)] = static_cast<int16_t>(width);
}

XlsWriter::Cell& XlsWriter::cellAt(int row, int column)
{
    std::vector<Cell>& cells = m_rows[size_t(row - 1)];
    const auto col = static_cast<uint16_t>(column - 1);
    if (cells.empty() || cells.back().column < col) {
        cells.push_back({kNoString, col, kDefaultXf});
        return cells.back();
    }
    auto it = std::lower_bound(cells.begin(), cells.end(), col,
                               [](const Cell& c, uint16_t value) { return c.column < value; });
    if (it == cells.end() || it->column != col)
        it = cells.insert(it, {kNoString, col, kDefaultXf});
    return *it;
}

void XlsWriter::SetCellTextFormat(int row, int column)
{
    requireOpen("SetCellTextFormat");
    checkCell(row, column);
    cellAt(row, column).xf = kTextXf;
}

void XlsWriter::SetCellValue(int row, int column, const QString& text)
{
    requireOpen("SetCellValue");
    checkCell(row, column);
    checkCellText(text, kMaxTextLength, row, column);
    const uint32_t index = m_strings.intern(text);
    if (index == m_refs.size())
        m_refs.push_back(0);
    Cell& cell = cellAt(row, column);
    if (cell.sst != kNoString)
        --m_refs[cell.sst];
    cell.sst = index;
    ++m_refs[index];
}

uint16_t XlsWriter::storedWidth(int width)
{
    // Excel keeps the width with the cell padding of the default font (7-pixel digits, 5 pixels of padding):
    // trunc((w*7 + 5) / 7 * 256), so that Excel shows w again. A zero width hides the column.
    return width == 0 ? 0 : static_cast<uint16_t>((width * 7 + 5) * 256 / 7);
}

// Writes the stream record by record: the workbook globals, the shared strings, then the sheet with its row
// blocks. Offsets known only later, the sheet's start and each block's DBCELL, are patched in afterwards.
class XlsWriter::StreamWriter
{
public:
    StreamWriter(const XlsWriter& writer, QIODevice& device, qint64 base) : m_writer(writer), m_s(device, base) {}

    bool write(uint64_t& size)
    {
        collectStrings();
        bof(m_s, 0x0005);
        const uint64_t sheetOffsetAt = globals();
        sharedStrings();
        eof(m_s);
        m_s.patch32(sheetOffsetAt, static_cast<uint32_t>(m_s.pos()));
        sheet();
        size = m_s.pos();
        return m_s.finish();
    }

private:
    // Only strings still referenced by a cell go into the table.
    void collectStrings()
    {
        const StringTable& strings = m_writer.m_strings;
        m_newIndex.assign(strings.size(), kNoString);
        for (uint32_t i = 0; i < strings.size(); ++i) {
            if (m_writer.m_refs[i]) {
                m_newIndex[i] = static_cast<uint32_t>(m_order.size());
                m_order.push_back(i);
                m_total += m_writer.m_refs[i];
            }
        }
    }

    // CODEPAGE, WINDOW1, fonts, XFs, STYLE and BOUNDSHEET; returns where the sheet's offset goes.
    uint64_t globals()
    {
        uint64_t r = m_s.begin(0x0042); // CODEPAGE: UTF-16
        m_s.u16(1200);
        m_s.end(r);
        r = m_s.begin(0x003D); // WINDOW1
        m_s.u16(0x0168);
        m_s.u16(0x001E);
        m_s.u16(0x4000);
        m_s.u16(0x2800);
        m_s.u16(0x0038); // scroll bars and sheet tabs shown
        m_s.u16(0);      // active sheet
        m_s.u16(0);      // first visible tab
        m_s.u16(1);      // selected sheets
        m_s.u16(600);    // tab bar ratio
        m_s.end(r);
        for (int i = 0; i < 4; ++i) // index 4 is never used in BIFF; four fonts cover 0..3
            font(m_s);
        for (int i = 0; i < 15; ++i)
            xf(m_s, 0, 0, true, i == 0 ? 0x00 : 0xF4);
        xf(m_s, 0, 0, false, 0x00);
        xf(m_s, 0, kTextFormat, false, 0x04); // the cell's own number format
        r = m_s.begin(0x0293);                // STYLE: built-in Normal on XF 0
        m_s.u16(0x8000);
        m_s.u8(0);
        m_s.u8(0xFF);
        m_s.end(r);
        r = m_s.begin(0x0085); // BOUNDSHEET
        const uint64_t sheetOffsetAt = m_s.pos();
        m_s.u32(0);
        m_s.u8(0); // visible
        m_s.u8(0); // worksheet
        m_s.u8(6);
        m_s.u8(0);
        m_s.latin1("Sheet1");
        m_s.end(r);
        return sheetOffsetAt;
    }

    // SST with CONTINUE records, then EXTSST with a bucket of positions every dsst strings.
    void sharedStrings()
    {
        const auto unique = static_cast<uint32_t>(m_order.size());
        const uint16_t dsst =
            static_cast<uint16_t>(std::min<uint32_t>(0xFFFF, std::max<uint32_t>(8, (unique + 127) / 128)));
        std::vector<std::pair<uint64_t, uint16_t>> buckets;
        uint64_t r = m_s.begin(0x00FC);
        m_s.u32(m_total);
        m_s.u32(unique);
        for (uint32_t k = 0; k < unique; ++k)
            sharedString(m_writer.m_strings.at(m_order[k]), r, k % dsst == 0 ? &buckets : nullptr);
        m_s.end(r);
        r = m_s.begin(0x00FF); // EXTSST
        m_s.u16(dsst);
        for (const auto& [position, offset] : buckets) {
            m_s.u32(static_cast<uint32_t>(position));
            m_s.u16(offset);
            m_s.u16(0);
        }
        m_s.end(r);
    }

    // One string of the SST, compressed (8-bit) when all its units fit in a byte, else UTF-16. A split into a
    // CONTINUE record (r is the record being written) repeats that flag and never separates a header from its
    // first character or a surrogate pair.
    void sharedString(QStringView text, uint64_t& r, std::vector<std::pair<uint64_t, uint16_t>>* bucket)
    {
        const bool wide = needsWide(text);
        const size_t unit = wide ? 2 : 1;
        const auto len = size_t(text.size());
        const auto* chars = reinterpret_cast<const char16_t*>(text.utf16());
        size_t first = len == 0 ? 0 : unit;
        if (wide && len >= 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate())
            first = 4;
        if (m_s.room(r) < 3 + first) {
            m_s.end(r);
            r = m_s.begin(0x003C);
        }
        if (bucket)
            bucket->emplace_back(m_s.pos(), static_cast<uint16_t>(m_s.pos() - r));
        m_s.u16(static_cast<uint16_t>(len));
        m_s.u8(wide ? 1 : 0);
        size_t done = 0;
        for (;;) {
            size_t n = std::min(m_s.room(r) / unit, len - done);
            if (wide && n > 0 && done + n < len && text[qsizetype(done + n - 1)].isHighSurrogate() &&
                text[qsizetype(done + n)].isLowSurrogate())
                --n;
            m_s.units(chars + done, n, wide);
            done += n;
            if (done == len)
                break;
            m_s.end(r);
            r = m_s.begin(0x003C);
            m_s.u8(wide ? 1 : 0);
        }
    }

    // The rows and columns in use; lastRow and lastCol are one past the last.
    void measure()
    {
        const auto& rows = m_writer.m_rows;
        for (uint32_t row = 0; row < rows.size(); ++row) {
            const auto& cells = rows[row];
            if (cells.empty())
                continue;
            if (m_lastRow == 0)
                m_firstRow = row;
            m_lastRow = row + 1;
            m_firstCol = std::min(m_firstCol, cells.front().column);
            m_lastCol = std::max<uint16_t>(m_lastCol, cells.back().column + 1);
        }
        if (m_lastRow == 0)
            m_firstCol = 0;
    }

    void sheet()
    {
        measure();
        bof(m_s, 0x0010);
        const uint32_t blocks = (m_lastRow - m_firstRow + kRowsPerBlock - 1) / kRowsPerBlock;
        uint64_t r = m_s.begin(0x020B); // INDEX
        m_s.u32(0);
        m_s.u32(m_firstRow);
        m_s.u32(m_lastRow);
        const uint64_t defColWidthAt = m_s.pos();
        m_s.u32(0);
        const uint64_t dbCellsAt = m_s.pos();
        m_s.zeros(size_t(blocks) * 4);
        m_s.end(r);

        m_s.patch32(defColWidthAt, static_cast<uint32_t>(m_s.pos()));
        columns();
        r = m_s.begin(0x0200); // DIMENSIONS
        m_s.u32(m_firstRow);
        m_s.u32(m_lastRow);
        m_s.u16(m_firstCol);
        m_s.u16(m_lastCol);
        m_s.u16(0);
        m_s.end(r);

        std::vector<uint8_t> dbCells(size_t(blocks) * 4);
        for (uint32_t b = 0; b < blocks; ++b) {
            const uint32_t from = m_firstRow + b * kRowsPerBlock;
            const uint64_t dbCell = rowBlock(from, std::min<uint32_t>(from + kRowsPerBlock, m_lastRow));
            qToLittleEndian(static_cast<uint32_t>(dbCell), dbCells.data() + 4 * size_t(b));
        }
        window2();
        eof(m_s);
        if (blocks)
            m_s.patch(dbCellsAt, dbCells.data(), dbCells.size());
    }

    // DEFCOLWIDTH, and a COLINFO for each run of columns of one set width.
    void columns()
    {
        const auto& widths = m_writer.m_widths;
        uint64_t r = m_s.begin(0x0055); // DEFCOLWIDTH
        m_s.u16(8);
        m_s.end(r);
        for (size_t c = 0; c < widths.size();) {
            size_t last = c;
            if (widths[c] < 0) {
                ++c;
                continue;
            }
            while (last + 1 < widths.size() && widths[last + 1] == widths[c])
                ++last;
            r = m_s.begin(0x007D); // COLINFO
            m_s.u16(static_cast<uint16_t>(c));
            m_s.u16(static_cast<uint16_t>(last));
            m_s.u16(storedWidth(widths[c]));
            m_s.u16(kDefaultXf);
            m_s.u16(widths[c] == 0 ? 0x0001 : 0x0000); // hidden
            m_s.u16(0);
            m_s.end(r);
            c = last + 1;
        }
    }

    // Rows [from, to): their ROW records, their cells, and the DBCELL that finds them; returns the DBCELL's
    // position.
    uint64_t rowBlock(uint32_t from, uint32_t to)
    {
        const auto& rows = m_writer.m_rows;
        const size_t blockStart = m_s.pos();
        size_t firstRowEnd = 0;
        for (uint32_t row = from; row < to; ++row) {
            const auto& cells = rows[row];
            if (cells.empty())
                continue;
            const uint64_t r = m_s.begin(0x0208); // ROW
            m_s.u16(static_cast<uint16_t>(row));
            m_s.u16(cells.front().column);
            m_s.u16(static_cast<uint16_t>(cells.back().column + 1));
            m_s.u16(0x00FF); // default height
            m_s.u16(0);
            m_s.u16(0);
            m_s.u16(0x0100);
            m_s.u16(kDefaultXf);
            m_s.end(r);
            if (!firstRowEnd)
                firstRowEnd = m_s.pos();
        }
        std::vector<uint16_t> rowOffsets;
        size_t previous = firstRowEnd;
        for (uint32_t row = from; row < to; ++row) {
            if (rows[row].empty())
                continue;
            rowOffsets.push_back(static_cast<uint16_t>(m_s.pos() - previous));
            previous = m_s.pos();
            cells(row);
        }
        const uint64_t dbCell = m_s.pos();
        const uint64_t r = m_s.begin(0x00D7); // DBCELL
        m_s.u32(firstRowEnd ? static_cast<uint32_t>(dbCell - blockStart) : 0);
        for (uint16_t offset : rowOffsets)
            m_s.u16(offset);
        m_s.end(r);
        return dbCell;
    }

    // A row's cells: LABELSST for a value, BLANK for a formatted cell without one.
    void cells(uint32_t row)
    {
        for (const Cell& cell : m_writer.m_rows[row]) {
            uint8_t record[14];
            const bool blank = cell.sst == kNoString;
            qToLittleEndian<uint16_t>(blank ? 0x0201 : 0x00FD, record);
            qToLittleEndian<uint16_t>(blank ? 6 : 10, record + 2);
            qToLittleEndian<uint16_t>(static_cast<uint16_t>(row), record + 4);
            qToLittleEndian<uint16_t>(cell.column, record + 6);
            qToLittleEndian<uint16_t>(cell.xf, record + 8);
            if (!blank)
                qToLittleEndian<uint32_t>(m_newIndex[cell.sst], record + 10);
            m_s.bytes(record, blank ? 10 : 14);
        }
        m_s.maybeFlush();
    }

    void window2()
    {
        const uint64_t r = m_s.begin(0x023E);
        m_s.u16(0x06B6); // gridlines, headers, zeros, default header colour, outline symbols, selected, shown
        m_s.u16(0);
        m_s.u16(0);
        m_s.u16(64);
        for (int i = 0; i < 5; ++i)
            m_s.u16(0);
        m_s.end(r);
    }

    const XlsWriter& m_writer;
    Sink m_s;
    std::vector<uint32_t> m_newIndex; // a string's place in the SST, by its place in m_strings
    std::vector<uint32_t> m_order;    // the strings written, in SST order
    uint32_t m_total = 0;             // cells referring to them
    uint32_t m_firstRow = 0, m_lastRow = 0;
    uint16_t m_firstCol = 0xFFFF, m_lastCol = 0;
};

bool XlsWriter::writeStream(QIODevice& device, qint64 base, uint64_t& size) const
{
    return StreamWriter(*this, device, base).write(size);
}

QByteArray XlsWriter::workbookStream() const
{
    requireOpen("workbookStream");
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    uint64_t size = 0;
    writeStream(buffer, 0, size);
    return buffer.data();
}

void XlsWriter::SaveWorkbook(const QString& fileName)
{
    requireOpen("SaveWorkbook");
    // Written whole into a temporary file beside it and renamed only then.
    saveWorkbookFile(fileName, [&](QIODevice& device) {
        writeCompoundFile(device, fileName,
                          [this](QIODevice& out, qint64 base, uint64_t& size) { return writeStream(out, base, size); });
        return true;
    });
}

void XlsWriter::QuitExcel()
{
    requireOpen("QuitExcel");
    release();
}

void XlsWriter::release()
{
    m_open = false;
    m_strings.clear();
    std::vector<uint32_t>().swap(m_refs);
    std::vector<std::vector<Cell>>().swap(m_rows);
}

} // namespace quill::workbook
