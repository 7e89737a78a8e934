#include "measure/numeric.h"
#include "measure/placement.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using measure::real;

double d(real v)
{
    return static_cast<double>(v);
}

measure::MoonModel disc(real thetaDegrees, int litSign, real b)
{
    measure::MoonModel m;
    m.centreX = 412.5L;
    m.centreY = 301.25L;
    m.radius = 250;
    m.theta = measure::degreesToRadians(thetaDegrees);
    m.litSign = litSign;
    m.b = b;
    return m;
}

struct OrientationCase {
    int day, hour;
    real thetaDegrees;
    int litSign;
    bool mirrored;
};

class Orientation : public ::testing::TestWithParam<OrientationCase> { };

TEST_P(Orientation, PutsTheSunWhereThePictureShowsItAndRoundTrips)
{
    const OrientationCase &c = GetParam();
    const measure::MoonEphemeris e = measure::moonEphemeris(
        measure::apparentPlaces(measure::julianDay(2026, 3, c.day, c.hour, 0, 0)));
    const measure::MoonModel m =
        disc(c.thetaDegrees, c.litSign, measure::terminatorPrediction(e, c.litSign).b);
    const measure::PictureOrientation o = measure::orientationOf(m, e, c.mirrored);
    // The sub-solar point lies towards the bright limb the model draws (χ and the sub-solar
    // point of the ephemeris agree to a few thousandths of a degree).
    const measure::OnPicture sun =
        measure::pictureAt(m, e.seen, o, {e.subSolarLatitude, e.subSolarLongitude});
    const real sx = sun.at.x - m.centreX, sy = sun.at.y - m.centreY;
    const real along = c.litSign * (sx * std::sin(m.theta) - sy * std::cos(m.theta));
    EXPECT_NEAR(d(along / std::hypot(sx, sy)), 1, 1e-8);
    EXPECT_EQ(sun.visible, e.phaseAngle < 90);
    for (const measure::SelenographicPoint p :
        {measure::SelenographicPoint{16.18L, 59.10L}, {-43.3L, -11.22L}, {51.62L, -9.38L}}) {
        const measure::OnPicture at = measure::pictureAt(m, e.seen, o, p);
        ASSERT_TRUE(at.visible);
        const auto back = measure::selenographicAt(m, e.seen, o, at.at);
        ASSERT_TRUE(back);
        EXPECT_NEAR(d(back->latitude), d(p.latitude), 1e-9);
        EXPECT_NEAR(d(back->longitude), d(p.longitude), 1e-9);
    }
    EXPECT_FALSE(measure::selenographicAt(m, e.seen, o, {m.centreX + 251, m.centreY}));
}

INSTANTIATE_TEST_SUITE_P(PhasesTiltsAndMirrors,
    Orientation,
    ::testing::Values(OrientationCase{21, 19, 12, 1, false},
        OrientationCase{21, 19, 12, 1, true},
        OrientationCase{26, 22, -63, -1, false},
        OrientationCase{30, 3, 80, 1, true},
        OrientationCase{8, 4, -5, -1, false}));

TEST(Orientation, NorthUpShowsCrisiumOnTheWestSide)
{
    // With north up, west (and Mare Crisium with it) is on the right of a direct picture, as
    // the naked eye sees the Moon, and on the left behind a star diagonal.
    const measure::MoonModel m = disc(0, 1, 0);
    for (const bool mirrored : {false, true}) {
        const measure::PictureOrientation o{0, mirrored};
        const measure::OnPicture crisium = measure::pictureAt(m, {}, o, {16.18L, 59.10L});
        const measure::OnPicture pole = measure::pictureAt(m, {}, o, {90, 0});
        EXPECT_EQ(crisium.at.x > m.centreX, !mirrored);
        EXPECT_LT(crisium.at.y, m.centreY);
        EXPECT_NEAR(d(pole.at.y), d(m.centreY - m.radius), 1e-9);
    }
}

struct CheckCase {
    real offsetMinutes;
    measure::Mirroring asked;
    bool evidenceMirrored;
    measure::TimeVerdict verdict;
    const char *text;
};

TEST(TimeCheck, TurnsTheDifferenceOfBIntoAClockErrorAndAVerdict)
{
    const measure::PhotoInstant instant{
        measure::julianDay(2026, 3, 24, 20, 0, 0), 1, measure::ObserverPlace{48.85L, 2.35L, 35}};
    const measure::MoonModel m = disc(20, 1, 0);
    const measure::Placement base =
        measure::placePhotograph(m, instant, measure::Mirroring::Direct);
    const measure::TimeCheck truth = measure::checkTime(base);
    EXPECT_GT(truth.ratePerHour, 0.3L);
    EXPECT_LT(truth.ratePerHour, 0.7L);
    using V = measure::TimeVerdict;
    using M = measure::Mirroring;
    const CheckCase rows[] = {
        {0,
            M::Direct,
            false,
            V::Agrees,
            "Le terminateur s'accorde avec la date et l'heure de la photographie."},
        {21.4L,
            M::Direct,
            false,
            V::ClockOff,
            "L'heure de la photographie semble décalée d'environ 20 min : elle aurait été prise "
            "plus tard."},
        {-36.2L,
            M::Automatic,
            true,
            V::ClockOff,
            "L'heure de la photographie semble décalée d'environ 35 min : elle aurait été prise "
            "plus tôt."},
        {-62, M::Direct, false, V::DateOrZoneWrong, "Date ou fuseau horaire à vérifier."},
        {125, M::Mirrored, true, V::DateOrZoneWrong, "Date ou fuseau horaire à vérifier."},
        {14 * 24 * 60, M::Direct, false, V::DateOrZoneWrong, "Date ou fuseau horaire à vérifier."},
        {0, M::Direct, true, V::MirrorSuspected, "Image inversée ?"},
    };
    for (const CheckCase &r : rows) {
        SCOPED_TRACE(d(r.offsetMinutes));
        measure::Placement p = base;
        p.asked = r.asked;
        p.evidence.mirrored = r.evidenceMirrored;
        p.model.b = truth.bPredicted + truth.ratePerHour * r.offsetMinutes / 60;
        p.model.bSigma = 0.05L;
        const measure::TimeCheck c = measure::checkTime(p);
        EXPECT_EQ(c.verdict, r.verdict);
        EXPECT_EQ(measure::verdictText(c), r.text);
        if (std::fabs(r.offsetMinutes) < 180) {
            ASSERT_TRUE(c.clockErrorMinutes);
            EXPECT_NEAR(d(*c.clockErrorMinutes), d(r.offsetMinutes), 0.2);
        }
    }
}

TEST(PointerReading, CarriesEachUncertaintyItsOwnWay)
{
    const measure::MoonModel m = disc(20, 1, 0);
    measure::PhotoInstant instant{measure::julianDay(2026, 3, 24, 20, 0, 0), 1, {}};
    const measure::PicturePoint at{m.centreX - 60, m.centreY + 90};
    const auto reading = [&](real minutes, bool placeKnown, real centreSigma) {
        instant.timeSigmaMinutes = minutes;
        instant.place =
            placeKnown ? std::optional<measure::ObserverPlace>({48.85L, 2.35L, 35}) : std::nullopt;
        measure::DiscSigma sigma;
        sigma.centre = centreSigma;
        return *measure::readingAt(
            measure::placePhotograph(m, instant, measure::Mirroring::Direct, {}, sigma), at);
    };
    const measure::PointerReading known = reading(1, true, 0.5L);
    // The terminator sweeps half a degree an hour: a minute is under a hundredth of a degree.
    EXPECT_GT(known.timeSigma, 0.003L);
    EXPECT_LT(known.timeSigma, 0.012L);
    EXPECT_NEAR(d(reading(30, true, 0.5L).timeSigma), d(30 * known.timeSigma), 1e-6);
    // An unknown place turns the Moon by up to a degree.
    EXPECT_LT(known.placeSigma, 0.03L);
    EXPECT_GT(reading(1, false, 0.5L).placeSigma, 0.2L);
    EXPECT_GT(reading(1, true, 5).discSigma, 5 * known.discSigma);
    EXPECT_NEAR(d(known.elevationSigma),
        d(std::sqrt(known.timeSigma * known.timeSigma + known.placeSigma * known.placeSigma
            + known.discSigma * known.discSigma)),
        1e-12);
}

TEST(PointerReading, Text)
{
    const struct {
        std::optional<measure::PointerReading> reading;
        const char *text;
    } rows[] = {
        {std::nullopt, "hors du disque"},
        {measure::PointerReading{{-12.34L, -45.67L}, 5.23L, 0.31L, 0, 0, 0},
            "12,3° S 45,7° O : Soleil à 5,2° ± 0,4°"},
        {measure::PointerReading{{0.04L, 120.01L}, -1.27L, 0.1L, 0, 0, 0},
            "0,0° N 120,0° E : Soleil à -1,3° ± 0,1°"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(measure::readingText(r.reading, ","), r.text);
}
} // namespace
