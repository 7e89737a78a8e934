#include "measure/shadowfind.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

using measure::real;

// A disc centred on a 120 × 120 picture with the Sun straight down the picture (B = 0): every
// shadow runs along y.
measure::MoonModel model()
{
    measure::MoonModel m;
    m.centreX = m.centreY = 60;
    m.radius = 1000;
    m.b = 0;
    m.bSigma = 0;
    return m;
}

// Lit ground (light 100 before a 2.2 tone curve) with the dark band y < edge, blurred by a
// Gaussian of 1 px, over a black point of 8: a ridge's end square to the Sun.
std::vector<std::uint8_t> bandPixels(double edge, bool band)
{
    std::vector<std::uint8_t> pixels(120 * 120);
    for (int j = 0; j < 120; ++j)
        for (int i = 0; i < 120; ++i) {
            const double lit = band ? 0.5 * std::erfc((edge - j) / std::sqrt(2.0)) : 1;
            pixels[static_cast<std::size_t>(j * 120 + i)] = static_cast<std::uint8_t>(
                std::lround(8 + 255 * std::pow(lit * 100 / 255, 1 / 2.2)));
        }
    return pixels;
}

struct FindCase {
    const char *name;
    bool empty;
    bool band;
    /// The blur the limb measured, 0 for none: the fit then measures it on the edge.
    real blur;
    measure::EdgeOutcome outcome;
};

class FindEnd : public testing::TestWithParam<FindCase> { };

TEST_P(FindEnd, FoundOnlyWhereThePhotographShowsAnEdge)
{
    const FindCase &c = GetParam();
    const std::vector<std::uint8_t> pixels = bandPixels(70.3, c.band);
    measure::ImageView image{120, 120, 120, c.empty ? nullptr : pixels.data()};
    const measure::PicturePoint top{60, 40};
    const measure::PicturePoint end{60.8, 71.2};
    const measure::ShadowEnds ends =
        measure::findShadowEnds(image, model(), top, end, {2.2L, c.blur});
    EXPECT_EQ(ends.end.outcome, c.outcome);
    if (c.outcome == measure::EdgeOutcome::Found) {
        // Where the light is half-way, not where the levels are.
        EXPECT_NEAR(static_cast<double>(ends.end.point.y), 70.3, 0.1);
        EXPECT_LT(ends.end.varY, 0.1);
        return;
    }
    // What the photograph does not confirm stays as clicked, with the clicks' own ±.
    EXPECT_EQ(ends.end.point.y, end.y);
    const measure::ShadowMeasure refined = measure::measureRefinedShadow(
        model(), {{measure::EdgeOutcome::NoEdge, top}, {measure::EdgeOutcome::NoEdge, end}});
    const measure::ShadowMeasure clicked = measure::measureShadow(model(), top, end);
    EXPECT_NEAR(
        static_cast<double>(refined.height.value), static_cast<double>(clicked.height.value), 1e-6);
    EXPECT_NEAR(
        static_cast<double>(refined.height.sigma), static_cast<double>(clicked.height.sigma), 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Photographs,
    FindEnd,
    testing::Values(FindCase{"straightEnd", false, true, 0, measure::EdgeOutcome::Found},
        FindCase{"straightEndBlurGiven", false, true, 1, measure::EdgeOutcome::Found},
        FindCase{"plainGround", false, false, 0, measure::EdgeOutcome::NoEdge},
        FindCase{"noPhotograph", true, true, 0, measure::EdgeOutcome::OffPicture}),
    [](const testing::TestParamInfo<FindCase> &tc) { return std::string(tc.param.name); });

} // namespace
