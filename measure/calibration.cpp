#include "measure/calibration.h"

#include "measure/elevation.h"

#include <cmath>

namespace measure {

namespace {

// The ± shown is twice the standard uncertainty, as the terminator fit gives its own.
constexpr real kCoverage = 4;

} // namespace

LimbDisc clickedDisc(const MoonModel &clicked)
{
    LimbDisc disc;
    disc.centreX = clicked.centreX;
    disc.centreY = clicked.centreY;
    disc.radius = clicked.radius;
    // A traced circle's figures are bounds of half a pixel: the same figure at the ± level.
    for (std::size_t i = 0; i < 3; ++i)
        disc.covariance[i][i] = kLimbPixelSigma * kLimbPixelSigma / kCoverage;
    return disc;
}

Calibration calibrate(const ImageView &image, const MoonModel &clicked, const LimbDisc &disc)
{
    Calibration out;
    out.model = clicked;
    MoonModel start = clicked;
    start.centreX = disc.centreX;
    start.centreY = disc.centreY;
    start.radius = disc.radius;
    out.terminator = fitTerminator(image, start, disc.camera);
    out.outcome = out.terminator.outcome;
    if (out.outcome != FitOutcome::Found)
        return out;

    const TerminatorFit &t = out.terminator;
    MoonModel &m = out.model;
    m.centreX = disc.centreX;
    m.centreY = disc.centreY;
    m.radius = disc.radius;
    m.theta = t.theta;
    m.b = t.b;
    m.litSign = t.litSign;
    // (centre, radius, θ, b) = (disc, fit(disc)): the disc's covariance carried through the
    // fit's slopes, J C_disc Jᵀ, plus the fit's own in the θ, b corner.
    std::array<std::array<real, 3>, 5> jac{};
    for (std::size_t i = 0; i < 3; ++i) {
        jac[i][i] = 1;
        jac[3][i] = t.thetaByDisc[i];
        jac[4][i] = t.bByDisc[i];
    }
    std::array<std::array<real, 5>, 5> c{};
    for (std::size_t i = 0; i < 5; ++i)
        for (std::size_t j = 0; j < 5; ++j)
            for (std::size_t a = 0; a < 3; ++a)
                for (std::size_t b = 0; b < 3; ++b)
                    c[i][j] += jac[i][a] * kCoverage * disc.covariance[a][b] * jac[j][b];
    c[3][3] += t.varTheta;
    c[4][4] += t.varB;
    c[3][4] += t.covThetaB;
    c[4][3] += t.covThetaB;
    m.covariance = c;
    m.bSigma = std::sqrt(c[4][4]);
    return out;
}

Calibration calibrate(const ImageView &image, const MoonModel &clicked)
{
    return calibrate(image, clicked, clickedDisc(clicked));
}

} // namespace measure
