#pragma once

#include "measure/limbfit.h"
#include "measure/moonmodel.h"
#include "measure/pixels.h"
#include "measure/shadowfind.h"
#include "measure/terminatorfit.h"

#include <optional>

namespace measure {

/// The whole model read off a photograph: the disc on the lit limb, then the terminator.
struct Calibration {
    FitOutcome outcome = FitOutcome::NotAMoon;
    /// With its covariance when the outcome is Found; otherwise the clicked model unchanged.
    MoonModel model;
    TerminatorFit terminator;
    /// The limb fit the disc came from; not fitted when the limb could not be read, and the
    /// clicked disc was kept.
    LimbFit limb;
    /// The camera's tone curve read on the lit ground (cameraGamma), when it told.
    std::optional<real> gamma;
};

/// The camera as "Ajuster" read it, for the shadow's ends: the tone curve from the lit ground
/// (a display curve when the lit ground did not tell, as most photographs are JPEG files), the
/// blur from the limb when it was read (else measured on each edge).
[[nodiscard]] CameraResponse cameraOf(const Calibration &fit);

/// "Ajuster": the disc fitted on the photograph's lit limb (the clicked circle only starts the
/// search, so clicks short of the true cusps give the same disc), then B and the lit side on
/// the terminator in that disc, with the covariance of (centreX, centreY, radius, theta, b).
[[nodiscard]] Calibration calibrate(const ImageView &image, const MoonModel &clicked);

} // namespace measure
