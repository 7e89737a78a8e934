#pragma once

// The terminator through the edges of the light found line by line: the great circle of the
// sphere square to the Sun. Its plane gives B and, since the edges are read all along the
// terminator, the tilt of the cusp line too, so that the clicks only start the search.

#include "measure/real.h"

#include <array>
#include <optional>
#include <vector>

namespace measure {

/// A point of the edge found on one line across the cusp line, in radii of the disc, in the
/// frame of a cusp line: `along` it from the centre, `across` it (the frame's y).
struct EdgePoint {
    real along = 0;
    real across = 0;
};

/// The terminator the edges lie on.
struct LightCurve {
    /// Terminator position in degrees and the side lit, as MoonModel counts them in the frame
    /// turned by `turn` from the one the points are given in.
    real b = 0;
    int litSign = 1;
    /// Radians, counterclockwise on the picture's axes (y down, so clockwise on the screen).
    real turn = 0;
    /// Covariance of (b in degrees, turn in radians), one standard deviation: each the larger of
    /// what the scatter of single lines and the scatter between blocks of neighbouring lines
    /// say.
    std::array<std::array<real, 2>, 2> covariance{};
    /// Lines the fit kept, and the robust scale of their distances to the curve in radii.
    int inliers = 0;
    real scale = 0;
};

/// The terminator through `edges` (in order along the cusp line, for the blocks), starting from
/// B `startB` with the side `litSign` lit; with `turn` false the cusp line stays as it is.
/// `minScale` is the smallest scale of the residuals in radii (the grain's floor). None with
/// fewer than eight points or when the fit does not settle.
[[nodiscard]] std::optional<LightCurve> fitLightCurve(
    const std::vector<EdgePoint> &edges, int litSign, real startB, real minScale, bool turn = true);

} // namespace measure
