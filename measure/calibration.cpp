#include "measure/calibration.h"

#include "measure/elevation.h"

#include <cmath>

namespace measure {

namespace {

// The disc the terminator is sought in: the limb's when it was read, else the clicked one.
MoonModel discOf(const MoonModel &clicked, const LimbFit &limb)
{
    MoonModel disc = clicked;
    if (limb.fitted()) {
        disc.centreX = limb.centreX;
        disc.centreY = limb.centreY;
        disc.radius = limb.radius;
    }
    return disc;
}

// The errors of the disc and of the terminator's (B, tilt) are independent: the limb and the
// terminator are different edges. The covariance is kept at the level of the ± shown, which is
// meant to cover the truth nine times in ten.
std::array<std::array<real, 5>, 5> covarianceOf(const LimbFit &limb, const TerminatorFit &fit)
{
    std::array<std::array<real, 5>, 5> c{};
    const real pixel = kLimbPixelSigma * kLimbPixelSigma;
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            c[i][j] = limb.fitted()
                ? kShownPerSigma * kShownPerSigma * static_cast<real>(limb.covariance[i][j])
                : (i == j ? pixel : 0);
    const real shown = kShownPerSigma * kShownPerSigma;
    c[3][3] = shown * fit.covariance[1][1];
    c[3][4] = c[4][3] = shown * fit.covariance[0][1];
    c[4][4] = shown * fit.covariance[0][0];
    return c;
}

} // namespace

Calibration calibrate(const ImageView &image, const MoonModel &clicked)
{
    Calibration result;
    result.model = clicked;
    if (image.empty() || !(clicked.radius > 0)) {
        result.outcome = image.empty() ? FitOutcome::NoPhotograph : FitOutcome::NoCircle;
        return result;
    }
    result.limb = fitLimb(image,
        Disc{static_cast<double>(clicked.centreX),
            static_cast<double>(clicked.centreY),
            static_cast<double>(clicked.radius)});
    const MoonModel disc = discOf(clicked, result.limb);
    result.terminator =
        fitTerminator(image, disc, result.limb.fitted() ? result.limb.blurSigma : 1.0);
    result.outcome = result.terminator.outcome;
    if (result.outcome != FitOutcome::Found)
        return result;
    result.model = disc;
    result.model.theta = result.terminator.theta;
    result.model.b = result.terminator.b;
    result.model.bSigma = result.terminator.bSigma;
    result.model.litSign = result.terminator.litSign;
    result.model.covariance = covarianceOf(result.limb, result.terminator);
    result.gamma = result.terminator.gamma;
    return result;
}

CameraResponse cameraOf(const Calibration &fit)
{
    CameraResponse camera;
    if (fit.gamma)
        camera.gamma = *fit.gamma;
    if (fit.limb.fitted())
        camera.blurSigmaPx = fit.limb.blurSigma;
    return camera;
}

} // namespace measure
