#pragma once

#include <QIODevice>
#include <QString>
#include <cstdint>
#include <functional>

namespace quill::workbook {

// Sector layout of a version 3 compound file (512-byte sectors) holding one stream named "Workbook".
// The stream is padded to at least 4096 bytes so that it never belongs in the mini stream.
struct CompoundLayout
{
    uint64_t streamSize = 0;    // as recorded in the directory (padded)
    uint32_t streamSectors = 0; // sectors 0 .. streamSectors-1
    uint32_t directorySector = 0;
    uint32_t fatSectors = 0; // follow the directory
    uint32_t difatSectors = 0;
    uint32_t firstFatSector() const { return directorySector + 1; }
    uint32_t firstDifatSector() const { return firstFatSector() + fatSectors; }
    uint32_t totalSectors() const { return streamSectors + 1 + fatSectors + difatSectors; }
    uint64_t fileSize() const { return 512 + uint64_t(totalSectors()) * 512; }
};

constexpr uint64_t kMinStreamSize = 4096;

// Throws WorkbookError when the stream cannot be held by a version 3 compound file.
CompoundLayout compoundLayout(uint64_t streamBytes);

// Writes the stream through writeStream (at device offset 512, reporting its size; false when a write failed),
// then pads it and adds the directory, FAT and DIFAT, and finally the header. Throws WorkbookError naming fileName
// as soon as a write fails, or when the stream is too large for the format.
using StreamWriter = std::function<bool(QIODevice& device, qint64 base, uint64_t& size)>;
void writeCompoundFile(QIODevice& out, const QString& fileName, const StreamWriter& writeStream);

} // namespace quill::workbook
