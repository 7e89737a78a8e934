#include "measure/ephemerisangles.h"

#include <libnova/dynamical_time.h>
#include <libnova/earth.h>
#include <libnova/julian_day.h>
#include <libnova/lunar.h>
#include <libnova/nutation.h>
#include <libnova/sidereal_time.h>

// libnova gives the Moon (ELP 2000-82B) and the Earth (VSOP87) on the mean ecliptic and equinox
// of J2000, not of date as its "apparent" functions suggest, and its Sun misses the aberration
// (the constant is divided by 360 × 3600 instead of 3600). So only the theories are taken from
// it; the reduction to apparent places of date is done here, after J. Meeus, Astronomical
// Algorithms, 2nd ed.: precession ch. 21, nutation and obliquity ch. 22, the Sun ch. 25,
// coordinates ch. 13, the observer's place ch. 11, parallax ch. 40.

namespace measure {

namespace {

constexpr real kKilometresPerAu = 149597870.7L;
constexpr real kEarthEquatorialRadiusKm = 6378.14L;
constexpr real kEarthPolarAxisRatio = 0.99664719L; // b/a of the IAU 1976 ellipsoid

// Ecliptic place on the mean ecliptic and equinox of J2000 carried to those of date by the
// rigorous ecliptical reduction of Meeus ch. 21, its angles η, Π, p taken for a start at J2000.
void precessFromJ2000(real jde, real &longitude, real &latitude)
{
    const real t = (jde - 2451545) / 36525;
    const real eta = (47.0029L * t - 0.03302L * t * t + 0.000060L * t * t * t) / 3600;
    const real bigPi = 174.876384L + (-869.8089L * t + 0.03536L * t * t) / 3600;
    const real p = (5029.0966L * t + 1.11113L * t * t - 0.000006L * t * t * t) / 3600;
    const real a =
        cosDeg(eta) * cosDeg(latitude) * sinDeg(bigPi - longitude) - sinDeg(eta) * sinDeg(latitude);
    const real b = cosDeg(latitude) * cosDeg(bigPi - longitude);
    const real c =
        cosDeg(eta) * sinDeg(latitude) + sinDeg(eta) * cosDeg(latitude) * sinDeg(bigPi - longitude);
    longitude = normalised360(p + bigPi - atan2Deg(a, b));
    latitude = arcsineDegrees(c);
}

// Right ascension and declination of an ecliptic place, eqs. 13.3 and 13.4.
void setEquatorial(ApparentPlace &place, real obliquity)
{
    const real l = place.longitude;
    const real b = place.latitude;
    place.rightAscension = normalised360(
        atan2Deg(sinDeg(l) * cosDeg(obliquity) - std::tan(degreesToRadians(b)) * sinDeg(obliquity),
            cosDeg(l)));
    place.declination =
        arcsineDegrees(sinDeg(b) * cosDeg(obliquity) + cosDeg(b) * sinDeg(obliquity) * sinDeg(l));
}

ApparentPlace moonPlace(real jde, real nutation, real obliquity)
{
    ln_rect_posn r{};
    ln_get_lunar_geo_posn(static_cast<double>(jde), &r, 0);
    const real x = r.X;
    const real y = r.Y;
    const real z = r.Z;
    ApparentPlace moon;
    moon.distance = std::sqrt(x * x + y * y + z * z);
    moon.longitude = atan2Deg(y, x);
    moon.latitude = arcsineDegrees(z / moon.distance);
    precessFromJ2000(jde, moon.longitude, moon.latitude);
    moon.longitude = normalised360(moon.longitude + nutation);
    setEquatorial(moon, obliquity);
    return moon;
}

// The Sun opposite the Earth's heliocentric place, with nutation and the annual aberration
// −20.4898″ / R (ch. 25). The Sun's latitude is the Earth's heliocentric one turned over; on
// the J2000 ecliptic it reaches a few arcseconds, on the ecliptic of date about 1″.
ApparentPlace sunPlace(real jde, real nutation, real obliquity)
{
    ln_helio_posn earth{};
    ln_get_earth_helio_coords(static_cast<double>(jde), &earth);
    ApparentPlace sun;
    sun.longitude = earth.L + 180;
    sun.latitude = -earth.B;
    precessFromJ2000(jde, sun.longitude, sun.latitude);
    sun.longitude = normalised360(sun.longitude + nutation - 20.4898L / 3600 / earth.R);
    sun.distance = earth.R * kKilometresPerAu;
    setEquatorial(sun, obliquity);
    return sun;
}

// The Moon seen from the place: its geocentric vector less the observer's, both on the true
// equator of date. ρ sin φ′ and ρ cos φ′ from ch. 11; the local apparent sidereal
// time is libnova's mean sidereal time plus the equation of the equinoxes Δψ cos ε (ch. 12).
ApparentPlace moonFromPlace(const ApparentPlace &moon,
    const ObserverPlace &place,
    real julianDayUt,
    real nutation,
    real obliquity)
{
    const real u = radiansToDegrees(
        std::atan(kEarthPolarAxisRatio * std::tan(degreesToRadians(place.latitude))));
    const real h = place.height / (kEarthEquatorialRadiusKm * 1000);
    const real rhoSin = kEarthPolarAxisRatio * sinDeg(u) + h * sinDeg(place.latitude);
    const real rhoCos = cosDeg(u) + h * cosDeg(place.latitude);
    const real sidereal = real(ln_get_mean_sidereal_time(static_cast<double>(julianDayUt))) * 15
        + nutation * cosDeg(obliquity) + place.longitude;
    const Vec3 g = unitVector(moon.rightAscension, moon.declination);
    const Vec3 o = unitVector(sidereal, 0);
    const real a = kEarthEquatorialRadiusKm;
    const Vec3 topo{g.x * moon.distance - a * rhoCos * o.x,
        g.y * moon.distance - a * rhoCos * o.y,
        g.z * moon.distance - a * rhoSin};
    ApparentPlace seen;
    seen.distance = std::sqrt(dot(topo, topo));
    seen.rightAscension = normalised360(atan2Deg(topo.y, topo.x));
    seen.declination = arcsineDegrees(topo.z / seen.distance);
    // The ecliptic place from the equatorial one (eqs. 13.1, 13.2), for completeness.
    const real a0 = seen.rightAscension;
    const real d0 = seen.declination;
    seen.longitude = normalised360(atan2Deg(
        sinDeg(a0) * cosDeg(obliquity) + std::tan(degreesToRadians(d0)) * sinDeg(obliquity),
        cosDeg(a0)));
    seen.latitude = arcsineDegrees(
        sinDeg(d0) * cosDeg(obliquity) - cosDeg(d0) * sinDeg(obliquity) * sinDeg(a0));
    return seen;
}

} // namespace

real julianDay(int year, int month, int day, int hour, int minute, real second)
{
    ln_date date{year, month, day, hour, minute, static_cast<double>(second)};
    return ln_get_julian_day(&date);
}

real deltaT(real julianDayUt)
{
    // F. Espenak and J. Meeus, "Five Millennium Canon of Solar Eclipses" (NASA/TP-2006-214141),
    // polynomial expressions for ΔT; y is the decimal year. Outside 1900-2150 their long-term
    // parabola, which is only a rough guide.
    const real y = 2000 + (julianDayUt - 2451544.5L) / 365.2425L;
    if (y >= 1900 && y < 1920) {
        const real t = y - 1900;
        return -2.79L + 1.494119L * t - 0.0598939L * t * t + 0.0061966L * t * t * t
            - 0.000197L * t * t * t * t;
    }
    if (y >= 1920 && y < 1941) {
        const real t = y - 1920;
        return 21.20L + 0.84493L * t - 0.076100L * t * t + 0.0020936L * t * t * t;
    }
    if (y >= 1941 && y < 1961) {
        const real t = y - 1950;
        return 29.07L + 0.407L * t - t * t / 233 + t * t * t / 2547;
    }
    if (y >= 1961 && y < 1986) {
        const real t = y - 1975;
        return 45.45L + 1.067L * t - t * t / 260 - t * t * t / 718;
    }
    if (y >= 1986 && y < 2005) {
        const real t = y - 2000;
        return 63.86L + 0.3345L * t - 0.060374L * t * t + 0.0017275L * t * t * t
            + 0.000651814L * t * t * t * t + 0.00002373599L * t * t * t * t * t;
    }
    if (y >= 2005 && y < 2050) {
        const real t = y - 2000;
        return 62.92L + 0.32217L * t + 0.005589L * t * t;
    }
    const real u = (y - 1820) / 100;
    if (y >= 2050 && y < 2150)
        return -20 + 32 * u * u - 0.5628L * (2150 - y);
    return -20 + 32 * u * u;
}

EphemerisInput apparentPlaces(real julianDayUt, const std::optional<ObserverPlace> &place)
{
    EphemerisInput in;
    in.jde = julianDayUt + deltaT(julianDayUt) / 86400;
    ln_nutation nutation{};
    ln_get_nutation(static_cast<double>(in.jde), &nutation);
    in.nutationInLongitude = nutation.longitude;
    in.trueObliquity = real(nutation.ecliptic) + real(nutation.obliquity);
    in.moon = moonPlace(in.jde, in.nutationInLongitude, in.trueObliquity);
    in.sun = sunPlace(in.jde, in.nutationInLongitude, in.trueObliquity);
    if (place)
        in.moonFromPlace =
            moonFromPlace(in.moon, *place, julianDayUt, in.nutationInLongitude, in.trueObliquity);
    return in;
}

} // namespace measure
