#pragma once

#include "view/picture.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

namespace view {

/// How large a played metafile may become; anything larger fails as an invalid metafile.
struct PlayLimits {
    int maxSide = 16384;
    std::int64_t maxPixels = 40'000'000;
};

/// Reads an enhanced or a placeable Windows metafile from the whole file's bytes.
/// Throws Failure "Metafile is not valid" for anything else.
[[nodiscard]] std::unique_ptr<Picture> readMetafile(const QByteArray &data);
[[nodiscard]] std::unique_ptr<Picture> readMetafile(
    const QByteArray &data, const PlayLimits &limits);

/// More than 100 bytes, a first record of type 1 and the signature " EMF" at byte 40.
[[nodiscard]] bool isEnhancedMetafile(const QByteArray &data);
/// A 22-byte placeable header with its key and a matching checksum.
[[nodiscard]] bool isPlaceableMetafile(const QByteArray &data);

} // namespace view
