#pragma once

#include "measure/mesurestate.h"
#include "measure/real.h"

#include <vector>

namespace measure {

struct PixelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPoint &a, const PixelPoint &b)
    {
        return a.x == b.x && a.y == b.y;
    }
};

/// 101 samples of a curve: move to the first, then a line to each of the others.
using Polyline = std::vector<PixelPoint>;

/// The centre of the disc as the curves use it: the cusp midpoint moved by the nudges, held
/// at 64 bits like every position the curves keep between steps.
struct DiscCentre {
    double x;
    double y;
};

/// The centre of the disc the curves are drawn about.
[[nodiscard]] DiscCentre discCentre(const TMesureState &state);

/// The tilt of the cusp line in radians (-π/2 … π/2), from the arcsine of cordey / 2 rayon.
/// Throws Failure when the traced radius is unusable.
[[nodiscard]] double tilt(const TMesureState &state);

/// Sets axea and axeb for the terminator position b (degrees), then returns the terminator.
/// Throws Failure when the traced radius is unusable.
[[nodiscard]] Polyline terminator(TMesureState &state, int b);

/// The curve of equal solar elevation h (degrees) for the terminator position b (degrees).
/// Throws Failure when the traced radius is unusable.
[[nodiscard]] Polyline isoElevation(const TMesureState &state, int b, int h);

} // namespace measure
