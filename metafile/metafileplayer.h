#pragma once

#include "metafile/metafile.h"
#include "metafile/metafilebytes.h"

#include <QImage>

namespace metafile {

/// Plays an enhanced metafile (its content test passed) onto a transparent image of its natural
/// size. Throws Failure "Metafile is not valid" on a malformed record.
[[nodiscard]] QImage playEnhancedMetafile(ByteSpan file, const PlayLimits &limits);

/// Plays a placeable metafile (its content test passed) onto a transparent image of its natural
/// size. Throws Failure "Metafile is not valid" on a malformed record.
[[nodiscard]] QImage playPlaceableMetafile(ByteSpan file, const PlayLimits &limits);

/// A transparent image for a metafile's natural size, or a failure when that size is beyond the
/// limits.
[[nodiscard]] QImage transparentImage(
    std::int64_t width, std::int64_t height, const PlayLimits &limits);

} // namespace metafile
