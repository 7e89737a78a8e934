#include "metafile/metafile.h"

#include "metafile/metafilebytes.h"
#include "metafile/metafileplayer.h"

namespace metafile {

namespace {

constexpr std::uint32_t kEmfHeaderType = 1;
constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableHeaderSize = 22;

} // namespace

bool isEnhancedMetafile(const QByteArray &data)
{
    const ByteSpan bytes(data);
    return bytes.size() > 100 && bytes.u32(0) == kEmfHeaderType && bytes.u32(40) == kEmfSignature;
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
