#include "metafile/metafile.h"

#include "metafile/metafilebytes.h"
#include "metafile/metafileplayer.h"
#include "metafile/metafilerecords.h"

namespace metafile {

bool isEnhancedMetafile(const QByteArray &data)
{
    const ByteSpan bytes(data);
    return bytes.size() > 100 && bytes.u32(0) == emr::Header && bytes.u32(40) == kEmfSignature;
}

bool isPlaceableMetafile(const QByteArray &data)
{
    const ByteSpan bytes(data);
    if (bytes.size() < kPlaceableHeaderSize || bytes.u32(0) != kPlaceableKey)
        return false;
    // The checksum is the exclusive or of the ten 16-bit words before it.
    std::uint16_t sum = 0;
    for (std::size_t offset = 0; offset < 20; offset += 2)
        sum ^= bytes.u16(offset);
    return sum == bytes.u16(20);
}

QImage transparentImage(std::int64_t width, std::int64_t height, const PlayLimits &limits)
{
    if (width > limits.maxSide || height > limits.maxSide || width * height > limits.maxPixels)
        invalidMetafile();
    if (width <= 0 || height <= 0)
        return {};
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        invalidMetafile();
    image.fill(Qt::transparent);
    return image;
}

QImage playMetafile(const QByteArray &data, const PlayLimits &limits)
{
    // An enhanced metafile is told by its content alone, whatever the file's extension says.
    if (isEnhancedMetafile(data))
        return playEnhancedMetafile(ByteSpan(data), limits);
    if (isPlaceableMetafile(data))
        return playPlaceableMetafile(ByteSpan(data), limits);
    invalidMetafile();
}

} // namespace metafile
