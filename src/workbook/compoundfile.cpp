#include "compoundfile.h"

#include "excel.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace quill::workbook {

namespace {
constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kFreeSect = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr uint32_t kHeaderDifat = 109;
constexpr uint32_t kIdsPerSector = kSectorSize / 4;

uint32_t ceilDiv(uint64_t a, uint64_t b)
{
    return static_cast<uint32_t>((a + b - 1) / b);
}

void put16(char* p, uint16_t v)
{
    qToLittleEndian(v, p);
}
void put32(char* p, uint32_t v)
{
    qToLittleEndian(v, p);
}

void putEntry(char* e, const char16_t* name, uint8_t type, uint32_t child, uint32_t start, uint32_t size)
{
    std::memset(e, 0, 128);
    size_t n = 0;
    for (; name[n]; ++n)
        put16(e + 2 * n, name[n]);
    put16(e + 64, static_cast<uint16_t>((n + 1) * 2));
    e[66] = static_cast<char>(type);
    e[67] = 1; // black: each tree here has a single node
    put32(e + 68, kNoStream);
    put32(e + 72, kNoStream);
    put32(e + 76, child);
    put32(e + 116, start);
    put32(e + 120, size);
}
} // namespace

CompoundLayout compoundLayout(uint64_t streamBytes)
{
    CompoundLayout l;
    l.streamSize = std::max(streamBytes, kMinStreamSize);
    if (l.streamSize > uint64_t(0xFFFFFFFF) - 64 * 1024 * 1024)
        throw WorkbookError(u"工作簿过大（%1字节），Excel 97-2003格式的文件无法容纳"_s.arg(streamBytes));
    l.streamSectors = ceilDiv(l.streamSize, kSectorSize);
    l.directorySector = l.streamSectors;
    // The FAT must also map its own sectors and the DIFAT sectors: grow until it covers everything.
    uint32_t fat = 1;
    for (;;) {
        const uint32_t difat = fat > kHeaderDifat ? ceilDiv(fat - kHeaderDifat, kIdsPerSector - 1) : 0;
        const uint64_t total = uint64_t(l.streamSectors) + 1 + fat + difat;
        const uint32_t needed = ceilDiv(total, kIdsPerSector);
        if (needed <= fat) {
            l.fatSectors = fat;
            l.difatSectors = difat;
            break;
        }
        fat = needed;
    }
    if (l.totalSectors() > kMaxRegSect)
        throw WorkbookError(u"工作簿过大（%1字节），Excel 97-2003格式的文件无法容纳"_s.arg(streamBytes));
    return l;
}

namespace {

// Writes whole sectors; false when the device takes less.
bool writeSectors(QIODevice& out, const char* data, size_t size)
{
    return size == 0 || out.write(data, qint64(size)) == qint64(size);
}

// The stream's last sector is filled with zeros.
bool writePadding(QIODevice& out, const CompoundLayout& l, uint64_t streamBytes)
{
    const std::string zeros(uint64_t(l.streamSectors) * kSectorSize - streamBytes, '\0');
    return writeSectors(out, zeros.data(), zeros.size());
}

// The root entry, the "Workbook" stream and two unused entries.
bool writeDirectory(QIODevice& out, const CompoundLayout& l)
{
    char dir[kSectorSize];
    putEntry(dir, u"Root Entry", 5, 1, kEndOfChain, 0);
    putEntry(dir + 128, u"Workbook", 2, kNoStream, 0, static_cast<uint32_t>(l.streamSize));
    for (int i = 2; i < 4; ++i) {
        char* e = dir + 128 * i;
        std::memset(e, 0, 128);
        put32(e + 68, kNoStream);
        put32(e + 72, kNoStream);
        put32(e + 76, kNoStream);
    }
    return writeSectors(out, dir, kSectorSize);
}

// The stream's chain, the directory's end, and the FAT and DIFAT sectors marked as such.
bool writeFat(QIODevice& out, const CompoundLayout& l)
{
    const uint32_t firstFat = l.firstFatSector();
    const uint32_t firstDifat = l.firstDifatSector();
    std::vector<char> fat(size_t(l.fatSectors) * kSectorSize);
    auto setFat = [&](uint32_t sector, uint32_t value) { put32(fat.data() + 4 * size_t(sector), value); };
    for (uint32_t s = 0; s < l.fatSectors * kIdsPerSector; ++s)
        setFat(s, kFreeSect);
    for (uint32_t s = 0; s < l.streamSectors; ++s)
        setFat(s, s + 1 == l.streamSectors ? kEndOfChain : s + 1);
    setFat(l.directorySector, kEndOfChain);
    for (uint32_t s = 0; s < l.fatSectors; ++s)
        setFat(firstFat + s, kFatSect);
    for (uint32_t s = 0; s < l.difatSectors; ++s)
        setFat(firstDifat + s, kDifSect);
    return writeSectors(out, fat.data(), fat.size());
}

// The places of the FAT sectors beyond the header's 109, each DIFAT sector ending with the next one's place.
bool writeDifat(QIODevice& out, const CompoundLayout& l)
{
    const uint32_t firstFat = l.firstFatSector();
    const uint32_t firstDifat = l.firstDifatSector();
    std::vector<char> difat(size_t(l.difatSectors) * kSectorSize);
    for (uint32_t d = 0; d < l.difatSectors; ++d) {
        char* sector = difat.data() + size_t(d) * kSectorSize;
        for (uint32_t i = 0; i < kIdsPerSector - 1; ++i) {
            const uint32_t fatIndex = kHeaderDifat + d * (kIdsPerSector - 1) + i;
            put32(sector + 4 * i, fatIndex < l.fatSectors ? firstFat + fatIndex : kFreeSect);
        }
        put32(sector + 4 * (kIdsPerSector - 1), d + 1 < l.difatSectors ? firstDifat + d + 1 : kEndOfChain);
    }
    return writeSectors(out, difat.data(), difat.size());
}

// The header goes last, over the place kept for it at the start.
bool writeHeader(QIODevice& out, const CompoundLayout& l)
{
    char header[kSectorSize];
    std::memset(header, 0, sizeof header);
    static const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(header, signature, 8);
    put16(header + 24, 0x003E); // minor version
    put16(header + 26, 0x0003); // major version 3: 512-byte sectors
    put16(header + 28, 0xFFFE); // little-endian
    put16(header + 30, 9);      // sector shift
    put16(header + 32, 6);      // mini sector shift
    put32(header + 44, l.fatSectors);
    put32(header + 48, l.directorySector);
    put32(header + 56, 4096); // mini stream cutoff
    put32(header + 60, kEndOfChain);
    put32(header + 64, 0);
    put32(header + 68, l.difatSectors ? l.firstDifatSector() : kEndOfChain);
    put32(header + 72, l.difatSectors);
    for (uint32_t i = 0; i < kHeaderDifat; ++i)
        put32(header + 76 + 4 * i, i < l.fatSectors ? l.firstFatSector() + i : kFreeSect);
    return out.seek(0) && writeSectors(out, header, kSectorSize);
}

} // namespace

void writeCompoundFile(QIODevice& out, const QString& fileName, const StreamWriter& writeStream)
{
    const auto failed = [&] {
        return WorkbookError(u"保存工作簿失败：写入“%1”时出错（%2）"_s.arg(fileName, out.errorString()));
    };
    const std::string placeholder(kSectorSize, '\0');
    uint64_t streamBytes = 0;
    if (!writeSectors(out, placeholder.data(), kSectorSize) || !writeStream(out, kSectorSize, streamBytes))
        throw failed();
    const CompoundLayout l = compoundLayout(streamBytes);
    if (!writePadding(out, l, streamBytes) || !writeDirectory(out, l) || !writeFat(out, l) || !writeDifat(out, l) ||
        !writeHeader(out, l))
        throw failed();
}

} // namespace quill::workbook
