// The terminator fit on photographs as a camera takes them, whose Sun is known: the disc is
// the true one, the tilt only starts from a click some degrees off, and both the tilt and B
// must come from the photograph. One table; its rows are printed with their errors.
#include "measure/elevation.h"
#include "measure/terminatorfit.h"
#include "tests/synth/synthmoon.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Row {
    const char *name;
    double radius, thetaDeg, b;
    int litSign;
    double fwhm, gamma;
    int jpeg;
    /// How far the clicked tilt is off, degrees.
    double clickedOff;
};

synth::Scene sceneOf(const Row &row)
{
    synth::Scene scene;
    const int margin = static_cast<int>(row.radius * 0.15) + 30;
    scene.width = scene.height = static_cast<int>(2 * row.radius) + 2 * margin;
    scene.centreX = margin + row.radius + 0.37;
    scene.centreY = margin + row.radius - 0.21;
    scene.radius = row.radius;
    scene.theta = row.thetaDeg * M_PI / 180;
    const double b = row.b * M_PI / 180;
    scene.sun = {0, -row.litSign * std::cos(b), row.litSign * std::sin(b)};
    scene.photometry = synth::Scene::Photometry::LunarLambert;
    scene.sunRadius = 0.27;
    scene.blurFwhm = row.fwhm;
    scene.gamma = row.gamma;
    scene.earthshine = 2;
    scene.jpegQuality = row.jpeg;
    scene.noise = 2;
    scene.seed = static_cast<unsigned>(row.radius + row.b * 7 + row.thetaDeg);
    if (const char *plain = std::getenv("PLAIN")) {
        const int m = std::atoi(plain);
        if (m & 1) scene.craters = 0;
        if (m & 2) scene.seas = 0;
        if (m & 4) scene.sunRadius = 0;
        if (m & 8) scene.noise = 0;
        if (m & 16) scene.earthshine = 0;
        if (m & 32) scene.jpegQuality = 0;
        if (const char *f = std::getenv("FWHM"))
            scene.blurFwhm = std::atof(f);
    }
    return scene;
}

measure::ImageView viewOf(const synth::Photo &photo)
{
    return {photo.width,
        photo.height,
        static_cast<std::ptrdiff_t>(photo.width) * photo.channels,
        photo.pixels.data(),
        photo.channels == 1 ? measure::ImageView::Format::Grey8 : measure::ImageView::Format::Rgb24};
}

const std::vector<Row> &rows()
{
    static const std::vector<Row> table{
        {"crescent", 250, 0, -35, 1, 3.5, 2.2, 0, 5},
        {"crescentBelow", 300, 20, 35, -1, 4.5, 2.2, 90, -6},
        {"thinCrescent", 400, -40, -80, 1, 3.5, 2.2, 0, 8},
        {"thinnest", 1300, 10, -85, 1, 3, 2.2, 0, 3},
        {"quarter", 350, 55, 3, 1, 6, 2.2, 85, -10},
        {"gibbous", 450, -20, 62, 1, 4.5, 2.2, 0, 4},
        {"lateCrescent", 600, 30, 78, -1, 6, 1.8, 0, -5},
        {"lateGibbous", 600, 30, -78, -1, 6, 1.8, 90, -5},
        {"nearlyFull", 1200, -60, 85, 1, 4.5, 2.2, 0, 2},
        {"linear", 300, 15, -50, -1, 2.5, 1.0, 0, 6},
        {"softLarge", 900, -5, 45, 1, 9, 2.4, 80, -7},
    };
    return table;
}

TEST(SunFit, BAndTheTiltFromCameraPhotographs)
{
    int covered = 0, total = 0;
    std::vector<double> errors;
    std::printf("%-14s %6s %7s %7s %6s %7s %6s %5s %5s\n", "case", "r", "B", "dB", "±B", "dθ°", "±θ°", "γ", "q");
    for (const Row &row : rows()) {
        if (std::getenv("ONLY") && std::string(std::getenv("ONLY")) != row.name)
            continue;
        const synth::Scene scene = sceneOf(row);
        const synth::Photo photo = synth::render(scene);
        measure::MoonModel disc = synth::trueModel(scene);
        const double trueTheta = static_cast<double>(disc.theta);
        disc.theta += static_cast<measure::real>(row.clickedOff * M_PI / 180);
        const measure::TerminatorFit fit = measure::fitTerminator(viewOf(photo), disc, {scene.blurFwhm / 2.3548, row.gamma, scene.sky});
        EXPECT_EQ(fit.outcome, measure::FitOutcome::Found) << row.name;
        if (fit.outcome != measure::FitOutcome::Found)
            continue;
        const double db = static_cast<double>(fit.b) - row.b;
        const double dt = (static_cast<double>(fit.theta) - trueTheta) * 180 / M_PI;
        std::printf("%-14s %6.0f %7.1f %+7.3f %6.3f %+7.3f %6.3f %5.2f %5.3f\n",
            row.name,
            row.radius,
            row.b,
            db,
            static_cast<double>(fit.bSigma),
            dt,
            std::sqrt(static_cast<double>(fit.varTheta)) * 180 / M_PI,
            static_cast<double>(fit.gamma),
            static_cast<double>(fit.roughness));
        std::printf("   blur %.2f (true %.2f)\n", static_cast<double>(fit.blurPx), scene.blurFwhm / 2.3548);
        EXPECT_EQ(fit.litSign, row.litSign) << row.name;
        EXPECT_LE(std::fabs(db), 0.3) << row.name;
        errors.push_back(std::fabs(db));
        covered += std::fabs(db) <= static_cast<double>(fit.bSigma);
        ++total;
    }
    std::nth_element(errors.begin(), errors.begin() + static_cast<std::ptrdiff_t>(errors.size() / 2), errors.end());
    std::printf("median |dB| %.3f, ± covers %d of %d\n", errors[errors.size() / 2], covered, total);
    EXPECT_LE(errors[errors.size() / 2], 0.12);
    EXPECT_GE(10 * covered, 9 * total);
}

} // namespace
