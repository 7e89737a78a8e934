// The limb fit's outcomes on drawn discs: found from a start off by half a radius, refused
// where no limb can be fitted.
#include "measure/limbfit.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Drawing {
    int size = 400;
    double x = 201.3, y = 197.6, radius = 120;
    /// The terminator as a straight line through the centre, lit on the right; a half Moon.
    bool half = true;
    bool disc = true;
};

// Light 200 on the lit part, 4 on the sky, averaged over 4 × 4 points of each pixel, then
// encoded with γ = 2.2.
std::vector<std::uint8_t> draw(const Drawing &d)
{
    std::vector<std::uint8_t> pixels(std::size_t(d.size) * std::size_t(d.size));
    for (int j = 0; j < d.size; ++j)
        for (int i = 0; i < d.size; ++i) {
            double light = 0;
            for (int s = 0; s < 16; ++s) {
                const double px = i + (s % 4 + 0.5) / 4 - 0.5 - d.x;
                const double py = j + (s / 4 + 0.5) / 4 - 0.5 - d.y;
                const bool lit = d.disc && std::hypot(px, py) < d.radius && (!d.half || px > 0);
                light += (lit ? 200.0 : 4.0) / 16;
            }
            pixels[std::size_t(j) * std::size_t(d.size) + std::size_t(i)] =
                static_cast<std::uint8_t>(std::lround(255 * std::pow(light / 255, 1 / 2.2)));
        }
    return pixels;
}

struct LimbCase {
    std::string name;
    Drawing drawing;
    /// The start disc relative to the true one: centre shift in radii, radius factor.
    double shiftX = 0, shiftY = 0, scale = 1;
    measure::LimbFit::Outcome outcome = measure::LimbFit::Outcome::Fitted;
};

void PrintTo(const LimbCase &c, std::ostream *os)
{
    *os << c.name;
}

class LimbOutcomes : public ::testing::TestWithParam<LimbCase> { };

TEST_P(LimbOutcomes, FitsOrRefuses)
{
    const LimbCase &c = GetParam();
    const Drawing &d = c.drawing;
    const std::vector<std::uint8_t> pixels = draw(d);
    const measure::ImageView view{
        d.size, d.size, d.size, pixels.data(), measure::ImageView::Format::Grey8};
    const measure::LimbFit fit = measure::fitLimb(
        view, {d.x + c.shiftX * d.radius, d.y + c.shiftY * d.radius, d.radius * c.scale});
    ASSERT_EQ(fit.outcome, c.outcome);
    if (!fit.fitted())
        return;
    EXPECT_NEAR(fit.centreX, d.x, 0.15);
    EXPECT_NEAR(fit.centreY, d.y, 0.15);
    EXPECT_NEAR(fit.radius, d.radius, 0.15);
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(fit.covariance[std::size_t(i)][std::size_t(i)], 0) << i;
    // The right half is lit: the arc runs from the bottom (π/2) to the top (−π/2) through 0.
    EXPECT_NEAR(fit.arcFrom, -M_PI / 2, 0.2);
    EXPECT_NEAR(fit.arcTo, M_PI / 2, 0.2);
}

TEST(LimbOutcomes, RefusesAnEmptyPictureOrStart)
{
    EXPECT_EQ(measure::fitLimb({}, {10, 10, 100}).outcome, measure::LimbFit::Outcome::NoLimb);
    const std::vector<std::uint8_t> pixels = draw({});
    const measure::ImageView view{400, 400, 400, pixels.data(), measure::ImageView::Format::Grey8};
    EXPECT_FALSE(measure::fitLimb(view, {200, 200, 0}).fitted());
    EXPECT_FALSE(measure::fitLimb(view, {NAN, 200, 100}).fitted());
}

std::string caseName(const testing::TestParamInfo<LimbCase> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Discs,
    LimbOutcomes,
    ::testing::Values(LimbCase{"ExactStart", {}},
        // Clicks 30 degrees short of each cusp: the chord's circle is 0.87 R, half a radius
        // towards the lit side.
        LimbCase{"HornTipStart", {}, 0.5, 0, 0.87},
        LimbCase{"LargeStart", {}, -0.2, 0.3, 1.15},
        LimbCase{"CutByTheFrame", {400, 330.4, 197.6, 120}},
        LimbCase{"TooSmall", {400, 200, 200, 30}, 0, 0, 1, measure::LimbFit::Outcome::TooSmall},
        LimbCase{"NoMoon",
            {400, 200, 200, 120, true, false},
            0,
            0,
            1,
            measure::LimbFit::Outcome::NoLimb}),
    caseName);

} // namespace
