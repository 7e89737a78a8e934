#include "cusps.h"
#include "measure/elevation.h"
#include "measure/limb.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace {

measure::MoonModel modelOf(int x1, int y1, int x2, int y2, measure::real b, int litSign = 1)
{
    measure::TMesureState state = withCusps(x1, y1, x2, y2);
    measure::tracearc(state);
    measure::MoonModel model = measure::moonModel(state, b);
    model.litSign = litSign;
    return model;
}

struct PointCase {
    int x1, y1, x2, y2;
    int b;
    int litSign;
    int x, y;
    double degrees;
};

class ElevationAt : public ::testing::TestWithParam<PointCase> { };

// Cusps (100, 200) and (300, 200): the centre (200, 200), the Sun straight above the cusp
// line's normal for B = 0, towards the viewer for B > 0 and litSign 1.
TEST_P(ElevationAt, ReadsTheSunsElevationWithTheSignOfTheLitSide)
{
    const PointCase &c = GetParam();
    const auto elevation =
        measure::elevationAt(modelOf(c.x1, c.y1, c.x2, c.y2, c.b, c.litSign), c.x, c.y);
    ASSERT_TRUE(elevation);
    EXPECT_NEAR(static_cast<double>(elevation->degrees), c.degrees, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Points,
    ElevationAt,
    ::testing::Values(PointCase{100, 200, 300, 200, 0, 1, 200, 200, 0},
        PointCase{100, 200, 300, 200, 30, 1, 200, 200, 30},
        PointCase{100, 200, 300, 200, 30, -1, 200, 200, -30},
        // Half-way up the normal: the point is 30° from the centre towards the Sun.
        PointCase{100, 200, 300, 200, 0, 1, 200, 150, 30},
        PointCase{100, 200, 300, 200, 0, -1, 200, 150, -30},
        // The terminator drawn for B = 30 passes (200, 250): elevation 0 there.
        PointCase{100, 200, 300, 200, 30, 1, 200, 250, 0},
        // A tilted chord (θ = −36.87°): the centre (200, 240) is at h = B.
        PointCase{120, 300, 280, 180, 40, 1, 200, 240, 40}));

TEST(ElevationAt, NothingOffTheDisc)
{
    const measure::MoonModel model = modelOf(100, 200, 300, 200, 30);
    EXPECT_FALSE(measure::elevationAt(model, 200, 301));
    EXPECT_FALSE(measure::elevationAt(model, 30, 30));
    EXPECT_TRUE(measure::elevationAt(model, 200, 300));
}

// The uncertainty is the quadrature of each input's effect: checked against the changes of
// the elevation when the inputs are moved one at a time, by central differences.
TEST(ElevationAt, UncertaintyPropagatesEachInput)
{
    measure::MoonModel model = modelOf(120, 300, 280, 180, 40, -1);
    model.bSigma = 0.3L;
    for (const auto &[x, y] : {std::pair{200, 240}, {150, 260}, {260, 201}, {210, 320}}) {
        const auto degreesWith = [&](measure::MoonModel changed) {
            return static_cast<double>(measure::elevationAt(changed, x, y)->degrees);
        };
        const auto effect = [&](measure::real measure::MoonModel::*field, measure::real step) {
            measure::MoonModel plus = model, minus = model;
            plus.*field += step * 1e-4L;
            minus.*field -= step * 1e-4L;
            return (degreesWith(plus) - degreesWith(minus)) / 2e-4;
        };
        const double sum = std::pow(effect(&measure::MoonModel::b, model.bSigma), 2)
            + std::pow(effect(&measure::MoonModel::centreX, 0.5L), 2)
            + std::pow(effect(&measure::MoonModel::centreY, 0.5L), 2)
            + std::pow(effect(&measure::MoonModel::radius, 0.5L), 2)
            + std::pow(effect(&measure::MoonModel::theta, 0.5L / model.radius), 2);
        const auto elevation = measure::elevationAt(model, x, y);
        ASSERT_TRUE(elevation);
        // The arcsine is taken of the interval, not multiplied by its slope: a few thousandths.
        EXPECT_NEAR(static_cast<double>(elevation->sigma), std::sqrt(sum), 1e-2 * std::sqrt(sum))
            << x << "," << y;
    }
}

TEST(ElevationAt, UncertaintyStaysFiniteAtTheSubSolarPointAndOnTheLimb)
{
    // B = 90: the Sun behind the viewer, the disc centre is the sub-solar point.
    const measure::MoonModel full = modelOf(100, 200, 300, 200, 90);
    const auto top = measure::elevationAt(full, 200, 200);
    ASSERT_TRUE(top);
    EXPECT_NEAR(static_cast<double>(top->degrees), 90, 1e-6);
    EXPECT_TRUE(std::isfinite(static_cast<double>(top->sigma)));
    const auto limb = measure::elevationAt(full, 300, 200);
    ASSERT_TRUE(limb);
    EXPECT_TRUE(std::isfinite(static_cast<double>(limb->sigma)));
    EXPECT_GT(static_cast<double>(limb->sigma), 1);
}

struct TextCase {
    double degrees;
    double sigma;
    const char *separator;
    const char *text;
};

class ElevationText : public ::testing::TestWithParam<TextCase> { };

TEST_P(ElevationText, OneDecimalAndAnUncertaintyNeverRoundedDown)
{
    const TextCase &c = GetParam();
    EXPECT_EQ(measure::elevationText(measure::Elevation{c.degrees, c.sigma}, c.separator), c.text);
}

INSTANTIATE_TEST_SUITE_P(Texts,
    ElevationText,
    ::testing::Values(TextCase{12.34, 0.4, ",", "12,3° ± 0,4°"},
        TextCase{12.34, 0.41, ",", "12,3° ± 0,5°"},
        TextCase{12.34, 0.4000001, ",", "12,3° ± 0,4°"},
        TextCase{-5.25, 1.2, ",", "-5,2° ± 1,2°"},
        TextCase{-5.36, 1.2, ".", "-5.4° ± 1.2°"},
        TextCase{-0.04, 0.01, ",", "0,0° ± 0,1°"},
        TextCase{89.96, 0, ",", "90,0° ± 0,1°"},
        TextCase{3, 12.5, ",", "3,0° ± 12,5°"}));

TEST(ElevationText, OffTheDisc)
{
    EXPECT_EQ(measure::elevationText(std::nullopt, ","), "hors du disque");
}

} // namespace
