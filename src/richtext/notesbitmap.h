#pragma once

#include "richtext/raster.h"

#include <QByteArrayView>
#include <optional>

namespace quill::richtext {

// The pixels of a DXL <notesbitmap>: the composite-data records of a Notes bitmap (a header, the colour,
// pattern and transparency tables, then the run-length coded segments), monochrome, 8-bit mapped or
// 16-bit colour. Other records there (a Windows metafile kept beside the bitmap) are passed over.
// nullopt when the data holds no bitmap or one that is cut short, inconsistent or larger than 16
// million pixels.
std::optional<Raster> decodeNotesBitmap(QByteArrayView data);

} // namespace quill::richtext
