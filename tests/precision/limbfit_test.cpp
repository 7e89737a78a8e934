// The limb fit on synthetic photographs as a camera takes them: the light blurred by the seeing
// in linear light, the sky's glow added, then the tone curve, grain and JPEG; the start disc
// is the circle through two clicks at horn tips short of the true cusps.
#include "measure/limbfit.h"
#include "tests/synth/synthmoon.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct LimbCase {
    std::string name;
    /// Largest error allowed on the centre and the radius, in pixels.
    double tolerance;
    double radius;
    double b;
    double thetaDegrees;
    double fwhm;
    double gamma;
    /// Degrees of position angle by which each click falls short of its cusp.
    double short1;
    double short2;
    /// Fraction of the radius by which the frame's left side cuts the disc, its right side when
    /// negative.
    double cut = 0;
    int jpegQuality = 0;
    bool colour = false;
    int stars = 0;
};

void PrintTo(const LimbCase &c, std::ostream *os)
{
    *os << c.name;
}

synth::Scene sceneOf(const LimbCase &c)
{
    synth::Scene scene;
    const double margin = 0.1 * c.radius + 20;
    scene.width = static_cast<int>(2 * (c.radius + margin));
    scene.height = scene.width;
    scene.centreX = scene.width / 2.0 + 0.37
        - (c.cut == 0         ? 0
                  : c.cut > 0 ? 1
                              : -1)
            * margin
        - c.cut * c.radius;
    scene.centreY = scene.height / 2.0 + 0.61;
    scene.radius = c.radius;
    scene.theta = c.thetaDegrees * kPi / 180;
    const double b = c.b * kPi / 180;
    scene.sun = {0, -std::cos(b), std::sin(b)};
    scene.colour = c.colour;
    scene.stars = c.stars;
    // Linear light without grain or sky: the camera below adds them where a camera does.
    scene.noise = 0;
    scene.sky = 0;
    scene.gamma = 1;
    scene.photometry = synth::Scene::Photometry::LunarLambert;
    return scene;
}

// One pass of a Gaussian along rows (step 1) or columns (step = row length) of linear light.
void blurPass(std::vector<double> &light,
    int count,
    int length,
    std::size_t along,
    std::size_t across,
    const std::vector<double> &kernel)
{
    const int half = static_cast<int>(kernel.size() / 2);
    std::vector<double> line(static_cast<std::size_t>(length));
    for (int n = 0; n < count; ++n) {
        for (int i = 0; i < length; ++i)
            line[std::size_t(i)] = light[std::size_t(n) * across + std::size_t(i) * along];
        for (int i = 0; i < length; ++i) {
            double sum = 0;
            for (int k = -half; k <= half; ++k)
                sum += kernel[std::size_t(k + half)]
                    * line[std::size_t(std::clamp(i + k, 0, length - 1))];
            light[std::size_t(n) * across + std::size_t(i) * along] = sum;
        }
    }
}

// The camera: seeing in linear light, a sky brighter towards the right, the tone curve, grain.
void photograph(synth::Photo &photo, const LimbCase &c)
{
    const int w = photo.width, h = photo.height, ch = photo.channels;
    const double sigma = c.fwhm / 2.35482;
    std::vector<double> kernel;
    const int half = static_cast<int>(std::ceil(4 * sigma));
    double total = 0;
    for (int k = -half; k <= half; ++k)
        total += kernel.emplace_back(std::exp(-0.5 * k * k / (sigma * sigma)));
    for (double &k : kernel)
        k /= total;
    std::mt19937 random(7);
    std::normal_distribution<double> grain(0, 2.0);
    const double skyLinear = 255 * std::pow(14 / 255.0, c.gamma);
    for (int channel = 0; channel < ch; ++channel) {
        std::vector<double> light(std::size_t(w) * std::size_t(h));
        for (std::size_t i = 0; i < light.size(); ++i)
            light[i] = photo.pixels[i * std::size_t(ch) + std::size_t(channel)];
        blurPass(light, h, w, 1, std::size_t(w), kernel);
        blurPass(light, w, h, std::size_t(w), 1, kernel);
        for (std::size_t i = 0; i < light.size(); ++i) {
            const double x = double(i % std::size_t(w)) / w;
            const double l = light[i] + skyLinear * (0.6 + 0.8 * x);
            const double level =
                255 * std::pow(std::min(1.0, l / 255), 1 / c.gamma) + grain(random);
            photo.pixels[i * std::size_t(ch) + std::size_t(channel)] =
                static_cast<std::uint8_t>(std::lround(std::clamp(level, 0.0, 255.0)));
        }
    }
}

// The circle a user traces from two clicks at the visible horn tips, `short` degrees of
// position angle from the cusps towards the lit limb: their chord taken as a diameter.
measure::Disc clickedDisc(const synth::Scene &scene, const LimbCase &c)
{
    const measure::MoonModel model = synth::modelOf(scene);
    const double lit = scene.sun.y < 0 ? -1 : 1;
    const auto tip = [&](double side, double shortDegrees) {
        const double a = shortDegrees * kPi / 180;
        const measure::PicturePoint p =
            measure::project(model, {side * std::cos(a), lit * std::sin(a), 0});
        return std::pair<double, double>(std::round(double(p.x)), std::round(double(p.y)));
    };
    const auto [x1, y1] = tip(-1, c.short1);
    const auto [x2, y2] = tip(1, c.short2);
    return {(x1 + x2) / 2, (y1 + y2) / 2, std::hypot(x2 - x1, y2 - y1) / 2};
}

struct Tally {
    std::vector<double> centreErrors, radiusErrors;
    int covered = 0, coveredOne = 0, figures = 0;
    ~Tally()
    {
        if (radiusErrors.empty())
            return;
        const auto stats = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return std::pair<double, double>(v[v.size() / 2], v.back());
        };
        const auto [cm, cx] = stats(centreErrors);
        const auto [rm, rx] = stats(radiusErrors);
        std::printf("[limbfit] centre |d| median %.3f max %.3f; radius median %.3f max %.3f; "
                    "within 1 sigma %d/%d, 2 sigma %d/%d\n",
            cm,
            cx,
            rm,
            rx,
            coveredOne,
            figures,
            covered,
            figures);
    }
} tally;

class LimbPhotographs : public ::testing::TestWithParam<LimbCase> { };

TEST_P(LimbPhotographs, FitsTheDiscAndTheCameraFromHornTipClicks)
{
    const LimbCase &c = GetParam();
    const synth::Scene scene = sceneOf(c);
    synth::Photo photo = synth::render(scene);
    photograph(photo, c);
    if (c.jpegQuality > 0)
        photo = synth::decodeJpeg(synth::encodeJpeg(photo, c.jpegQuality));
    const auto begin = std::chrono::steady_clock::now();
    const measure::LimbFit fit = measure::fitLimb(synth::viewOf(photo), clickedDisc(scene, c));
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    ASSERT_TRUE(fit.fitted());
    const double errors[3] = {
        fit.centreX - scene.centreX, fit.centreY - scene.centreY, fit.radius - scene.radius};
    for (int i = 0; i < 3; ++i) {
        const double sigma = std::sqrt(fit.covariance[std::size_t(i)][std::size_t(i)]);
        tally.coveredOne += std::fabs(errors[i]) <= sigma;
        tally.covered += std::fabs(errors[i]) <= 2 * sigma;
        ++tally.figures;
        EXPECT_LE(std::fabs(errors[i]), c.tolerance) << i;
    }
    tally.centreErrors.push_back(std::hypot(errors[0], errors[1]));
    tally.radiusErrors.push_back(std::fabs(errors[2]));
    std::printf("[limbfit] %-22s dx %+.3f±%.3f dy %+.3f±%.3f dR %+.3f±%.3f  FWHM %.2f(%.2f)±%.2f"
                "  gamma %.2f(%.1f)±%.2f  %d profiles  %.1f ms\n",
        c.name.c_str(),
        errors[0],
        std::sqrt(fit.covariance[0][0]),
        errors[1],
        std::sqrt(fit.covariance[1][1]),
        errors[2],
        std::sqrt(fit.covariance[2][2]),
        fit.blurFwhm(),
        c.fwhm,
        2.35482 * fit.blurSigmaError,
        fit.gamma,
        c.gamma,
        fit.gammaError,
        fit.profiles,
        ms);
    // The test's blur is a Gaussian sampled at whole pixels, which is no Gaussian of its width
    // below 1.5 pixels: the camera is checked from there on.
    if (c.fwhm >= 1.5) {
        EXPECT_NEAR(fit.blurFwhm(), c.fwhm, 0.15 * c.fwhm);
        EXPECT_NEAR(fit.gamma, c.gamma, std::max(0.25, 3 * fit.gammaError));
    }
}

std::string caseName(const testing::TestParamInfo<LimbCase> &info)
{
    return info.param.name;
}

// name, tolerance, radius, B, tilt, FWHM, gamma, short of cusp 1 and 2, frame cut, JPEG,
// colour, stars. A thin crescent under Lambert's law is a sliver whose light falls steeply
// inside the limb: its edge is read 0.4 px off. Under a blur of 1 px the test's sampled
// Gaussian leaves γ unread and the radius 0.3 px off.
INSTANTIATE_TEST_SUITE_P(Moons,
    LimbPhotographs,
    ::testing::Values(LimbCase{"SmallCrescentExact", 0.35, 200, -40, 0, 1, 2.2, 0, 0},
        LimbCase{"SmallGibbousLinear", 0.3, 200, 50, 12, 2, 1, 15, 10},
        LimbCase{"QuarterShortBoth", 0.3, 400, 5, 0, 2.5, 2.2, 30, 30},
        LimbCase{"ThinCrescent", 0.5, 400, -70, -30, 3, 2.2, 20, 25},
        LimbCase{"GibbousTilted", 0.3, 600, 55, 37, 1.5, 2.2, 5, 30},
        LimbCase{"CrescentWideBlurLinear", 0.3, 800, -30, 0, 4, 1, 0, 0},
        LimbCase{"GibbousCutByFrame", 0.3, 800, 40, 90, 2, 2.2, 10, 10, 0.15},
        LimbCase{"CrescentJpeg", 0.3, 1000, -45, -23, 3.5, 2.2, 30, 5, 0, 90},
        LimbCase{"GibbousLarge", 0.3, 1200, 60, 0, 2.5, 2.2, 25, 25},
        LimbCase{"LargeCrescentShort", 0.3, 1500, -25, 0, 3, 2.2, 30, 30},
        LimbCase{"LargeGibbousCutLinear", 0.3, 1500, 35, 180, 1, 1, 0, 0, 0.1},
        LimbCase{"ColourCrescentJpeg", 0.3, 300, -50, 20, 2, 2.2, 12, 18, 0, 85, true},
        LimbCase{"CrescentLitLimbCut", 0.3, 500, -35, 90, 2, 2.2, 8, 20, -0.12},
        LimbCase{"GibbousStars", 0.3, 250, 45, -60, 1.5, 2.2, 0, 0, 0, 0, false, 40},
        LimbCase{"QuarterSteepBlurred", 0.3, 700, -10, 53, 4, 2.2, 30, 30},
        LimbCase{"CrescentLinearJpeg", 0.3, 900, -60, 0, 2, 1, 20, 5, 0, 85},
        LimbCase{"GibbousTiltedLarge", 0.3, 1300, 50, -40, 3, 2.2, 15, 30}),
    caseName);

} // namespace
