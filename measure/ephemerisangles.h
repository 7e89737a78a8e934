#pragma once

// Small pieces shared by the ephemeris files: trigonometry in degrees, angle ranges, and the
// Moon's body axes built from its orientation. Not part of measure's public interface.

#include "measure/ephemeris.h"
#include "measure/numeric.h"
#include "measure/real.h"

#include <cmath>

namespace measure {

inline real sinDeg(real v)
{
    return std::sin(degreesToRadians(v));
}

inline real cosDeg(real v)
{
    return std::cos(degreesToRadians(v));
}

inline real atan2Deg(real y, real x)
{
    return radiansToDegrees(std::atan2(y, x));
}

/// v in 0…360.
[[nodiscard]] real normalised360(real v);

/// v in −180…180.
[[nodiscard]] real normalised180(real v);

/// The unit vector of right ascension α and declination δ (or of any longitude and latitude).
[[nodiscard]] Vec3 unitVector(real longitude, real latitude);

/// The Moon's orientation seen from a place, given its geocentric orientation, its geocentric
/// place and its place seen from there: the body axes fixed by the geocentric librations and
/// axis angle are read again along the topocentric line of sight.
[[nodiscard]] MoonOrientation orientationFromPlace(const MoonOrientation &geocentric,
    const ApparentPlace &moon,
    const ApparentPlace &moonFromPlace);

/// The bright limb's position angle χ (0…360) and the phase angle i (0…180), degrees.
struct Illumination {
    real brightLimbAngle = 0;
    real phaseAngle = 0;
};

/// The illumination of the Moon seen at `moonFromPlace` (its geocentric place when no place is
/// known), the Sun and the Moon being at their geocentric places.
[[nodiscard]] Illumination illuminationSeen(
    const ApparentPlace &moon, const ApparentPlace &sun, const ApparentPlace &moonFromPlace);

} // namespace measure
