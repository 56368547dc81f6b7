#pragma once

#include <QByteArray>
#include <QImage>
#include <chrono>

namespace orvy::image {

// Pictures above this many pixels are refused before any pixel memory is taken.
inline constexpr qint64 MaxPngPixels = 100'000'000;

// The longest a banner may take to decode: the largest picture accepted takes a few
// seconds on a slow machine; the window waits for it.
inline constexpr std::chrono::milliseconds MaxPngDecodeTime { 15'000 };

// Decodes a whole PNG file: any colour type and bit depth, interlaced or not, into
// an 8-bit RGBA picture (QImage::Format_RGBA8888) keeping transparency. The
// signature and every chunk's CRC are checked, ancillary chunks included.
//
// With a non-empty `shown`, only the picture's centre is kept, as keptSize() gives it:
// every row is still decoded and checked, one at a time, but what lies outside is
// never held. Throws orvy::Error with the user-facing message.
//
// Decoding is bounded: image data running on after the last row (beyond the end of a
// sound stream) is refused, and so is a picture still not decoded after `timeLimit`.
QImage decodePng(const QByteArray &data, const QSize &shown = QSize(),
    std::chrono::milliseconds timeLimit = MaxPngDecodeTime);

// How much of a picture of the given size decodePng keeps when at most `shown` of it
// can be seen: all of it where it fits, else `shown`, one pixel more where the parity
// of the whole needs it. Then the part, centred on its own in a strip no larger than
// itself, shows exactly the pixels the whole picture would, centred in that strip
// (halves rounded toward zero, the odd pixel to the right or bottom).
QSize keptSize(const QSize &picture, const QSize &shown);

} // namespace orvy::image
