#include "measure/ephemerisangles.h"

// The selenographic body axes, rebuilt from what an observer sees: the point at the centre of
// the disc (the librations l, b) and the direction of the north pole on the sky (the position
// angle P). The pole lies at b from the line of sight, its projection at P from north through
// east; the prime meridian lies l west of the sub-observer meridian.

namespace measure {

namespace {

Vec3 scaled(const Vec3 &v, real k)
{
    return {v.x * k, v.y * k, v.z * k};
}

Vec3 sum(const Vec3 &a, const Vec3 &b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

Vec3 cross(const Vec3 &a, const Vec3 &b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 normalised(const Vec3 &v)
{
    return scaled(v, 1 / std::sqrt(dot(v, v)));
}

// A line of sight and the sky directions across it: `towardsObserver` from the Moon's centre
// to the observer, `north` and `east` the celestial directions on the disc.
struct SightFrame {
    Vec3 towardsObserver;
    Vec3 north;
    Vec3 east;
};

// The selenographic axes: x towards longitude 0 on the equator, y towards 90° east, z the pole.
struct BodyAxes {
    Vec3 x;
    Vec3 y;
    Vec3 pole;
};

BodyAxes bodyAxes(const SightFrame &sight, const MoonOrientation &o)
{
    const real b = o.librationLatitude;
    const real l = o.librationLongitude;
    const Vec3 onSky =
        sum(scaled(sight.north, cosDeg(o.axisAngle)), scaled(sight.east, sinDeg(o.axisAngle)));
    BodyAxes axes;
    axes.pole = sum(scaled(sight.towardsObserver, sinDeg(b)), scaled(onSky, cosDeg(b)));
    // The equator's unit vectors under the observer's meridian and 90° east of it.
    const Vec3 meridian = normalised(cross(axes.pole, cross(sight.towardsObserver, axes.pole)));
    const Vec3 eastOfIt = cross(axes.pole, meridian);
    axes.x = sum(scaled(meridian, cosDeg(l)), scaled(eastOfIt, -sinDeg(l)));
    axes.y = sum(scaled(meridian, sinDeg(l)), scaled(eastOfIt, cosDeg(l)));
    return axes;
}

SelenographicPoint pointOf(const BodyAxes &axes, const Vec3 &direction)
{
    const Vec3 v = normalised(direction);
    return {arcsineDegrees(dot(v, axes.pole)), atan2Deg(dot(v, axes.y), dot(v, axes.x))};
}

// The sky frame of skyDirection(): x west, y north, z towards the observer.
SightFrame skyFrame()
{
    return {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}};
}

// The line of sight to a body at right ascension α and declination δ, on the equator of date.
SightFrame equatorialSight(const ApparentPlace &body)
{
    const real a = body.rightAscension;
    const real d = body.declination;
    return {scaled(unitVector(a, d), -1),
        {-sinDeg(d) * cosDeg(a), -sinDeg(d) * sinDeg(a), cosDeg(d)},
        {-sinDeg(a), cosDeg(a), 0}};
}

} // namespace

real normalised360(real v)
{
    const real r = std::fmod(v, real(360));
    return r < 0 ? r + 360 : r;
}

real normalised180(real v)
{
    const real r = normalised360(v);
    return r > 180 ? r - 360 : r;
}

Vec3 unitVector(real longitude, real latitude)
{
    return {cosDeg(latitude) * cosDeg(longitude),
        cosDeg(latitude) * sinDeg(longitude),
        sinDeg(latitude)};
}

MoonOrientation orientationFromPlace(const MoonOrientation &geocentric,
    const ApparentPlace &moon,
    const ApparentPlace &moonFromPlace)
{
    const BodyAxes axes = bodyAxes(equatorialSight(moon), geocentric);
    const SightFrame sight = equatorialSight(moonFromPlace);
    const SelenographicPoint centre = pointOf(axes, sight.towardsObserver);
    MoonOrientation seen;
    seen.librationLongitude = centre.longitude;
    seen.librationLatitude = centre.latitude;
    seen.axisAngle = atan2Deg(dot(axes.pole, sight.east), dot(axes.pole, sight.north));
    return seen;
}

Illumination illuminationSeen(
    const ApparentPlace &moon, const ApparentPlace &sun, const ApparentPlace &moonFromPlace)
{
    // Meeus eq. 48.5 (bright limb) and eqs. 48.2, 48.3 (phase angle) solve the Sun-Moon-Earth
    // triangle from the geocentric places. As vectors they read: χ is the position angle of
    // the Moon-to-Sun vector projected on the observer's sky, i the angle between that vector
    // and the Moon-to-observer direction. The vector form stays exact from a place on the
    // Earth, where the Earth-to-Sun direction no longer projects like the Moon-to-Sun one (near
    // new and full Moon that alone moves χ by a tenth of a degree).
    const Vec3 toSun = sum(scaled(unitVector(sun.rightAscension, sun.declination), sun.distance),
        scaled(unitVector(moon.rightAscension, moon.declination), -moon.distance));
    const SightFrame sight = equatorialSight(moonFromPlace);
    Illumination light;
    light.brightLimbAngle =
        normalised360(atan2Deg(dot(toSun, sight.east), dot(toSun, sight.north)));
    const Vec3 across = cross(toSun, sight.towardsObserver);
    light.phaseAngle = atan2Deg(std::sqrt(dot(across, across)), dot(toSun, sight.towardsObserver));
    return light;
}

Vec3 skyDirection(const MoonOrientation &orientation, const SelenographicPoint &p)
{
    const BodyAxes axes = bodyAxes(skyFrame(), orientation);
    const real c = cosDeg(p.latitude);
    return sum(
        sum(scaled(axes.x, c * cosDeg(p.longitude)), scaled(axes.y, c * sinDeg(p.longitude))),
        scaled(axes.pole, sinDeg(p.latitude)));
}

SelenographicPoint selenographicPoint(const MoonOrientation &orientation, const Vec3 &sky)
{
    return pointOf(bodyAxes(skyFrame(), orientation), sky);
}

} // namespace measure
