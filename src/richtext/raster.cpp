#include "richtext/raster.h"

#include <array>

namespace quill::richtext {
namespace {

const std::array<quint32, 256>& crcTable()
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

void appendBigEndian(QByteArray& out, quint32 value)
{
    out.append(char(value >> 24)).append(char(value >> 16)).append(char(value >> 8)).append(char(value));
}

void appendChunk(QByteArray& out, const char (&type)[5], const QByteArray& data)
{
    appendBigEndian(out, quint32(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4).append(data);
    quint32 crc = 0xffffffffu;
    for (qsizetype i = start; i < out.size(); ++i)
        crc = crcTable()[(crc ^ quint8(out[i])) & 0xff] ^ (crc >> 8);
    appendBigEndian(out, crc ^ 0xffffffffu);
}

} // namespace

QByteArray encodePng(const Raster& raster)
{
    if (raster.width <= 0 || raster.height <= 0 ||
        raster.pixels.size() != qsizetype(raster.width) * qsizetype(raster.height))
        return {};
    QByteArray header;
    appendBigEndian(header, quint32(raster.width));
    appendBigEndian(header, quint32(raster.height));
    header.append(char(8)).append(char(6)).append(char(0)).append(char(0)).append(char(0)); // RGBA, 8 bits
    // Every row unfiltered: the pictures are small icons and drawings, and zlib does the rest.
    QByteArray scanlines;
    scanlines.reserve(qsizetype(raster.height) * (1 + qsizetype(raster.width) * 4));
    for (int y = 0; y < raster.height; ++y) {
        scanlines.append(char(0));
        for (int x = 0; x < raster.width; ++x) {
            const quint32 p = raster.pixel(x, y);
            scanlines.append(char(p >> 16)).append(char(p >> 8)).append(char(p)).append(char(p >> 24));
        }
    }
    // qCompress gives a zlib stream behind the length of the uncompressed data: the stream is what PNG takes.
    const QByteArray compressed = qCompress(scanlines, 9).mid(4);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", compressed);
    appendChunk(png, "IEND", QByteArray());
    return png;
}

} // namespace quill::richtext
