#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

namespace quill::richtext {

// A picture as pixels, 0xAARRGGBB row by row from the top: what a decoded Notes bitmap gives and what the
// PNG writer takes, so that neither needs Qt's GUI module.
struct Raster
{
    int width = 0;
    int height = 0;
    QList<quint32> pixels;

    quint32 pixel(int x, int y) const { return pixels[qsizetype(y) * width + x]; }
};

// The PNG file of a raster (8-bit RGBA, one compressed data chunk). Empty for a raster without pixels.
QByteArray encodePng(const Raster& raster);

} // namespace quill::richtext
