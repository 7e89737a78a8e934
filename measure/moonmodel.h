#pragma once

#include "measure/mesurestate.h"
#include "measure/real.h"

#include <array>
#include <optional>

namespace measure {

/// A point or a direction in the Moon's own frame, in units of its radius: x along the cusp
/// line (from cusp 1 towards cusp 2), y across it (the side a terminator of positive B bulges
/// to: downwards on the screen for a horizontal chord), z towards the viewer.
struct Vec3 {
    real x = 0;
    real y = 0;
    real z = 0;
};

/// A position on the picture, in pixels, not rounded.
struct PicturePoint {
    real x = 0;
    real y = 0;
};

/// The sphere the curves are drawn from: the disc about the cusp midpoint moved by the nudges,
/// the tilt of the cusp line and the terminator position, seen in parallel projection.
struct MoonModel {
    real centreX = 0;
    real centreY = 0;
    real radius = 0;
    /// Tilt of the cusp line, radians.
    real theta = 0;
    /// Terminator position in degrees; a fit gives fractions, the spin box whole degrees.
    real b = 0;
    /// Uncertainty of b in degrees: half a degree while b is the spin box's whole value.
    real bSigma = 0.5L;
    /// +1 when the Sun is on the side to which the curves of positive elevation move (the sign
    /// the spin box uses), -1 when the photograph shows the other side lit.
    int litSign = 1;
    /// Covariance of (centreX, centreY, radius, theta, b) in pixels, radians and degrees, at the
    /// level of the ± shown, when the whole model was fitted on the photograph. None for a model
    /// traced from clicks: its centre, radius and cusp line are then each taken to half a pixel
    /// and b to bSigma, independently.
    std::optional<std::array<std::array<real, 5>, 5>> covariance;
};

/// Every entry the same, the covariance too.
[[nodiscard]] inline bool operator==(const MoonModel &a, const MoonModel &b)
{
    return a.centreX == b.centreX && a.centreY == b.centreY && a.radius == b.radius
        && a.theta == b.theta && a.b == b.b && a.bSigma == b.bSigma && a.litSign == b.litSign
        && a.covariance == b.covariance;
}

/// How many standard deviations the ± shown spans: a little more than the 1.645 that holds
/// nine times in ten for a normal error, since the errors of a fit on a photograph have
/// heavier tails.
inline constexpr real kShownPerSigma = 2;

/// The model's entries in the order of MoonModel::covariance.
inline constexpr int kModelInputs = 5;

/// The model of a traced state with the terminator at b degrees. Throws Failure exactly where
/// the curves do (a radius of 0, an over-long vertical chord).
[[nodiscard]] MoonModel moonModel(const TMesureState &state, real b, real bSigma = 0.5L);

/// The unit vector towards the Sun: litSign × (0, −cos B, sin B). The drawn terminator is the
/// great circle square to it; the curve of elevation h is where a point p has p · sun = sin h.
[[nodiscard]] Vec3 sunDirection(const MoonModel &model);

/// The point of the visible hemisphere (z ≥ 0) whose picture is (x, y); none off the disc.
/// Pixel (i, j) of a photograph is the point (i, j): its centre, as the curves round.
[[nodiscard]] std::optional<Vec3> surfacePoint(const MoonModel &model, real x, real y);

/// Where a point of the frame (in radii) appears on the picture.
[[nodiscard]] PicturePoint project(const MoonModel &model, const Vec3 &point);

[[nodiscard]] real dot(const Vec3 &a, const Vec3 &b);

} // namespace measure
