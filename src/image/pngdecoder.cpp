#include "image/pngdecoder.h"

#include "core/error.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <png.h>
#include <vector>

namespace orvy::image {

namespace {

// libpng reports errors by longjmp. The functions that call into it below keep
// no C++ object with a destructor in their own frame, so the jump skips nothing;
// everything that needs releasing lives in decodePng's frame, whose RAII objects
// run normally once the helper has returned false.

// Where the image data (IDAT chunks' contents) lies in the file: [begin, end) each.
struct DataRange {
    size_t begin;
    size_t end;
};

// Image data read from the start of the last row on that the decoder takes beyond that
// row's own bytes. Once the last row is decoded, all a sound stream has left is its end
// (a few bytes); libpng, finishing that row, would otherwise inflate whatever follows, a
// thousand bytes for every one in the file (gigabytes of zeros from a few megabytes).
constexpr size_t MaxImageDataAfterRows = 64 * 1024;

// Plain data shared with libpng's callbacks through its user pointers.
struct ReadState {
    const png_byte *data;
    size_t size;
    size_t position;
    const DataRange *imageData; // sorted, imageDataCount of them
    size_t imageDataCount;
    size_t rowBytes; // one row as stored, uncompressed, its filter byte included
    bool onLastRow;
    size_t imageDataAfterRows; // read since the last row began
    std::chrono::steady_clock::time_point deadline;
    char message[512];
};

// The IDAT chunks' contents, in file order, as far as the chunk lengths can be followed.
std::vector<DataRange> imageDataRanges(const png_byte *data, size_t size)
{
    std::vector<DataRange> ranges;
    size_t at = 8; // after the signature
    while (size - at >= 12) {
        const size_t length = png_get_uint_32(data + at);
        if (length > size - at - 12)
            break; // libpng finds the file truncated there
        if (std::memcmp(data + at + 4, "IDAT", 4) == 0)
            ranges.push_back({ at + 8, at + 8 + length });
        if (std::memcmp(data + at + 4, "IEND", 4) == 0)
            break;
        at += 12 + length;
    }
    return ranges;
}

// How many bytes of [from, from + length) are image data.
size_t imageDataIn(const ReadState *state, size_t from, size_t length)
{
    const DataRange *end = state->imageData + state->imageDataCount;
    const DataRange *range = std::upper_bound(state->imageData, end, from,
        [](size_t position, const DataRange &r) { return position < r.end; });
    size_t count = 0;
    for (; range != end && range->begin < from + length; ++range)
        count += std::min(range->end, from + length) - std::max(range->begin, from);
    return count;
}

void checkTime(png_structp png, const ReadState *state)
{
    if (std::chrono::steady_clock::now() > state->deadline)
        png_error(png, "decoding the picture takes too long");
}

[[noreturn]] void onPngError(png_structp png, png_const_charp message)
{
    auto *state = static_cast<ReadState *>(png_get_error_ptr(png));
    std::strncpy(state->message, message ? message : "unknown error", sizeof state->message - 1);
    state->message[sizeof state->message - 1] = '\0';
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp)
{
    // Warnings are about things libpng can live with; the errors that matter
    // (CRCs included, see png_set_crc_action) come through onPngError.
}

void onPngRead(png_structp png, png_bytep out, size_t length)
{
    auto *state = static_cast<ReadState *>(png_get_io_ptr(png));
    if (length > state->size - state->position)
        png_error(png, "the file is truncated");
    checkTime(png, state);
    if (state->onLastRow) {
        state->imageDataAfterRows += imageDataIn(state, state->position, length);
        if (state->imageDataAfterRows > MaxImageDataAfterRows + state->rowBytes)
            png_error(png, "too much image data after the last row");
    }
    std::memcpy(out, state->data + state->position, length);
    state->position += length;
}

// Owns the libpng read and info structures.
class PngReader {
public:
    explicit PngReader(ReadState *state)
        : m_png(png_create_read_struct(PNG_LIBPNG_VER_STRING, state, onPngError, onPngWarning))
    {
        if (m_png)
            m_info = png_create_info_struct(m_png);
    }
    ~PngReader()
    {
        if (m_png)
            png_destroy_read_struct(&m_png, m_info ? &m_info : nullptr, nullptr);
    }
    PngReader(const PngReader &) = delete;
    PngReader &operator=(const PngReader &) = delete;

    bool isValid() const { return m_png && m_info; }
    png_structp png() const { return m_png; }
    png_infop info() const { return m_info; }

private:
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

// Reads the signature and every chunk up to the first IDAT.
bool readHeader(png_structp png, png_infop info, ReadState *state)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, state, onPngRead);
    // A damaged chunk, critical or ancillary, makes the file unusable: the banner
    // is shown exactly as sent or not at all.
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    // No chunk may claim more memory than the file has bytes: libpng would otherwise
    // set aside whatever a chunk header declares (up to 2 GB) before finding the
    // file too short.
    png_set_chunk_malloc_max(png, state->size);
    // Ancillary chunks the pixels do not depend on (texts, suggested palettes, colour
    // profiles, ...) and chunks libpng does not know are not kept at all; libpng still
    // reads them through in small pieces and checks their CRCs. A negative count keeps
    // only IHDR, PLTE, tRNS, IDAT and IEND.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);
    return true;
}

// Sets up the conversion of any colour type and depth to 8-bit RGBA; sets `passes` to
// the number of passes the rows are read in (7 for an interlaced file).
bool setUpRgba(png_structp png, png_infop info, int *passes)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    const bool hasTransparencyChunk = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (hasTransparencyChunk)
        png_set_tRNS_to_alpha(png);
    if (bitDepth == 16)
        png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTransparencyChunk)
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    *passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

// The part of the picture that is kept: rows top.., columns left.. of the whole.
struct Kept {
    int left;
    int top;
    int width;
    int height;
    uchar *bits;
    qsizetype bytesPerLine;
};

// Decodes every row of every pass, one at a time; the kept part of each lands in
// `kept`, the rest is decoded, checked and dropped. `wholeRow` holds one row of the
// whole picture when the kept part is narrower (libpng writes whole rows), else null.
// Then reads and checks the chunks after the image data.
bool readRows(png_structp png, ReadState *state, int passes, int height, const Kept *kept, png_bytep wholeRow)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    const size_t skippedBytes = size_t(kept->left) * 4;
    const size_t keptBytes = size_t(kept->width) * 4;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            checkTime(png, state);
            state->onLastRow = pass == passes - 1 && y == height - 1;
            const int row = y - kept->top;
            if (row < 0 || row >= kept->height) {
                png_read_row(png, nullptr, nullptr);
                continue;
            }
            png_bytep line = kept->bits + row * kept->bytesPerLine;
            if (!wholeRow) {
                png_read_row(png, line, nullptr);
                continue;
            }
            // A later pass fills in only its own pixels: the earlier ones go back first.
            if (passes > 1)
                std::memcpy(wholeRow + skippedBytes, line, keptBytes);
            png_read_row(png, wholeRow, nullptr);
            std::memcpy(line, wholeRow + skippedBytes, keptBytes);
        }
    }
    png_read_end(png, nullptr);
    return true;
}

[[noreturn]] void throwPngError(const ReadState &state)
{
    throw Error(QStringLiteral("PNG: %1").arg(QString::fromUtf8(state.message)));
}

} // namespace

QImage decodePng(const QByteArray &data, const QSize &shown, std::chrono::milliseconds timeLimit)
{
    constexpr size_t SignatureSize = 8;
    if (size_t(data.size()) < SignatureSize
        || png_sig_cmp(reinterpret_cast<png_const_bytep>(data.constData()), 0, SignatureSize) != 0)
        throw Error(QStringLiteral("The file being read is not a valid \"Portable Network Graphics\" image "
                                   "because it contains an invalid header. This file may be corrupted, try "
                                   "obtaining it again"));

    ReadState state {};
    state.data = reinterpret_cast<const png_byte *>(data.constData());
    state.size = size_t(data.size());
    state.deadline = std::chrono::steady_clock::now() + timeLimit;
    const std::vector<DataRange> imageData = imageDataRanges(state.data, state.size);
    state.imageData = imageData.data();
    state.imageDataCount = imageData.size();

    PngReader reader(&state);
    if (!reader.isValid())
        throw Error(QStringLiteral("PNG: out of memory"));
    if (!readHeader(reader.png(), reader.info(), &state))
        throwPngError(state);

    state.rowBytes = png_get_rowbytes(reader.png(), reader.info()) + 1;
    const qint64 width = png_get_image_width(reader.png(), reader.info());
    const qint64 height = png_get_image_height(reader.png(), reader.info());
    if (width * height > MaxPngPixels)
        throw Error(
            QStringLiteral("PNG: the picture is too large (%1 x %2 pixels; at most %3 million are accepted)")
                .arg(width)
                .arg(height)
                .arg(MaxPngPixels / 1'000'000));

    int passes = 1;
    if (!setUpRgba(reader.png(), reader.info(), &passes))
        throwPngError(state);
    if (png_get_channels(reader.png(), reader.info()) != 4
        || png_get_bit_depth(reader.png(), reader.info()) != 8
        || png_get_rowbytes(reader.png(), reader.info()) != size_t(width) * 4)
        throw Error(QStringLiteral("PNG: unsupported pixel layout"));

    const QSize whole { int(width), int(height) };
    const QSize size = keptSize(whole, shown);
    QImage image(size, QImage::Format_RGBA8888);
    if (image.isNull())
        throw Error(QStringLiteral("PNG: not enough memory for a %1 x %2 picture").arg(width).arg(height));
    // libpng's own limit of a million pixels a row keeps this row within 4 MB.
    std::vector<png_byte> wholeRow;
    if (size.width() < whole.width()) {
        wholeRow.resize(size_t(width) * 4);
        if (passes > 1)
            image.fill(0); // the passes copy kept rows out and back before all their pixels are in
    }
    const Kept kept { (whole.width() - size.width()) / 2, (whole.height() - size.height()) / 2, size.width(),
        size.height(), image.bits(), image.bytesPerLine() };
    if (!readRows(reader.png(), &state, passes, int(height), &kept, wholeRow.empty() ? nullptr : wholeRow.data()))
        throwPngError(state);
    return image;
}

QSize keptSize(const QSize &picture, const QSize &shown)
{
    if (shown.isEmpty())
        return picture;
    const auto kept = [](int whole, int seen) {
        if (whole <= seen)
            return whole;
        // Same parity as the whole: both halvings of the centring then cut alike.
        return std::min(whole, seen + (whole - seen) % 2);
    };
    return { kept(picture.width(), shown.width()), kept(picture.height(), shown.height()) };
}

} // namespace orvy::image
