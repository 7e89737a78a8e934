#pragma once

// The lunar disc fitted on the lit limb of a photograph, and the camera read from that limb:
// the blur of the seeing, the tone curve and the sky level, which the terminator fit needs too.

#include "measure/discfinder.h"
#include "measure/pixels.h"

#include <array>

namespace measure {

/// The full width at half maximum of a Gaussian blur per standard deviation.
inline constexpr double kFwhmPerSigma = 2.3548200450309493;

/// The disc and the camera as the lit limb shows them.
struct LimbFit {
    enum class Outcome {
        Fitted,
        /// The disc found is under kMinimumLimbRadius pixels: too small to fit a limb on.
        TooSmall,
        /// No sharp round edge near the start disc: not a Moon, or not where it was placed.
        NoLimb,
    };
    Outcome outcome = Outcome::NoLimb;
    /// The circle of the limb in the pixels of the photograph, pixel (i, j) being the point
    /// (i, j), and the covariance of (centreX, centreY, radius) in px²: one standard deviation,
    /// from the scatter of the limb about the circle between blocks of neighbouring profiles,
    /// from the uncertainty of the camera below, and from the relief on the limb, which may set
    /// the edge outside the mean sphere by half the blur's σ, more on one side than the other.
    /// ±1.645 σ holds 9 times in 10.
    double centreX = 0;
    double centreY = 0;
    double radius = 0;
    std::array<std::array<double, 3>, 3> covariance{};
    /// The blur of the limb in linear light, as the standard deviation of a Gaussian in pixels
    /// (the pixel's own width taken out), and its uncertainty. FWHM = 2.3548 σ.
    double blurSigma = 0;
    double blurSigmaError = 0;
    /// The camera's tone curve: a level v is 255 (L / 255)^(1/gamma) of the light L on the
    /// same 0…255 scale; 1 for a linear camera, about 2.2 for most.
    double gamma = 1;
    double gammaError = 0;
    /// Median levels just outside and just inside the limb, as the photograph encodes them.
    double skyLevel = 0;
    double limbLevel = 0;
    /// Profiles across the limb that the circle rests on, and the position angles (radians,
    /// atan2 on the picture) between which they lie, going counterclockwise on the screen's
    /// axes from `arcFrom`.
    int profiles = 0;
    double arcFrom = 0;
    double arcTo = 0;

    [[nodiscard]] bool fitted() const { return outcome == Outcome::Fitted; }
    [[nodiscard]] double blurFwhm() const { return kFwhmPerSigma * blurSigma; }
};

/// Below this radius in pixels no limb is fitted.
inline constexpr double kMinimumLimbRadius = 50;

/// The lunar disc of `image` fitted on its lit limb, starting from `start` (e.g. the circle
/// through two clicked horn tips: its centre may be off by half a radius and its radius by a
/// sixth). Reads a few hundred thousand pixels, whatever the photograph's size.
[[nodiscard]] LimbFit fitLimb(const ImageView &image, const Disc &start);

} // namespace measure
