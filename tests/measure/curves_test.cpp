#include "cusps.h"
#include "measure/curves.h"
#include "measure/limb.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace measure {
// Found by GoogleTest through argument-dependent lookup.
void PrintTo(const PixelPoint &p, std::ostream *os)
{
    *os << '(' << p.x << ", " << p.y << ')';
}
} // namespace measure

namespace {

using measure::PixelPoint;
using measure::Polyline;
using measure::TMesureState;

TMesureState traced(int x1, int y1, int x2, int y2)
{
    TMesureState state = withCusps(x1, y1, x2, y2);
    measure::tracearc(state);
    return state;
}

struct Sample {
    int index;
    PixelPoint at;
};

struct CurveCase {
    std::string name;
    int x1, y1, x2, y2;
    int b;
    int h; // unused for the terminator
    std::vector<Sample> samples;
};

void PrintTo(const CurveCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string caseName(const testing::TestParamInfo<CurveCase> &info)
{
    return info.param.name;
}

void expectSamples(const Polyline &curve, const std::vector<Sample> &samples)
{
    ASSERT_EQ(curve.size(), 101u);
    for (const Sample &s : samples)
        EXPECT_EQ(curve[static_cast<std::size_t>(s.index)], s.at) << "sample " << s.index;
}

class Terminator : public testing::TestWithParam<CurveCase> { };

TEST_P(Terminator, Samples)
{
    const CurveCase &c = GetParam();
    TMesureState state = traced(c.x1, c.y1, c.x2, c.y2);
    expectSamples(measure::terminator(state, c.b), c.samples);
}

INSTANTIATE_TEST_SUITE_P(Cusps,
    Terminator,
    testing::Values(CurveCase{"Horizontal_B30",
                        100,
                        200,
                        300,
                        200,
                        30,
                        0,
                        {{0, {300, 200}},
                            {25, {271, 235}},
                            {50, {200, 250}},
                            {75, {129, 235}},
                            {100, {100, 200}}}},
        CurveCase{"Horizontal_B0",
            100,
            200,
            300,
            200,
            0,
            0,
            {{0, {300, 200}}, {25, {271, 200}}, {50, {200, 200}}, {100, {100, 200}}}},
        CurveCase{"Horizontal_B90",
            100,
            200,
            300,
            200,
            90,
            0,
            {{0, {300, 200}}, {50, {200, 300}}, {100, {100, 200}}}},
        CurveCase{"Horizontal_Bminus90",
            100,
            200,
            300,
            200,
            -90,
            0,
            {{0, {300, 200}}, {50, {200, 100}}, {100, {100, 200}}}},
        CurveCase{"Tilted_B40",
            120,
            300,
            280,
            180,
            40,
            0,
            {{0, {280, 180}}, {50, {239, 291}}, {100, {120, 300}}}},
        // Traced with cusp 1 on the right: the arcsine ignores the sign of cx, so the ends
        // are the mirror images of the cusps about the vertical through the centre.
        CurveCase{"Mirrored_B30", 300, 200, 100, 250, 30, 0, {{0, {300, 250}}, {100, {100, 200}}}},
        // Pixels that fall within rounding of a half: they move when theta, or P and Q, are kept
        // at 80 bits instead of 64.
        CurveCase{"ThetaKeptAsDouble", 100, 200, 300, 101, -90, 0, {{50, {151, 50}}}},
        CurveCase{"SampleKeptAsDouble", 100, 200, 300, 101, 90, 0, {{50, {249, 251}}}}),
    caseName);

TEST(Terminator, SetsTheSemiAxes)
{
    TMesureState state = traced(100, 200, 300, 200);
    (void)measure::terminator(state, 30);
    EXPECT_EQ(state.axea, 100.0f);
    EXPECT_NEAR(state.axeb, 50.0f, 1e-5f);
    (void)measure::terminator(state, -30);
    EXPECT_NEAR(state.axeb, -50.0f, 1e-5f);
}

TEST(Terminator, ShiftedByTheNudges)
{
    TMesureState state = traced(100, 200, 300, 200);
    measure::nudge(state, 3, -2);
    const Polyline curve = measure::terminator(state, 30);
    EXPECT_EQ(curve[0], (PixelPoint{303, 198}));
    EXPECT_EQ(curve[50], (PixelPoint{203, 248}));
}

TEST(Terminator, Plus90AndMinus90AreTheHalvesOfTheLimb)
{
    TMesureState state = traced(100, 200, 300, 200);
    for (int b : {90, -90}) {
        for (const PixelPoint &p : measure::terminator(state, b)) {
            const double distance = std::hypot(p.x - 200.0, p.y - 200.0);
            EXPECT_NEAR(distance, 100.0, 0.75) << b;
            EXPECT_TRUE(b > 0 ? p.y >= 200 : p.y <= 200) << b;
        }
    }
}

class IsoElevation : public testing::TestWithParam<CurveCase> { };

TEST_P(IsoElevation, Samples)
{
    const CurveCase &c = GetParam();
    TMesureState state = traced(c.x1, c.y1, c.x2, c.y2);
    (void)measure::terminator(state, c.b);
    expectSamples(measure::isoElevation(state, c.b, c.h), c.samples);
}

INSTANTIATE_TEST_SUITE_P(Cusps,
    IsoElevation,
    testing::Values(
        // h = 0 is the whole terminator ellipse.
        CurveCase{"Horizontal_B30_h0",
            100,
            200,
            300,
            200,
            30,
            0,
            {{0, {300, 200}},
                {25, {200, 250}},
                {50, {100, 200}},
                {75, {200, 150}},
                {100, {300, 200}}}},
        // h = B passes through the centre of the disc.
        CurveCase{"Horizontal_B30_h30",
            100,
            200,
            300,
            200,
            30,
            30,
            {{0, {287, 157}},
                {25, {200, 200}},
                {50, {113, 157}},
                {75, {200, 113}},
                {100, {287, 157}}}},
        CurveCase{"Tilted_B40_h20",
            120,
            300,
            280,
            180,
            40,
            20,
            {{0, {259, 163}}, {25, {221, 267}}, {50, {109, 275}}, {75, {148, 171}}}},
        // Pixels that move when the sample angle t is kept at 80 bits, or q at 64 bits instead
        // of 32.
        CurveCase{"AngleKeptAsDouble", 100, 200, 300, 101, 0, 0, {{75, {200, 151}}}},
        CurveCase{"RatioKeptAsFloat", 100, 200, 300, 100, 45, -24, {{25, {247, 243}}}}),
    caseName);

TEST(IsoElevation, Plus90AndMinus90ShrinkToOnePixel)
{
    TMesureState state = traced(100, 200, 300, 200);
    for (int b : {30, 0, -45}) {
        (void)measure::terminator(state, b);
        for (int h : {90, -90}) {
            const Polyline curve = measure::isoElevation(state, b, h);
            ASSERT_EQ(curve.size(), 101u);
            for (const PixelPoint &p : curve)
                EXPECT_EQ(p, curve[0]) << "B " << b << " h " << h;
        }
    }
}

// A radius of 0 fails in the division cy / 2r, after the semi-axes were set.
struct FailureCase {
    std::string name;
    int x1, y1, x2, y2;
    const char *message;
};

void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name;
}

class ZeroRadius : public testing::TestWithParam<FailureCase> { };

TEST_P(ZeroRadius, FailsAfterSettingTheSemiAxes)
{
    const FailureCase &c = GetParam();
    TMesureState state = traced(100, 200, 300, 200);
    (void)measure::terminator(state, 30);
    state.ptx[1] = static_cast<float>(c.x1);
    state.pty[1] = static_cast<float>(c.y1);
    state.ptx[2] = static_cast<float>(c.x2);
    state.pty[2] = static_cast<float>(c.y2);
    measure::tracearc(state);
    ASSERT_EQ(state.rayon, 0);
    try {
        (void)measure::terminator(state, 30);
        FAIL() << "no failure";
    } catch (const measure::Failure &f) {
        EXPECT_STREQ(f.what(), c.message);
    }
    EXPECT_EQ(state.axea, 0.0f);
    EXPECT_EQ(state.axeb, 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Cusps,
    ZeroRadius,
    testing::Values(FailureCase{"SamePoint", 200, 100, 200, 100, measure::kInvalidOperation},
        FailureCase{"OnePixelAcross", 200, 100, 201, 100, measure::kInvalidOperation},
        FailureCase{"OnePixelDown", 200, 100, 200, 101, measure::kDivisionByZero},
        FailureCase{"OnePixelUp", 200, 101, 200, 100, measure::kDivisionByZero}),
    [](const testing::TestParamInfo<FailureCase> &tc) { return tc.param.name; });

// A vertical chord of 4k + 1 pixels has the even radius 2k below its half-length; the cusp line
// is still vertical, so both curves are drawn with a tilt of +-90 degrees.
struct VerticalCase {
    int y1, y2;
    PixelPoint first;
    PixelPoint last;
};

class RoundedVerticalChord : public testing::TestWithParam<VerticalCase> { };

TEST_P(RoundedVerticalChord, DrawsBothCurves)
{
    const VerticalCase &c = GetParam();
    TMesureState state = traced(200, c.y1, 200, c.y2);
    const Polyline red = measure::terminator(state, 30);
    EXPECT_EQ(red.front(), c.first);
    EXPECT_EQ(red.back(), c.last);
    const Polyline cyan = measure::isoElevation(state, 30, 0);
    EXPECT_EQ(cyan.front(), c.first);
}

INSTANTIATE_TEST_SUITE_P(Chords,
    RoundedVerticalChord,
    testing::Values(VerticalCase{100, 105, {200, 104}, {200, 100}},
        VerticalCase{105, 100, {200, 100}, {200, 104}},
        VerticalCase{100, 109, {200, 108}, {200, 100}},
        VerticalCase{100, 301, {200, 300}, {200, 100}}));

TEST(RoundedVerticalChord, OtherOverlongChordsStillFail)
{
    // Not a state tracing can produce: the chord exceeds the diameter by more than the rounding.
    TMesureState state = traced(200, 100, 200, 105);
    state.cordey = 7;
    EXPECT_THROW((void)measure::terminator(state, 30), measure::Failure);
    EXPECT_THROW((void)measure::isoElevation(state, 30, 10), measure::Failure);
}

} // namespace
