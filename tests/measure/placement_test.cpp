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

measure::MoonModel disc(real thetaDegrees)
{
    measure::MoonModel m;
    m.centreX = 412.5L;
    m.centreY = 301.25L;
    m.radius = 250;
    m.theta = measure::degreesToRadians(thetaDegrees);
    return m;
}

TEST(Orientation, NorthUpShowsCrisiumOnTheWestSide)
{
    // With north up, west (and Mare Crisium with it) is on the right of a direct picture, as
    // the naked eye sees the Moon, and on the left behind a star diagonal.
    const measure::MoonModel m = disc(0);
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
    const measure::MoonModel m = disc(20);
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

TEST(TimeCheck, Figures)
{
    measure::TimeCheck late;
    late.difference = 0.42L;
    late.differenceSigma = 0.1L;
    late.clockErrorMinutes = 50.3L;
    late.clockErrorSigmaMinutes = 12.2L;
    EXPECT_EQ(measure::checkFigures(late, ","),
        "B ajusté − prédit : +0,42° ± 0,10° ≈ +50 min ± 13 min d'horloge");
    measure::TimeCheck still;
    still.difference = -0.05L;
    still.differenceSigma = 0.03L;
    EXPECT_EQ(measure::checkFigures(still, ","), "B ajusté − prédit : -0,05° ± 0,03°");
    measure::TimeCheck dateWrong = late;
    dateWrong.clockErrorMinutes = -2575;
    dateWrong.clockErrorSigmaMinutes = 37;
    EXPECT_EQ(measure::checkFigures(dateWrong, ","),
        "B ajusté − prédit : +0,42° ± 0,10° ≈ -42,9 h ± 0,7 h d'horloge");
}

TEST(EphemerisModel, TakesBAndItsUncertaintyFromTheDate)
{
    measure::MoonModel m = disc(20);
    m.b = 3;
    m.litSign = -1;
    m.covariance.emplace();
    for (auto &row : *m.covariance)
        row.fill(0.01L);
    const auto placed = [&](real minutes) {
        return measure::placePhotograph(m,
            {measure::julianDay(2026, 3, 24, 20, 0, 0),
                minutes,
                measure::ObserverPlace{48.85L, 2.35L, 35}},
            measure::Mirroring::Direct);
    };
    const measure::MoonModel clock = measure::ephemerisModel(placed(1));
    EXPECT_EQ(clock.b, measure::terminatorPrediction(placed(1).ephemeris, -1).b);
    EXPECT_EQ(clock.centreX, m.centreX);
    // The ephemeris alone is good to 0.02°; half an hour of doubt moves B by a quarter degree.
    EXPECT_GT(clock.bSigma, 0.02L);
    EXPECT_LT(clock.bSigma, 0.03L);
    EXPECT_GT(measure::ephemerisModel(placed(30)).bSigma, 0.2L);
    // B owes nothing to the disc's fit any more; the disc keeps its own covariance.
    ASSERT_TRUE(clock.covariance);
    EXPECT_EQ((*clock.covariance)[4][4], clock.bSigma * clock.bSigma);
    EXPECT_EQ((*clock.covariance)[0][4], 0);
    EXPECT_EQ((*clock.covariance)[4][2], 0);
    EXPECT_EQ((*clock.covariance)[1][2], 0.01L);
}

TEST(PointerReading, CarriesEachUncertaintyItsOwnWay)
{
    const measure::MoonModel m = disc(20);
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
            "12,3° S  45,7° O : Soleil à 5,2° ± 0,4°"},
        {measure::PointerReading{{0.04L, 120.01L}, -1.27L, 0.1L, 0, 0, 0},
            "0,0° N  120,0° E : Soleil à -1,3° ± 0,1°"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(measure::readingText(r.reading, ","), r.text);
}
} // namespace
