// The terminator fit and the elevation under the cursor on synthetic photographs whose Sun is
// known: the state is built as a user builds it, by clicking the pixels nearest to the cusps.
#include "measure/elevation.h"
#include "measure/limb.h"
#include "measure/terminatorfit.h"
#include "tests/synth/synthmoon.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
// Degrees of B, and of elevation with the cusps on whole pixels.
constexpr double kWithin = 0.25;

struct FitCase {
    std::string name;
    double radius;
    double thetaDegrees;
    double b;
    int litSign;
    /// Cusps and centre on whole pixels, so that the traced circle is the true one.
    bool onPixels = true;
    bool colour = false;
    double noise = 3;
    /// 0 for the raw pixels, else the photograph goes through a JPEG file of this quality.
    int jpegQuality = 0;
    unsigned seed = 1;
    /// Levels gamma-encoded as a camera writes them (sRGB's exponent 1/2.2).
    bool encoded = false;
};

void PrintTo(const FitCase &c, std::ostream *os)
{
    *os << c.name;
}

synth::Scene sceneOf(const FitCase &c)
{
    synth::Scene scene;
    const int margin = static_cast<int>(c.radius * 0.2) + 24;
    scene.width = static_cast<int>(2 * c.radius) + 2 * margin;
    scene.height = scene.width;
    scene.centreX = margin + c.radius + (c.onPixels ? 0 : 0.37);
    scene.centreY = margin + c.radius + (c.onPixels ? 0 : 0.71);
    scene.radius = c.radius;
    scene.theta = c.thetaDegrees * kPi / 180;
    const double b = c.b * kPi / 180;
    scene.sun = {0, -c.litSign * std::cos(b), c.litSign * std::sin(b)};
    scene.colour = c.colour;
    scene.noise = c.noise;
    scene.seed = c.seed;
    return scene;
}

// Cusp clicks at the pixels nearest to the true cusps, then the trace.
measure::TMesureState tracedState(const synth::Scene &scene)
{
    measure::TMesureState state;
    for (int n : {1, 2}) {
        const measure::PicturePoint cusp = synth::trueCusp(scene, n);
        (void)measure::pickCusp(state,
            n,
            static_cast<int>(std::lround(static_cast<double>(cusp.x))),
            static_cast<int>(std::lround(static_cast<double>(cusp.y))));
    }
    measure::tracearc(state);
    return state;
}

class Photographs : public ::testing::TestWithParam<FitCase> {
protected:
    void SetUp() override
    {
        const FitCase &c = GetParam();
        scene = sceneOf(c);
        photo = synth::render(scene);
        if (c.encoded) {
            for (std::uint8_t &level : photo.pixels)
                level =
                    static_cast<std::uint8_t>(std::lround(255 * std::pow(level / 255.0, 1 / 2.2)));
        }
        if (c.jpegQuality > 0)
            photo = synth::decodeJpeg(synth::encodeJpeg(photo, c.jpegQuality));
        state = tracedState(scene);
    }

    synth::Scene scene;
    synth::Photo photo;
    measure::TMesureState state;
};

TEST_P(Photographs, FitFindsTheTerminatorAndTheLitSide)
{
    const FitCase &c = GetParam();
    const measure::TerminatorFit fit =
        measure::fitTerminator(synth::viewOf(photo), measure::moonModel(state, 0));
    const double error = static_cast<double>(fit.b) - c.b;
    std::printf("[fit] %-24s dB = %+.3f sigma = %.3f lines = %d\n",
        c.name.c_str(),
        error,
        static_cast<double>(fit.bSigma),
        fit.lines);
    EXPECT_EQ(fit.litSign, c.litSign);
    // These spheres reflect by Lambert's law while the fit expects the Moon's own, under which
    // a gibbous Moon is brighter near its terminator: their gibbous phases come out a little off.
    EXPECT_LE(std::fabs(error), kWithin);
    EXPECT_LE(std::fabs(error), static_cast<double>(fit.bSigma));
}

// The elevation at every pixel of a grid over the disc, with the fitted terminator, against
// the elevation of the true surface point that the pixel shows.
TEST_P(Photographs, ElevationUnderTheCursorMatchesTheTrueSun)
{
    const FitCase &c = GetParam();
    const measure::TerminatorFit fit =
        measure::fitTerminator(synth::viewOf(photo), measure::moonModel(state, 0));
    measure::MoonModel model = measure::moonModel(state, fit.b, fit.bSigma);
    model.litSign = fit.litSign;

    const double ct = std::cos(scene.theta), st = std::sin(scene.theta);
    const double minimumZ = std::sin(2 * kPi / 180);
    double worst = 0, worstRatio = 0;
    int points = 0;
    const int step = std::max(1, static_cast<int>(scene.radius / 20));
    for (int y = 0; y < scene.height; y += step) {
        for (int x = 0; x < scene.width; x += step) {
            const double dx = (x - scene.centreX) / scene.radius;
            const double dy = (y - scene.centreY) / scene.radius;
            const double u = ct * dx + st * dy, v = -st * dx + ct * dy;
            const double zz = 1 - u * u - v * v;
            if (zz < minimumZ * minimumZ)
                continue;
            const double truth = std::asin(u * static_cast<double>(scene.sun.x)
                                     + v * static_cast<double>(scene.sun.y)
                                     + std::sqrt(zz) * static_cast<double>(scene.sun.z))
                * 180 / kPi;
            // The traced disc may end a pixel short of the true limb.
            const auto elevation = measure::elevationAt(model, x, y);
            if (!elevation)
                continue;
            const double error = std::fabs(static_cast<double>(elevation->degrees) - truth);
            const double sigma = static_cast<double>(elevation->sigma);
            ++points;
            worst = std::max(worst, error);
            worstRatio = std::max(worstRatio, error / sigma);
            EXPECT_LE(error, sigma) << x << "," << y << " truth " << truth;
            if (c.onPixels) {
                EXPECT_LE(error, kWithin) << x << "," << y << " truth " << truth;
            }
        }
    }
    std::printf("[elevation] %-24s max |dh| = %.3f max |dh|/sigma = %.2f over %d points\n",
        c.name.c_str(),
        worst,
        worstRatio,
        points);
    EXPECT_GT(points, 500);
}

std::string caseName(const testing::TestParamInfo<FitCase> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Moons,
    Photographs,
    ::testing::Values(FitCase{"CrescentLitAbove", 150, 0, -35, 1},
        FitCase{"CrescentLitBelow", 150, 0, 35, -1},
        // The Sun stands under 20 degrees all over this crescent, too little of the light's
        // range for the lit ground to tell the camera's tone: the fit assumes the display curve
        // of JPEG files, which this photograph has.
        FitCase{"ThinCrescentTilted", 400, 36.869897645844, -70, 1, true, false, 3, 0, 1, true},
        FitCase{"GibbousLitAbove", 300, 0, 55, 1},
        FitCase{"GibbousTiltedLitBelow", 650, -22.619864948040, -50, -1},
        FitCase{"QuarterSteep", 500, 53.130102354156, 4, 1},
        FitCase{"LargeCrescent", 1500, 0, -25, 1},
        FitCase{"LargeGibbousColour", 1300, 36.869897645844, 62, 1, true, true},
        FitCase{"NoisyCrescent", 250, 0, 30, -1, true, false, 6},
        FitCase{"OffPixelCrescent", 333, 17.3, -28, 1, false},
        FitCase{"OffPixelGibbous", 777, -41.2, -58, -1, false, true},
        FitCase{"JpegCrescent", 350, 0, -40, 1, true, false, 3, 75},
        FitCase{"JpegColourGibbous", 600, 36.869897645844, -60, -1, true, true, 3, 85},
        FitCase{"EncodedCrescent", 400, 0, -40, 1, true, false, 3, 0, 1, true}),
    caseName);

} // namespace
