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

/// Sets axea and axeb for the terminator position b (degrees), then returns the terminator.
/// Throws Failure when the traced radius is unusable.
[[nodiscard]] Polyline terminator(TMesureState &state, int b);

/// The curve of equal solar elevation h (degrees) for the terminator position b (degrees).
/// Throws Failure when the traced radius is unusable.
[[nodiscard]] Polyline isoElevation(const TMesureState &state, int b, int h);

} // namespace measure
