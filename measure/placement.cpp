#include "measure/placement.h"

#include "measure/elevation.h"
#include "measure/ephemerisangles.h"
#include "measure/numeric.h"
#include "measure/selenographic.h"

#include <cmath>

namespace measure {

namespace {

constexpr real kEarthRadiusKm = 6378.14L;
// What the ephemeris is good for, in degrees (its agreement with an independent one).
constexpr real kEphemerisSigma = 0.02L;

// Unit directions of celestial west and north on the picture (x to the right, y down).
struct SkyAxes {
    real westX, westY, northX, northY;
};

SkyAxes skyAxes(const PictureOrientation &o)
{
    const real s = sinDeg(o.northAngle);
    const real c = cosDeg(o.northAngle);
    // West is a quarter turn clockwise of north on a direct picture, as on the sky seen from
    // below with north up; a mirror puts it a quarter turn the other way.
    return o.mirrored ? SkyAxes{-c, -s, s, -c} : SkyAxes{c, s, s, -c};
}

std::optional<real> elevationAt(const MoonModel &model,
    const MoonEphemeris &ephemeris,
    const PictureOrientation &picture,
    PicturePoint at)
{
    const std::optional<SelenographicPoint> p = selenographicAt(model, ephemeris.seen, picture, at);
    if (!p)
        return std::nullopt;
    return sunElevation(ephemeris, *p);
}

// How far the elevation moves when one input moves by its 1σ: the step is tried the other way
// when it carries the point off the disc, and counts for nothing when both ways do.
template <typename Elevation> real shiftOf(real h0, real step, const Elevation &elevation)
{
    if (step == 0)
        return 0;
    std::optional<real> h = elevation(step);
    if (!h)
        h = elevation(-step);
    return h ? std::fabs(*h - h0) : 0;
}

real quadratic(real a, real b)
{
    return std::sqrt(a * a + b * b);
}

real discShare(const Placement &pl, PicturePoint at, real h0)
{
    const MoonEphemeris &e = pl.ephemeris;
    auto moved = [&](real MoonModel::*field) {
        return [&, field](real step) {
            MoonModel m = pl.model;
            m.*field += step;
            return elevationAt(m, e, pl.orientation, at);
        };
    };
    const real x = shiftOf(h0, pl.disc.centre, moved(&MoonModel::centreX));
    const real y = shiftOf(h0, pl.disc.centre, moved(&MoonModel::centreY));
    const real r = shiftOf(h0, pl.disc.radius, moved(&MoonModel::radius));
    const real turn = shiftOf(h0, pl.northSigma, [&](real step) {
        PictureOrientation o = pl.orientation;
        o.northAngle += step;
        return elevationAt(pl.model, e, o, at);
    });
    return std::sqrt(x * x + y * y + r * r + turn * turn);
}

real placeShare(const Placement &pl, PicturePoint at, real h0)
{
    auto moved = [&](real MoonOrientation::*field) {
        return [&, field](real step) {
            MoonEphemeris e = pl.ephemeris;
            e.seen.*field += step;
            return elevationAt(pl.model, e, pl.orientation, at);
        };
    };
    const real l = shiftOf(h0, pl.parallaxSigma, moved(&MoonOrientation::librationLongitude));
    const real b = shiftOf(h0, pl.parallaxSigma, moved(&MoonOrientation::librationLatitude));
    return std::sqrt(l * l + b * b + kEphemerisSigma * kEphemerisSigma);
}

real timeShare(const Placement &pl, PicturePoint at)
{
    const std::optional<real> before = elevationAt(pl.model, pl.earlier, pl.earlierOrientation, at);
    const std::optional<real> after = elevationAt(pl.model, pl.later, pl.laterOrientation, at);
    if (!before || !after)
        return 0;
    // The two ephemerides are an hour apart.
    return std::fabs(*after - *before) * pl.instant.timeSigmaMinutes / 60;
}

} // namespace

DiscSigma discSigmaOf(const MoonModel &model)
{
    DiscSigma sigma;
    sigma.centre = kLimbPixelSigma;
    sigma.radius = kLimbPixelSigma;
    // Each end of the cusp line is off by half a pixel across it, the line being 2r long.
    if (model.radius > 0)
        sigma.theta = radiansToDegrees(std::sqrt(2.0L) * kLimbPixelSigma / (2 * model.radius));
    return sigma;
}

std::string readingText(
    const std::optional<PointerReading> &reading, const std::string &decimalSeparator)
{
    if (!reading)
        return "hors du disque";
    const NumberFormat format{1, decimalSeparator, {}};
    const char *degree = "\xC2\xB0";
    // The position as every other is written, so that no "0,0° S" appears.
    return selenographicText(reading->point.latitude, reading->point.longitude, 1, decimalSeparator)
        + " : Soleil à "
        + withUncertainty(reading->elevation, reading->elevationSigma, format, degree);
}

PictureOrientation orientationOf(
    const MoonModel &model, const MoonEphemeris &ephemeris, bool mirrored)
{
    // The Sun's projection on the picture is litSign × cos B × (sin θ, −cos θ); its angle
    // clockwise from up is then the bright limb's position angle χ turned by north's angle,
    // one way on a direct picture and the other on a mirrored one.
    const real sign = (model.litSign < 0 ? -1 : 1) * (cosDeg(model.b) < 0 ? -1 : 1);
    const real ux = sign * std::sin(model.theta);
    const real uy = -sign * std::cos(model.theta);
    const real sunAngle = atan2Deg(ux, -uy);
    PictureOrientation o;
    o.mirrored = mirrored;
    o.northAngle = normalised360(
        mirrored ? sunAngle - ephemeris.brightLimbAngle : sunAngle + ephemeris.brightLimbAngle);
    return o;
}

std::optional<SelenographicPoint> selenographicAt(const MoonModel &model,
    const MoonOrientation &moon,
    const PictureOrientation &picture,
    PicturePoint at)
{
    if (!(model.radius > 0))
        return std::nullopt;
    const real dx = (at.x - model.centreX) / model.radius;
    const real dy = (at.y - model.centreY) / model.radius;
    const real zz = 1 - dx * dx - dy * dy;
    if (!(zz >= 0))
        return std::nullopt;
    const SkyAxes a = skyAxes(picture);
    const Vec3 sky{dx * a.westX + dy * a.westY, dx * a.northX + dy * a.northY, std::sqrt(zz)};
    return selenographicPoint(moon, sky);
}

OnPicture pictureAt(const MoonModel &model,
    const MoonOrientation &moon,
    const PictureOrientation &picture,
    const SelenographicPoint &point)
{
    const Vec3 v = skyDirection(moon, point);
    const SkyAxes a = skyAxes(picture);
    OnPicture out;
    out.at.x = model.centreX + model.radius * (v.x * a.westX + v.y * a.northX);
    out.at.y = model.centreY + model.radius * (v.x * a.westY + v.y * a.northY);
    out.visible = v.z > 0;
    return out;
}

Placement placePhotograph(const MoonModel &model,
    const PhotoInstant &instant,
    Mirroring mirroring,
    const ImageView &image,
    const std::optional<DiscSigma> &disc)
{
    Placement pl;
    pl.model = model;
    pl.disc = disc ? *disc : discSigmaOf(model);
    pl.instant = instant;
    pl.asked = mirroring;
    const EphemerisInput input = apparentPlaces(instant.julianDayUt, instant.place);
    pl.ephemeris = moonEphemeris(input);
    const real halfHour = 1.0L / 48;
    pl.earlier = moonEphemeris(apparentPlaces(instant.julianDayUt - halfHour, instant.place));
    pl.later = moonEphemeris(apparentPlaces(instant.julianDayUt + halfHour, instant.place));
    if (!image.empty())
        pl.evidence = mirrorEvidence(image, model, pl.ephemeris);
    const bool mirrored = mirroring == Mirroring::Mirrored
        || (mirroring == Mirroring::Automatic && pl.evidence.mirrored.value_or(false));
    pl.orientation = orientationOf(model, pl.ephemeris, mirrored);
    pl.earlierOrientation = orientationOf(model, pl.earlier, mirrored);
    pl.laterOrientation = orientationOf(model, pl.later, mirrored);
    // Seen from an unknown place the Moon may be turned by up to its horizontal parallax; the
    // observer's offset from the line to the Earth's centre spreads that over the sky.
    if (!instant.place)
        pl.parallaxSigma =
            radiansToDegrees(std::asin(kEarthRadiusKm / input.moon.distance)) / std::sqrt(3.0L);
    // The picture's north rests on the cusp line and on χ, whose error grows as the Sun's
    // projection shrinks towards full and new Moon.
    const real projection = std::max(std::fabs(sinDeg(pl.ephemeris.phaseAngle)), 1e-3L);
    const real chiSigma =
        std::min(quadratic(kEphemerisSigma, pl.parallaxSigma) / projection, real(180));
    pl.northSigma = quadratic(pl.disc.theta, chiSigma);
    return pl;
}

std::optional<SelenographicPoint> selenographicAt(const Placement &placement, PicturePoint at)
{
    return selenographicAt(placement.model, placement.ephemeris.seen, placement.orientation, at);
}

OnPicture pictureAt(const Placement &placement, const SelenographicPoint &point)
{
    return pictureAt(placement.model, placement.ephemeris.seen, placement.orientation, point);
}

std::optional<PointerReading> readingAt(const Placement &placement, PicturePoint at)
{
    const std::optional<SelenographicPoint> point = selenographicAt(placement, at);
    if (!point)
        return std::nullopt;
    PointerReading r;
    r.point = *point;
    r.elevation = sunElevation(placement.ephemeris, *point);
    r.timeSigma = timeShare(placement, at);
    r.placeSigma = placeShare(placement, at, r.elevation);
    r.discSigma = discShare(placement, at, r.elevation);
    r.elevationSigma = std::sqrt(
        r.timeSigma * r.timeSigma + r.placeSigma * r.placeSigma + r.discSigma * r.discSigma);
    return r;
}

} // namespace measure
