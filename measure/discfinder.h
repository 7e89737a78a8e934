#pragma once

// Finding the lunar disc on a photograph larger than the picture area, and the part of the
// photograph to open around it.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace measure {

/// A grey picture seen through a pointer: `height` rows of `width` bytes, `stride` bytes apart.
struct GreyPixels {
    const std::uint8_t *data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

/// A circle in the pixels of some picture, pixel (i, j) being the point (i, j).
struct Disc {
    double x = 0;
    double y = 0;
    double radius = 0;
};

/// The lunar disc on a small copy of a photograph (some hundreds of pixels across), fitted to
/// the lit limb alone; nothing when no disc shows.
[[nodiscard]] std::optional<Disc> findDisc(const GreyPixels &picture);

/// `guess` (in the pixels of `picture`) fitted to the limb found within `band` pixels of it;
/// the guess itself when too little of the limb shows there.
[[nodiscard]] Disc refineDisc(const GreyPixels &picture, const Disc &guess, double band);

/// A part of a picture and the whole factor it is reduced by.
struct Framing {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int factor = 1;
};

/// The part of a picture around `disc` with a margin of a tenth of its diameter, inside the
/// picture, and the smallest whole factor that makes it fit in the visible size.
[[nodiscard]] Framing frameDisc(
    const Disc &disc, int pictureWidth, int pictureHeight, int visibleWidth, int visibleHeight);

} // namespace measure
