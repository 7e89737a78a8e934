#pragma once

#include "measure/moonmodel.h"
#include "measure/pixels.h"
#include "measure/real.h"
#include "measure/shadow.h"

namespace measure {

/// What the camera did to the light before it became levels: the tone curve's exponent and the
/// spread of an edge (seeing and pixel together).
struct CameraResponse {
    /// Levels are nearly light^(1/gamma) above the black point; 1 for a linear camera.
    real gamma = 2.2L;
    /// Standard deviation of the blur of an edge in pixels; 0 to measure it on each edge.
    real blurSigmaPx = 0;
};

/// What the photograph shows where one end of a shadow was clicked.
enum class EdgeOutcome {
    /// An edge was fitted: the point is the photograph's.
    Found,
    /// No photograph, or the click too near its border for the window the fit reads.
    OffPicture,
    /// No clear edge between light and shadow near the click: the click stands.
    NoEdge,
};

/// One end of a shadow: the refined point (the click itself unless Found) and its covariance.
struct RefinedPoint {
    EdgeOutcome outcome = EdgeOutcome::NoEdge;
    PicturePoint point;
    /// Covariance of point, px²: the fit's, scaled by its residuals, plus the model's own error.
    real varX = 0;
    real varXY = 0;
    real varY = 0;
    /// The blur the fit found (or was given), px, and the step from shadow to light, levels.
    real blurPx = 0;
    real contrast = 0;
};

/// Both ends; `found` only when the photograph gave both.
struct ShadowEnds {
    RefinedPoint top;
    RefinedPoint end;
    [[nodiscard]] bool found() const
    {
        return top.outcome == EdgeOutcome::Found && end.outcome == EdgeOutcome::Found;
    }
};

/// The summit and the end of a shadow found on the photograph near the two clicks: each is the
/// apex of the dark region that the photograph's edges draw there, fitted in linear light.
[[nodiscard]] ShadowEnds findShadowEnds(const ImageView &image,
    const MoonModel &model,
    PicturePoint topClick,
    PicturePoint endClick,
    const CameraResponse &camera = {});

/// The height from refined ends, each with its own covariance (a click that stands counts
/// `clickPx` on each coordinate), and the limb circle's `circlePx` and the model's B error.
[[nodiscard]] ShadowMeasure measureRefinedShadow(
    const MoonModel &model, const ShadowEnds &ends, real circlePx = 0.5L, real clickPx = 0.5L);

} // namespace measure
