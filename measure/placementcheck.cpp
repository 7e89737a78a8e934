#include "measure/ephemerisangles.h"
#include "measure/numeric.h"
#include "measure/placement.h"

#include <cmath>

// What the photograph itself says of its placing: the maria, for the mirroring, and the
// terminator, for the date and time.

namespace measure {

namespace {

constexpr real kEphemerisSigma = 0.02L;

// Only pixels this high in the Sun are read: nearer the terminator the shading, not the
// albedo, makes the level, and the limb squeezes the maria into a few pixels.
constexpr real kLowestSun = 20;
constexpr real kInnermostDisc = 0.9L;
// Real maria are a third to a half darker than the highlands (a quarter once a camera's tone
// curve has lifted them), and in the wrong choice the cores land on a mixture. A verdict wants
// the winning choice to show maria clearly darker and to beat the other by a clear margin:
// scattered dark patches that are not the maria stay under both.
constexpr real kClearContrast = 0.15L;
constexpr real kClearScore = 0.1L;
constexpr int kFewestSamples = 100;

// Beyond this many combined σ the terminator disagrees with the date.
constexpr real kBeyond = 2;
// Under this rate (degrees an hour) B says nothing of the clock: at the turn of the phases.
constexpr real kSlowestRate = 0.05L;
// A clock error near a whole number of hours is a time zone or a summer time; beyond this
// many minutes it is the date.
constexpr real kZoneTolerance = 10;
constexpr real kLargestClockError = 6 * 60;

bool inMare(const SelenographicPoint &p)
{
    for (const MareCore &m : mareCores()) {
        const real c = sinDeg(p.latitude) * sinDeg(m.centre.latitude)
            + cosDeg(p.latitude) * cosDeg(m.centre.latitude)
                * cosDeg(p.longitude - m.centre.longitude);
        if (c > cosDeg(m.radius))
            return true;
    }
    return false;
}

// Sums of shading-corrected levels in the maria and in the highlands for one choice.
struct Darkening {
    real mare = 0, highland = 0;
    int mareCount = 0, highlandCount = 0;

    void add(bool dark, real level)
    {
        (dark ? mare : highland) += level;
        ++(dark ? mareCount : highlandCount);
    }
    [[nodiscard]] real contrast() const
    {
        if (mareCount == 0 || highlandCount == 0 || !(highland > 0))
            return 0;
        return 1 - (mare / mareCount) / (highland / highlandCount);
    }
};

std::string durationText(real minutes)
{
    // "environ" speaks for the rounding: to the minute under ten, to five minutes above.
    const long rounded = minutes < 10 ? std::lround(minutes) : 5 * std::lround(minutes / 5);
    if (rounded < 60)
        return std::to_string(rounded) + " min";
    const long m = rounded % 60;
    return std::to_string(rounded / 60) + " h" + (m ? " " + std::to_string(m) + " min" : "");
}

// A signed figure reads with its sign: "+0,42" says which way as much as the number does.
std::string signedText(std::string text)
{
    return text.front() == '-' ? text : "+" + text;
}

} // namespace

const std::vector<MareCore> &mareCores()
{
    // Centres from the lunar gazetteer; the radii keep inside the shores (the largest, and the
    // irregular Oceanus Procellarum, are cut down to their dark cores).
    static const std::vector<MareCore> maria = {
        {"Mare Imbrium", {34.72L, -14.91L}, 13},
        {"Mare Serenitatis", {27.29L, 18.36L}, 9},
        {"Mare Tranquillitatis", {8.35L, 30.83L}, 9},
        {"Mare Crisium", {16.18L, 59.10L}, 6},
        {"Mare Fecunditatis", {-7.83L, 53.67L}, 8},
        {"Mare Nectaris", {-15.19L, 34.60L}, 4},
        {"Mare Nubium", {-20.59L, -17.29L}, 8},
        {"Mare Humorum", {-24.48L, -38.57L}, 5},
        {"Mare Vaporum", {13.20L, 4.09L}, 3},
        {"Mare Cognitum", {-10.53L, -22.31L}, 4},
        {"Oceanus Procellarum", {8, -55}, 10},
    };
    return maria;
}

MirrorEvidence mirrorEvidence(
    const ImageView &image, const MoonModel &model, const MoonEphemeris &ephemeris)
{
    MirrorEvidence evidence;
    if (image.empty() || !(model.radius > 0))
        return evidence;
    const PictureOrientation direct = orientationOf(model, ephemeris, false);
    const PictureOrientation mirrored = orientationOf(model, ephemeris, true);
    const Vec3 sun = sunDirection(model);
    const real lowest = sinDeg(kLowestSun);
    const real step = std::max(real(1), model.radius / 60);
    Darkening asDirect, asMirrored;
    for (real y = model.centreY - model.radius; y <= model.centreY + model.radius; y += step) {
        for (real x = model.centreX - model.radius; x <= model.centreX + model.radius; x += step) {
            const int i = static_cast<int>(std::lround(x));
            const int j = static_cast<int>(std::lround(y));
            if (i < 0 || j < 0 || i >= image.width || j >= image.height)
                continue;
            const std::optional<Vec3> p = surfacePoint(model, i, j);
            if (!p || p->z < std::sqrt(1 - kInnermostDisc * kInnermostDisc))
                continue;
            const real light = dot(*p, sun);
            if (light < lowest)
                continue;
            const real level = image.level(i, j) / light;
            const PicturePoint at{real(i), real(j)};
            asDirect.add(inMare(*selenographicAt(model, ephemeris.seen, direct, at)), level);
            asMirrored.add(inMare(*selenographicAt(model, ephemeris.seen, mirrored, at)), level);
        }
    }
    evidence.directContrast = asDirect.contrast();
    evidence.mirroredContrast = asMirrored.contrast();
    evidence.score = evidence.directContrast - evidence.mirroredContrast;
    evidence.mariaSamples = std::min(asDirect.mareCount, asMirrored.mareCount);
    evidence.highlandSamples = std::min(asDirect.highlandCount, asMirrored.highlandCount);
    if (evidence.mariaSamples >= kFewestSamples && evidence.highlandSamples >= kFewestSamples
        && std::fabs(evidence.score) >= kClearScore
        && std::max(evidence.directContrast, evidence.mirroredContrast) >= kClearContrast)
        evidence.mirrored = evidence.score < 0;
    return evidence;
}

TimeCheck checkTime(const Placement &pl)
{
    const int lit = pl.model.litSign;
    TimeCheck check;
    check.bFitted = pl.model.b;
    check.bPredicted = terminatorPrediction(pl.ephemeris, lit).b;
    check.difference = check.bFitted - check.bPredicted;
    check.ratePerHour =
        terminatorPrediction(pl.later, lit).b - terminatorPrediction(pl.earlier, lit).b;
    // The phase angle moves by as much as the librations when the place is unknown.
    const real others = std::sqrt(pl.model.bSigma * pl.model.bSigma
        + pl.parallaxSigma * pl.parallaxSigma + kEphemerisSigma * kEphemerisSigma);
    const real fromTime = check.ratePerHour * pl.instant.timeSigmaMinutes / 60;
    check.differenceSigma = std::sqrt(others * others + fromTime * fromTime);
    if (std::fabs(check.ratePerHour) >= kSlowestRate) {
        check.clockErrorMinutes = check.difference / check.ratePerHour * 60;
        check.clockErrorSigmaMinutes = others / std::fabs(check.ratePerHour) * 60;
    }

    const bool contradicted = pl.asked != Mirroring::Automatic && pl.evidence.mirrored
        && *pl.evidence.mirrored != (pl.asked == Mirroring::Mirrored);
    if (contradicted)
        check.verdict = TimeVerdict::MirrorSuspected;
    else if (std::fabs(check.difference) <= kBeyond * check.differenceSigma)
        check.verdict = TimeVerdict::Agrees;
    else if (!check.clockErrorMinutes)
        check.verdict = TimeVerdict::DateOrZoneWrong;
    else {
        const real minutes = *check.clockErrorMinutes;
        const real hours = std::round(minutes / 60);
        const real slack = std::max(kZoneTolerance, kBeyond * check.clockErrorSigmaMinutes);
        const bool zone = hours != 0 && std::fabs(minutes - 60 * hours) <= slack;
        check.verdict = zone || std::fabs(minutes) > kLargestClockError
            ? TimeVerdict::DateOrZoneWrong
            : TimeVerdict::ClockOff;
    }
    return check;
}

std::string verdictText(const TimeCheck &check)
{
    switch (check.verdict) {
    case TimeVerdict::Agrees:
        return "Le terminateur s'accorde avec la date et l'heure de la photographie.";
    case TimeVerdict::ClockOff: {
        const real minutes = check.clockErrorMinutes.value_or(0);
        return "L'heure de la photographie semble décalée d'environ "
            + durationText(std::fabs(minutes))
            + (minutes > 0 ? " : elle aurait été prise plus tard."
                           : " : elle aurait été prise plus tôt.");
    }
    case TimeVerdict::DateOrZoneWrong:
        return "Date ou fuseau horaire à vérifier.";
    case TimeVerdict::MirrorSuspected:
        return "Image inversée ?";
    }
    return {};
}

std::string checkFigures(const TimeCheck &check, const std::string &decimalSeparator)
{
    std::string text = "B ajusté \xE2\x88\x92 prédit : "
        + signedText(withUncertainty(
            check.difference, check.differenceSigma, NumberFormat{2, decimalSeparator, {}}, "°"));
    if (!check.clockErrorMinutes)
        return text;
    // Beyond two hours, minutes stop being read at a glance: a wrong date shows in hours.
    const bool hours = std::fabs(*check.clockErrorMinutes) >= 120;
    const real scale = hours ? 60 : 1;
    return text + " \xE2\x89\x88 "
        + signedText(withUncertainty(*check.clockErrorMinutes / scale,
            check.clockErrorSigmaMinutes / scale,
            NumberFormat{hours ? 1 : 0, decimalSeparator, {}},
            hours ? " h" : " min"))
        + " d'horloge";
}

MoonModel ephemerisModel(const Placement &pl)
{
    MoonModel model = pl.model;
    const int lit = model.litSign;
    model.b = terminatorPrediction(pl.ephemeris, lit).b;
    const real ratePerHour =
        terminatorPrediction(pl.later, lit).b - terminatorPrediction(pl.earlier, lit).b;
    const real fromTime = ratePerHour * pl.instant.timeSigmaMinutes / 60;
    model.bSigma = std::sqrt(pl.parallaxSigma * pl.parallaxSigma + kEphemerisSigma * kEphemerisSigma
        + fromTime * fromTime);
    // The predicted B owes nothing to the disc's fit: its row and column of the covariance go.
    if (model.covariance) {
        auto &c = *model.covariance;
        for (std::size_t i = 0; i < kModelInputs; ++i)
            c[4][i] = c[i][4] = 0;
        c[4][4] = model.bSigma * model.bSigma;
    }
    return model;
}

} // namespace measure
