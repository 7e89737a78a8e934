#include "view/metafileplayer.h"

#include <cstdlib>

namespace view {

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

QImage playPlaceableMetafile(ByteSpan file, const PlayLimits &limits)
{
    const std::int64_t inch = file.u16(14);
    if (inch == 0)
        invalidMetafile();
    const auto pixels = [inch](std::int64_t units) { return (std::llabs(units) * 96 + inch / 2) / inch; };
    const std::int64_t width = pixels(std::int64_t(file.s16(10)) - file.s16(6));
    const std::int64_t height = pixels(std::int64_t(file.s16(12)) - file.s16(8));
    QImage image = transparentImage(width, height, limits);
    const std::size_t headerWords = file.u16(24);
    if (headerWords < 9)
        invalidMetafile();
    for (std::size_t offset = 22 + 2 * headerWords; offset < file.size();) {
        const std::size_t size = 2 * std::size_t(file.u32(offset));
        const std::uint16_t function = file.u16(offset + 4);
        if (size < 6 || !file.has(offset, size))
            invalidMetafile();
        if (function == 0)
            break;
        offset += size;
    }
    return image;
}

} // namespace view
