#include "richtext/notesbitmap.h"

#include <array>
#include <vector>

namespace quill::richtext {
namespace {

// Record signatures (the low byte of the signature word).
constexpr quint8 kBitmapHeader = 0x95;
constexpr quint8 kBitmapSegment = 0x96;
constexpr quint8 kColorTable = 0x97;
constexpr quint8 kPatternTable = 0x98;
constexpr quint8 kTransparentTable = 0xc5;

constexpr qsizetype kHeaderSize = 38;    // CDBITMAPHEADER
constexpr qsizetype kSegmentHeader = 18; // CDBITMAPSEGMENT before its data
constexpr qsizetype kPatternSize = 24;   // 8 picture elements of up to 3 bytes
constexpr int kPelsPerPattern = 8;
constexpr qint64 kMaxPixels = 16 * 1024 * 1024;

// An 8-bit bitmap without a colour table uses the 16 standard Windows colours.
constexpr std::array<quint32, 16> kWindowsColors = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xc0c0c0,
    0x808080, 0xff0000, 0x00ff00, 0xffff00, 0x0000ff, 0xff00ff, 0x00ffff, 0xffffff,
};

struct Record
{
    quint8 signature;
    QByteArrayView data; // the whole record, its header included
};

quint16 word(QByteArrayView data, qsizetype at)
{
    return quint16(quint8(data[at]) | (quint8(data[at + 1]) << 8));
}

quint32 dword(QByteArrayView data, qsizetype at)
{
    return quint32(word(data, at)) | (quint32(word(data, at + 2)) << 16);
}

quint32 rgb(QByteArrayView data, qsizetype at)
{
    return 0xff000000u | (quint32(quint8(data[at])) << 16) | (quint32(quint8(data[at + 1])) << 8) |
           quint32(quint8(data[at + 2]));
}

// The records one after the other: a long, word or byte length follows the signature byte as its high byte
// says. DXL packs them without the padding byte they have in a note; a zero byte between them is such padding.
std::optional<std::vector<Record>> splitRecords(QByteArrayView data)
{
    std::vector<Record> records;
    qsizetype at = 0;
    while (at < data.size()) {
        const quint8 signature = quint8(data[at]);
        if (signature == 0) {
            ++at;
            continue;
        }
        if (at + 2 > data.size())
            return std::nullopt;
        const quint8 high = quint8(data[at + 1]);
        qint64 length = 0, header = 0;
        if (high == 0x00) {
            header = 6;
            if (at + header > data.size())
                return std::nullopt;
            length = dword(data, at + 2);
        } else if (high == 0xff) {
            header = 4;
            if (at + header > data.size())
                return std::nullopt;
            length = word(data, at + 2);
        } else {
            header = 2;
            length = high;
        }
        if (length < header || length > data.size() - at)
            return std::nullopt;
        records.push_back(Record{signature, data.sliced(at, qsizetype(length))});
        at += qsizetype(length);
    }
    return records;
}

class Decoder
{
public:
    std::optional<Raster> decode(QByteArrayView data);

private:
    bool readHeader(QByteArrayView record);
    bool readSegment(QByteArrayView record);
    bool decodeLine(QByteArrayView data, qsizetype& at);
    void storeLine();

    int m_width = 0;
    int m_height = 0;
    int m_bitsPerPixel = 0;
    int m_colorCount = 0;
    int m_patternCount = 0;
    std::vector<quint32> m_colors;
    QByteArrayView m_patterns;
    std::vector<quint32> m_transparent;
    std::vector<quint32> m_line; // the current scanline's picture elements
    qsizetype m_pelsPerLine = 0;
    Raster m_raster;
    int m_linesDone = 0;
};

std::optional<Raster> Decoder::decode(QByteArrayView data)
{
    const auto records = splitRecords(data);
    if (!records)
        return std::nullopt;
    const Record* header = nullptr;
    for (const Record& r : *records) {
        if (r.signature == kBitmapHeader && !header)
            header = &r;
    }
    if (!header || !readHeader(header->data))
        return std::nullopt;
    for (const Record& r : *records) {
        if (r.signature == kColorTable) {
            if (r.data.size() < 6 + 3 * qsizetype(m_colorCount))
                return std::nullopt;
            m_colors.clear();
            for (int i = 0; i < m_colorCount; ++i)
                m_colors.push_back(rgb(r.data, 6 + 3 * i));
        } else if (r.signature == kPatternTable) {
            if (r.data.size() < 6 + kPatternSize * m_patternCount)
                return std::nullopt;
            m_patterns = r.data.sliced(6);
        } else if (r.signature == kTransparentTable && r.data.size() >= 10) {
            const int count = word(r.data, 8);
            for (int i = 0; i < count && 10 + 3 * qsizetype(i) + 3 <= r.data.size(); ++i)
                m_transparent.push_back(rgb(r.data, 10 + 3 * i));
        }
    }
    if (m_bitsPerPixel == 8 && m_colors.empty())
        m_colors.assign(kWindowsColors.begin(), kWindowsColors.end());
    m_raster.width = m_width;
    m_raster.height = m_height;
    m_raster.pixels.fill(0xffffffffu, qsizetype(m_width) * m_height);
    for (const Record& r : *records) {
        if (r.signature == kBitmapSegment && m_linesDone < m_height && !readSegment(r.data))
            return std::nullopt;
    }
    if (m_linesDone < m_height)
        return std::nullopt;
    for (quint32& p : m_raster.pixels) {
        for (quint32 t : m_transparent) {
            if ((p | 0xff000000u) == t)
                p &= 0x00ffffffu;
        }
    }
    return std::move(m_raster);
}

bool Decoder::readHeader(QByteArrayView record)
{
    if (record.size() < kHeaderSize)
        return false;
    m_width = word(record, 22);
    m_height = word(record, 24);
    m_bitsPerPixel = word(record, 26);
    m_colorCount = word(record, 34);
    m_patternCount = word(record, 36);
    if (m_width == 0 || m_height == 0 || qint64(m_width) * m_height > kMaxPixels)
        return false;
    if (m_bitsPerPixel != 1 && m_bitsPerPixel != 8 && m_bitsPerPixel != 16)
        return false;
    if (m_colorCount > 256 || m_patternCount > 64)
        return false;
    m_pelsPerLine = m_bitsPerPixel == 1 ? (m_width + 7) / 8 : m_width;
    return true;
}

bool Decoder::readSegment(QByteArrayView record)
{
    if (record.size() < kSegmentHeader)
        return false;
    const int lines = word(record, 14);
    const qsizetype size = word(record, 16);
    if (kSegmentHeader + size > record.size())
        return false;
    const QByteArrayView data = record.sliced(kSegmentHeader, size);
    qsizetype at = 0;
    for (int i = 0; i < lines && m_linesDone < m_height; ++i) {
        if (!decodeLine(data, at))
            return false;
        storeLine();
    }
    return true;
}

// One scanline of run-length code: the two high bits of a count byte say what follows (a 6-bit repeat count
// and the picture element, a 14-bit one, a 14-bit count of pattern entries, or a 6-bit count of raw elements).
bool Decoder::decodeLine(QByteArrayView data, qsizetype& at)
{
    const int pelBytes = m_bitsPerPixel == 16 ? 2 : 1;
    const auto pel = [&](qsizetype i) -> quint32 {
        if (pelBytes == 1)
            return quint8(data[i]);
        const quint16 v = word(data, i);
        const auto scale = [](quint32 five) { return (five * 255 + 15) / 31; };
        return 0xff000000u | (scale((v >> 10) & 31) << 16) | (scale((v >> 5) & 31) << 8) | scale(v & 31);
    };
    m_line.clear();
    while (qsizetype(m_line.size()) < m_pelsPerLine) {
        if (at >= data.size())
            return false;
        const quint8 code = quint8(data[at]);
        const int flag = code >> 6;
        qsizetype count = code & 0x3f;
        qsizetype next = at + 1;
        if (flag == 1 || flag == 2) {
            if (next >= data.size())
                return false;
            count = (count << 8) | quint8(data[next]);
            ++next;
        }
        const qsizetype pels = flag == 1 ? count * kPelsPerPattern : count;
        if (qsizetype(m_line.size()) + pels > m_pelsPerLine)
            return false;
        if (flag == 0) {
            if (next + count * pelBytes > data.size())
                return false;
            for (qsizetype i = 0; i < count; ++i)
                m_line.push_back(pel(next + i * pelBytes));
            at = next + count * pelBytes;
        } else if (flag == 1) {
            if (next >= data.size())
                return false;
            const int index = quint8(data[next]);
            if (index >= m_patternCount || m_patterns.size() < kPatternSize * (index + 1))
                return false;
            const QByteArrayView pattern = m_patterns.sliced(kPatternSize * index, kPatternSize);
            for (qsizetype i = 0; i < count; ++i) {
                for (int k = 0; k < kPelsPerPattern; ++k)
                    m_line.push_back(m_bitsPerPixel == 16 ? rgb(pattern, 3 * k) : quint8(pattern[k]));
            }
            at = next + 1;
        } else {
            if (next + pelBytes > data.size())
                return false;
            m_line.insert(m_line.end(), size_t(count), pel(next));
            at = next + pelBytes;
        }
    }
    return true;
}

void Decoder::storeLine()
{
    quint32* row = m_raster.pixels.data() + qsizetype(m_linesDone) * m_width;
    for (int x = 0; x < m_width; ++x) {
        quint32 color = 0;
        if (m_bitsPerPixel == 16) {
            color = m_line[size_t(x)];
        } else if (m_bitsPerPixel == 8) {
            const quint32 index = m_line[size_t(x)];
            color = 0xff000000u | (index < m_colors.size() ? m_colors[index] : 0);
        } else {
            // A set bit is white, as in a Windows monochrome bitmap.
            const bool set = (m_line[size_t(x / 8)] >> (7 - x % 8)) & 1;
            color = set ? 0xffffffffu : 0xff000000u;
        }
        row[x] = color;
    }
    ++m_linesDone;
}

} // namespace

std::optional<Raster> decodeNotesBitmap(QByteArrayView data)
{
    return Decoder().decode(data);
}

} // namespace quill::richtext
