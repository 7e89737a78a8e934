#include "view/bitmapreader.h"

#include "metafile/littleendian.h"
#include "view/bitmappicture.h"
#include "view/failures.h"
#include "view/qtdecoding.h"

#include <cstdint>
#include <cstdlib>

namespace view {

namespace {

using metafile::littleEndian;

constexpr int kFileHeaderSize = 14;
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kBitFields = 3;

[[noreturn]] void notValid()
{
    failures::fail(failures::kInvalidBitmap);
}

[[noreturn]] void readError()
{
    failures::fail(failures::kStreamRead);
}

// The headers a Windows bitmap may carry, by their size: core, info, the two undocumented
// extensions with colour masks, OS/2 2.x, version 4 and version 5.
bool knownHeaderSize(std::uint32_t size)
{
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108
        || size == 124;
}

struct Layout {
    std::int64_t pixelBytes = 0; // bytes the pixel rows need; 0 when compressed
};

// Checks the headers before Qt's reader sees the file, so that a short file and a foreign one
// give the messages a user of this program knows, and works out how many pixel bytes an
// uncompressed bitmap needs.
Layout checkHeaders(const QByteArray &data)
{
    if (data.isEmpty())
        notValid();
    if (data.size() < kFileHeaderSize)
        readError();
    if (data[0] != 'B' || data[1] != 'M')
        notValid();
    if (data.size() < kFileHeaderSize + 4)
        readError();
    const std::uint32_t headerSize = littleEndian(data, kFileHeaderSize, 4);
    if (!knownHeaderSize(headerSize))
        notValid();
    if (data.size() < kFileHeaderSize + static_cast<qsizetype>(headerSize))
        readError();

    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = kUncompressed;
    if (headerSize == 12) {
        width = littleEndian(data, 18, 2);
        height = littleEndian(data, 20, 2);
        bits = littleEndian(data, 24, 2);
    } else {
        width = static_cast<std::int32_t>(littleEndian(data, 18, 4));
        height = static_cast<std::int32_t>(littleEndian(data, 22, 4));
        bits = littleEndian(data, 28, 2);
        compression = littleEndian(data, 30, 4);
    }
    if (width <= 0 || height == 0 || bits == 0 || bits > 32)
        notValid();
    Layout layout;
    if (compression == kUncompressed || compression == kBitFields) {
        const std::int64_t stride = (width * bits + 31) / 32 * 4;
        std::int64_t start = littleEndian(data, 10, 4);
        if (start < kFileHeaderSize + headerSize)
            start = kFileHeaderSize + headerSize;
        layout.pixelBytes = stride * std::llabs(height);
        if (data.size() < start + layout.pixelBytes)
            readError();
    }
    return layout;
}

} // namespace

std::unique_ptr<Picture> readBitmap(const QByteArray &data)
{
    const Layout layout = checkHeaders(data);
    // An uncompressed bitmap's size is vouched for by the bytes of the file, however large; a
    // compressed one keeps Qt's cap, so a few bytes cannot ask for gigabytes.
    QImage image = decodeWithQt(data, "bmp", -1, layout.pixelBytes > 0);
    if (image.isNull())
        notValid();
    return std::make_unique<BitmapPicture>(std::move(image));
}

} // namespace view
