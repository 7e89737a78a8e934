// Synthetic photographs drawn for a date, a time and a place, turned and mirrored on the
// picture as a camera or a star diagonal would, with the maria painted where they are: the
// photograph placed back on the Moon must find the features, the mirror and the clock.
#include "measure/numeric.h"
#include "measure/placement.h"
#include "tests/synth/synthmoon.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>

namespace {

using measure::real;

double d(real v)
{
    return static_cast<double>(v);
}

real sinD(real v)
{
    return std::sin(measure::degreesToRadians(v));
}

real cosD(real v)
{
    return std::cos(measure::degreesToRadians(v));
}

struct Feature {
    const char *name;
    measure::SelenographicPoint at;
};

const Feature kFeatures[] = {{"Copernicus", {9.62L, -20.08L}},
    {"Tycho", {-43.30L, -11.22L}},
    {"Plato", {51.62L, -9.38L}},
    {"Kepler", {8.12L, -38.01L}},
    {"Aristarchus", {23.73L, -47.49L}},
    {"Langrenus", {-8.86L, 61.04L}},
    {"Petavius", {-25.39L, 60.78L}},
    {"Theophilus", {-11.45L, 26.28L}},
    {"Posidonius", {31.88L, 29.99L}},
    {"Grimaldi", {-5.38L, -68.36L}}};

real arcBetween(const measure::SelenographicPoint &a, const measure::SelenographicPoint &b)
{
    return measure::radiansToDegrees(std::acos(std::min(real(1),
        sinD(a.latitude) * sinD(b.latitude)
            + cosD(a.latitude) * cosD(b.latitude) * cosD(a.longitude - b.longitude))));
}

const char *nearestName(const measure::SelenographicPoint &p)
{
    const Feature *best = &kFeatures[0];
    for (const Feature &f : kFeatures)
        if (arcBetween(p, f.at) < arcBetween(p, best->at))
            best = &f;
    return best->name;
}

const measure::ObserverPlace kParis{48.85L, 2.35L, 35};
const measure::ObserverPlace kSantiago{-33.45L, -70.66L, 570};

struct PhotoCase {
    const char *name;
    int month, day, hour;
    measure::ObserverPlace takenAt;
    bool placeGiven;
    real northAngle;
    bool mirrored;
    /// The photograph is drawn this many minutes after the time it is placed for.
    real clockMinutes;
    measure::Mirroring asked;
    measure::TimeVerdict verdict;
    /// The maria painted where they are; otherwise dark patches anywhere, which must decide
    /// nothing.
    bool maria = true;
};

using M = measure::Mirroring;
using V = measure::TimeVerdict;
const PhotoCase kCases[] = {
    {"GibbousDirect", 3, 28, 21, kParis, true, 200, false, 0, M::Automatic, V::Agrees},
    {"CrescentMirrored", 3, 23, 19, kParis, true, 35, true, 0, M::Automatic, V::Agrees},
    {"ClockLate20min", 3, 25, 20, kParis, true, 310, false, 20, M::Automatic, V::ClockOff},
    {"MirrorDenied", 4, 7, 6, kSantiago, true, 150, true, 0, M::Direct, V::MirrorSuspected},
    {"PlaceUnknown", 3, 28, 21, kParis, false, 75, false, 0, M::Automatic, V::Agrees},
    {"PatchesNotMaria", 3, 28, 21, kParis, true, 200, false, 0, M::Automatic, V::Agrees, false}};

// The picture's axes for west and north, written out afresh: the truth the placing must find.
struct Truth {
    measure::MoonEphemeris moon;
    real westX, westY, northX, northY;

    [[nodiscard]] measure::PicturePoint pixel(const synth::Scene &s, const measure::Vec3 &v) const
    {
        return {s.centreX + s.radius * (v.x * westX + v.y * northX),
            s.centreY + s.radius * (v.x * westY + v.y * northY)};
    }
};

Truth truthOf(const PhotoCase &c, real julianDay)
{
    const real a = c.northAngle, w = c.mirrored ? -1 : 1;
    return {measure::moonEphemeris(measure::apparentPlaces(julianDay, c.takenAt)),
        w * cosD(a),
        w * sinD(a),
        sinD(a),
        -cosD(a)};
}

synth::Scene sceneOf(const Truth &t, bool maria)
{
    synth::Scene s;
    s.width = s.height = 460;
    s.centreX = 230.3;
    s.centreY = 229.6;
    s.radius = 180;
    s.seas = maria ? 0 : 8;
    s.craters = 4;
    s.noise = 2;
    const measure::Vec3 sun =
        measure::skyDirection(t.moon.seen, {t.moon.subSolarLatitude, t.moon.subSolarLongitude});
    const real px = sun.x * t.westX + sun.y * t.northX;
    const real py = sun.x * t.westY + sun.y * t.northY;
    // The cusp line is square to the Sun's projection, cusp 1 on the left.
    const real theta = std::remainder(std::atan2(py, px) + measure::kPi / 2, measure::kPi);
    s.theta = static_cast<double>(theta);
    s.sun = {0, -std::sin(theta) * px + std::cos(theta) * py, sun.z};
    return s;
}

// The maria a little wider than the cores the placing looks for, and 40 % darker.
void paintMaria(synth::Photo &photo, const synth::Scene &s, const Truth &t)
{
    for (int j = 0; j < photo.height; ++j) {
        for (int i = 0; i < photo.width; ++i) {
            const real dx = (i - s.centreX) / s.radius, dy = (j - s.centreY) / s.radius;
            if (dx * dx + dy * dy >= 1)
                continue;
            const measure::Vec3 sky{dx * t.westX + dy * t.westY,
                dx * t.northX + dy * t.northY,
                std::sqrt(1 - dx * dx - dy * dy)};
            const measure::SelenographicPoint p = measure::selenographicPoint(t.moon.seen, sky);
            bool dark = false;
            for (const measure::MareCore &m : measure::mareCores())
                dark = dark || arcBetween(p, m.centre) < 1.3L * m.radius;
            std::uint8_t &level = photo.pixels[static_cast<std::size_t>(j * photo.width + i)];
            if (dark && level > s.sky)
                level = static_cast<std::uint8_t>(std::lround(s.sky + 0.6 * (level - s.sky)));
        }
    }
}

class PlacedPhotograph : public ::testing::TestWithParam<PhotoCase> { };

TEST_P(PlacedPhotograph, FindsFeaturesMirrorAndClock)
{
    const PhotoCase &c = GetParam();
    const real jd = measure::julianDay(2026, c.month, c.day, c.hour, 0, 0);
    const Truth truth = truthOf(c, jd + c.clockMinutes / 1440);
    const synth::Scene scene = sceneOf(truth, c.maria);
    synth::Photo photo = synth::render(scene);
    if (c.maria)
        paintMaria(photo, scene, truth);
    const measure::ImageView view{photo.width, photo.height, photo.width, photo.pixels.data()};

    measure::MoonModel model = synth::trueModel(scene);
    model.bSigma = 0.05L;
    const std::optional<measure::ObserverPlace> place =
        c.placeGiven ? std::optional(c.takenAt) : std::nullopt;
    const measure::Placement p = measure::placePhotograph(model, {jd, 1, place}, c.asked, view);
    const measure::TimeCheck check = measure::checkTime(p);
    std::printf("[placement] %-22s maria darker by %.2f direct, %.2f mirrored (%d/%d px) north "
                "%+.3f° dB %+.3f° ± %.3f "
                "clock %+.1f min\n",
        c.name,
        d(p.evidence.directContrast),
        d(p.evidence.mirroredContrast),
        p.evidence.mariaSamples,
        p.evidence.highlandSamples,
        d(std::remainder(p.orientation.northAngle - c.northAngle, real(360))),
        d(check.difference),
        d(check.differenceSigma),
        d(check.clockErrorMinutes.value_or(0)));

    ASSERT_EQ(p.evidence.mirrored, c.maria ? std::optional(c.mirrored) : std::nullopt);
    EXPECT_EQ(check.verdict, c.verdict);
    if (c.clockMinutes == 0) {
        // Without the place the prediction is the geocentric one, off by up to the parallax.
        EXPECT_LT(std::fabs(check.bPredicted - model.b),
            c.placeGiven ? 0.05L : 2 * check.differenceSigma);
    } else {
        ASSERT_TRUE(check.clockErrorMinutes);
        EXPECT_NEAR(d(*check.clockErrorMinutes), d(c.clockMinutes), 2);
    }
    // Told the picture is direct, the placing maps a mirrored one wrongly, as it must.
    if (p.orientation.mirrored != c.mirrored)
        return;
    real worst = 0;
    for (const Feature &f : kFeatures) {
        SCOPED_TRACE(f.name);
        const measure::PicturePoint pixel =
            truth.pixel(scene, measure::skyDirection(truth.moon.seen, f.at));
        const std::optional<measure::PointerReading> r = measure::readingAt(p, pixel);
        ASSERT_TRUE(r);
        EXPECT_STREQ(nearestName(r->point), f.name);
        // Without the place, the parallax may turn the Moon by up to a degree.
        const real tolerance = c.placeGiven ? 0.3L : 1.2L;
        worst = std::max(worst, arcBetween(r->point, f.at));
        EXPECT_LT(arcBetween(r->point, f.at), tolerance);
        if (c.clockMinutes == 0) {
            const real h = measure::sunElevation(truth.moon, f.at);
            EXPECT_LT(std::fabs(r->elevation - h), std::max(3 * r->elevationSigma, 0.05L));
        }
        const measure::OnPicture back = measure::pictureAt(p, f.at);
        EXPECT_TRUE(back.visible);
        EXPECT_LT(std::hypot(back.at.x - pixel.x, back.at.y - pixel.y),
            measure::degreesToRadians(tolerance) * scene.radius);
    }
    std::printf("[placement] %-22s ten features within %.3f°\n", c.name, d(worst));
}

INSTANTIATE_TEST_SUITE_P(Moons,
    PlacedPhotograph,
    ::testing::ValuesIn(kCases),
    [](const testing::TestParamInfo<PhotoCase> &tc) { return std::string(tc.param.name); });

} // namespace
