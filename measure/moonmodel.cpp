#include "measure/moonmodel.h"

#include "measure/curves.h"

#include <cmath>

namespace measure {

MoonModel moonModel(const TMesureState &state, real b, real bSigma)
{
    MoonModel model;
    model.theta = tilt(state);
    const DiscCentre centre = discCentre(state);
    model.centreX = centre.x;
    model.centreY = centre.y;
    model.radius = state.rayon;
    model.b = b;
    model.bSigma = bSigma;
    return model;
}

Vec3 sunDirection(const MoonModel &model)
{
    const real b = degreesToRadians(model.b);
    const real sign = model.litSign;
    return {0, -sign * std::cos(b), sign * std::sin(b)};
}

std::optional<Vec3> surfacePoint(const MoonModel &model, real x, real y)
{
    const real dx = (x - model.centreX) / model.radius;
    const real dy = (y - model.centreY) / model.radius;
    const real c = std::cos(model.theta);
    const real s = std::sin(model.theta);
    const real along = c * dx + s * dy;
    const real across = -s * dx + c * dy;
    const real zz = 1 - along * along - across * across;
    if (!(zz >= 0))
        return std::nullopt;
    return Vec3{along, across, std::sqrt(zz)};
}

PicturePoint project(const MoonModel &model, const Vec3 &point)
{
    const real c = std::cos(model.theta);
    const real s = std::sin(model.theta);
    return {model.centreX + model.radius * (c * point.x - s * point.y),
        model.centreY + model.radius * (s * point.x + c * point.y)};
}

real dot(const Vec3 &a, const Vec3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

} // namespace measure
