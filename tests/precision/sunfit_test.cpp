// The terminator fit on photographs as a camera takes them, whose Sun is known: the disc is
// the true one, the tilt only starts from a click some degrees off, and both the tilt and B
// must come from the photograph. One table; its rows are printed with their errors.
#include "measure/elevation.h"
#include "measure/terminatorfit.h"
#include "tests/precision/cameraphoto.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Row {
    const char *name;
    camera::Shot shot;
    /// How far the clicked tilt is off, degrees.
    double clickedOff;
};

camera::Shot shot(double radius, double theta, double b, int litSign, double blur, double gamma)
{
    camera::Shot s;
    s.radius = radius;
    s.thetaDeg = theta;
    s.b = b;
    s.litSign = litSign;
    s.blurPx = blur;
    s.gamma = gamma;
    s.seed = static_cast<unsigned>(radius + b * 7 + theta);
    return s;
}

const std::vector<Row> &rows()
{
    static const std::vector<Row> table{
        {"crescent", shot(250, 0, -35, 1, 1.5, 2.2), 5},
        {"crescentBelow", shot(300, 20, 35, -1, 2.0, 2.2), -6},
        {"thinCrescent", shot(400, -40, -80, 1, 1.5, 2.2), 8},
        {"sharpThin", shot(400, -40, -80, 1, 0.3, 2.2), 8},
        {"thinnest", shot(1300, 10, -85, 1, 1.2, 2.2), 3},
        {"quarter", shot(350, 55, 3, 1, 2.5, 2.2), -10},
        {"gibbous", shot(450, -20, 62, 1, 2.0, 2.2), 4},
        {"lateCrescent", shot(600, 30, 78, -1, 2.5, 1.8), -5},
        {"lateGibbous", shot(600, 30, -78, -1, 2.5, 1.8), -5},
        {"nearlyFull", shot(1200, -60, 85, 1, 2.0, 2.2), 2},
        {"linear", shot(300, 15, -50, -1, 1.0, 1.0), 6},
        {"softLarge", shot(900, -5, 45, 1, 4.0, 2.4), -7},
    };
    return table;
}

TEST(SunFit, BAndTheTiltFromCameraPhotographs)
{
    int covered = 0, total = 0;
    std::vector<double> errors;
    std::printf("%-14s %6s %7s %7s %6s %7s %6s %5s %5s\n", "case", "r", "B", "dB", "±B", "dθ°", "±θ°", "γ", "q");
    for (const Row &row : rows()) {
        const camera::Photo photo = camera::take(row.shot);
        measure::MoonModel disc = camera::trueModel(row.shot, photo);
        const double trueTheta = static_cast<double>(disc.theta);
        disc.theta += static_cast<measure::real>(row.clickedOff * M_PI / 180);
        const measure::TerminatorFit fit = measure::fitTerminator(photo.view(), disc, {row.shot.blurPx, row.shot.gamma, 0});
        EXPECT_EQ(fit.outcome, measure::FitOutcome::Found) << row.name;
        if (fit.outcome != measure::FitOutcome::Found)
            continue;
        const double db = static_cast<double>(fit.b) - row.shot.b;
        const double dt = (static_cast<double>(fit.theta) - trueTheta) * 180 / M_PI;
        std::printf("%-14s %6.0f %7.1f %+7.3f %6.3f %+7.3f %6.3f %5.2f %5.3f\n",
            row.name,
            row.shot.radius,
            row.shot.b,
            db,
            static_cast<double>(fit.bSigma),
            dt,
            std::sqrt(static_cast<double>(fit.varTheta)) * 180 / M_PI,
            static_cast<double>(fit.gamma),
            static_cast<double>(fit.roughness));
        EXPECT_EQ(fit.litSign, row.shot.litSign) << row.name;
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
