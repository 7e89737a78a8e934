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

/// The terminator found on a photograph.
struct TerminatorFit {
    FitOutcome outcome = FitOutcome::NotAMoon;
    /// Degrees, as the spin box counts them, and its uncertainty at the level of the ± shown.
    real b = 0;
    real bSigma = 0;
    /// The side the photograph shows lit, as MoonModel::litSign.
    int litSign = 1;
    /// The tilt of the cusp line read off the terminator, radians in -π/2…π/2 as
    /// MoonModel::theta, and the covariance of (b in degrees, theta), one standard deviation.
    real theta = 0;
    std::array<std::array<real, 2>, 2> covariance{};
    /// Whether the tilt was read off the terminator; otherwise it is the clicked one.
    bool tiltFitted = false;
    /// How far, in degrees of elevation, the relief may have moved the whole edge of the light
    /// off the terminator: one standard deviation, counted in covariance.
    real relief = 0;
    /// Lines across the disc whose edge the fit kept.
    int lines = 0;
    /// How far B moves when each line is read with a window reaching further into the day or
    /// without the ramp's square term, taken as the ± shown: here one standard deviation, in
    /// degrees, counted in covariance.
    real foot = 0;
    /// How far the tilt turns with the same readings, where it is read off the terminator, taken
    /// as the ± shown: here one standard deviation, in radians, counted in covariance; else 0.
    real footTilt = 0;
    /// Where the terminator lies within a few blur widths of the limb, the blur's width as an
    /// uncertainty of B in degrees (one standard deviation, counted in covariance); else 0.
    real limbBound = 0;
    /// The camera's tone read on the lit ground (cameraGamma), none when it could not be read;
    /// the edges were then fitted through kDisplayGamma.
    std::optional<real> gamma;
    /// Where that tone was in doubt (kToneDoubt), how far B moves (degrees) when the edges are
    /// read through the other tone: one standard deviation, counted in covariance; none
    /// otherwise.
    std::optional<real> toneMoved;
};

/// The tone curve of the JPEG files most photographs are: assumed where the lit ground does not
/// tell.
inline constexpr real kDisplayGamma = 2.2L;

// The sentences shown when no terminator can be found.
inline constexpr const char *kNoPhotograph = "Ouvrez d'abord une photographie de la Lune";
inline constexpr const char *kNoCircle = "Tracez d'abord le cercle de la Lune";
inline constexpr const char *kFullMoon =
    "La Lune est pleine : il n'y a pas de terminateur à trouver";
inline constexpr const char *kDiscTooSmall =
    "Le disque est trop petit pour y trouver le terminateur";
inline constexpr const char *kNotAMoon = "Aucun terminateur n'apparaît dans le cercle tracé";

/// The sentence for an outcome; empty for FitOutcome::Found.
[[nodiscard]] const char *outcomeText(FitOutcome outcome);

/// Finds the terminator inside the disc of `disc` (its centre and radius; its tilt starts the
/// search for the cusp line's, b and litSign are not read), `blur` being the seeing's standard
/// deviation in pixels. A photograph without a terminator is an ordinary outcome, said by
/// `outcome`.
[[nodiscard]] TerminatorFit fitTerminator(
    const ImageView &image, const MoonModel &disc, double blur = 1);

/// The camera's tone curve read on the lit ground of `model`'s disc, away from the terminator:
/// 1 for a linear camera (raw and astronomical frames), 2.2 for the display curve cameras write
/// their JPEG files through; none when the lit ground spans too little of the light's range to
/// tell (a thin crescent, a nearly full Moon) or is clipped. `blur` is the seeing's standard
/// deviation in pixels, which darkens the ground next to the limb.
[[nodiscard]] std::optional<real> cameraGamma(
    const ImageView &image, const MoonModel &model, double blur = 1);

/// What cameraGamma reads: the slope of log level against log light on the lit ground, about
/// 1 / gamma (a display curve reads 0.4 to 0.7, steeper on rougher ground; a linear camera 1 to
/// 1.5); none where it cannot be read.
[[nodiscard]] std::optional<double> toneSlope(
    const ImageView &image, const MoonModel &model, double blur = 1);

/// The slope at which a linear camera is told from a display curve.
inline constexpr double kToneSplit = 0.8;

/// Within this factor of kToneSplit the tone is in doubt: on the real Moon's albedo the two
/// kinds of camera read alike between about 0.6 and 1.05 (a linear camera over-exposed on a
/// gibbous Moon, whose maria lie where the Sun is high, reads low; a display curve on rough
/// ground reads high).
inline constexpr double kToneDoubt = 4.0 / 3.0;

/// The tone curve a slope read by toneSlope stands for.
[[nodiscard]] std::optional<real> gammaOfSlope(std::optional<double> slope);

/// Which side of the terminator drawn for `model` the photograph shows brighter, or none when
/// the two sides do not differ clearly. Cheap: a few thousand pixels are read.
[[nodiscard]] std::optional<int> litSide(const ImageView &image, const MoonModel &model);

} // namespace measure
