#include "measure/elevation.h"

#include "measure/numeric.h"

#include <algorithm>
#include <cmath>

namespace measure {

namespace {

// How the sine of the elevation at a fixed picture point moves with each input of the model.
struct SineGradient {
    real sine = 0;
    real byCentreX = 0;
    real byCentreY = 0;
    real byRadius = 0;
    real byTheta = 0;
    real byB = 0; // per radian
};

// sin h = litSign × (−v cos B + z sin B), with (u, v) the point in radii along and across the
// cusp line and z = √(1 − u² − v²) the height of the visible hemisphere there.
SineGradient sineGradient(const MoonModel &model, real x, real y, real z)
{
    const real r = model.radius;
    const real c = std::cos(model.theta);
    const real s = std::sin(model.theta);
    const real dx = (x - model.centreX) / r;
    const real dy = (y - model.centreY) / r;
    const real u = c * dx + s * dy;
    const real v = -s * dx + c * dy;
    const real b = degreesToRadians(model.b);
    const real sign = model.litSign;

    // z depends on u and v through the sphere: ∂z/∂u = −u/z, ∂z/∂v = −v/z.
    const real fu = sign * (-u / z * std::sin(b));
    const real fv = sign * (-std::cos(b) - v / z * std::sin(b));
    SineGradient g;
    g.sine = sign * (-v * std::cos(b) + z * std::sin(b));
    g.byCentreX = fu * (-c / r) + fv * (s / r);
    g.byCentreY = fu * (-s / r) + fv * (-c / r);
    g.byRadius = fu * (-u / r) + fv * (-v / r);
    g.byTheta = fu * v + fv * (-u);
    g.byB = sign * (v * std::sin(b) + z * std::cos(b));
    return g;
}

} // namespace

std::optional<Elevation> elevationAt(const MoonModel &model, real x, real y)
{
    const std::optional<Vec3> p = surfacePoint(model, x, y);
    if (!p)
        return std::nullopt;
    // On the limb itself z is 0 and the slope of the sphere infinite: take the point a
    // hundredth of a pixel inside, where the derivatives are finite and just as telling.
    const real z = std::max(p->z, std::sqrt(0.02L / model.radius));
    const SineGradient g = sineGradient(model, x, y, z);

    // The inputs are independent (the terminator is read on the photograph, the circle laid on
    // its limb), so their first-order effects on sin h add in quadrature. The tilt is known to
    // half a pixel at the ends of the cusp line, a radius away from the centre.
    const real pixel = kLimbPixelSigma;
    const real bSigma = degreesToRadians(model.bSigma);
    const real thetaSigma = pixel / model.radius;
    real sineSigma = std::sqrt(std::pow(g.byB * bSigma, 2) + std::pow(g.byCentreX * pixel, 2)
        + std::pow(g.byCentreY * pixel, 2) + std::pow(g.byRadius * pixel, 2)
        + std::pow(g.byTheta * thetaSigma, 2));
    // A model fitted on the photograph knows how its errors go together: gᵀ C g.
    if (model.covariance) {
        const std::array<real, kModelInputs> grad{
            g.byCentreX, g.byCentreY, g.byRadius, g.byTheta, g.byB * kPiOver180};
        real variance = 0;
        for (std::size_t i = 0; i < grad.size(); ++i)
            for (std::size_t j = 0; j < grad.size(); ++j)
                variance += grad[i] * (*model.covariance)[i][j] * grad[j];
        sineSigma = std::sqrt(std::max<real>(0, variance));
    }

    // The arcsine is taken of the interval rather than multiplied by its slope, which is
    // infinite at the sub-solar and anti-solar points.
    const real h = arcsineDegrees(g.sine);
    const real sigma =
        std::max(arcsineDegrees(g.sine + sineSigma) - h, h - arcsineDegrees(g.sine - sineSigma));
    return Elevation{h, sigma};
}

std::string elevationText(
    const std::optional<Elevation> &elevation, const std::string &decimalSeparator, bool bChecked)
{
    if (!elevation)
        return "hors du disque";
    if (!bChecked)
        return "\u2248 " + fixedText(elevation->degrees, 1, decimalSeparator) + "\xC2\xB0";
    return withUncertainty(
        elevation->degrees, elevation->sigma, NumberFormat{1, decimalSeparator, {}}, "\xC2\xB0");
}

} // namespace measure
