#include "measure/shadow.h"

#include "measure/elevation.h"
#include "measure/numeric.h"

#include <array>
#include <cmath>
#include <cstdlib>

namespace measure {

namespace {

// Below this |cos B| the picture of a shadow is shorter than 1/115 of the shadow itself: B
// within half a degree of ±90, where the spin box's own rounding could put the Sun exactly on
// the line of sight and every height would be a division by nearly nothing.
const real kMinForeshortening = std::sin(degreesToRadians(0.5L));

// A shadow drawn by hand strays from the Sun's direction by the clicks' half pixels and by the
// cusp line's own tilt error; more than two pixels and a tenth of its length is a wrong click.
constexpr real kOffAxisPx = 2;
constexpr real kOffAxisShare = 0.1L;

struct Inputs {
    MoonModel model;
    PicturePoint top;
    PicturePoint end;
};

// The quantities the uncertainty is propagated from, in the order of kInputCount.
constexpr std::size_t kInputCount = 9;

real &input(Inputs &in, std::size_t i)
{
    switch (i) {
    case 0:
        return in.top.x;
    case 1:
        return in.top.y;
    case 2:
        return in.end.x;
    case 3:
        return in.end.y;
    case 4:
        return in.model.centreX;
    case 5:
        return in.model.centreY;
    case 6:
        return in.model.radius;
    case 7:
        return in.model.theta;
    default:
        return in.model.b;
    }
}

struct Exact {
    ShadowReason reason = ShadowReason::None;
    real heightKm = 0;
    real elevationDeg = 0;
    real groundKm = 0;
    real lengthPx = 0;
    real offAxisPx = 0;
};

Vec3 cross(const Vec3 &a, const Vec3 &b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

real norm(const Vec3 &a)
{
    return std::sqrt(dot(a, a));
}

Exact evaluate(const Inputs &in)
{
    Exact out;
    const MoonModel &model = in.model;
    out.lengthPx = std::hypot(in.top.x - in.end.x, in.top.y - in.end.y);
    if (!(model.radius > 0) || !std::isfinite(model.radius)) {
        out.reason = ShadowReason::NoCircle;
        return out;
    }
    const Vec3 sun = sunDirection(model);
    // Every ray from the Sun runs along `sun`, so on the picture every shadow lies along the
    // picture of that direction: (dx, dy) pixels per radius travelled towards the Sun.
    const real c = std::cos(model.theta);
    const real s = std::sin(model.theta);
    const real dx = model.radius * (c * sun.x - s * sun.y);
    const real dy = model.radius * (s * sun.x + c * sun.y);
    const real d2 = dx * dx + dy * dy;
    if (!(d2 >= (model.radius * kMinForeshortening) * (model.radius * kMinForeshortening))) {
        out.reason = ShadowReason::SunAlongSight;
        return out;
    }
    const std::optional<Vec3> end = surfacePoint(model, in.end.x, in.end.y);
    if (!end) {
        out.reason = ShadowReason::EndOffDisc;
        return out;
    }
    const real sinElevation = dot(*end, sun);
    if (!(sinElevation > 0)) {
        out.reason = ShadowReason::SunBelowHorizon;
        return out;
    }
    // The top is end + t·sun; t is the least-squares fit of its picture to the clicked top,
    // and what is left over, square to the shadow's direction, checks the two clicks.
    const real qx = in.top.x - in.end.x;
    const real qy = in.top.y - in.end.y;
    const real t = (qx * dx + qy * dy) / d2;
    if (t < 0) {
        out.reason = ShadowReason::TowardsSun;
        return out;
    }
    out.offAxisPx = std::fabs(qx * dy - qy * dx) / std::sqrt(d2);
    // |top|² = 1 + 2t·sinElevation + t²; |top| − 1 is written without the subtraction, which
    // would lose the digits of a height that is a thousandth of the radius.
    const real grow = t * (2 * sinElevation + t);
    out.heightKm = kMoonRadiusKm * grow / (std::sqrt(1 + grow) + 1);
    out.elevationDeg = radiansToDegrees(std::asin(std::min<real>(sinElevation, 1)));
    const Vec3 top{end->x + t * sun.x, end->y + t * sun.y, end->z + t * sun.z};
    out.groundKm = kMoonRadiusKm * std::atan2(norm(cross(top, *end)), dot(top, *end));
    return out;
}

// ∂f/∂x_i by central differences of the exact computation; one-sided where a step crosses a
// border of the domain (the limb, the terminator), none where both do.
template <typename Output> real partial(const Inputs &in, std::size_t i, real step, Output output)
{
    Inputs up = in;
    Inputs down = in;
    input(up, i) += step;
    input(down, i) -= step;
    const Exact hi = evaluate(up);
    const Exact lo = evaluate(down);
    const Exact mid = evaluate(in);
    const bool hiOk = hi.reason == ShadowReason::None;
    const bool loOk = lo.reason == ShadowReason::None;
    if (hiOk && loOk)
        return (output(hi) - output(lo)) / (2 * step);
    if (hiOk)
        return (output(hi) - output(mid)) / step;
    if (loOk)
        return (output(mid) - output(lo)) / step;
    return 0;
}

// The clicks, the limb circle and the terminator come from separate acts of the user (or
// of the fit), so their errors are independent and the squares of their contributions add.
// Each error is small next to every length of the geometry, so the first-order terms are the
// whole story except within a few pixels of the limb, where the foreshortening bends the
// height faster than that; there the finite differences still see the local slope.
template <typename Output>
real propagate(const Inputs &in, const ShadowErrors &errors, Output output)
{
    const real radius = in.model.radius;
    // The tilt's error is the angle half a pixel makes at the cusp end of a radius.
    const std::array<real, kInputCount> sigma{errors.clickPx,
        errors.clickPx,
        errors.clickPx,
        errors.clickPx,
        errors.circlePx,
        errors.circlePx,
        errors.circlePx,
        errors.circlePx / radius,
        in.model.bSigma};
    const std::array<real, kInputCount> step{
        1e-4L, 1e-4L, 1e-4L, 1e-4L, 1e-4L, 1e-4L, 1e-4L, 1e-4L / radius, 1e-5L};
    std::array<real, kInputCount> slope{};
    for (std::size_t i = 0; i < kInputCount; ++i)
        slope[i] = partial(in, i, step[i], output);
    real variance = 0;
    // A model fitted on the photograph brings the covariance of its five entries; the clicks
    // stay independent of it and of each other.
    const std::size_t own = in.model.covariance ? kInputCount - kModelInputs : kInputCount;
    for (std::size_t i = 0; i < own; ++i)
        variance += (slope[i] * sigma[i]) * (slope[i] * sigma[i]);
    if (in.model.covariance) {
        const auto &c = *in.model.covariance;
        for (std::size_t i = 0; i < kModelInputs; ++i)
            for (std::size_t j = 0; j < kModelInputs; ++j)
                variance += slope[own + i] * c[i][j] * slope[own + j];
    }
    return std::sqrt(std::max<real>(0, variance));
}

} // namespace

ShadowMeasure measureShadow(
    const MoonModel &model, PicturePoint top, PicturePoint end, const ShadowErrors &errors)
{
    const Inputs in{model, top, end};
    const Exact exact = evaluate(in);
    ShadowMeasure result;
    result.reason = exact.reason;
    result.lengthPx = exact.lengthPx;
    if (exact.reason != ShadowReason::None)
        return result;
    result.groundKm = exact.groundKm;
    result.offAxisPx = exact.offAxisPx;
    result.offAxis = exact.offAxisPx > kOffAxisPx + kOffAxisShare * exact.lengthPx;
    result.elevation.value = exact.elevationDeg;
    result.elevation.sigma = propagate(in, errors, [](const Exact &e) { return e.elevationDeg; });
    result.height.value = exact.heightKm * 1000;
    result.height.sigma = propagate(in, errors, [](const Exact &e) { return e.heightKm * 1000; });
    result.flatHeightM = exact.groundKm * std::tan(degreesToRadians(exact.elevationDeg)) * 1000;
    return result;
}

std::string groupedMetres(real metres)
{
    return fixedText(metres, NumberFormat{0, ",", kThinSpace});
}

std::string heightText(const Estimate &height)
{
    return withUncertainty(height.value, height.sigma, NumberFormat{0, ",", kThinSpace}, " m");
}

std::string shadowReasonText(ShadowReason reason)
{
    switch (reason) {
    case ShadowReason::None:
        return {};
    case ShadowReason::NoCircle:
        return "aucun cercle tracé";
    case ShadowReason::SunAlongSight:
        return "Soleil dans l'axe de visée";
    case ShadowReason::EndOffDisc:
        return "fin hors du disque";
    case ShadowReason::SunBelowHorizon:
        return "fin dans la nuit";
    case ShadowReason::TowardsSun:
        return "ombre vers le Soleil";
    }
    return {};
}

std::string shadowLabel(const ShadowMeasure &measure)
{
    if (measure.reason != ShadowReason::None)
        return shadowReasonText(measure.reason);
    // A height from a shadow that strays from the Sun's direction is most likely a wrong click:
    // the label says so instead of showing it; the details keep the figures.
    if (measure.offAxis)
        return "clics à vérifier";
    if (!measure.bChecked)
        return "\u2248 " + groupedMetres(measure.height.value) + " m";
    return heightText(measure.height);
}

std::vector<std::string> shadowDetails(
    const ShadowMeasure &measure, const std::string &decimalSeparator)
{
    std::vector<std::string> lines;
    lines.push_back(
        "Longueur sur l'image: " + fixedText(measure.lengthPx, 1, decimalSeparator) + " px");
    if (measure.reason != ShadowReason::None) {
        lines.push_back("Pas de hauteur: " + shadowReasonText(measure.reason) + ".");
        return lines;
    }
    lines.push_back("Longueur au sol: " + fixedText(measure.groundKm, 2, decimalSeparator) + " km");
    if (!measure.bChecked) {
        lines.push_back("Hauteur du Soleil au bout de l'ombre: \u2248 "
            + fixedText(measure.elevation.value, 1, decimalSeparator) + "°");
        lines.push_back("Hauteur du relief: " + shadowLabel(measure));
        lines.push_back(kUncheckedB);
    } else {
        lines.push_back("Hauteur du Soleil au bout de l'ombre: "
            + withUncertainty(measure.elevation.value,
                measure.elevation.sigma,
                NumberFormat{1, decimalSeparator, {}},
                "°"));
        lines.push_back("Hauteur du relief: " + heightText(measure.height));
    }
    lines.push_back(
        "Sur un sol plat (longueur × tangente): " + groupedMetres(measure.flatHeightM) + " m");
    if (measure.offAxis)
        lines.push_back("Attention: l'ombre s'écarte de "
            + fixedText(measure.offAxisPx, 1, decimalSeparator)
            + " px de la direction du Soleil; vérifiez les deux clics.");
    return lines;
}

} // namespace measure
