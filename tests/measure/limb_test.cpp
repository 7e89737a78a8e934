#include "cusps.h"
#include "measure/limb.h"

#include <gtest/gtest.h>

namespace {

using measure::Box;
using measure::TMesureState;

struct TraceCase {
    int x1, y1, x2, y2;
    int rayon;
    Box box;
    int cordex, cordey;
};

void PrintTo(const TraceCase &c, std::ostream *os)
{
    *os << '(' << c.x1 << ", " << c.y1 << ")-(" << c.x2 << ", " << c.y2 << ')';
}

class Trace : public testing::TestWithParam<TraceCase> { };

TEST_P(Trace, RadiusChordAndBox)
{
    const TraceCase &c = GetParam();
    TMesureState state = withCusps(c.x1, c.y1, c.x2, c.y2);
    measure::tracearc(state);
    EXPECT_EQ(state.rayon, c.rayon);
    EXPECT_EQ(state.cordex, c.cordex);
    EXPECT_EQ(state.cordey, c.cordey);
    EXPECT_EQ(measure::limbBox(state), c.box);
    EXPECT_EQ(state.boxright - state.boxleft, 2 * state.rayon);
    EXPECT_EQ(state.boxbottom - state.boxtop, 2 * state.rayon);
}

// Odd chords give half radii, which go to the even neighbour; a half midpoint moves both edges
// of its axis the same way.
INSTANTIATE_TEST_SUITE_P(Cusps,
    Trace,
    testing::Values(TraceCase{100, 200, 300, 200, 100, {100, 100, 300, 300}, 200, 0},
        TraceCase{10, 10, 15, 10, 2, {10, 8, 14, 12}, 5, 0},
        TraceCase{10, 10, 13, 10, 2, {10, 8, 14, 12}, 3, 0},
        TraceCase{10, 10, 17, 10, 4, {10, 6, 18, 14}, 7, 0},
        TraceCase{200, 100, 200, 105, 2, {198, 100, 202, 104}, 0, 5},
        TraceCase{200, 100, 200, 103, 2, {198, 100, 202, 104}, 0, 3},
        TraceCase{120, 300, 280, 180, 100, {100, 140, 300, 340}, 160, -120},
        TraceCase{300, 200, 100, 250, 103, {97, 122, 303, 328}, -200, 50},
        TraceCase{200, 100, 200, 100, 0, {200, 100, 200, 100}, 0, 0},
        TraceCase{200, 100, 201, 100, 0, {200, 100, 200, 100}, 1, 0},
        TraceCase{200, 100, 200, 101, 0, {200, 100, 200, 100}, 0, 1}));

TEST(Trace, IgnoresTheNudges)
{
    TMesureState state = withCusps(100, 200, 300, 200);
    measure::nudge(state, 5, -7);
    measure::tracearc(state);
    EXPECT_EQ(measure::limbBox(state), (Box{100, 100, 300, 300}));
    EXPECT_EQ(state.decalx, 5);
    EXPECT_EQ(state.decaly, -7);
}

TEST(RadiusText, DigitsThenPx)
{
    EXPECT_EQ(measure::radiusText(152), "152 px");
    EXPECT_EQ(measure::radiusText(0), "0 px");
}

TEST(PickCusp, SecondClickOrdersTheCuspsLeftToRight)
{
    TMesureState state;
    EXPECT_EQ(measure::pickCusp(state, 1, 100, 200), 2);
    EXPECT_EQ(measure::pickCusp(state, 2, 50, 230), 1);
    EXPECT_EQ(state.ptx[1], 50.0f);
    EXPECT_EQ(state.pty[1], 230.0f);
    EXPECT_EQ(state.ptx[2], 100.0f);
    EXPECT_EQ(state.pty[2], 200.0f);
}

TEST(PickCusp, EqualXKeepsTheClickOrder)
{
    TMesureState state;
    (void)measure::pickCusp(state, 1, 100, 300);
    (void)measure::pickCusp(state, 2, 100, 200);
    EXPECT_EQ(state.pty[1], 300.0f);
    EXPECT_EQ(state.pty[2], 200.0f);
}

TEST(PickCusp, NewFirstCuspIsNotOrderedAgainstTheOldSecond)
{
    TMesureState state;
    (void)measure::pickCusp(state, 1, 100, 200);
    (void)measure::pickCusp(state, 2, 300, 200);
    measure::tracearc(state);
    EXPECT_EQ(measure::pickCusp(state, 1, 400, 250), 2);
    EXPECT_EQ(state.rayon, 100); // unchanged until the next trace
    measure::tracearc(state);
    EXPECT_EQ(state.cordex, -100);
}

TEST(MarkerBox, RingOfTwoPixelsAroundTheClick)
{
    EXPECT_EQ(measure::markerBox(100, 200), (Box{98, 198, 102, 202}));
}

TEST(Nudge, MovesTheBoxAndAccumulates)
{
    TMesureState state = withCusps(100, 200, 300, 200);
    measure::tracearc(state);
    for (int i = 0; i < 3; ++i)
        measure::nudge(state, 0, -1);
    measure::nudge(state, 1, 0);
    EXPECT_EQ(state.decaly, -3);
    EXPECT_EQ(state.decalx, 1);
    EXPECT_EQ(measure::limbBox(state), (Box{101, 97, 301, 297}));
}

} // namespace
