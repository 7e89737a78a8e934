#include "view/metafileplayer.h"

#include <cstdlib>

namespace view {

namespace {

// Screen pixels at 96 dots per inch from hundredths of a millimetre, rounded as MulDiv does.
std::int64_t pixelsFromFrame(std::int64_t hundredthsOfMm)
{
    return (std::llabs(hundredthsOfMm) * 96 + 1270) / 2540;
}

} // namespace

QImage playEnhancedMetafile(ByteSpan file, const PlayLimits &limits)
{
    const std::int64_t width = pixelsFromFrame(std::int64_t(file.s32(32)) - file.s32(24));
    const std::int64_t height = pixelsFromFrame(std::int64_t(file.s32(36)) - file.s32(28));
    QImage image = transparentImage(width, height, limits);
    const std::uint32_t headerSize = file.u32(4);
    if (headerSize < 88 || headerSize > file.size())
        invalidMetafile();
    for (std::size_t offset = headerSize; offset < file.size();) {
        const std::uint32_t type = file.u32(offset);
        const std::uint32_t size = file.u32(offset + 4);
        if (size < 8 || !file.has(offset, size))
            invalidMetafile();
        if (type == 14)
            break;
        offset += size;
    }
    return image;
}

} // namespace view
