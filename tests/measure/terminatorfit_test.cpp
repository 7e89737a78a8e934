#include "cusps.h"
#include "measure/limb.h"
#include "measure/terminatorfit.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

// A grey picture of 400 × 400 pixels whose level at (x, y) a function gives.
struct Picture {
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(400 * 400);
    explicit Picture(const std::function<double(int, int)> &level)
    {
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 400; ++x)
                pixels[static_cast<std::size_t>(y * 400 + x)] =
                    static_cast<std::uint8_t>(std::lround(std::clamp(level(x, y), 0.0, 255.0)));
    }
    measure::ImageView view() const
    {
        return {400, 400, 400, pixels.data(), measure::ImageView::Format::Grey8};
    }
};

// A disc of radius `r` about (200, 200) lit by a Sun in the direction (0, sy, sz) of a
// horizontal cusp line, as a Lambert sphere on a dark sky.
Picture lambertDisc(double r, double sy, double sz)
{
    return Picture([=](int x, int y) {
        const double u = (x - 200) / r, v = (y - 200) / r;
        const double zz = 1 - u * u - v * v;
        if (zz < 0)
            return 6.0;
        return 6 + 220 * std::max(0.0, v * sy + std::sqrt(zz) * sz);
    });
}

measure::MoonModel discOf(int radius, measure::real b = 0)
{
    measure::TMesureState state = withCusps(200 - radius, 200, 200 + radius, 200);
    measure::tracearc(state);
    return measure::moonModel(state, b);
}

struct FailureCase {
    std::string name;
    std::function<Picture()> picture;
    int radius;
    const char *message;
};

void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name;
}

class FitFailure : public ::testing::TestWithParam<FailureCase> { };

TEST_P(FitFailure, SaysWhyInOneSentence)
{
    const FailureCase &c = GetParam();
    const Picture picture = c.picture();
    measure::ImageView view = picture.view();
    if (c.name == "NoPhotograph")
        view = measure::ImageView{};
    measure::MoonModel disc = discOf(c.radius);
    if (c.name == "NoCircle")
        disc.radius = 0;
    // An ordinary outcome, never an exception.
    const measure::TerminatorFit fit = measure::fitTerminator(view, disc);
    EXPECT_NE(fit.outcome, measure::FitOutcome::Found);
    EXPECT_STREQ(measure::outcomeText(fit.outcome), c.message);
}

INSTANTIATE_TEST_SUITE_P(Pictures,
    FitFailure,
    ::testing::Values(
        FailureCase{
            "NoPhotograph", [] { return lambertDisc(150, -1, 0); }, 150, measure::kNoPhotograph},
        FailureCase{"NoCircle", [] { return lambertDisc(150, -1, 0); }, 150, measure::kNoCircle},
        FailureCase{
            "DiscTooSmall", [] { return lambertDisc(30, -1, 0); }, 30, measure::kDiscTooSmall},
        FailureCase{"FullMoon", [] { return lambertDisc(150, 0, 1); }, 150, measure::kFullMoon},
        FailureCase{"PlainGrey",
            [] { return Picture([](int, int) { return 128.0; }); },
            150,
            measure::kNotAMoon},
        FailureCase{"Stripes",
            [] { return Picture([](int x, int) { return (x / 9) % 2 ? 230.0 : 10.0; }); },
            150,
            measure::kNotAMoon},
        FailureCase{"Chequers",
            [] {
                return Picture([](int x, int y) { return (x / 25 + y / 25) % 2 ? 230.0 : 10.0; });
            },
            150,
            measure::kNotAMoon}),
    [](const testing::TestParamInfo<FailureCase> &tc) { return tc.param.name; });

TEST(FitTerminator, ExactOnAPlainLambertSphere)
{
    const double b = 25 * M_PI / 180;
    for (int litSign : {1, -1}) {
        const Picture picture = lambertDisc(150, -litSign * std::cos(b), litSign * std::sin(b));
        const measure::TerminatorFit fit = measure::fitTerminator(picture.view(), discOf(150));
        EXPECT_EQ(fit.litSign, litSign);
        EXPECT_NEAR(static_cast<double>(fit.b), 25, 0.05);
        EXPECT_GT(static_cast<double>(fit.bSigma), 0);
    }
}

// Earthshine that lights the night of a thin crescent, its seas below the first look's
// threshold and its highlands above, crosses it all over the disc: those crossings are no
// terminator. Rows: B, the night's mean level, about the first look's threshold on the chords
// (32) in the first and on the limbs (40 % of the way to the crescent's brightest, 58) in the
// second.
TEST(FitTerminator, ThinCrescentOverBrightEarthshine)
{
    for (const auto &[degrees, night] : {std::pair{-70.0, 32.0}, std::pair{-72.0, 58.0}}) {
        const double b = degrees * M_PI / 180, r = 150;
        const Picture picture([=](int x, int y) {
            const double u = (x - 200) / r, v = (y - 200) / r;
            const double zz = 1 - u * u - v * v;
            if (zz < 0)
                return 6.0;
            const double light = -v * std::cos(b) + std::sqrt(zz) * std::sin(b);
            const double albedo = std::sin(x / 23.0 + y / 17.0);
            return light > 0 ? 6 + 220 * std::pow(light, 1 / 2.2) : night + 3 * albedo;
        });
        const measure::TerminatorFit fit = measure::fitTerminator(picture.view(), discOf(150));
        ASSERT_EQ(fit.outcome, measure::FitOutcome::Found) << degrees;
        EXPECT_EQ(fit.litSign, 1) << degrees;
        EXPECT_NEAR(static_cast<double>(fit.b), degrees, static_cast<double>(fit.bSigma));
    }
}

// A tone that reads between a display curve and a linear camera leaves B's ± counting what the
// other tone makes of it; a display curve read clearly does not.
TEST(FitTerminator, ToneInDoubtCountsTheOtherToneInB)
{
    const double b = 25 * M_PI / 180;
    for (const double gamma : {2.2, 1.5}) {
        const Picture picture([&](int x, int y) {
            const double u = (x - 200) / 150.0, v = (y - 200) / 150.0;
            const double zz = 1 - u * u - v * v;
            const double mu = zz < 0 ? 0 : -v * std::cos(b) + std::sqrt(zz) * std::sin(b);
            return 6 + 225 * std::pow(std::max(0.0, mu), 1 / gamma);
        });
        const measure::TerminatorFit fit = measure::fitTerminator(picture.view(), discOf(150));
        ASSERT_EQ(fit.outcome, measure::FitOutcome::Found) << gamma;
        EXPECT_EQ(fit.toneMoved.has_value(), gamma < 2) << gamma;
        if (fit.toneMoved) {
            EXPECT_GT(std::fabs(static_cast<double>(*fit.toneMoved)), 0.1) << gamma;
            EXPECT_GE(static_cast<double>(fit.bSigma),
                measure::kShownPerSigma * std::fabs(static_cast<double>(*fit.toneMoved)));
        }
    }
}

struct SideCase {
    double sy, sz;
    int b;
    std::optional<int> side;
};

class LitSide : public ::testing::TestWithParam<SideCase> { };

TEST_P(LitSide, ComparesTheTwoSidesOfTheDrawnTerminator)
{
    const SideCase &c = GetParam();
    const Picture picture = lambertDisc(150, c.sy, c.sz);
    EXPECT_EQ(measure::litSide(picture.view(), discOf(150, c.b)), c.side);
}

INSTANTIATE_TEST_SUITE_P(Pictures,
    LitSide,
    ::testing::Values(SideCase{-1, 0, 0, 1},
        SideCase{1, 0, 0, -1},
        // A crescent lit from below, with a terminator drawn a few degrees off.
        SideCase{0.8, -0.6, 40, -1},
        SideCase{-0.8, 0.6, 33, 1},
        // A full disc: both sides alike.
        SideCase{0, 1, 0, std::nullopt}));

TEST(LitSide, NothingToTellWithoutAPhotograph)
{
    EXPECT_EQ(measure::litSide(measure::ImageView{}, discOf(150)), std::nullopt);
}

// The tone curve read on the lit ground of a Lambert sphere lit from above at B (degrees) whose
// light is written through `tone`: a linear camera, with a sea of half the albedo where the Sun
// stands highest too, a display curve, a linear crescent whose Sun stands at most 40 degrees
// high, a crescent too thin to tell, highlights all clipped, a linear camera over-exposed on a
// mottled ground (what is left where it clips is the darker ground).
TEST(CameraGamma, ToldFromTheLitGround)
{
    struct Row {
        const char *name;
        double b;
        std::function<double(double)> tone;
        std::optional<double> gamma;
        double sea = 1; // the albedo where the Sun is more than 45 degrees high
        double gain = 230;
        bool mottled = false; // albedo 0.4…1 from pixel to pixel
    };
    const auto linear = [](double light) {
        return light;
    };
    const auto display = [](double light) {
        return 255 * std::pow(light / 255, 1 / 2.2);
    };
    const Row rows[] = {
        {"linear", 25, linear, 1.0},
        {"linear with a sea", 25, linear, 1.0, 0.5},
        {"display", 25, display, 2.2},
        {"display crescent", -40, display, 2.2},
        {"linear crescent", -50, linear, 1.0},
        {"thin crescent", -75, display, std::nullopt},
        {"clipped", 25, [](double light) { return light > 0 ? 255.0 : 0.0; }, std::nullopt},
        {"linear, mottled, over-exposed", 25, linear, 1.0, 1, 700, true},
    };
    for (const Row &row : rows) {
        const double b = row.b * M_PI / 180;
        const Picture picture([&](int x, int y) {
            const double u = (x - 200) / 150.0, v = (y - 200) / 150.0;
            const double zz = 1 - u * u - v * v;
            const double mu = zz < 0 ? 0 : -v * std::cos(b) + std::sqrt(zz) * std::sin(b);
            const double mottle =
                row.mottled ? 0.4 + 0.6 * ((x * 7919 + y * 104729) % 1009) / 1008.0 : 1;
            return 6 + row.tone(std::max(0.0, row.gain * mu * mottle * (mu > 0.7 ? row.sea : 1)));
        });
        const auto gamma = measure::cameraGamma(picture.view(), discOf(150, row.b));
        EXPECT_EQ(gamma.has_value(), row.gamma.has_value()) << row.name;
        if (gamma && row.gamma) {
            EXPECT_DOUBLE_EQ(static_cast<double>(*gamma), *row.gamma) << row.name;
        }
    }
    EXPECT_EQ(measure::cameraGamma(measure::ImageView{}, discOf(150)), std::nullopt);
}

} // namespace
