#include "view/bitmapreader.h"

#include "measure/real.h"
#include "view/bitmappicture.h"

#include <QBuffer>
#include <QImageReader>

#include <cstdint>
#include <cstdlib>

namespace view {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kBitFields = 3;

[[noreturn]] void notValid()
{
    throw measure::Failure("Bitmap image is not valid");
}

[[noreturn]] void readError()
{
    throw measure::Failure("Stream read error");
}

std::uint32_t little(const QByteArray &data, int at, int bytes)
{
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(data[at + i]);
    return value;
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
    const std::uint32_t headerSize = little(data, kFileHeaderSize, 4);
    if (!knownHeaderSize(headerSize))
        notValid();
    if (data.size() < kFileHeaderSize + static_cast<qsizetype>(headerSize))
        readError();

    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = kUncompressed;
    if (headerSize == 12) {
        width = little(data, 18, 2);
        height = little(data, 20, 2);
        bits = little(data, 24, 2);
    } else {
        width = static_cast<std::int32_t>(little(data, 18, 4));
        height = static_cast<std::int32_t>(little(data, 22, 4));
        bits = little(data, 28, 2);
        compression = little(data, 30, 4);
    }
    if (width <= 0 || height == 0 || bits == 0 || bits > 32)
        notValid();
    Layout layout;
    if (compression == kUncompressed || compression == kBitFields) {
        const std::int64_t stride = (width * bits + 31) / 32 * 4;
        std::int64_t start = little(data, 10, 4);
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
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setDecideFormatFromContent(false);
    // An uncompressed bitmap's size is vouched for by the bytes of the file, however large; a
    // compressed one keeps Qt's cap, so a few bytes cannot ask for gigabytes.
    if (layout.pixelBytes > 0)
        reader.setAllocationLimit(0);
    QImage image = reader.read();
    if (image.isNull())
        notValid();
    return std::make_unique<BitmapPicture>(std::move(image));
}

} // namespace view
