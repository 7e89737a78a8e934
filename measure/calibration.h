#pragma once

#include "measure/moonmodel.h"
#include "measure/pixels.h"
#include "measure/terminatorfit.h"

#include <array>

namespace measure {

/// The limb circle as fitted on the photograph, with what it tells of the camera.
struct LimbDisc {
    real centreX = 0;
    real centreY = 0;
    real radius = 0;
    /// Covariance of (centreX, centreY, radius), pixels², one standard deviation.
    std::array<std::array<real, 3>, 3> covariance{};
    Camera camera;
};

/// The whole model read off a photograph: the disc, the tilt and the terminator.
struct Calibration {
    FitOutcome outcome = FitOutcome::NotAMoon;
    /// With its covariance when the outcome is Found; otherwise the clicked model unchanged.
    MoonModel model;
    TerminatorFit terminator;
};

/// The disc of a traced model with half a pixel of independent error on each of its figures
/// and an unknown camera: what stands for a limb fit when there is none.
[[nodiscard]] LimbDisc clickedDisc(const MoonModel &clicked);

/// The model of the photograph in the disc `disc`: the tilt and B fitted on the terminator
/// (the clicked tilt only starts the search), with the covariance of (centreX, centreY,
/// radius, theta, b) that carries the disc's errors, the fit's and the model's own misfit.
[[nodiscard]] Calibration calibrate(
    const ImageView &image, const MoonModel &clicked, const LimbDisc &disc);

/// The same, in the disc of the clicked model (clickedDisc).
[[nodiscard]] Calibration calibrate(const ImageView &image, const MoonModel &clicked);

} // namespace measure
