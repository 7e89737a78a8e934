// The catalogue of photographs that behave like real ones, and where their horns are seen.

#include "tests/synth/synthmoon.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace synth {
namespace {

struct Row {
    const char *name;
    double radius, b;
    int litSign;
    double tiltDegrees, blur, gamma;
    bool clipped;
    double earthshine;
    int quality;
    bool colour;
    /// The frame when not the disc's own (0), and where the centre stands in it.
    int width, height;
    double centreX, centreY;
};

// clang-format off
const Row kRows[] = {
    {"r200",               200, -60,  1,  10, 1.5, 2.2, false, 0.6, 90, false,    0,    0,    0,    0},
    {"r250",               250,  45, -1, -30, 2.0, 1.0, false, 0.0, 92, true,     0,    0,    0,    0},
    {"r300a",              300,   0,  1,  60, 2.5, 2.2, true,  0.0, 88, true,     0,    0,    0,    0},
    {"r300b",              300, -75, -1, -45, 1.0, 2.2, false, 1.5, 95, false,    0,    0,    0,    0},
    {"r350",               350,  70,  1,  25, 3.0, 2.2, true,  0.0, 85, true,     0,    0,    0,    0},
    {"r400",               400, -30,  1, -60, 1.2, 1.0, false, 0.8, 93, false,    0,    0,    0,    0},
    {"r450",               450,  20, -1,   5, 4.0, 2.2, false, 0.0, 90, true,     0,    0,    0,    0},
    {"r500",               500, -45, -1,  40, 2.0, 2.2, true,  1.0, 87, true,     0,    0,    0,    0},
    {"r550",               550,  60,  1, -15, 1.5, 1.0, true,  0.0, 95, false,    0,    0,    0,    0},
    {"r600",               600, -10,  1,  55, 2.8, 2.2, false, 0.5, 91, true,     0,    0,    0,    0},
    {"r650",               650,  35, -1, -50, 3.5, 2.2, false, 0.0, 86, false,    0,    0,    0,    0},
    {"r700",               700, -80,  1,  15, 2.0, 2.2, false, 2.0, 92, true,     0,    0,    0,    0},
    {"r750",               750,  80, -1, -25, 1.8, 2.2, true,  0.0, 89, false,    0,    0,    0,    0},
    {"r800",               800, -55,  1, -35, 2.2, 1.0, false, 0.4, 94, true,     0,    0,    0,    0},
    {"r850",               850,  10, -1,  30, 3.0, 2.2, false, 0.0, 85, true,     0,    0,    0,    0},
    {"r900-cut",           900, -20,  1,   0, 2.5, 2.2, true,  0.0, 90, true,  2400, 1600, 1100, 1450},
    {"r1000",             1000,  50,  1,  45, 1.5, 2.2, false, 0.0, 93, false,    0,    0,    0,    0},
    {"r1200a",            1200, -85,  1, -10, 2.0, 2.2, false, 1.2, 90, true,     0,    0,    0,    0},
    {"r1200b",            1200,  85,  1,  60, 3.0, 2.2, true,  0.0, 88, true,     0,    0,    0,    0},
    {"r1300",             1300, -40, -1, -55, 4.0, 2.2, false, 0.7, 95, false,    0,    0,    0,    0},
    {"r1400",             1400,  25,  1,  20, 1.0, 1.0, false, 0.0, 91, true,     0,    0,    0,    0},
    {"r1500",             1500, -65,  1,  -5, 2.5, 2.2, true,  1.5, 90, true,     0,    0,    0,    0},
    {"camera-r250",        250, -70, -1, -20, 1.2, 2.2, false, 1.0, 94, false, 6000, 4000, 1800, 2600},
    {"camera-r500",        500,  15, -1,  35, 2.0, 2.2, false, 0.0, 92, true,  6000, 4000, 4200, 1300},
    {"camera-r1200",      1200, -35,  1, -40, 3.0, 2.2, true,  0.8, 88, true,  6000, 4000, 2500, 2100},
    {"camera-r1500",      1500,   5,  1,  50, 3.5, 2.2, false, 0.0, 90, true,  6000, 4000, 3100, 2000},
};
// clang-format on

/// The brightest light the plain sphere sends under this Sun, for an albedo of 1: what a
/// photographer exposes for.
double brightestLight(const Scene &scene)
{
    const double l = lunarLambertL(std::acos(static_cast<double>(scene.sun.z)) * 180 / M_PI);
    double best = 1e-3;
    for (double x = -1; x <= 1; x += 0.02)
        for (double y = -1; y <= 1; y += 0.02) {
            const double zz = 1 - x * x - y * y;
            if (zz <= 0)
                continue;
            const double z = std::sqrt(zz);
            const double i =
                y * static_cast<double>(scene.sun.y) + z * static_cast<double>(scene.sun.z);
            if (i > 0)
                best = std::max(best, 2 * l * i / (i + z) + (1 - l) * i);
        }
    return best;
}

Scene sceneOf(const Row &row, unsigned seed)
{
    Scene scene;
    scene.radius = row.radius;
    const int side = static_cast<int>(std::ceil(row.radius * 2.2));
    scene.width = row.width > 0 ? row.width : side + static_cast<int>(0.2 * row.radius);
    scene.height = row.height > 0 ? row.height : side;
    // Off-centre a little in its own frame, as a photograph cropped by hand is.
    scene.centreX = row.width > 0 ? row.centreX : scene.width * 0.5 + 0.07 * row.radius + 0.37;
    scene.centreY = row.height > 0 ? row.centreY : scene.height * 0.5 - 0.05 * row.radius + 0.61;
    scene.theta = row.tiltDegrees * M_PI / 180;
    const double b = row.b * M_PI / 180;
    scene.sun = {0, -row.litSign * std::cos(b), row.litSign * std::sin(b)};
    scene.colour = row.colour;
    scene.photometry = Scene::Photometry::LunarLambert;
    scene.sunRadius = 0.27;
    scene.lunarAlbedo = true;
    scene.relief = true;
    scene.roughness = 8;
    scene.seas = 0;
    scene.craters = 0;
    scene.blurFwhm = row.blur;
    scene.gamma = row.gamma;
    scene.earthshine = row.earthshine;
    scene.jpegQuality = row.quality;
    scene.seed = seed;
    scene.sky = 3 + (seed % 4) * 3;
    scene.noise = 1.5 + (seed % 3);
    scene.stars = seed % 2 == 0 ? 20 : 0;
    // Highlands at about 80 % of the range, or over-exposed by half as much again.
    scene.brightness = (row.clipped ? 330 : 190) / brightestLight(scene);
    return scene;
}

} // namespace

std::vector<RealisticCase> realisticCases()
{
    std::vector<RealisticCase> cases;
    unsigned seed = 11;
    for (const Row &row : kRows) {
        const double night = row.radius * (1 - std::sin(std::fabs(row.b) * M_PI / 180));
        if (night < 4)
            throw std::logic_error("synth::realisticCases: a phase too thin for its disc");
        Scene scene = sceneOf(row, seed++);
        // The phase as one sees it: the Sun behind the Moon gives a crescent.
        const double z = static_cast<double>(scene.sun.z);
        const char *phase = z < -0.9 ? "thin"
            : z < -0.2               ? "crescent"
            : z < 0.2                ? "quarter"
            : z < 0.9                ? "gibbous"
                                     : "nearlyfull";
        cases.push_back({std::string(row.name) + "-" + phase, scene});
    }
    return cases;
}

std::optional<double> sunElevationAt(const Scene &scene, double x, double y)
{
    const auto p = measure::surfacePoint(modelOf(scene), x, y);
    if (!p)
        return std::nullopt;
    const measure::Vec3 &s = scene.sun;
    const measure::real n = std::sqrt(measure::dot(s, s));
    return static_cast<double>(std::asin(measure::dot(*p, s) / n) / measure::kPiOver180);
}

measure::Vec3 placeUnderSun(const Scene &scene, double elevationDegrees, double alongDegrees)
{
    using measure::real;
    const measure::Vec3 &s0 = scene.sun;
    const real n = std::sqrt(measure::dot(s0, s0));
    const real sy = s0.y / n, sz = s0.z / n;
    // Square to the Sun: the cusp line, and the direction across it that faces the viewer.
    real wy = -sz, wz = sy;
    if (wz < 0) {
        wy = -wy;
        wz = -wz;
    }
    const real e = elevationDegrees * measure::kPiOver180, a = alongDegrees * measure::kPiOver180;
    const real c = std::cos(e) * std::cos(a);
    const measure::Vec3 place{
        std::cos(e) * std::sin(a), std::sin(e) * sy + c * wy, std::sin(e) * sz + c * wz};
    if (!(place.z > 0))
        throw std::invalid_argument("synth::placeUnderSun: that place is behind the limb");
    return place;
}

namespace {

/// Mean level of the 3 × 3 pixels around (x, y) over all channels; none outside the photo.
std::optional<double> around(const Photo &photo, double x, double y)
{
    const long i = std::lround(x), j = std::lround(y);
    if (i < 1 || j < 1 || i >= photo.width - 1 || j >= photo.height - 1)
        return std::nullopt;
    double sum = 0;
    for (long v = j - 1; v <= j + 1; ++v)
        for (long u = i - 1; u <= i + 1; ++u)
            for (int c = 0; c < photo.channels; ++c)
                sum +=
                    photo
                        .pixels[(static_cast<std::size_t>(v) * static_cast<std::size_t>(photo.width)
                                    + static_cast<std::size_t>(u))
                                * static_cast<std::size_t>(photo.channels)
                            + static_cast<std::size_t>(c)];
    return sum / (9 * photo.channels);
}

} // namespace

HornTips hornTips(const Scene &scene, const Photo &photo)
{
    const double c = std::cos(scene.theta), s = std::sin(scene.theta);
    // Towards the lit limb across the cusp line, in the Moon's frame.
    const double litSide = scene.sun.y <= 0 ? -1 : 1;
    auto at = [&](double fx, double fy, double depth, double &px, double &py) {
        const double r = scene.radius - depth;
        px = scene.centreX + r * (c * fx - s * fy);
        py = scene.centreY + r * (s * fx + c * fy);
    };
    // The night just inside the limb, and the brightest day, along the middle of the disc.
    double px, py;
    double night = scene.sky, day = 0;
    at(0, -litSide, 4, px, py);
    if (const auto v = around(photo, px, py))
        night = *v;
    for (double depth = 2; depth < 0.5 * scene.radius; depth += 1) {
        at(0, litSide, depth, px, py);
        if (const auto v = around(photo, px, py))
            day = std::max(day, *v);
    }
    const double threshold = night + std::max(2.0 * scene.noise + 3, 0.12 * (day - night));
    // Lit specks (peaks beyond the cusps) are not the horn: it begins where the light runs on
    // unbroken along the limb for a degree, or 8 px on small discs.
    const double step = 0.1;
    const int run =
        static_cast<int>(std::ceil(std::max(1.0, 8 / scene.radius * 180 / M_PI) / step));
    HornTips tips;
    for (int n = 0; n < 2; ++n) {
        const double side = n == 0 ? -1 : 1;
        int lit = 0;
        for (int k = 0; k * step <= 90 && !tips.seen[n]; ++k) {
            const double a = k * step * M_PI / 180;
            const double fx = side * std::cos(a), fy = litSide * std::sin(a);
            bool bright = false;
            // Only a thin ring inside the limb: deeper, the walk would run along the
            // terminator itself near the cusps of a half Moon.
            for (double depth = 1.5;
                 !bright && depth <= 2.5 + scene.blurFwhm + 0.005 * scene.radius;
                 depth += 1) {
                at(fx, fy, depth, px, py);
                const auto v = around(photo, px, py);
                bright = v && *v > threshold;
            }
            lit = bright ? lit + 1 : 0;
            if (lit == run) {
                const double t = (k - run + 1) * step;
                const double first = t * M_PI / 180;
                at(side * std::cos(first), litSide * std::sin(first), 0, px, py);
                tips.tip[n] = {px, py};
                tips.shortfall[n] = t;
                tips.seen[n] = true;
            }
        }
    }
    return tips;
}

} // namespace synth
