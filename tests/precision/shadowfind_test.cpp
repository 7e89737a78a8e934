// Summits and shadow ends found on realistic synthetic photographs (lunar photometry, seeing
// blur on the light, a camera's tone curve, grain, JPEG) from clicks up to 1.5 px off, and the
// heights they give against the truth the generator casts.
#include "measure/shadowfind.h"
#include "tests/synth/synthmoon.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

using measure::real;
using Shape = synth::Mountain::Shape;

constexpr double kDegree = M_PI / 180;

struct Case {
    const char *name;
    Shape shape;
    double heightKm;
    double sunDeg;
    double discPx;
    /// Where the foot stands: along the cusp line (radii) and round from the disc's centre
    /// line, degrees; the tilt of the cusp line and the lit side.
    double along;
    double roundDeg;
    double thetaDeg;
    int litSign;
    /// Ridge: crest from the cusp line, radians.
    double crest;
    double blurFwhm;
    int jpeg;
    bool colour;
};

const Case kCases[] = {
    {"cone 1.5 km 2.5°", Shape::Cone, 1.5, 2.5, 800, 0.1, 10, 0, 1, 0, 2, 90, false},
    {"ridge 1.5 km 2.5°", Shape::Ridge, 1.5, 2.5, 600, -0.2, -20, 15, -1, 0, 1.5, 90, false},
    {"cone 3 km 4°", Shape::Cone, 3, 4, 1000, 0.3, 30, -30, 1, 0, 2.5, 85, true},
    {"ridge 3 km 5°", Shape::Ridge, 3, 5, 800, 0, 0, 40, 1, 0, 2, 90, false},
    {"cone 7 km 6°", Shape::Cone, 7, 6, 600, -0.4, 40, 0, -1, 0, 3, 90, false},
    {"ridge 7 km 8°", Shape::Ridge, 7, 8, 500, 0.2, -35, -50, 1, 0, 2, 95, true},
    {"cone 5 km 10°", Shape::Cone, 5, 10, 1200, 0.5, 15, 20, 1, 0, 1.5, 90, false},
    {"ridge 5 km 12°", Shape::Ridge, 5, 12, 1500, -0.1, 50, 0, -1, 0, 2.5, 90, false},
    {"cone 1.5 km 6°", Shape::Cone, 1.5, 6, 1500, 0, -10, 10, 1, 0, 2, 90, false},
    {"ridge 2 km 8°", Shape::Ridge, 2, 8, 1000, 0.3, 20, -15, 1, 0, 2, 90, false},
    {"oblique ridge 3 km 6°", Shape::Ridge, 3, 6, 1000, -0.3, 5, 25, -1, 0.6, 2, 90, false},
    {"cone 6 km 12°", Shape::Cone, 6, 12, 1000, 0.2, -45, -40, 1, 0, 2.5, 90, true},
    {"ridge 3 km 3.5°", Shape::Ridge, 3, 3.5, 500, 0, 25, 5, 1, 0, 1.5, 90, false},
    {"cone 2.5 km 9°", Shape::Cone, 2.5, 9, 700, -0.5, 0, 0, -1, 0, 2, 90, false},
    {"cone 2 km 15°", Shape::Cone, 2, 15, 1500, 0.1, 30, 60, 1, 0, 1.5, 90, false},
    {"cone 4 km 15°", Shape::Cone, 4, 15, 800, 0.4, -20, 0, 1, 0, 2, 90, false},
};

struct Shot {
    synth::Scene scene;
    synth::Mountain mountain;
    synth::ShadowTruth truth;
    synth::Photo photo;
};

Shot shoot(const Case &c)
{
    Shot shot;
    const double rho = std::sqrt(1 - c.along * c.along);
    const measure::Vec3 foot{
        c.along, rho * std::sin(c.roundDeg * kDegree), rho * std::cos(c.roundDeg * kDegree)};
    synth::Mountain &m = shot.mountain;
    m.shape = c.shape;
    m.base = foot;
    m.heightKm = c.heightKm;
    // Flanks twice as steep as the Sun is high: the shadow reaches well past the foot.
    m.radiusKm = 0.5 * c.heightKm / std::tan(c.sunDeg * kDegree);
    m.halfLengthKm = c.shape == Shape::Ridge ? 30 : 0;
    m.crestAngle = c.crest;
    synth::Scene &s = shot.scene;
    s.radius = c.discPx;
    s.theta = c.thetaDeg * kDegree;
    s.sun = synth::sunAbove(foot, c.sunDeg, c.litSign);
    s.gamma = 2.2;
    s.photometry = synth::Scene::Photometry::LunarLambert;
    s.sunRadius = 0.27;
    s.blurFwhm = c.blurFwhm;
    s.jpegQuality = c.jpeg;
    s.colour = c.colour;
    s.seas = s.craters = 0;
    s.mountains = {m};
    s.centreX = s.centreY = 0;
    synth::ShadowTruth t = synth::shadowOf(s, m);
    // A window about the shadow; the disc lies wherever it lies.
    const double length = std::hypot(double(t.end.x - t.top.x), double(t.end.y - t.top.y));
    s.width = s.height = static_cast<int>(2 * length) + 120;
    s.centreX = s.width / 2.0 - double(t.top.x + t.end.x) / 2 + 0.3;
    s.centreY = s.height / 2.0 - double(t.top.y + t.end.y) / 2 + 0.2;
    shot.truth = synth::shadowOf(s, m);
    shot.photo = synth::render(s);
    return shot;
}

// Clicks scattered up to 1.5 px from the truth, the same on every run.
measure::PicturePoint misclick(measure::PicturePoint truth, unsigned k)
{
    const double angle = 2.39996 * k;
    const double reach = 1.5 * std::fmod(0.618034 * (k + 1), 1.0);
    return {truth.x + real(reach * std::cos(angle)), truth.y + real(reach * std::sin(angle))};
}

double miss(measure::PicturePoint a, measure::PicturePoint b)
{
    return std::hypot(double(a.x - b.x), double(a.y - b.y));
}

// How far `a` lies from `b` along the shadow, the way that sets its length.
double missAlong(measure::PicturePoint a, measure::PicturePoint b, const synth::ShadowTruth &t)
{
    const double length = miss(t.top, t.end);
    return (double(a.x - b.x) * double(t.top.x - t.end.x)
               + double(a.y - b.y) * double(t.top.y - t.end.y))
        / length;
}

TEST(ShadowFind, HeightsFromTheEndsFoundOnThePhotograph)
{
    int total = 0, covered = 0, found = 0, longOnes = 0, longFound = 0, longWithin = 0;
    std::printf("%-22s %5s %6s %6s %5s %6s %6s %5s %5s %8s\n",
        "case",
        "len",
        "true m",
        "m",
        "± m",
        "err %",
        "err/±",
        "top",
        "end",
        "clicks %");
    unsigned k = 0;
    for (const Case &c : kCases) {
        const Shot shot = shoot(c);
        ASSERT_TRUE(shot.truth.falls) << c.name;
        const measure::MoonModel model = synth::trueModel(shot.scene);
        const measure::PicturePoint top = misclick(shot.truth.top, k++);
        const measure::PicturePoint end = misclick(shot.truth.end, k++);
        const measure::ShadowEnds ends =
            measure::findShadowEnds(synth::viewOf(shot.photo), model, top, end);
        // The true circle and B: the ± is the ends' own.
        const measure::ShadowMeasure h = measure::measureRefinedShadow(model, ends, 0);
        const measure::ShadowMeasure clicked = measure::measureShadow(model, top, end);
        ASSERT_EQ(h.reason, measure::ShadowReason::None) << c.name;
        const double truth = c.heightKm * 1000, value = double(h.height.value);
        const double sigma = double(h.height.sigma), error = (value - truth) / truth * 100;
        const double length = miss(shot.truth.top, shot.truth.end);
        std::printf("%-22s %5.1f %6.0f %6.0f %5.0f %6.2f %6.2f %5.2f %5.2f %8.1f%s\n",
            c.name,
            length,
            truth,
            value,
            sigma,
            error,
            (value - truth) / sigma,
            missAlong(ends.top.point, shot.truth.top, shot.truth),
            missAlong(ends.end.point, shot.truth.end, shot.truth),
            (double(clicked.height.value) - truth) / truth * 100,
            ends.found() ? "" : " (clicks)");
        ++total;
        found += ends.found();
        covered += std::fabs(value - truth) <= sigma;
        if (length >= 8) {
            ++longOnes;
            longWithin += std::fabs(error) <= 5;
            longFound += ends.found();
        }
    }
    std::printf("found %d of %d, covered %d of %d, %d of %d shadows of 8 px or more within 5 %%\n",
        found,
        total,
        covered,
        total,
        longWithin,
        longOnes);
    // A summit of a few pixels may show no edge the fit trusts: its click then stands.
    EXPECT_EQ(longFound, longOnes);
    EXPECT_GE(covered * 10, total * 9);
    EXPECT_EQ(longWithin, longOnes);
}

} // namespace
