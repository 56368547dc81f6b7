// The banner's PNG decoder on arbitrary bytes: it may refuse them with orvy::Error,
// never crash, hang or take more memory than the file could justify (the run's
// -rss_limit_mb and -malloc_limit_mb see to the last).
#include "core/error.h"
#include "image/pngdecoder.h"

#include <QByteArray>
#include <QtEndian>
#include <cstddef>
#include <cstdint>
#include <zlib.h>

namespace {

// Rewrites every chunk's CRC to match its contents, so that mutations get past the
// CRC checks and reach the chunk handlers; the checks themselves run on the inputs
// left as they are.
void fixCrcs(QByteArray &png)
{
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        if (length > quint32(png.size() - at - 12))
            return;
        const auto *typed = reinterpret_cast<const Bytef *>(png.constData() + at + 4);
        const quint32 crc = quint32(crc32(0, typed, uInt(length + 4)));
        qToBigEndian(crc, png.data() + at + 8 + length);
        at += 12 + qsizetype(length);
    }
}

// Pictures are accepted up to 100 megapixels (400 MB of pixels), more than this run's
// memory limit under the sanitizers; the refusal above that size has its own tests.
bool isLargePicture(const QByteArray &png)
{
    if (png.size() < 24 || png.mid(12, 4) != "IHDR")
        return false;
    const quint64 width = qFromBigEndian<quint32>(png.constData() + 16);
    const quint64 height = qFromBigEndian<quint32>(png.constData() + 20);
    return width * height > 16'000'000;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses: CRCs as given, or made right; the whole picture, or only a
    // small centre of it (kept as the banner keeps the part a screen can show).
    QByteArray png(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    if (data[0] & 1)
        fixCrcs(png);
    if (isLargePicture(png))
        return 0;
    const QSize shown = data[0] & 2 ? QSize(1 + (data[0] >> 2 & 7), 1 + (data[0] >> 5 & 7)) : QSize();
    try {
        const QImage image = orvy::image::decodePng(png, shown);
        if (image.isNull() || image.format() != QImage::Format_RGBA8888)
            __builtin_trap();
        if (!shown.isEmpty() && (image.width() > shown.width() + 1 || image.height() > shown.height() + 1))
            __builtin_trap();
    } catch (const orvy::Error &) {
    }
    return 0;
}
