#pragma once

// Positions on the Moon's surface: selenographic latitude (north positive) and longitude (east
// positive), in degrees.

#include "measure/real.h"

#include <string>

namespace measure {

/// The Moon's mean radius in km, the sphere on which feature sizes become arcs.
inline constexpr real kMoonRadiusKm = 1737.4L;

/// `longitude` in degrees brought into (-180, 180]; NaN stays NaN.
[[nodiscard]] real normalizedLongitude(real longitude);

/// The position as "9,6° N  20,1° O": each angle with `decimals` digits after `separator`,
/// then N/S and E/O (est, ouest), the two separated by two spaces. An angle that rounds to
/// zero reads N or E, so that no "0,0° S" appears.
[[nodiscard]] std::string selenographicText(
    real latitude, real longitude, int decimals, const std::string &separator);

} // namespace measure
