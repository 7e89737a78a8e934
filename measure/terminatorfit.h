#pragma once

#include "measure/moonmodel.h"
#include "measure/pixels.h"
#include "measure/real.h"

#include <array>
#include <optional>

namespace measure {

/// How a search for the terminator ended.
enum class FitOutcome {
    Found,
    NoPhotograph,
    NoCircle,
    DiscTooSmall,
    FullMoon,
    NotAMoon,
};

/// What the camera did to the light, as measured on the limb: the levels are
/// black + 255 × (light / 255)^(1 / gamma) after a Gaussian blur of `blurPx` pixels.
struct Camera {
    /// Standard deviation of the blur (seeing and focus), pixels; 0 when unknown.
    real blurPx = 0;
    /// Exponent of the tone curve: 1 for linear levels, about 2.2 for a camera's JPEG; 0 when
    /// unknown, and the fit picks it from the photograph.
    real gamma = 0;
    /// Level added after the tone curve (the sensor's black level), usually 0.
    real black = 0;
};

/// The terminator found on a photograph.
struct TerminatorFit {
    FitOutcome outcome = FitOutcome::NotAMoon;
    /// Degrees, as the spin box counts them.
    real b = 0;
    /// Tilt of the cusp line, radians, as the photograph shows it.
    real theta = 0;
    /// The side the photograph shows lit, as MoonModel::litSign.
    int litSign = 1;
    /// Covariance of (theta in radians, b in degrees) at the level of the ± shown: its square
    /// roots cover the truth about 19 times in 20.
    real varTheta = 0;
    real varB = 0;
    real covThetaB = 0;
    /// √varB: the ± shown for b, the disc taken as exact.
    real bSigma = 0;
    /// How theta (radians) and b (degrees) move per pixel of the disc's centreX, centreY and
    /// radius: what carries the disc's own uncertainty into them.
    std::array<real, 3> thetaByDisc{};
    std::array<real, 3> bByDisc{};
    /// Lines across the terminator that the fit kept.
    int lines = 0;
    /// The tone curve's exponent used and the spread of the terminator (relief and blur
    /// beyond the camera's own) in units of the cosine of the Sun's incidence.
    real gamma = 1;
    real roughness = 0;
    /// The camera's blur as the terminator and the limb near it show it, pixels.
    real blurPx = 0;
};

// The sentences shown when no terminator can be found.
inline constexpr const char *kNoPhotograph = "Ouvrez d'abord une photographie de la Lune";
inline constexpr const char *kNoCircle = "Tracez d'abord le cercle de la Lune";
inline constexpr const char *kFullMoon =
    "La Lune est pleine : il n'y a pas de terminateur à trouver";
inline constexpr const char *kDiscTooSmall =
    "Le disque est trop petit pour y trouver le terminateur";
inline constexpr const char *kNotAMoon = "Aucun terminateur n'apparaît dans le cercle tracé";

/// Below this radius in pixels a disc is too small for its terminator to be fitted.
inline constexpr real kSmallestRadius = 25;

/// The sentence for an outcome; empty for FitOutcome::Found.
[[nodiscard]] const char *outcomeText(FitOutcome outcome);

/// Fits the terminator inside the fixed disc of `disc` (centre and radius); its tilt is only a
/// starting point, both the tilt and B come from the photograph. Never throws for a photograph
/// without a terminator: the outcome says why.
[[nodiscard]] TerminatorFit fitTerminator(
    const ImageView &image, const MoonModel &disc, const Camera &camera = {});

/// Which side of the terminator drawn for `model` the photograph shows brighter, or none when
/// the two sides do not differ clearly. Cheap: a few thousand pixels are read.
[[nodiscard]] std::optional<int> litSide(const ImageView &image, const MoonModel &model);

} // namespace measure
