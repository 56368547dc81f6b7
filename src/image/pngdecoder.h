#pragma once

#include <QByteArray>
#include <QImage>

namespace orvy::image {

// Decodes a whole PNG file: any colour type and bit depth, interlaced or not, into
// an 8-bit RGBA picture (QImage::Format_RGBA8888) keeping transparency. The
// signature and every chunk's CRC are checked, ancillary chunks included.
// Throws orvy::Error with the user-facing message.
QImage decodePng(const QByteArray &data);

// Pictures above this many pixels are refused before any pixel memory is taken.
inline constexpr qint64 MaxPngPixels = 100'000'000;

} // namespace orvy::image
