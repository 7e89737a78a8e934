#pragma once

// The photograph placed on the Moon: how the picture lies on the sky (its rotation and whether
// it is a mirror image), pixels to selenographic points and back, the Sun's elevation under the
// pointer with its uncertainty, and the check of the photograph's terminator against its date.
//
// A picture's orientation is the direction of celestial north on it and the side west lies on.
// The traced cusp line and the lit side give the direction of the Sun on the picture; the
// ephemeris gives it on the sky (the bright limb's position angle χ). For a direct picture and
// for a mirrored one that fixes one rotation each: both explain the terminator equally well,
// since a lit sphere is symmetric about the plane through the Sun and the eye. Only the surface
// tells them apart, so the choice is read off the maria when the pixels are at hand.

#include "measure/ephemeris.h"
#include "measure/moonmodel.h"
#include "measure/pixels.h"
#include "measure/real.h"

#include <optional>
#include <string>
#include <vector>

namespace measure {

/// Whether the picture is a mirror image of the sky: read off the photograph, or as the user
/// says (a star diagonal mirrors it).
enum class Mirroring {
    Automatic,
    Direct,
    Mirrored,
};

/// How the picture lies on the sky.
struct PictureOrientation {
    /// Direction of celestial north on the picture, degrees clockwise from the picture's up,
    /// 0…360.
    real northAngle = 0;
    /// West lies anticlockwise of north on the picture instead of clockwise.
    bool mirrored = false;
};

/// When and where the photograph was taken.
struct PhotoInstant {
    real julianDayUt = 0;
    /// 1σ of the time in minutes: about 1 for a camera clock, more for a time typed from memory.
    real timeSigmaMinutes = 1;
    /// None when the place is unknown: the Moon is then taken as seen from the Earth's centre,
    /// and up to a degree of parallax joins the uncertainties.
    std::optional<ObserverPlace> place;
};

/// 1σ of the traced disc and cusp line.
struct DiscSigma {
    /// Pixels, on each axis.
    real centre = 0.5L;
    /// Pixels.
    real radius = 0.5L;
    /// Degrees, of the cusp line's tilt.
    real theta = 0.2L;
};

/// The uncertainties of a circle laid on the photograph to the pixel: half a pixel for the
/// centre and the radius, and for each end of the cusp line across it.
[[nodiscard]] DiscSigma discSigmaOf(const MoonModel &model);

/// A dark mare as the mirror test looks for it: its centre and a radius, in degrees on the
/// Moon, that keeps inside its shore.
struct MareCore {
    const char *name = "";
    SelenographicPoint centre;
    real radius = 0;
};

/// How clearly the photograph's maria favour one choice of mirroring.
struct MirrorEvidence {
    /// How much darker the maria come out in the direct choice than in the mirrored one, as a
    /// fraction of the highlands' level: positive favours direct.
    real score = 0;
    /// How much darker than the highlands the maria come out in each choice, as a fraction.
    real directContrast = 0;
    real mirroredContrast = 0;
    /// Lit pixels read in the maria and in the highlands, the fewer of the two choices.
    int mariaSamples = 0;
    int highlandSamples = 0;
    /// The choice when the score is clear enough, none otherwise (or without pixels).
    std::optional<bool> mirrored;
};

/// A photograph placed on the Moon: its model, its instant, the ephemeris then and half an hour
/// either side (for the rates), the picture's orientation and what decided it.
struct Placement {
    MoonModel model;
    DiscSigma disc;
    PhotoInstant instant;
    Mirroring asked = Mirroring::Automatic;
    MirrorEvidence evidence;
    MoonEphemeris ephemeris;
    MoonEphemeris earlier;
    MoonEphemeris later;
    PictureOrientation orientation;
    PictureOrientation earlierOrientation;
    PictureOrientation laterOrientation;
    /// 1σ of the librations in degrees from the unknown place (0 when it is known).
    real parallaxSigma = 0;
    /// 1σ of orientation.northAngle in degrees.
    real northSigma = 0;
};

/// Where a selenographic point falls on the picture, and whether it is on the near side.
struct OnPicture {
    PicturePoint at;
    bool visible = false;
};

/// What the label under the pointer shows: the point, the Sun's elevation there from the
/// ephemeris and its 1σ, with the shares of the time, the place and the traced disc.
struct PointerReading {
    SelenographicPoint point;
    real elevation = 0;
    real elevationSigma = 0;
    real timeSigma = 0;
    real placeSigma = 0;
    real discSigma = 0;
};

/// What the photograph's terminator says of its date and time.
enum class TimeVerdict {
    Agrees,
    ClockOff,
    DateOrZoneWrong,
    MirrorSuspected,
};

/// B fitted on the photograph against B predicted for its instant, in degrees and as the clock
/// error it would mean (positive when the photograph looks taken later than its time says).
struct TimeCheck {
    real bFitted = 0;
    real bPredicted = 0;
    real difference = 0;
    /// 1σ of the difference: the fit, the time, the place and the ephemeris together.
    real differenceSigma = 0;
    /// dB/dt of the prediction, degrees per hour.
    real ratePerHour = 0;
    /// None when B hardly moves at that instant (at the turn of full or new Moon).
    std::optional<real> clockErrorMinutes;
    real clockErrorSigmaMinutes = 0;
    TimeVerdict verdict = TimeVerdict::Agrees;
};

/// The maria of the mirror test.
[[nodiscard]] const std::vector<MareCore> &mareCores();

/// The orientation that puts the ephemeris's Sun where the photograph's model shows it.
[[nodiscard]] PictureOrientation orientationOf(
    const MoonModel &model, const MoonEphemeris &ephemeris, bool mirrored);

/// The selenographic point under a picture point, none off the disc.
[[nodiscard]] std::optional<SelenographicPoint> selenographicAt(const MoonModel &model,
    const MoonOrientation &moon,
    const PictureOrientation &picture,
    PicturePoint at);

/// Where a selenographic point appears on the picture.
[[nodiscard]] OnPicture pictureAt(const MoonModel &model,
    const MoonOrientation &moon,
    const PictureOrientation &picture,
    const SelenographicPoint &point);

/// Compares the photograph's levels in the maria for the two choices of mirroring.
[[nodiscard]] MirrorEvidence mirrorEvidence(
    const ImageView &image, const MoonModel &model, const MoonEphemeris &ephemeris);

/// Places the photograph of `model` taken at `instant`; `image` may be empty, and then an
/// automatic choice of mirroring takes the direct picture. The disc's uncertainties are those
/// of discSigmaOf() unless given.
[[nodiscard]] Placement placePhotograph(const MoonModel &model,
    const PhotoInstant &instant,
    Mirroring mirroring,
    const ImageView &image = {},
    const std::optional<DiscSigma> &disc = std::nullopt);

/// The selenographic point under a picture point of a placed photograph.
[[nodiscard]] std::optional<SelenographicPoint> selenographicAt(
    const Placement &placement, PicturePoint at);

/// Where a selenographic point appears on a placed photograph.
[[nodiscard]] OnPicture pictureAt(const Placement &placement, const SelenographicPoint &point);

/// The reading under the pointer, none off the disc.
[[nodiscard]] std::optional<PointerReading> readingAt(const Placement &placement, PicturePoint at);

/// The label under the pointer: "12,3° N 45,6° O : Soleil à 5,2° ± 0,3°" with
/// `decimalSeparator`, or "hors du disque" for none.
[[nodiscard]] std::string readingText(
    const std::optional<PointerReading> &reading, const std::string &decimalSeparator);

/// The check of the photograph's B against its date and time.
[[nodiscard]] TimeCheck checkTime(const Placement &placement);

/// The sentence the window shows for a check, in French.
[[nodiscard]] std::string verdictText(const TimeCheck &check);

/// The check in figures: "B ajusté − prédit : +0,42° ± 0,10° ≈ +50 min ± 12 min d'horloge",
/// the clock error left out where B hardly moves.
[[nodiscard]] std::string checkFigures(const TimeCheck &check, const std::string &decimalSeparator);

/// The photograph's model lit by the Sun of the ephemeris: its disc and cusp line kept, B the
/// one predicted for its instant, with the 1σ of the time, the place and the ephemeris in
/// place of the photograph's own (in bSigma and in the covariance, when there is one).
[[nodiscard]] MoonModel ephemerisModel(const Placement &placement);

} // namespace measure
