#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>

namespace metafile {

/// The most pixels a played metafile, or a bitmap it carries, may have by default.
inline constexpr std::int64_t kMaxPixels = 40'000'000;

/// How large a played metafile may become; anything larger fails as an invalid metafile.
struct PlayLimits {
    int maxSide = 16384;
    std::int64_t maxPixels = kMaxPixels;
};

/// Plays an enhanced or a placeable Windows metafile, given as the whole file's bytes, onto a
/// transparent image of its natural size. Throws Failure "Metafile is not valid" for anything
/// else and for a malformed record.
[[nodiscard]] QImage playMetafile(const QByteArray &data, const PlayLimits &limits = {});

/// More than 100 bytes, a first record of type 1 and the signature " EMF" at byte 40.
[[nodiscard]] bool isEnhancedMetafile(const QByteArray &data);
/// A 22-byte placeable header with its key and a matching checksum.
[[nodiscard]] bool isPlaceableMetafile(const QByteArray &data);

} // namespace metafile
