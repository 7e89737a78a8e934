#pragma once

// A camera photograph larger than the picture area: the lunar disc found on it, and the part
// around it opened instead of the whole.

#include "measure/discfinder.h"
#include "view/picture.h"

#include <QRect>
#include <QSize>

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

/// A picture as it opens framed on the Moon.
struct FramedPicture {
    std::unique_ptr<Picture> picture;
    /// False only when the picture was larger than the area and no lunar disc was found on
    /// it: the picture is then the whole one, unchanged.
    bool discFound = true;
};

/// `picture` for an area showing `visible` device pixels: whole when it fits, else the part
/// around the lunar disc with a margin, reduced by the smallest whole factor that fits.
[[nodiscard]] FramedPicture framedOnMoon(std::unique_ptr<Picture> picture, QSize visible);

} // namespace view
