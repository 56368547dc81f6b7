#include "core/error.h"
#include "image/pngdecoder.h"
#include "peakmemory.h"

#include <QElapsedTimer>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <png.h>
#include <vector>
#include <zlib.h>

using orvy::image::decodePng;

namespace {

const QString WrongSignature = QStringLiteral(
    "The file being read is not a valid \"Portable Network Graphics\" image because it contains an invalid "
    "header. This file may be corrupted, try obtaining it again");

struct PngFormat {
    int colorType;
    int bitDepth;
    bool interlaced;
    bool transparencyChunk; // tRNS: palette alphas, or a colour key for grey/RGB
};

void appendToBuffer(png_structp png, png_bytep data, size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flushNothing(png_structp) { }

int channelsOf(int colorType)
{
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    default:
        return 4;
    }
}

// Writes a PNG of the given layout with libpng itself, with a pattern that uses the
// whole sample range, and a tEXt chunk before and after the image data.
QByteArray writePng(const PngFormat &format, int width = 23, int height = 17)
{
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendToBuffer, flushNothing);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), format.bitDepth, format.colorType,
        format.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);

    const int maxSample = (1 << format.bitDepth) - 1;
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;
    if (format.colorType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i <= maxSample; ++i) {
            palette.push_back({ png_byte(i * 37), png_byte(255 - i * 11), png_byte(i * 91) });
            alphas.push_back(png_byte(i * 255 / maxSample));
        }
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
        if (format.transparencyChunk)
            png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
    } else if (format.transparencyChunk) {
        png_color_16 key {};
        key.gray = key.red = png_uint_16(maxSample);
        key.green = 0;
        key.blue = png_uint_16(maxSample / 3);
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_text before { PNG_TEXT_COMPRESSION_NONE, const_cast<char *>("Title"), const_cast<char *>("banner"), 0,
        0, nullptr, nullptr };
    png_set_text(png, info, &before, 1);
    png_write_info(png, info);

    const int channels = channelsOf(format.colorType);
    const int rowBits = width * channels * format.bitDepth;
    std::vector<std::vector<png_byte>> rows(size_t(height), std::vector<png_byte>(size_t((rowBits + 7) / 8)));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const int sample = (x * 7 + y * 13 + c * 5 + x * y) % (maxSample + 1);
                const int bit = (x * channels + c) * format.bitDepth;
                png_byte *row = rows[size_t(y)].data();
                if (format.bitDepth == 16) {
                    row[bit / 8] = png_byte(sample >> 8);
                    row[bit / 8 + 1] = png_byte(sample);
                } else {
                    row[bit / 8] |= png_byte(sample << (8 - format.bitDepth - bit % 8));
                }
            }
        }
    }
    // The colour key must really occur for the transparency to be exercised.
    if (format.transparencyChunk && format.colorType != PNG_COLOR_TYPE_PALETTE && format.bitDepth == 8) {
        png_byte *first = rows[0].data();
        first[0] = png_byte(maxSample);
        if (channels == 3) {
            first[1] = 0;
            first[2] = png_byte(maxSample / 3);
        }
    }
    std::vector<png_bytep> pointers;
    for (auto &row : rows)
        pointers.push_back(row.data());
    png_write_image(png, pointers.data());

    png_text after { PNG_TEXT_COMPRESSION_NONE, const_cast<char *>("Comment"), const_cast<char *>("end"), 0,
        0, nullptr, nullptr };
    png_set_text(png, info, &after, 1);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The 8-bit value of sample c of the pixel at (x, y) in largePng's pictures.
int largeSample(int x, int y, int c, int bitDepth)
{
    return bitDepth == 1 ? (x + y) % 2 * 255 : (x + 2 * y + 40 * c) & 0xff;
}

// A large picture written one row at a time, quickly compressed: grey 1-bit or RGBA 16-bit
// (each 16-bit sample an exact 8-bit value times 257).
QByteArray largePng(int width, int height, int bitDepth, bool interlaced)
{
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_byte> row;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendToBuffer, flushNothing);
    png_set_compression_level(png, 1);
    const int colorType = bitDepth == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB_ALPHA;
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth, colorType,
        interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    const int channels = bitDepth == 1 ? 1 : 4;
    row.assign(size_t(width) * size_t(channels) * size_t(bitDepth) / 8 + 1, 0);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            std::fill(row.begin(), row.end(), png_byte(0));
            for (int x = 0; x < width; ++x) {
                for (int c = 0; c < channels; ++c) {
                    const int value = largeSample(x, y, c, bitDepth);
                    if (bitDepth == 1) {
                        row[size_t(x / 8)] |= png_byte((value & 1) << (7 - x % 8));
                    } else {
                        const size_t at = (size_t(x) * 4 + size_t(c)) * 2;
                        row[at] = row[at + 1] = png_byte(value);
                    }
                }
            }
            png_write_row(png, row.data()); // libpng picks each pass's pixels out of the row
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

QByteArray chunk(const QByteArray &type, const QByteArray &data)
{
    QByteArray out(4, '\0');
    qToBigEndian(quint32(data.size()), out.data());
    const QByteArray typed = type + data;
    out += typed;
    QByteArray crc(4, '\0');
    qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size()))),
        crc.data());
    return out + crc;
}

QByteArray signature()
{
    return QByteArray("\x89PNG\r\n\x1a\n", 8);
}

// A file with only an IHDR of the given size (8-bit RGBA), one tiny IDAT and IEND.
QByteArray headerOnly(quint32 width, quint32 height)
{
    QByteArray ihdr(13, '\0');
    qToBigEndian(width, ihdr.data());
    qToBigEndian(height, ihdr.data() + 4);
    ihdr[8] = 8;
    ihdr[9] = 6;
    return signature() + chunk("IHDR", ihdr)
        + chunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + chunk("IEND", {});
}

// Offset of the first chunk of this type (at its length field), or -1.
qsizetype findChunk(const QByteArray &png, const QByteArray &type, int occurrence = 0)
{
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        if (png.mid(at + 4, 4) == type && occurrence-- == 0)
            return at;
        at += 12 + qsizetype(length);
    }
    return -1;
}

// A file that ends right after a chunk header declaring about 2 GB of data, with a
// few bytes of it present: 57 bytes in all.
QByteArray hugeChunkHeader(const QByteArray &type)
{
    QByteArray ihdr(13, '\0');
    qToBigEndian(quint32(1), ihdr.data());
    qToBigEndian(quint32(1), ihdr.data() + 4);
    ihdr[8] = 8;
    ihdr[9] = 2;
    QByteArray length(4, '\0');
    qToBigEndian(quint32(0x7ffffff0), length.data());
    return signature() + chunk("IHDR", ihdr) + length + type + QByteArray("banner\0xxxxxxxxx", 16);
}

// An 8-bit RGB picture whose one zlib stream carries `extraZeros` zero bytes after the
// last row, in IDAT chunks of 64 KiB, as an encoder that pads its data (or an attacker)
// would write it.
QByteArray withDataAfterTheRows(int width, int height, qint64 extraZeros)
{
    QByteArray rows;
    for (int y = 0; y < height; ++y) {
        rows.append('\0'); // no filter
        for (int x = 0; x < width * 3; ++x)
            rows.append(char((x + 3 * y) & 0xff));
    }
    z_stream z {};
    deflateInit(&z, 1);
    QByteArray compressed;
    std::vector<Bytef> out(1 << 20);
    const auto feed = [&](const QByteArray &in, int flush) {
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
        z.avail_in = uInt(in.size());
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            deflate(&z, flush);
            compressed.append(reinterpret_cast<const char *>(out.data()), qsizetype(out.size() - z.avail_out));
        } while (z.avail_out == 0);
    };
    feed(rows, Z_NO_FLUSH);
    const QByteArray zeros(1 << 20, '\0');
    for (qint64 left = extraZeros; left > 0; left -= zeros.size())
        feed(zeros.left(qsizetype(std::min<qint64>(left, zeros.size()))), Z_NO_FLUSH);
    feed({}, Z_FINISH);
    deflateEnd(&z);

    QByteArray ihdr(13, '\0');
    qToBigEndian(quint32(width), ihdr.data());
    qToBigEndian(quint32(height), ihdr.data() + 4);
    ihdr[8] = 8;
    ihdr[9] = 2;
    QByteArray png = signature() + chunk("IHDR", ihdr);
    for (qsizetype at = 0; at < compressed.size(); at += 64 * 1024)
        png += chunk("IDAT", compressed.mid(at, 64 * 1024));
    return png + chunk("IEND", {});
}

QImage qtReference(const QByteArray &png)
{
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGBA8888);
}

// The first pixel whose channels differ by more than tolerance (16-bit files may
// round differently), or empty. Compared premultiplied: the colour under a fully
// transparent pixel is nobody's business.
QString difference(const QImage &actualImage, const QImage &expectedImage, int tolerance)
{
    const QImage actual = actualImage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage expected = expectedImage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const QRgb a = actual.pixel(x, y);
            const QRgb e = expected.pixel(x, y);
            if (qAbs(qRed(a) - qRed(e)) > tolerance || qAbs(qGreen(a) - qGreen(e)) > tolerance
                || qAbs(qBlue(a) - qBlue(e)) > tolerance || qAbs(qAlpha(a) - qAlpha(e)) > tolerance)
                return QStringLiteral("(%1, %2): %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(a, 8, 16, QLatin1Char('0'))
                    .arg(e, 8, 16, QLatin1Char('0'));
        }
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(PngFormat)

class TestPngDecoder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryLayout_data()
    {
        QTest::addColumn<PngFormat>("format");
        const struct {
            const char *name;
            PngFormat format;
        } rows[] = {
            { "grey 1", { PNG_COLOR_TYPE_GRAY, 1, false, false } },
            { "grey 2 interlaced", { PNG_COLOR_TYPE_GRAY, 2, true, false } },
            { "grey 4", { PNG_COLOR_TYPE_GRAY, 4, false, false } },
            { "grey 8 colour key", { PNG_COLOR_TYPE_GRAY, 8, false, true } },
            { "grey 16", { PNG_COLOR_TYPE_GRAY, 16, false, false } },
            { "grey alpha 8", { PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false } },
            { "grey alpha 16 interlaced", { PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, false } },
            { "palette 1", { PNG_COLOR_TYPE_PALETTE, 1, false, false } },
            { "palette 4 alphas", { PNG_COLOR_TYPE_PALETTE, 4, false, true } },
            { "palette 8 alphas interlaced", { PNG_COLOR_TYPE_PALETTE, 8, true, true } },
            { "rgb 8", { PNG_COLOR_TYPE_RGB, 8, false, false } },
            { "rgb 8 colour key interlaced", { PNG_COLOR_TYPE_RGB, 8, true, true } },
            { "rgb 16", { PNG_COLOR_TYPE_RGB, 16, false, false } },
            { "rgba 8", { PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false } },
            { "rgba 8 interlaced", { PNG_COLOR_TYPE_RGB_ALPHA, 8, true, false } },
            { "rgba 16", { PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false } },
        };
        for (const auto &row : rows)
            QTest::newRow(row.name) << row.format;
    }
    void decodesEveryLayout()
    {
        QFETCH(PngFormat, format);
        const QByteArray png = writePng(format);
        QVERIFY(!png.isEmpty());
        const QImage expected = qtReference(png);
        QVERIFY(!expected.isNull());

        const QImage image = decodePng(png);
        QCOMPARE(image.size(), QSize(23, 17));
        QCOMPARE(image.format(), QImage::Format_RGBA8888);
        const QString diff = difference(image, expected, format.bitDepth == 16 ? 1 : 0);
        int seeThrough = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                seeThrough += qAlpha(image.pixel(x, y)) < 255 ? 1 : 0;
        const bool transparent = format.transparencyChunk || (format.colorType & PNG_COLOR_MASK_ALPHA);
        QCOMPARE(seeThrough > 0, transparent);
        if (!diff.isEmpty())
            QFAIL(qPrintable(diff));
    }

    void damagedFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("png");
        QTest::addColumn<QString>("message");

        const QByteArray good = writePng({ PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false });
        const auto crcBroken = [&good](const QByteArray &type, int occurrence = 0) {
            QByteArray png = good;
            const qsizetype at = findChunk(png, type, occurrence);
            Q_ASSERT(at >= 0);
            const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
            png[at + 8 + qsizetype(length)] = char(png[at + 8 + qsizetype(length)] ^ 0x01);
            return png;
        };
        QTest::newRow("IHDR crc") << crcBroken("IHDR") << QStringLiteral("PNG: IHDR: CRC error");
        QTest::newRow("IDAT crc") << crcBroken("IDAT") << QStringLiteral("PNG: IDAT: CRC error");
        QTest::newRow("tEXt crc before data")
            << crcBroken("tEXt", 0) << QStringLiteral("PNG: tEXt: CRC error");
        QTest::newRow("tEXt crc after data")
            << crcBroken("tEXt", 1) << QStringLiteral("PNG: tEXt: CRC error");
        QTest::newRow("IEND crc") << crcBroken("IEND") << QStringLiteral("PNG: IEND: CRC error");

        // An ancillary chunk libpng knows nothing of is skipped, but still checked.
        QByteArray privateChunk = chunk("prVt", "private data");
        privateChunk[privateChunk.size() - 1] = char(privateChunk.back() ^ 0x80);
        const qsizetype idat = findChunk(good, "IDAT");
        QTest::newRow("unknown chunk crc")
            << (good.left(idat) + privateChunk + good.mid(idat)) << QStringLiteral("PNG: prVt: CRC error");

        // Damaged compressed data behind a valid CRC: zlib's own check must catch it.
        {
            QByteArray png = good;
            const quint32 length = qFromBigEndian<quint32>(png.constData() + idat);
            QByteArray data = png.mid(idat + 8, length);
            data[data.size() - 1] = char(data.back() ^ 0xff); // inside the Adler-32
            png = png.left(idat) + chunk("IDAT", data) + png.mid(idat + 12 + length);
            QTest::newRow("IDAT adler-32") << png << QStringLiteral("PNG: IDAT: incorrect data check");
        }

        const QString truncated = QStringLiteral("PNG: the file is truncated");
        QTest::newRow("signature only") << good.left(8) << truncated;
        QTest::newRow("inside IHDR") << good.left(20) << truncated;
        QTest::newRow("inside IDAT") << good.left(idat + 30) << truncated;
        QTest::newRow("no IEND") << good.left(findChunk(good, "IEND")) << truncated;
        QTest::newRow("IEND without crc") << good.left(good.size() - 2) << truncated;

        QTest::newRow("empty") << QByteArray() << WrongSignature;
        QTest::newRow("html error page")
            << QByteArray("<!DOCTYPE html><html><body><h1>404 Not Found</h1></body></html>")
            << WrongSignature;
        QTest::newRow("short prefix") << QByteArray("\x89PNG", 4) << WrongSignature;
        // The typical damage of a text-mode transfer: CR LF turned into LF.
        QByteArray textMode = good;
        textMode.remove(4, 1);
        QTest::newRow("line ends converted") << textMode << WrongSignature;

        QTest::newRow("zero width") << headerOnly(0, 10) << QStringLiteral("PNG: Invalid IHDR data");
    }
    void damagedFilesAreRefused()
    {
        QFETCH(QByteArray, png);
        QFETCH(QString, message);
        try {
            decodePng(png);
            QFAIL("decoded a damaged file");
        } catch (const orvy::Error &e) {
            QCOMPARE(e.message(), message);
        }
    }

    // Only the centre that can be seen is kept: all of a picture that fits, else the
    // centred part of the shown size, one pixel more where the whole's parity needs it.
    void keepsOnlyTheCentre_data()
    {
        QTest::addColumn<PngFormat>("format");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QSize>("kept");
        const PngFormat rgba { PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false };
        const PngFormat greyInterlaced { PNG_COLOR_TYPE_GRAY, 2, true, false };
        const PngFormat paletteInterlaced { PNG_COLOR_TYPE_PALETTE, 8, true, true };
        const PngFormat rgb16 { PNG_COLOR_TYPE_RGB, 16, false, false };
        QTest::newRow("no limit") << rgba << QSize(23, 17) << QSize() << QSize(23, 17);
        QTest::newRow("fits exactly") << rgba << QSize(23, 17) << QSize(23, 17) << QSize(23, 17);
        QTest::newRow("fits with room") << rgba << QSize(23, 17) << QSize(1920, 1080) << QSize(23, 17);
        QTest::newRow("odd in even") << rgba << QSize(23, 17) << QSize(10, 8) << QSize(11, 9);
        QTest::newRow("odd in odd") << rgba << QSize(23, 17) << QSize(9, 7) << QSize(9, 7);
        QTest::newRow("even in odd") << rgba << QSize(24, 16) << QSize(9, 7) << QSize(10, 8);
        QTest::newRow("even in even") << rgba << QSize(24, 16) << QSize(10, 6) << QSize(10, 6);
        QTest::newRow("one pixel short") << rgba << QSize(23, 17) << QSize(22, 16) << QSize(23, 17);
        QTest::newRow("cut across only") << rgba << QSize(23, 17) << QSize(6, 100) << QSize(7, 17);
        QTest::newRow("cut down only") << rgba << QSize(23, 17) << QSize(100, 4) << QSize(23, 5);
        QTest::newRow("to one pixel") << rgba << QSize(23, 17) << QSize(1, 1) << QSize(1, 1);
        QTest::newRow("grey 2 interlaced")
            << greyInterlaced << QSize(40, 33) << QSize(13, 10) << QSize(14, 11);
        QTest::newRow("palette interlaced, narrower than a pass")
            << paletteInterlaced << QSize(41, 30) << QSize(3, 2) << QSize(3, 2);
        QTest::newRow("rgb 16") << rgb16 << QSize(31, 20) << QSize(15, 15) << QSize(15, 16);
    }
    void keepsOnlyTheCentre()
    {
        QFETCH(PngFormat, format);
        QFETCH(QSize, picture);
        QFETCH(QSize, shown);
        QFETCH(QSize, kept);
        const QByteArray png = writePng(format, picture.width(), picture.height());
        const QImage whole = decodePng(png);
        QCOMPARE(whole.size(), picture);
        QCOMPARE(orvy::image::keptSize(picture, shown), kept);

        const QImage part = decodePng(png, shown);
        QCOMPARE(part.size(), kept);
        QCOMPARE(part.format(), QImage::Format_RGBA8888);
        const QPoint corner((picture.width() - kept.width()) / 2, (picture.height() - kept.height()) / 2);
        QCOMPARE(part, whole.copy(QRect(corner, kept)));
    }

    // A picture of up to 100 megapixels costs about what is kept of it, not all of it.
    void largePicturesCostWhatIsKept_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("bitDepth");
        QTest::addColumn<bool>("interlaced");
        QTest::newRow("100 megapixels, grey 1-bit") << QSize(10000, 10000) << 1 << false;
        QTest::newRow("16 megapixels, RGBA 16-bit") << QSize(4000, 4000) << 16 << false;
        QTest::newRow("16 megapixels, RGBA 16-bit interlaced") << QSize(4000, 4000) << 16 << true;
        QTest::newRow("the widest row libpng reads, grey 1-bit") << QSize(1'000'000, 40) << 1 << false;
    }
    void largePicturesCostWhatIsKept()
    {
        QFETCH(QSize, picture);
        QFETCH(int, bitDepth);
        QFETCH(bool, interlaced);
        const QByteArray png = largePng(picture.width(), picture.height(), bitDepth, interlaced);
        QVERIFY(!png.isEmpty());
        const QSize screen(1920, 1080);
        const qint64 screenKb = qint64(screen.width()) * screen.height() * 4 / 1024;

        const orvy::test::PeakMemory memory;
        const QImage part = decodePng(png, screen);
        const qint64 grownKb = memory.growthKb();
        QVERIFY2(!orvy::test::PeakMemory::meaningful() || (grownKb >= 0 && grownKb < 3 * screenKb),
            qPrintable(QStringLiteral("peak grew by %1 kB").arg(grownKb)));

        const QSize kept = orvy::image::keptSize(picture, screen);
        QCOMPARE(part.size(), kept);
        const QPoint corner((picture.width() - kept.width()) / 2, (picture.height() - kept.height()) / 2);
        for (const QPoint at : { QPoint(0, 0), QPoint(kept.width() - 1, 0), QPoint(0, kept.height() - 1),
                 QPoint(kept.width() - 1, kept.height() - 1), QPoint(kept.width() / 2, kept.height() / 2) }) {
            const QPoint in = corner + at;
            const auto expected
                = [&](int c) { return largeSample(in.x(), in.y(), bitDepth == 1 ? 0 : c, bitDepth); };
            const QRgb pixel = part.pixel(at);
            QCOMPARE(qRed(pixel), expected(0));
            QCOMPARE(qGreen(pixel), expected(bitDepth == 1 ? 0 : 1));
            QCOMPARE(qBlue(pixel), expected(bitDepth == 1 ? 0 : 2));
            QCOMPARE(qAlpha(pixel), bitDepth == 1 ? 255 : expected(3));
        }
    }

    void hugePicturesAreRefusedBeforeAllocating_data()
    {
        QTest::addColumn<quint32>("width");
        QTest::addColumn<quint32>("height");
        QTest::addColumn<QString>("message");
        QTest::newRow("20000 x 20000")
            << 20000u << 20000u
            << QStringLiteral(
                   "PNG: the picture is too large (20000 x 20000 pixels; at most 100 million are accepted)");
        QTest::newRow("just over the limit")
            << 10001u << 10000u
            << QStringLiteral(
                   "PNG: the picture is too large (10001 x 10000 pixels; at most 100 million are accepted)");
        QTest::newRow("wider than the format allows")
            << 0x80000000u << 1u << QStringLiteral("PNG: PNG unsigned integer out of range");
    }
    void hugePicturesAreRefusedBeforeAllocating()
    {
        QFETCH(quint32, width);
        QFETCH(quint32, height);
        QFETCH(QString, message);
        QElapsedTimer timer;
        timer.start();
        try {
            decodePng(headerOnly(width, height));
            QFAIL("decoded an oversized picture");
        } catch (const orvy::Error &e) {
            QCOMPARE(e.message(), message);
        }
        // Allocating and clearing even the smallest of these would take far longer.
        QVERIFY(timer.elapsed() < 100);
    }

    // libpng would set aside the declared size of a text or suggested-palette chunk
    // before reading it: 2 GB for a 57-byte file.
    void chunkLengthsBeyondTheFileTakeNoMemory_data()
    {
        QTest::addColumn<QByteArray>("type");
        for (const char *type : { "tEXt", "zTXt", "iTXt", "sPLT", "iCCP", "prVt" })
            QTest::newRow(type) << QByteArray(type);
    }
    void chunkLengthsBeyondTheFileTakeNoMemory()
    {
        QFETCH(QByteArray, type);
        const QByteArray png = hugeChunkHeader(type);
        QCOMPARE(png.size(), 57);
        const orvy::test::PeakMemory memory;
        QElapsedTimer timer;
        timer.start();
        try {
            decodePng(png);
            QFAIL("decoded a truncated file");
        } catch (const orvy::Error &e) {
            QCOMPARE(e.message(), QStringLiteral("PNG: the file is truncated"));
        }
        const qint64 grownKb = memory.growthKb();
        QVERIFY2(!orvy::test::PeakMemory::meaningful() || (grownKb >= 0 && grownKb < 16 * 1024),
            qPrintable(QStringLiteral("peak grew by %1 kB").arg(grownKb)));
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    }

    // Unused chunks are dropped, not trusted: a large one still has its CRC checked,
    // and an intact one does not change the picture.
    void unusedChunksAreCheckedThenDropped()
    {
        const QByteArray good = writePng({ PNG_COLOR_TYPE_RGB, 8, false, false });
        const qsizetype idat = findChunk(good, "IDAT");
        QByteArray text = chunk("tEXt", "Comment\0" + QByteArray(3 * 1024 * 1024, 'x'));
        QCOMPARE(decodePng(good.left(idat) + text + good.mid(idat)), decodePng(good));
        text[text.size() - 1] = char(text.back() ^ 0x01);
        try {
            decodePng(good.left(idat) + text + good.mid(idat));
            QFAIL("decoded a file with a damaged text chunk");
        } catch (const orvy::Error &e) {
            QCOMPARE(e.message(), QStringLiteral("PNG: tEXt: CRC error"));
        }
    }

    // The picture's rows need a known amount of data; a stream running on after them is
    // refused before it costs more than a moment, however long it would inflate.
    void imageDataAfterTheRowsIsBounded_data()
    {
        QTest::addColumn<qint64>("extraZeros");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("none") << qint64(0) << true;
        QTest::newRow("a little padding") << qint64(4096) << true;
        QTest::newRow("a megabyte of padding") << (qint64(1) << 20) << true;
        QTest::newRow("256 MB") << (qint64(256) << 20) << false;
        QTest::newRow("1 GB") << (qint64(1) << 30) << false;
    }
    void imageDataAfterTheRowsIsBounded()
    {
        QFETCH(qint64, extraZeros);
        QFETCH(bool, accepted);
        const QByteArray png = withDataAfterTheRows(960, 360, extraZeros);
        const QImage expected = decodePng(withDataAfterTheRows(960, 360, 0));
        QElapsedTimer timer;
        timer.start();
        if (accepted) {
            QCOMPARE(decodePng(png, QSize(960, 360)), expected);
            return;
        }
        try {
            decodePng(png, QSize(960, 360));
            QFAIL("decoded a stream running on after the rows");
        } catch (const orvy::Error &e) {
            QCOMPARE(e.message(), QStringLiteral("PNG: too much image data after the last row"));
        }
        // Generous for a loaded machine: inflating the whole stream takes many times this.
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    }

    // However a picture makes the decoder work, it ends within the time it is given.
    void decodingIsBoundedInTime()
    {
        const QByteArray png = largePng(6000, 6000, 1, false);
        QVERIFY(!png.isEmpty());
        try {
            decodePng(png, QSize(960, 360), std::chrono::milliseconds(1));
            QFAIL("decoded 36 million pixels within a millisecond");
        } catch (const orvy::Error &e) {
            QCOMPARE(e.message(), QStringLiteral("PNG: decoding the picture takes too long"));
        }
        QCOMPARE(decodePng(png, QSize(960, 360)).size(), QSize(960, 360));
    }

    void trailingBytesAfterTheEndAreIgnored()
    {
        const QByteArray png = writePng({ PNG_COLOR_TYPE_RGB, 8, false, false });
        QCOMPARE(decodePng(png + QByteArray(100, 'x')), decodePng(png));
    }
};

QTEST_GUILESS_MAIN(TestPngDecoder)
#include "tst_pngdecoder.moc"
