// The disc finder on small drawn pictures (a lit disc or a crescent, cut out of a flat sky) and
// the part it frames; the photographs themselves are in the view's tests.
#include "measure/discfinder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using measure::Disc;
using measure::Framing;

namespace {

// A flat-lit disc on a flat sky, anti-aliased by 4 × 4 samples a pixel. `shadow` > 0 cuts away
// the disc of the same radius shifted by that many radii to the left: a crescent, whose inner
// edge has the sky on its disc side as a terminator does.
struct Drawing {
    int width = 750;
    int height = 500;
    Disc disc{375, 250, 120};
    double shadow = 0;
    int sky = 10;
    int moon = 200;
    int grain = 0; // levels, ±
    int stars = 0;
    int lines = 0; // straight bright bars, no disc of their own
};

std::uint32_t hash(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    return x ^ (x >> 16);
}

std::vector<std::uint8_t> draw(const Drawing &d)
{
    std::vector<std::uint8_t> pixels(std::size_t(d.width) * std::size_t(d.height));
    const Disc &c = d.disc;
    for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
            // Supersampled only within a pixel of an edge.
            const double toDisc = std::hypot(x - c.x, y - c.y) - c.radius;
            const double toShadow = std::hypot(x - (c.x - d.shadow * c.radius), y - c.y) - c.radius;
            const bool shadowed = d.shadow > 0 && toShadow < 0;
            double lit = toDisc < -1 && (d.shadow == 0 || toShadow > 1) ? 1 : 0;
            if (std::abs(toDisc) <= 1 || (d.shadow > 0 && std::abs(toShadow) <= 1 && toDisc < 1)) {
                lit = 0;
                for (int s = 0; s < 16; ++s) {
                    const double px = x - 0.375 + 0.25 * (s % 4), py = y - 0.375 + 0.25 * (s / 4);
                    const bool inDisc = std::hypot(px - c.x, py - c.y) < c.radius;
                    const bool inShadow = d.shadow > 0
                        && std::hypot(px - (c.x - d.shadow * c.radius), py - c.y) < c.radius;
                    lit += inDisc && !inShadow ? 1.0 / 16 : 0;
                }
            } else if (shadowed) {
                lit = 0;
            }
            double level = d.sky + lit * (d.moon - d.sky);
            if (d.lines && (x % 97 < 3 || y % 89 < 3))
                level = d.moon;
            if (d.grain)
                level += int(hash(std::uint32_t(y * d.width + x)) % std::uint32_t(2 * d.grain + 1))
                    - d.grain;
            pixels[std::size_t(y) * std::size_t(d.width) + std::size_t(x)] =
                static_cast<std::uint8_t>(std::clamp(level, 0.0, 255.0));
        }
    }
    for (int i = 0; i < d.stars; ++i) {
        const int x = int(hash(std::uint32_t(2 * i + 7)) % std::uint32_t(d.width - 2));
        const int y = int(hash(std::uint32_t(2 * i + 8)) % std::uint32_t(d.height - 2));
        for (const int k : {0, 1, d.width, d.width + 1})
            pixels[std::size_t(y) * std::size_t(d.width) + std::size_t(x) + std::size_t(k)] = 255;
    }
    return pixels;
}

measure::GreyPixels view(const std::vector<std::uint8_t> &pixels, const Drawing &d)
{
    return {pixels.data(), d.width, d.height, d.width};
}

struct FoundCase {
    std::string name;
    Drawing drawing;
};

class FindsTheDisc : public testing::TestWithParam<FoundCase> { };

TEST_P(FindsTheDisc, WithinAPixelAndOnePercent)
{
    const Drawing &d = GetParam().drawing;
    const auto pixels = draw(d);
    const auto found = measure::findDisc(view(pixels, d));
    ASSERT_TRUE(found.has_value());
    EXPECT_NEAR(found->x, d.disc.x, 1.0);
    EXPECT_NEAR(found->y, d.disc.y, 1.0);
    EXPECT_NEAR(found->radius, d.disc.radius, 0.01 * d.disc.radius);
}

Drawing drawing(Disc disc, double shadow, int sky = 10, int moon = 200, int grain = 0)
{
    Drawing d;
    d.disc = disc;
    d.shadow = shadow;
    d.sky = sky;
    d.moon = moon;
    d.grain = grain;
    d.stars = grain ? 40 : 0;
    return d;
}

const Disc kMiddle{375, 250, 120};

INSTANTIATE_TEST_SUITE_P(Drawings,
    FindsTheDisc,
    testing::Values(FoundCase{"full", drawing(kMiddle, 0)},
        FoundCase{"thin crescent", drawing(kMiddle, 0.25)},
        FoundCase{"gibbous", drawing(kMiddle, 1.5)},
        FoundCase{"bright sky", drawing(kMiddle, 0.6, 170, 235)},
        FoundCase{"grain and stars", drawing(kMiddle, 0.5, 10, 200, 12)},
        FoundCase{"small, off centre", drawing({140.3, 380.7, 25}, 0)},
        FoundCase{"cut by the border", drawing({680, 200, 150}, 0)}),
    [](const testing::TestParamInfo<FoundCase> &tc) {
        std::string name = tc.param.name;
        std::replace_if(
            name.begin(),
            name.end(),
            [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
            '_');
        return name;
    });

TEST(FindDisc, NothingWhereThereIsNoDisc)
{
    Drawing bars = drawing({375, 250, 0}, 0);
    bars.lines = 1;
    const std::vector<Drawing> empty = {
        drawing(kMiddle, 0, 10, 10), // the sky alone
        drawing(kMiddle, 0, 10, 10, 20), // grain and stars
        bars, // straight edges, no circle among them
        drawing({375, 250, 4}, 0), // a planet, not the Moon
    };
    for (const Drawing &d : empty) {
        const auto pixels = draw(d);
        EXPECT_FALSE(measure::findDisc(view(pixels, d)).has_value()) << d.grain << " " << d.lines;
    }
    EXPECT_FALSE(measure::findDisc({}).has_value());
}

TEST(RefineDisc, FromAGuessSomePixelsOff)
{
    for (const double shadow : {0.0, 0.7}) {
        Drawing d;
        d.width = 800;
        d.height = 800;
        d.disc = {401.3, 398.6, 300.4};
        d.shadow = shadow;
        d.grain = 4;
        const auto pixels = draw(d);
        const Disc guess{d.disc.x + 3, d.disc.y - 2, d.disc.radius + 4};
        const Disc refined = measure::refineDisc(view(pixels, d), guess, 10);
        EXPECT_NEAR(refined.x, d.disc.x, 0.25) << shadow;
        EXPECT_NEAR(refined.y, d.disc.y, 0.25) << shadow;
        EXPECT_NEAR(refined.radius, d.disc.radius, 0.5) << shadow;
    }
    // Nothing to refine on: the guess stays.
    const std::vector<std::uint8_t> flat(100 * 100, 40);
    const Disc guess{50, 50, 30};
    const Disc same = measure::refineDisc({flat.data(), 100, 100, 100}, guess, 5);
    EXPECT_EQ(same.x, guess.x);
    EXPECT_EQ(same.radius, guess.radius);
}

struct FrameCase {
    Disc disc;
    int pictureWidth, pictureHeight, visibleWidth, visibleHeight;
    Framing expected;
};

class FrameDisc : public testing::TestWithParam<FrameCase> { };

TEST_P(FrameDisc, MarginClipAndSmallestFactor)
{
    const FrameCase &c = GetParam();
    const Framing f = measure::frameDisc(
        c.disc, c.pictureWidth, c.pictureHeight, c.visibleWidth, c.visibleHeight);
    EXPECT_EQ(f.x, c.expected.x);
    EXPECT_EQ(f.y, c.expected.y);
    EXPECT_EQ(f.width, c.expected.width);
    EXPECT_EQ(f.height, c.expected.height);
    EXPECT_EQ(f.factor, c.expected.factor);
    const auto shown = [&](int length, int factor) {
        return (length + factor - 1) / factor;
    };
    EXPECT_LE(shown(f.width, f.factor), c.visibleWidth);
    EXPECT_LE(shown(f.height, f.factor), c.visibleHeight);
    if (f.factor > 1) {
        EXPECT_TRUE(shown(f.width, f.factor - 1) > c.visibleWidth
            || shown(f.height, f.factor - 1) > c.visibleHeight);
    }
}

INSTANTIATE_TEST_SUITE_P(Parts,
    FrameDisc,
    testing::Values(
        // 1.2 radii each way, at natural size when that fits.
        FrameCase{{1000, 800, 200}, 6000, 4000, 818, 655, {760, 560, 481, 481, 1}},
        // Too tall for 655 rows at 5, fits at 6; the origin moves to a multiple of 6.
        FrameCase{{3000, 2000, 1500}, 6000, 4000, 818, 655, {1200, 198, 3601, 3603, 6}},
        // Cut by the picture's corner.
        FrameCase{{100, 100, 300}, 4000, 3000, 818, 655, {0, 0, 461, 461, 1}},
        // The whole height of the picture, still at 5.
        FrameCase{{2000, 1500, 1400}, 4000, 3000, 818, 655, {320, 0, 3361, 3000, 5}},
        // Moving the origin back to a multiple would need a larger factor: it stays.
        FrameCase{{100.5, 100.5, 82.5}, 1000, 1000, 100, 100, {1, 1, 200, 200, 2}}));

} // namespace
