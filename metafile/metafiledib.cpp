#include "metafile/metafiledib.h"

#include "metafile/metafile.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <array>

namespace metafile {

namespace {

// Wider or taller bitmaps are not drawn; nor are those of more than kMaxPixels, which an embedded
// photograph of a few thousand pixels square is well inside: beyond, a crafted header would
// only make the player allocate.
constexpr std::int64_t kMaxBitmapSide = 65535;

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kJpeg = 4;
constexpr std::uint32_t kPng = 5;
constexpr std::uint32_t kPaletteIndices = 1;

struct DibHeader {
    std::int64_t width = 0;
    std::int64_t height = 0; // negative: rows from the top
    int bitCount = 0;
    std::uint32_t compression = kRgb;
    std::array<std::uint32_t, 3> masks{};
    std::size_t colourOffset = 0;
    std::size_t colourCount = 0;
    std::size_t colourSize = 4;
    bool alpha = false; // 32-bit pixels keep their premultiplied alpha
};

DibHeader readHeader(ByteSpan info)
{
    DibHeader h;
    const std::uint32_t size = info.u32(0);
    if (size == 12) {
        h.width = info.u16(4);
        h.height = info.s16(6);
        h.bitCount = info.u16(10);
        h.colourSize = 3;
    } else if (size >= 40) {
        h.width = info.s32(4);
        h.height = info.s32(8);
        h.bitCount = info.u16(14);
        h.compression = info.u32(16);
        h.colourCount = info.u32(32);
    } else {
        invalidMetafile();
    }
    h.colourOffset = size;
    if (h.compression == kBitFields) {
        // The masks follow a plain header, or are part of the larger ones.
        for (std::size_t i = 0; i < 3; ++i)
            h.masks[i] = info.u32(40 + 4 * i);
        if (size == 40)
            h.colourOffset += 12;
    }
    const std::int64_t rows = h.height < 0 ? -h.height : h.height;
    if (h.width <= 0 || rows == 0 || h.width > kMaxBitmapSide || rows > kMaxBitmapSide)
        invalidMetafile();
    if (h.bitCount >= 1 && h.bitCount <= 8 && h.colourCount == 0)
        h.colourCount = std::size_t(1) << h.bitCount;
    if (h.colourCount > 65536)
        invalidMetafile();
    return h;
}

std::size_t tableBytes(const DibHeader &h, std::uint32_t usage)
{
    return h.colourCount * (usage == kPaletteIndices ? 2 : h.colourSize);
}

QList<QRgb> colourTable(ByteSpan info, const DibHeader &h)
{
    QList<QRgb> table;
    for (std::size_t i = 0; i < h.colourCount && i < 256; ++i) {
        const std::size_t at = h.colourOffset + i * h.colourSize;
        table.append(qRgb(info.u8(at + 2), info.u8(at + 1), info.u8(at)));
    }
    return table;
}

// One channel of a bit-field pixel, widened to eight bits.
int channel(std::uint32_t pixel, std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    while (!(mask & 1u << shift))
        ++shift;
    const std::uint32_t top = mask >> shift;
    return int(((pixel & mask) >> shift) * 255 / top);
}

QRgb pixelAt(const std::uint8_t *row, std::int64_t x, const DibHeader &h, const QList<QRgb> &table)
{
    switch (h.bitCount) {
    case 1:
    case 4:
    case 8: {
        const std::int64_t bit = x * h.bitCount;
        const int index = (row[bit / 8] >> (8 - h.bitCount - bit % 8)) & ((1 << h.bitCount) - 1);
        return index < table.size() ? table[index] : qRgb(0, 0, 0);
    }
    case 16: {
        const std::uint32_t v = littleEndian(row + 2 * x, 2);
        if (h.compression == kBitFields)
            return qRgb(channel(v, h.masks[0]), channel(v, h.masks[1]), channel(v, h.masks[2]));
        return qRgb(channel(v, 0x7c00), channel(v, 0x3e0), channel(v, 0x1f));
    }
    case 24:
        return qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    default: {
        const std::uint32_t v = littleEndian(row + 4 * x, 4);
        if (h.alpha) {
            // Premultiplied: no channel may exceed the alpha.
            const int a = int(v >> 24);
            return qRgba(std::min(a, int(v >> 16 & 0xff)),
                std::min(a, int(v >> 8 & 0xff)),
                std::min(a, int(v & 0xff)),
                a);
        }
        if (h.compression == kBitFields)
            return qRgb(channel(v, h.masks[0]), channel(v, h.masks[1]), channel(v, h.masks[2]));
        return qRgb(v >> 16 & 0xff, v >> 8 & 0xff, v & 0xff);
    }
    }
}

QImage uncompressed(ByteSpan bits, const DibHeader &h, const QList<QRgb> &table)
{
    if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 16
        && h.bitCount != 24 && h.bitCount != 32)
        invalidMetafile();
    if (h.compression == kBitFields && h.bitCount != 16 && h.bitCount != 32)
        invalidMetafile();
    const std::int64_t rows = h.height < 0 ? -h.height : h.height;
    if (h.width * rows > kMaxPixels)
        invalidMetafile();
    const std::size_t stride = std::size_t((h.width * h.bitCount + 31) / 32 * 4);
    const ByteSpan all = bits.sub(0, stride * std::size_t(rows));
    QImage image(int(h.width),
        int(rows),
        h.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        invalidMetafile();
    for (int y = 0; y < image.height(); ++y) {
        const std::size_t source = std::size_t(h.height < 0 ? y : rows - 1 - y);
        const auto *row = reinterpret_cast<const std::uint8_t *>(all.data()) + source * stride;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            out[x] = pixelAt(row, x, h, table);
    }
    return image;
}

// Run-length encoded 8- and 4-bit bitmaps; pixels the runs skip stay transparent.
QImage runLength(ByteSpan bits, const DibHeader &h, const QList<QRgb> &table)
{
    const std::int64_t rows = h.height < 0 ? -h.height : h.height;
    if (h.width * rows > kMaxPixels || h.bitCount != (h.compression == kRle8 ? 8 : 4))
        invalidMetafile();
    QImage image(int(h.width), int(rows), QImage::Format_ARGB32);
    if (image.isNull())
        invalidMetafile();
    image.fill(Qt::transparent);
    const bool four = h.compression == kRle4;
    const auto colour = [&table](int index) {
        return index < table.size() ? table[index] : qRgb(0, 0, 0);
    };
    std::int64_t x = 0;
    std::int64_t y = 0;
    const auto put = [&](int index) {
        if (x < h.width && y < rows)
            image.setPixel(int(x), int(rows - 1 - y), colour(index));
        ++x;
    };
    std::size_t at = 0;
    while (at + 1 < bits.size() && y < rows) {
        const int count = bits.u8(at);
        const int value = bits.u8(at + 1);
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(four ? (i % 2 ? value & 0xf : value >> 4) : value);
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += bits.u8(at);
            y += bits.u8(at + 1);
            at += 2;
        } else {
            const std::size_t bytes = four ? (std::size_t(value) + 1) / 2 : std::size_t(value);
            const ByteSpan run = bits.sub(at, bytes);
            for (int i = 0; i < value; ++i)
                put(four ? (
                        i % 2 ? run.u8(std::size_t(i) / 2) & 0xf : run.u8(std::size_t(i) / 2) >> 4)
                         : run.u8(std::size_t(i)));
            at += (bytes + 1) / 2 * 2;
        }
    }
    return h.height < 0 ? image.mirrored(false, true) : image;
}

// A JPEG or PNG picture carried whole; one that cannot be decoded is not drawn.
QImage embedded(ByteSpan bits, std::uint32_t compression)
{
    QByteArray bytes = QByteArray::fromRawData(bits.data(), qsizetype(bits.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, compression == kJpeg ? "jpeg" : "png");
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (!size.isValid())
        return {};
    if (std::int64_t(size.width()) * size.height() > kMaxPixels)
        invalidMetafile();
    return reader.read();
}

} // namespace

QImage decodeDib(ByteSpan info, ByteSpan bits, std::uint32_t usage, bool *bottomUp, bool alpha)
{
    DibHeader h = readHeader(info);
    h.alpha = alpha && h.bitCount == 32 && h.compression == kRgb;
    if (bottomUp)
        *bottomUp = h.height > 0;
    // Colours as indices into a logical palette are not drawn: no palette is kept.
    if (usage == kPaletteIndices && h.bitCount <= 8 && h.compression != kJpeg
        && h.compression != kPng)
        return {};
    (void)info.sub(h.colourOffset, tableBytes(h, usage));
    switch (h.compression) {
    case kRgb:
    case kBitFields:
        return uncompressed(bits, h, colourTable(info, h));
    case kRle8:
    case kRle4:
        return runLength(bits, h, colourTable(info, h));
    case kJpeg:
    case kPng:
        return embedded(bits, h.compression);
    default:
        return {};
    }
}

QImage decodePackedDib(ByteSpan packed, std::uint32_t usage, bool *bottomUp)
{
    const DibHeader h = readHeader(packed);
    const std::size_t bitsAt = h.colourOffset + tableBytes(h, usage);
    if (!packed.has(bitsAt, 0))
        invalidMetafile();
    return decodeDib(
        packed.sub(0, bitsAt), packed.sub(bitsAt, packed.size() - bitsAt), usage, bottomUp);
}

QImage decodeBitmap16(ByteSpan bitmap)
{
    const std::int64_t width = bitmap.s16(2);
    const std::int64_t height = bitmap.s16(4);
    const std::size_t stride = std::size_t(std::max(0, int(bitmap.s16(6))));
    const int depth = bitmap.u8(8) * bitmap.u8(9);
    if (width <= 0 || height <= 0 || std::int64_t(stride) * 8 < width * depth)
        invalidMetafile();
    const ByteSpan bits = bitmap.sub(10, stride * std::size_t(height));
    if (depth != 1 && depth != 24 && depth != 32)
        return {};
    QImage image(int(width), int(height), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto *row =
            reinterpret_cast<const std::uint8_t *>(bits.data()) + std::size_t(y) * stride;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (depth == 1)
                out[x] = (row[x / 8] >> (7 - x % 8)) & 1 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
            else
                out[x] = qRgb(row[x * depth / 8 + 2], row[x * depth / 8 + 1], row[x * depth / 8]);
        }
    }
    return image;
}

QRectF sourceRect(const QImage &image, bool fromBottom, double x, double y, double w, double h)
{
    return QRectF(x, fromBottom ? image.height() - y - h : y, w, h);
}

} // namespace metafile
