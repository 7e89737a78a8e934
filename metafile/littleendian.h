#pragma once

// The one reader of little-endian numbers: the metafile records, the bitmaps they carry and the
// headers of bitmap and icon files all store their numbers lowest byte first.

#include <QByteArray>

#include <cstdint>

namespace metafile {

/// The unsigned number of `count` bytes (1 to 4) at `bytes`, lowest byte first; the caller has
/// made sure they are all there.
[[nodiscard]] inline std::uint32_t littleEndian(const std::uint8_t *bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

/// The same for the `count` bytes at `at` of `data`.
[[nodiscard]] inline std::uint32_t littleEndian(const QByteArray &data, qsizetype at, int count)
{
    return littleEndian(reinterpret_cast<const std::uint8_t *>(data.constData()) + at, count);
}

} // namespace metafile
