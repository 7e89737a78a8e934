#pragma once

// A camera photograph larger than the picture area: the lunar disc found on it, and the part
// around it opened instead of the whole.

#include "measure/discfinder.h"
#include "view/picture.h"

#include <QRect>

#include <memory>
#include <optional>

namespace view {

/// The lunar disc on `picture`, in its pixels: found on a small copy (a JPEG decoded at 1/8),
/// then fitted near the limb on a larger one. Nothing when no disc is found.
[[nodiscard]] std::optional<measure::Disc> findMoon(const Picture &picture);

/// A picture of the same kind that shows only `part` of `picture`, each `factor` × `factor`
/// block as one pixel: a JPEG decodes only that, the other kinds are cut from their pixels.
[[nodiscard]] std::unique_ptr<Picture> reducedPicture(
    const Picture &picture, const QRect &part, int factor);

} // namespace view
