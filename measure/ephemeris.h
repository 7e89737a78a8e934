#pragma once

// The Sun over the Moon predicted from the date, the time and the observer's place, so that the
// terminator read off a photograph can be checked against it.
//
// Angles are degrees throughout. Selenographic longitudes are east-positive (towards Mare
// Crisium), latitudes north-positive: the frame is right-handed about the Moon's north pole.
// Position angles on the sky are counted from celestial north through east.
//
// Two layers: apparentPlaces() reads the Sun and the Moon from libnova (ELP 2000-82B, VSOP87,
// IAU 1980 nutation) and reduces them to apparent places of date; moonEphemeris() is this
// program's own physical ephemeris on any such places, so a published example can be fed its
// own positions.

#include "measure/moonmodel.h"
#include "measure/real.h"

#include <optional>

namespace measure {

/// Where the photograph was taken: geodetic latitude and longitude (east-positive) in degrees,
/// height above the ellipsoid in metres.
struct ObserverPlace {
    real latitude = 0;
    real longitude = 0;
    real height = 0;
};

/// An apparent place of date: ecliptic longitude and latitude, right ascension and declination
/// (all degrees, true equinox of date) and distance from the point of view, in kilometres.
struct ApparentPlace {
    real longitude = 0;
    real latitude = 0;
    real rightAscension = 0;
    real declination = 0;
    real distance = 0;
};

/// What the physical ephemeris is computed from: the instant (Julian ephemeris day, TT), the
/// geocentric apparent places of the Moon and the Sun, the nutation in longitude and the true
/// obliquity, and the Moon seen from the observer when the place is known (then the Moon's
/// right ascension, declination and distance there; its ecliptic coordinates are not used).
struct EphemerisInput {
    real jde = 0;
    ApparentPlace moon;
    ApparentPlace sun;
    real nutationInLongitude = 0;
    real trueObliquity = 0;
    std::optional<ApparentPlace> moonFromPlace;
};

/// How the Moon is turned towards an observer: the selenographic longitude and latitude of the
/// point at the centre of the disc (the total librations) and the position angle of the axis.
struct MoonOrientation {
    real librationLongitude = 0;
    real librationLatitude = 0;
    real axisAngle = 0;
};

/// The physical ephemeris of the Moon at one instant.
struct MoonEphemeris {
    /// Optical librations l′, b′ and physical librations l″, b″, geocentric.
    real opticalLongitude = 0;
    real opticalLatitude = 0;
    real physicalLongitude = 0;
    real physicalLatitude = 0;
    /// The Moon as turned towards the centre of the Earth (l = l′ + l″, b = b′ + b″, P).
    MoonOrientation geocentric;
    /// The Moon as turned towards the observer: the topocentric librations and axis angle when
    /// the place is known, otherwise the geocentric ones.
    MoonOrientation seen;
    /// Selenographic longitude l0 and latitude b0 of the sub-solar point.
    real subSolarLongitude = 0;
    real subSolarLatitude = 0;
    /// Selenographic colongitude of the Sun, 90° − l0 in 0…360: the longitude of the morning
    /// terminator counted westwards.
    real colongitude = 0;
    /// Position angle χ of the midpoint of the bright limb, 0…360, as seen by the observer.
    real brightLimbAngle = 0;
    /// Phase angle i (Sun–Moon–observer), 0…180, and illuminated fraction k = (1 + cos i) / 2.
    real phaseAngle = 0;
    real illuminatedFraction = 0;
};

/// The terminator as the picture's model frame describes it: B for the given lit side (the Sun
/// is litSign × (0, −cos B, sin B) with the cusp line along x), and the position angle of the
/// cusp line on the sky, 0…180 (the line is square to the bright-limb direction χ; which of the
/// two senses runs from cusp 1 to cusp 2 depends on how the cusps were clicked).
struct TerminatorPrediction {
    real b = 0;
    real cuspLineAngle = 0;
};

/// A selenographic point: latitude and east-positive longitude in degrees.
struct SelenographicPoint {
    real latitude = 0;
    real longitude = 0;
};

/// The Julian day of a Gregorian calendar date and UT time of day.
[[nodiscard]] real julianDay(int year, int month, int day, int hour, int minute, real second);

/// ΔT = TT − UT in seconds at a UT Julian day, from the polynomials of Espenak and Meeus.
[[nodiscard]] real deltaT(real julianDayUt);

/// The apparent places of date at a UT Julian day, seen from the place when one is given.
[[nodiscard]] EphemerisInput apparentPlaces(
    real julianDayUt, const std::optional<ObserverPlace> &place = std::nullopt);

/// The physical ephemeris of the Moon for the given apparent places.
[[nodiscard]] MoonEphemeris moonEphemeris(const EphemerisInput &input);

/// The predicted terminator of the model frame for the photograph's lit side (+1 or −1).
[[nodiscard]] TerminatorPrediction terminatorPrediction(
    const MoonEphemeris &ephemeris, int litSign);

/// The unit vector of a selenographic point in the sky frame: x towards celestial west, y
/// towards celestial north, z towards the observer (right-handed: an upright, unmirrored view
/// has north up and west to the right).
[[nodiscard]] Vec3 skyDirection(const MoonOrientation &orientation, const SelenographicPoint &p);

/// The selenographic point of a direction of the sky frame (normalised first).
[[nodiscard]] SelenographicPoint selenographicPoint(
    const MoonOrientation &orientation, const Vec3 &sky);

/// The Sun's elevation in degrees above the local horizon of a selenographic point.
[[nodiscard]] real sunElevation(const MoonEphemeris &ephemeris, const SelenographicPoint &p);

} // namespace measure
