#include "measure/ephemeris.h"

#include "measure/ephemerisangles.h"
#include "measure/numeric.h"

#include <cmath>

// The physical ephemeris follows J. Meeus, Astronomical Algorithms, 2nd ed. (Willmann-Bell,
// 1998): chapter 53 "Ephemeris for Physical Observations of the Moon" for the librations, the
// axis and the sub-solar point, chapter 48 "Illuminated Fraction of the Moon's Disk" for the
// phase angle and the bright limb, chapter 47 for the Moon's fundamental arguments.

namespace measure {

namespace {

// Inclination of the mean lunar equator on the ecliptic (IAU value, Meeus ch. 53).
constexpr real kLunarEquatorInclination = 1.54242L;

// The Moon's fundamental arguments in degrees at JDE (Meeus ch. 47: D, M, M′, F, Ω and E).
struct LunarArguments {
    real d = 0; // mean elongation of the Moon
    real m = 0; // Sun's mean anomaly
    real mMoon = 0; // Moon's mean anomaly M′
    real f = 0; // Moon's argument of latitude
    real node = 0; // mean longitude of the ascending node Ω
    real e = 0; // eccentricity factor of the Earth's orbit
    real k1 = 0; // K1, K2: arguments of Eckhardt's τ (Meeus ch. 53)
    real k2 = 0;
};

LunarArguments lunarArguments(real jde)
{
    const real t = (jde - 2451545) / 36525;
    const real t2 = t * t;
    const real t3 = t2 * t;
    const real t4 = t3 * t;
    LunarArguments a;
    a.d = 297.8501921L + 445267.1114034L * t - 0.0018819L * t2 + t3 / 545868 - t4 / 113065000;
    a.m = 357.5291092L + 35999.0502909L * t - 0.0001536L * t2 + t3 / 24490000;
    a.mMoon = 134.9633964L + 477198.8675055L * t + 0.0087414L * t2 + t3 / 69699 - t4 / 14712000;
    a.f = 93.2720950L + 483202.0175233L * t - 0.0036539L * t2 - t3 / 3526000 + t4 / 863310000;
    a.node = 125.0445479L - 1934.1362891L * t + 0.0020754L * t2 + t3 / 467441 - t4 / 60616000;
    a.e = 1 - 0.002516L * t - 0.0000074L * t2;
    a.k1 = 119.75L + 131.849L * t;
    a.k2 = 72.56L + 20.186L * t;
    return a;
}

// Eckhardt's quantities ρ, σ, τ of the physical libration (D. H. Eckhardt, "Theory of the
// libration of the Moon", The Moon and the Planets 25, 1981), as Meeus ch. 53 gives them.
struct PhysicalTerms {
    real rho = 0;
    real sigma = 0;
    real tau = 0;
};

PhysicalTerms physicalTerms(const LunarArguments &a)
{
    const real mm = a.mMoon;
    const real f = a.f;
    const real d = a.d;
    PhysicalTerms p;
    p.rho = -0.02752L * cosDeg(mm) - 0.02245L * sinDeg(f) + 0.00684L * cosDeg(mm - 2 * f)
        - 0.00293L * cosDeg(2 * f) - 0.00085L * cosDeg(2 * f - 2 * d)
        - 0.00054L * cosDeg(mm - 2 * d) - 0.00020L * sinDeg(mm + f) - 0.00020L * cosDeg(mm + 2 * f)
        - 0.00020L * cosDeg(mm - f) + 0.00014L * cosDeg(mm + 2 * f - 2 * d);
    p.sigma = -0.02816L * sinDeg(mm) + 0.02244L * cosDeg(f) - 0.00682L * sinDeg(mm - 2 * f)
        - 0.00279L * sinDeg(2 * f) - 0.00083L * sinDeg(2 * f - 2 * d)
        + 0.00069L * sinDeg(mm - 2 * d) + 0.00040L * cosDeg(mm + f) - 0.00025L * sinDeg(2 * mm)
        - 0.00023L * sinDeg(mm + 2 * f) + 0.00020L * cosDeg(mm - f) + 0.00019L * sinDeg(mm - f)
        + 0.00013L * sinDeg(mm + 2 * f - 2 * d) - 0.00010L * cosDeg(mm - 3 * f);
    p.tau = 0.02520L * a.e * sinDeg(a.m) + 0.00473L * sinDeg(2 * mm - 2 * f) - 0.00467L * sinDeg(mm)
        + 0.00396L * sinDeg(a.k1) + 0.00276L * sinDeg(2 * mm - 2 * d) + 0.00196L * sinDeg(a.node)
        - 0.00183L * cosDeg(mm - f) + 0.00115L * sinDeg(mm - 2 * d) - 0.00096L * sinDeg(mm - d)
        + 0.00046L * sinDeg(2 * f - 2 * d) - 0.00039L * sinDeg(mm - f)
        - 0.00032L * sinDeg(mm - a.m - d) + 0.00027L * sinDeg(2 * mm - a.m - 2 * d)
        + 0.00023L * sinDeg(a.k2) - 0.00014L * sinDeg(2 * d) + 0.00014L * cosDeg(2 * mm - 2 * f)
        - 0.00012L * sinDeg(mm - 2 * f) - 0.00012L * sinDeg(2 * mm)
        + 0.00011L * sinDeg(2 * mm - 2 * a.m - 2 * d);
    return p;
}

struct Librations {
    real optLongitude = 0;
    real optLatitude = 0;
    real physLongitude = 0;
    real physLatitude = 0;
};

// The selenographic coordinates of the point under a body of apparent ecliptic place (λ, β):
// the optical part from W and A, then the physical part from ρ, σ, τ (Meeus ch. 53). The same
// formulas give the sub-Earth point (librations) and, fed λH and βH, the sub-solar point.
Librations librationsTowards(
    real lambda, real beta, real nutation, const LunarArguments &a, const PhysicalTerms &p)
{
    const real w = lambda - nutation - a.node;
    const real i = kLunarEquatorInclination;
    const real angleA = atan2Deg(
        sinDeg(w) * cosDeg(beta) * cosDeg(i) - sinDeg(beta) * sinDeg(i), cosDeg(w) * cosDeg(beta));
    Librations l;
    l.optLongitude = normalised180(angleA - a.f);
    l.optLatitude =
        arcsineDegrees(-sinDeg(w) * cosDeg(beta) * sinDeg(i) - sinDeg(beta) * cosDeg(i));
    l.physLongitude = -p.tau
        + (p.rho * cosDeg(angleA) + p.sigma * sinDeg(angleA))
            * std::tan(degreesToRadians(l.optLatitude));
    l.physLatitude = p.sigma * cosDeg(angleA) - p.rho * sinDeg(angleA);
    return l;
}

// Position angle of the Moon's axis, Meeus ch. 53: V, X, Y, ω and sin P.
real axisPositionAngle(const EphemerisInput &in,
    const LunarArguments &a,
    const PhysicalTerms &p,
    real librationLatitude)
{
    const real i = kLunarEquatorInclination;
    const real v = a.node + in.nutationInLongitude + p.sigma / sinDeg(i);
    const real x = sinDeg(i + p.rho) * sinDeg(v);
    const real y = sinDeg(i + p.rho) * cosDeg(v) * cosDeg(in.trueObliquity)
        - cosDeg(i + p.rho) * sinDeg(in.trueObliquity);
    const real omega = atan2Deg(x, y);
    return arcsineDegrees(std::sqrt(x * x + y * y) * cosDeg(in.moon.rightAscension - omega)
        / cosDeg(librationLatitude));
}

// The Sun's heliocentric place seen from the Moon, λH and βH of Meeus ch. 53 (Δ/R is the
// ratio of the Moon's and the Sun's geocentric distances).
Librations subSolar(const EphemerisInput &in, const LunarArguments &a, const PhysicalTerms &p)
{
    const real ratio = in.moon.distance / in.sun.distance;
    const real lambdaH = in.sun.longitude + 180
        + ratio * radiansToDegrees(1) * cosDeg(in.moon.latitude)
            * sinDeg(in.sun.longitude - in.moon.longitude);
    const real betaH = ratio * in.moon.latitude;
    return librationsTowards(lambdaH, betaH, in.nutationInLongitude, a, p);
}

} // namespace

MoonEphemeris moonEphemeris(const EphemerisInput &in)
{
    const LunarArguments args = lunarArguments(in.jde);
    const PhysicalTerms terms = physicalTerms(args);
    const Librations earth =
        librationsTowards(in.moon.longitude, in.moon.latitude, in.nutationInLongitude, args, terms);
    MoonEphemeris out;
    out.opticalLongitude = earth.optLongitude;
    out.opticalLatitude = earth.optLatitude;
    out.physicalLongitude = earth.physLongitude;
    out.physicalLatitude = earth.physLatitude;
    out.geocentric.librationLongitude = normalised180(earth.optLongitude + earth.physLongitude);
    out.geocentric.librationLatitude = earth.optLatitude + earth.physLatitude;
    out.geocentric.axisAngle = axisPositionAngle(in, args, terms, out.geocentric.librationLatitude);

    const Librations sun = subSolar(in, args, terms);
    out.subSolarLongitude = normalised180(sun.optLongitude + sun.physLongitude);
    out.subSolarLatitude = sun.optLatitude + sun.physLatitude;
    out.colongitude = normalised360(90 - out.subSolarLongitude);

    const ApparentPlace &seenMoon = in.moonFromPlace ? *in.moonFromPlace : in.moon;
    out.seen =
        in.moonFromPlace ? orientationFromPlace(out.geocentric, in.moon, seenMoon) : out.geocentric;
    const Illumination light = illuminationSeen(in.moon, in.sun, seenMoon);
    out.brightLimbAngle = light.brightLimbAngle;
    out.phaseAngle = light.phaseAngle;
    out.illuminatedFraction = (1 + cosDeg(out.phaseAngle)) / 2; // eq. 48.1
    return out;
}

TerminatorPrediction terminatorPrediction(const MoonEphemeris &ephemeris, int litSign)
{
    // The Sun's component towards the viewer is cos i, and litSign × sin B in the model frame.
    TerminatorPrediction prediction;
    prediction.b = (litSign < 0 ? -1 : 1) * (90 - ephemeris.phaseAngle);
    prediction.cuspLineAngle = std::fmod(ephemeris.brightLimbAngle + 90, real(180));
    return prediction;
}

real sunElevation(const MoonEphemeris &e, const SelenographicPoint &p)
{
    // Meeus ch. 53: sin h = sin b0 sin β + cos b0 cos β sin(c0 + λ), c0 the colongitude.
    return arcsineDegrees(sinDeg(e.subSolarLatitude) * sinDeg(p.latitude)
        + cosDeg(e.subSolarLatitude) * cosDeg(p.latitude) * sinDeg(e.colongitude + p.longitude));
}

} // namespace measure
