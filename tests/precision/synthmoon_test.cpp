#include "measure/moonmodel.h"
#include "tests/synth/synthmoon.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <ostream>
#include <stdexcept>
#include <string>

// The generator is the yardstick of the precision tests: if its sphere, its Sun or its shadows
// were off, every figure proven with it would be too. These tests hold it to the program's own
// model (measure::surfacePoint, measure::project), computed independently of the renderer.

namespace {

constexpr double kDegree = M_PI / 180;

measure::Vec3 sunAt(double bDegrees, int litSign)
{
    const double b = bDegrees * kDegree;
    return {0, -litSign * std::cos(b), litSign * std::sin(b)};
}

int level(const synth::Photo &photo, int x, int y, int channel = 0)
{
    return photo.pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(photo.width)
                            + static_cast<std::size_t>(x))
            * static_cast<std::size_t>(photo.channels)
        + static_cast<std::size_t>(channel)];
}

// Plain sphere: no seas, craters or grain, so every level is known from the model alone.
synth::Scene plain(double bDegrees, int litSign, double theta)
{
    synth::Scene scene;
    scene.width = 420;
    scene.height = 400;
    scene.centreX = 210.3;
    scene.centreY = 195.6;
    scene.radius = 170;
    scene.theta = theta;
    scene.sun = sunAt(bDegrees, litSign);
    scene.seas = 0;
    scene.craters = 0;
    scene.noise = 0;
    return scene;
}

struct PhaseCase {
    std::string name;
    double b;
    int litSign;
    double theta;
    double gamma;
};

class SmoothSphere : public ::testing::TestWithParam<PhaseCase> { };

// Every pixel whose square lies wholly on one side of the terminator and inside the limb shows
// the sky plus Lambert's light at its centre; the terminator is where the light falls to zero,
// so this places it to within the pixels skipped on either side of it.
TEST_P(SmoothSphere, LevelsFollowLambertOnBothSidesOfTheTerminator)
{
    const PhaseCase &c = GetParam();
    synth::Scene scene = plain(c.b, c.litSign, c.theta);
    scene.gamma = c.gamma;
    const synth::Photo photo = synth::render(scene);
    ASSERT_EQ(photo.width, scene.width);
    ASSERT_EQ(photo.height, scene.height);
    ASSERT_EQ(photo.channels, 1);
    const measure::MoonModel model = synth::modelOf(scene);
    const measure::Vec3 sun = scene.sun;
    int lit = 0, dark = 0;
    for (int y = 0; y < scene.height; y += 3)
        for (int x = 0; x < scene.width; x += 3) {
            const auto p = measure::surfacePoint(model, x, y);
            const double off = std::hypot(x - scene.centreX, y - scene.centreY);
            if (!p) {
                if (off > scene.radius + 1.5) {
                    EXPECT_EQ(level(photo, x, y), scene.sky) << x << "," << y;
                }
                continue;
            }
            if (off > scene.radius - 2)
                continue;
            const double g = static_cast<double>(measure::dot(*p, sun));
            // How much the light changes across one pixel: the terminator is inside the
            // pixel when the light at its centre is smaller than that.
            const double z = static_cast<double>(p->z);
            const double slope = std::hypot(static_cast<double>(sun.x - sun.z * p->x / z),
                                     static_cast<double>(sun.y - sun.z * p->y / z))
                / scene.radius;
            if (std::fabs(g) < 1.2 * slope)
                continue;
            // The sky's glow is light too: it goes through the tone curve with the Moon's.
            const double sky = 255 * std::pow(scene.sky / 255, c.gamma);
            const double light = sky + (g > 0 ? scene.brightness * g : 0);
            const double expected = 255 * std::pow(light / 255, 1 / c.gamma);
            ++(g > 0 ? lit : dark);
            // Rounding, and the light's curvature across the supersampled pixels.
            EXPECT_NEAR(level(photo, x, y), expected, 0.75) << x << "," << y;
        }
    EXPECT_GT(lit, 25);
    EXPECT_GT(dark, 25);
}

// The limb lit straight on (the Sun along the cusp line): the level crosses half-way between
// the sky and the disc where the circle passes, as an anti-aliased photograph does.
TEST_P(SmoothSphere, LitLimbCrossesHalfLevelOnTheCircle)
{
    const PhaseCase &c = GetParam();
    synth::Scene scene = plain(0, 1, c.theta);
    scene.sun = {static_cast<measure::real>(c.litSign), 0, 0};
    const synth::Photo photo = synth::render(scene);
    const double ux = c.litSign * std::cos(c.theta), uy = c.litSign * std::sin(c.theta);
    // Across a row through the lit limb point, looking for the half-way crossing.
    for (double offset : {-12.0, 0.0, 12.0}) {
        const int row =
            static_cast<int>(std::lround(scene.centreY + scene.radius * uy + offset * ux));
        const double dy = row - scene.centreY;
        const double half = std::sqrt(scene.radius * scene.radius - dy * dy);
        const double edgeX = ux > 0 ? scene.centreX + half : scene.centreX - half;
        const int inside = static_cast<int>(std::lround(edgeX - 4 * (ux > 0 ? 1 : -1)));
        const double top = level(photo, inside, row);
        const double mid = 0.5 * (top + scene.sky);
        double crossing = NAN;
        for (int x = inside; x != inside + 8 * (ux > 0 ? 1 : -1); x += ux > 0 ? 1 : -1) {
            const int next = x + (ux > 0 ? 1 : -1);
            const double a = level(photo, x, row), b = level(photo, next, row);
            if (a >= mid && b < mid) {
                crossing = x + (next - x) * (a - mid) / (a - b);
                break;
            }
        }
        ASSERT_FALSE(std::isnan(crossing)) << "row " << row;
        // The limb is curved and leans across the row; a tenth of a pixel at 170 px.
        EXPECT_NEAR(crossing, edgeX, 0.15) << "row " << row;
    }
}

void PrintTo(const PhaseCase &c, std::ostream *os)
{
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Phases,
    SmoothSphere,
    ::testing::Values(PhaseCase{"HalfMoon", 0, 1, 0, 1},
        PhaseCase{"CrescentTilted", -50, 1, 0.4, 1},
        PhaseCase{"GibbousOtherSide", -35, -1, -0.7, 1},
        PhaseCase{"ThinCrescentOtherSide", 75, -1, 1.2, 1},
        PhaseCase{"GibbousCameraTone", 60, 1, 0.1, 2.2}),
    [](const auto &tc) { return tc.param.name; });

// Seas, craters and grain change the levels but not which side is lit: well away from the
// terminator the day side is bright and the night side shows the sky.
TEST(SynthMoon, DaySideBrightAndNightSideSkyWithEverything)
{
    synth::Scene scene = plain(-20, -1, 0.3);
    scene.seas = 6;
    scene.craters = 12;
    scene.noise = 3;
    scene.stars = 20;
    scene.colour = true;
    const synth::Photo photo = synth::render(scene);
    ASSERT_EQ(photo.channels, 3);
    const measure::MoonModel model = synth::modelOf(scene);
    int lit = 0, dark = 0;
    for (int y = 0; y < scene.height; y += 5)
        for (int x = 0; x < scene.width; x += 5) {
            const auto p = measure::surfacePoint(model, x, y);
            if (!p || p->z < 0.1)
                continue;
            const double h = std::asin(static_cast<double>(measure::dot(*p, scene.sun))) / kDegree;
            const int red = level(photo, x, y, 0);
            if (h > 12) {
                // Seas keep at least 55 % of the light; grain is 3 levels.
                EXPECT_GT(red, scene.sky + 0.5 * scene.brightness * std::sin(h * kDegree) - 12)
                    << x << "," << y;
                ++lit;
            } else if (h < -12) {
                EXPECT_NEAR(red, scene.sky * 0.85, 15) << x << "," << y;
                ++dark;
            }
        }
    EXPECT_GT(lit, 100);
    EXPECT_GT(dark, 100);
}

// Seas darken the ground to 55–75 % of the highlands and no further; craters change the
// picture only near the terminator, where they break its line.
TEST(SynthMoon, SeasDarkenWithinTheirRangeAndCratersStayOnTheTerminator)
{
    synth::Scene scene = plain(-10, 1, -0.2);
    scene.seas = 8;
    const synth::Photo seas = synth::render(scene);
    scene.craters = 16;
    const synth::Photo craters = synth::render(scene);
    const measure::MoonModel model = synth::modelOf(scene);
    double darkest = 1;
    int changed = 0;
    for (int y = 0; y < scene.height; ++y)
        for (int x = 0; x < scene.width; ++x) {
            const auto p = measure::surfacePoint(model, x, y);
            if (!p || p->z < 0.15)
                continue;
            const double g = static_cast<double>(measure::dot(*p, scene.sun));
            const double h = std::asin(g) / kDegree;
            // High enough that rounding to whole levels does not blur the ratio.
            if (h > 20) {
                darkest =
                    std::min(darkest, (level(seas, x, y) - scene.sky) / (scene.brightness * g));
            }
            if (std::abs(level(craters, x, y) - level(seas, x, y)) > 2) {
                ++changed;
                // Within a few degrees of the terminator, plus the craters' own size.
                EXPECT_LT(std::fabs(h), 6) << x << "," << y;
            }
        }
    EXPECT_GT(darkest, 0.55 - 0.01);
    EXPECT_LT(darkest, 0.75 + 0.01);
    EXPECT_GT(changed, 30);
}

TEST(SynthMoon, SameSeedSamePhotographOtherSeedOtherGrain)
{
    synth::Scene scene = plain(-30, 1, 0.2);
    scene.width = 160;
    scene.height = 150;
    scene.centreX = 80;
    scene.centreY = 75;
    scene.radius = 60;
    scene.seas = 3;
    scene.craters = 4;
    scene.stars = 5;
    const synth::Photo a = synth::render(scene);
    const synth::Photo b = synth::render(scene);
    EXPECT_EQ(a.pixels, b.pixels);
    scene.seed = 2;
    EXPECT_NE(synth::render(scene).pixels, a.pixels);
}

// ---------------------------------------------------------------------------------------------
// Mountains: the shadow given by shadowOf is what the renderer draws.

struct ShadowCase {
    std::string name;
    synth::Mountain::Shape shape;
    /// Where the foot stands, as an angle along the cusp line and one across it (degrees).
    double along, across;
    double elevation;
    double radius;
    double heightKm, radiusKm;
};

measure::Vec3 footAt(double along, double across)
{
    const double a = along * kDegree, c = across * kDegree;
    return {std::sin(a) * std::cos(c), std::sin(c), std::cos(a) * std::cos(c)};
}

class MountainShadow : public ::testing::TestWithParam<ShadowCase> {
protected:
    void SetUp() override
    {
        const ShadowCase &c = GetParam();
        mountain.shape = c.shape;
        mountain.base = footAt(c.along, c.across);
        mountain.heightKm = c.heightKm;
        mountain.radiusKm = c.radiusKm;
        if (c.shape == synth::Mountain::Shape::Ridge) {
            // The crest along the cusp line, square to the light: a blunt shadow end.
            mountain.halfLengthKm = 4 * c.radiusKm;
            mountain.crestAngle = 0;
        }
        // A window around the mountain only: the disc is far larger than the picture.
        scene.radius = c.radius;
        scene.theta = 0.25;
        scene.sun = synth::sunAbove(mountain.base, c.elevation);
        scene.seas = 0;
        scene.craters = 0;
        scene.noise = 0;
        scene.mountains = {mountain};
        scene.width = 200;
        scene.height = 200;
        scene.centreX = 0;
        scene.centreY = 0;
        const measure::PicturePoint top = measure::project(synth::modelOf(scene), mountain.base);
        scene.centreX = 100 - static_cast<double>(top.x) + 0.37;
        scene.centreY = 60 - static_cast<double>(top.y) + 0.21;
        truth = synth::shadowOf(scene, mountain);
    }
    synth::Mountain mountain;
    synth::Scene scene;
    synth::ShadowTruth truth;
};

// Near the limb the summit leans towards it on the picture, so the segment from the summit to
// the end of the shadow runs along the shadow's edge; the line from the foot to the end runs
// down its middle, and the darkness is checked there.
TEST_P(MountainShadow, DarkFromFootToEndAndLitJustBeyond)
{
    ASSERT_TRUE(truth.falls);
    const synth::Photo photo = synth::render(scene);
    const measure::MoonModel model = synth::modelOf(scene);
    const measure::PicturePoint foot = measure::project(model, mountain.base);
    const double fx = static_cast<double>(foot.x), fy = static_cast<double>(foot.y);
    const double ex = static_cast<double>(truth.end.x), ey = static_cast<double>(truth.end.y);
    const double length = std::hypot(ex - fx, ey - fy);
    ASSERT_GT(length, 8);
    ASSERT_LT(std::max(ex, fx), scene.width - 10);
    ASSERT_LT(std::max(ey, fy), scene.height - 10);
    const double ux = (ex - fx) / length, uy = (ey - fy) / length;
    auto pixel = [&](double d) {
        return std::pair<int, int>(
            static_cast<int>(std::lround(fx + d * ux)), static_cast<int>(std::lround(fy + d * uy)));
    };
    // Past the foot and short of the tip, where the shadow is wider than a pixel; a cone's
    // shadow narrows to a point, so only its first half is surely that wide.
    const double footRadius = GetParam().radiusKm / synth::kMoonRadiusKm * scene.radius;
    const bool blunt = GetParam().shape == synth::Mountain::Shape::Ridge;
    const double last = blunt ? length - 1.5 : footRadius + 0.5 * (length - footRadius);
    int checked = 0;
    for (double d = footRadius + 1; d <= last; d += 1, ++checked) {
        const auto [x, y] = pixel(d);
        EXPECT_LE(level(photo, x, y), scene.sky + 1) << "at " << d << " of " << length;
    }
    EXPECT_GT(checked, 1);
    // Beyond the end the plain ground has its full light again.
    for (double d : {length + 1.5, length + 4}) {
        const auto [x, y] = pixel(d);
        const auto ground = measure::surfacePoint(model, x, y);
        ASSERT_TRUE(ground);
        const double light =
            scene.brightness * static_cast<double>(measure::dot(*ground, scene.sun));
        EXPECT_NEAR(level(photo, x, y), scene.sky + light, 1) << "beyond the end, at " << d;
    }
}

double bilinear(const synth::Photo &photo, double x, double y)
{
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const double fx = x - x0, fy = y - y0;
    return (1 - fy) * ((1 - fx) * level(photo, x0, y0) + fx * level(photo, x0 + 1, y0))
        + fy * ((1 - fx) * level(photo, x0, y0 + 1) + fx * level(photo, x0 + 1, y0 + 1));
}

// A ridge square to the light ends its shadow with a straight edge through the end that
// shadowOf gives: the level crosses half-way between the shadow and the lit ground there, to
// a fraction of a pixel, so the shadow on the photograph has its true length.
// A cone's shadow ends in a point; a ridge's is blunt, so its end can be located.
class RidgeShadow : public MountainShadow { };

TEST_P(RidgeShadow, EndsWhereShadowOfSays)
{
    ASSERT_TRUE(truth.falls);
    const synth::Photo photo = synth::render(scene);
    const measure::PicturePoint foot = measure::project(synth::modelOf(scene), mountain.base);
    const double fx = static_cast<double>(foot.x), fy = static_cast<double>(foot.y);
    const double ex = static_cast<double>(truth.end.x), ey = static_cast<double>(truth.end.y);
    const double length = std::hypot(ex - fx, ey - fy);
    const double ux = (ex - fx) / length, uy = (ey - fy) / length;
    const double lit = bilinear(photo, ex + 3 * ux, ey + 3 * uy);
    const double mid = 0.5 * (scene.sky + lit);
    double crossing = NAN;
    for (double d = -3; d < 3; d += 0.02)
        if (bilinear(photo, ex + d * ux, ey + d * uy) >= mid) {
            crossing = d;
            break;
        }
    ASSERT_FALSE(std::isnan(crossing));
    EXPECT_NEAR(crossing, 0, 0.15) << "shadow of " << length << " px";
}

const ShadowCase kCones[] = {
    {"ConeMiddleLowSun", synth::Mountain::Shape::Cone, 0, 0, 5, 1500, 3, 10},
    // Under a Sun of 2° the ground falls away from a summit higher than about 1 km faster
    // than its shadow does: kept low so that the shadow lands.
    {"ConeGrazingSun", synth::Mountain::Shape::Cone, 10, -20, 2, 1500, 0.8, 5},
    {"ConeNearLimb", synth::Mountain::Shape::Cone, 70, 10, 6, 1000, 5, 20},
    {"ConeSmallDisc", synth::Mountain::Shape::Cone, -20, 30, 4, 300, 3.5, 25},
};

const ShadowCase kRidges[] = {
    {"RidgeModerateSun", synth::Mountain::Shape::Ridge, 5, 15, 12, 1500, 4, 6},
    {"RidgeHighSun", synth::Mountain::Shape::Ridge, -30, -10, 25, 1500, 6, 4},
    {"RidgeNearLimb", synth::Mountain::Shape::Ridge, -65, 0, 8, 800, 3, 6},
};

void PrintTo(const ShadowCase &c, std::ostream *os)
{
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cones, MountainShadow, ::testing::ValuesIn(kCones), [](const auto &tc) {
    return tc.param.name;
});
INSTANTIATE_TEST_SUITE_P(Ridges, MountainShadow, ::testing::ValuesIn(kRidges), [](const auto &tc) {
    return tc.param.name;
});
INSTANTIATE_TEST_SUITE_P(Ridges, RidgeShadow, ::testing::ValuesIn(kRidges), [](const auto &tc) {
    return tc.param.name;
});

TEST(SynthMoon, NoShadowWhereTheSunIsHigherThanTheFlank)
{
    synth::Scene scene;
    synth::Mountain cone;
    cone.heightKm = 1;
    cone.radiusKm = 20; // a flank of 2.9°
    scene.sun = synth::sunAbove(cone.base, 10);
    EXPECT_FALSE(synth::shadowOf(scene, cone).falls);
    scene.sun = synth::sunAbove(cone.base, 2);
    EXPECT_TRUE(synth::shadowOf(scene, cone).falls);
    // A summit on the night side casts nothing.
    scene.sun = synth::sunAbove(cone.base, -3);
    EXPECT_FALSE(synth::shadowOf(scene, cone).falls);
}

// ---------------------------------------------------------------------------------------------

struct SunCase {
    double along, across;
    double elevation;
    int litSign;
};

class SunAbove : public ::testing::TestWithParam<SunCase> { };

// The helpers that set up a scene's Sun and read it back as the program's model must agree
// with the model's own sunDirection, or every truth derived from them would be off.
TEST_P(SunAbove, GivesTheElevationAndReadsBackAsTheModel)
{
    const SunCase &c = GetParam();
    const measure::Vec3 place = footAt(c.along, c.across);
    synth::Scene scene;
    scene.sun = synth::sunAbove(place, c.elevation, c.litSign);
    EXPECT_EQ(scene.sun.x, 0);
    const double h = std::asin(static_cast<double>(measure::dot(place, scene.sun))) / kDegree;
    EXPECT_NEAR(h, c.elevation, 1e-9);
    const measure::MoonModel model = synth::trueModel(scene);
    EXPECT_EQ(model.litSign, c.litSign);
    EXPECT_LE(std::fabs(static_cast<double>(model.b)), 90);
    const measure::Vec3 back = measure::sunDirection(model);
    EXPECT_NEAR(static_cast<double>(back.y), static_cast<double>(scene.sun.y), 1e-12);
    EXPECT_NEAR(static_cast<double>(back.z), static_cast<double>(scene.sun.z), 1e-12);
}

void PrintTo(const SunCase &c, std::ostream *os)
{
    *os << c.along << "°, " << c.across << "°, h " << c.elevation << "°, lit " << c.litSign;
}

INSTANTIATE_TEST_SUITE_P(Places,
    SunAbove,
    ::testing::Values(SunCase{0, 0, 5, 1},
        SunCase{0, 0, 5, -1},
        SunCase{30, -40, 2, 1},
        SunCase{-60, 20, 25, 1},
        SunCase{-10, 50, 12, -1},
        SunCase{75, -5, -3, 1},
        SunCase{0, -80, 45, 1}));

TEST(SynthMoon, NoSunAboveAPlaceThatCannotSeeIt)
{
    // The top of the disc cannot see a Sun below the cusp line, nor the end of the cusp line
    // a Sun at 30° that stays square to it.
    EXPECT_THROW((void)synth::sunAbove(footAt(0, -90), 10, -1), std::invalid_argument);
    EXPECT_THROW((void)synth::sunAbove(footAt(85, 0), 30, 1), std::invalid_argument);
}

// ---------------------------------------------------------------------------------------------

class JpegRoundTrip : public ::testing::TestWithParam<bool> { };

TEST_P(JpegRoundTrip, DecodesToTheSamePictureWithinAFewLevels)
{
    synth::Scene scene;
    scene.width = 323; // not a multiple of the 8-pixel blocks
    scene.height = 251;
    scene.centreX = 150;
    scene.centreY = 120;
    scene.radius = 100;
    scene.sun = sunAt(20, 1);
    scene.colour = GetParam();
    const synth::Photo photo = synth::render(scene);
    const std::vector<std::uint8_t> bytes = synth::encodeJpeg(photo, 90);
    ASSERT_GT(bytes.size(), 100u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    const synth::Photo back = synth::decodeJpeg(bytes);
    ASSERT_EQ(back.width, photo.width);
    ASSERT_EQ(back.height, photo.height);
    ASSERT_EQ(back.channels, photo.channels);
    double sum = 0;
    for (std::size_t k = 0; k < photo.pixels.size(); ++k)
        sum += std::abs(int(back.pixels[k]) - int(photo.pixels[k]));
    // Mostly the grain, which the quantisation smooths; colour also loses half its chroma.
    EXPECT_LT(sum / static_cast<double>(photo.pixels.size()), 3.0);
}

INSTANTIATE_TEST_SUITE_P(
    Channels, JpegRoundTrip, ::testing::Values(false, true), [](const auto &tc) {
        return tc.param ? "Colour" : "Grey";
    });

// A file libjpeg refuses gives an empty photograph, not the end of the test program.
TEST(JpegDecode, ARefusedFileDecodesToNothing)
{
    for (const std::vector<std::uint8_t> &bytes :
        {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xDB, 0, 2}})
        EXPECT_EQ(synth::decodeJpeg(bytes).width, 0);
}

TEST(SynthMoon, TrueCuspsAreTheEndsOfTheTiltedDiameter)
{
    synth::Scene scene;
    scene.centreX = 300.5;
    scene.centreY = 250;
    scene.radius = 200;
    scene.theta = 0.5;
    const measure::PicturePoint one = synth::trueCusp(scene, 1);
    const measure::PicturePoint two = synth::trueCusp(scene, 2);
    // Cusp 1 is the left one, as the program orders them.
    EXPECT_LT(one.x, two.x);
    EXPECT_NEAR(static_cast<double>(one.x + two.x) / 2, scene.centreX, 1e-12);
    EXPECT_NEAR(static_cast<double>(one.y + two.y) / 2, scene.centreY, 1e-12);
    EXPECT_NEAR(std::atan2(static_cast<double>(two.y - one.y), static_cast<double>(two.x - one.x)),
        scene.theta,
        1e-15);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The physics that makes a photograph behave like a real one.

TEST(SynthMoon, McEwenWeightFallsFromOneAtFullMoonToNoneNear105Degrees)
{
    EXPECT_DOUBLE_EQ(synth::lunarLambertL(0), 1);
    EXPECT_NEAR(synth::lunarLambertL(90), 0.186, 0.001);
    EXPECT_LT(synth::lunarLambertL(105), 0.01);
    EXPECT_EQ(synth::lunarLambertL(150), 0);
    for (double g = 0; g < 105; g += 5)
        EXPECT_GT(synth::lunarLambertL(g), synth::lunarLambertL(g + 5)) << g;
}

struct PhysicsCase {
    std::string name;
    synth::Scene::Photometry photometry;
    double b;
    /// Light at 0.95 R as a fraction of the centre's.
    double limbOverCentre;
};

class Photometry : public ::testing::TestWithParam<PhysicsCase> { };

// Under the lunar law the full Moon is as bright at the limb as at the centre; Lambert's
// darkens it as cos i. Measured across the disc square to the cusp line, at 0.95 R.
TEST_P(Photometry, LimbAgainstCentre)
{
    const PhysicsCase &c = GetParam();
    synth::Scene scene = plain(c.b, 1, 0);
    scene.photometry = c.photometry;
    scene.sky = 0;
    const synth::Photo photo = synth::render(scene);
    const int x = static_cast<int>(std::lround(scene.centreX));
    const int centre = static_cast<int>(std::lround(scene.centreY));
    const int edge = static_cast<int>(std::lround(scene.centreY - 0.95 * scene.radius));
    EXPECT_NEAR(double(level(photo, x, edge)) / level(photo, x, centre), c.limbOverCentre, 0.02);
}

INSTANTIATE_TEST_SUITE_P(Laws,
    Photometry,
    ::testing::Values(PhysicsCase{"LunarFullMoon", synth::Scene::Photometry::LunarLambert, 90, 1},
        // Lambert: cos i at 0.95 R is sqrt(1 − 0.95²).
        PhysicsCase{"LambertFullMoon", synth::Scene::Photometry::Lambert, 90, 0.312}),
    [](const auto &tc) { return tc.param.name; });

// The seeing spreads the light without losing any; earthshine is light before the tone curve,
// which lifts it far above its linear level; highlights beyond 255 clip.
TEST(SynthMoon, BlurKeepsTheLightAndClippingCapsIt)
{
    synth::Scene scene = plain(-20, 1, 0.4);
    scene.sky = 0;
    scene.brightness = 200;
    auto total = [](const synth::Photo &photo) {
        double sum = 0;
        for (std::uint8_t v : photo.pixels)
            sum += v;
        return sum;
    };
    const double sharp = total(synth::render(scene));
    scene.blurFwhm = 3.5;
    EXPECT_NEAR(total(synth::render(scene)) / sharp, 1, 0.002);
    scene.brightness = 600;
    scene.earthshine = 2;
    scene.gamma = 2.2;
    const synth::Photo photo = synth::render(scene);
    EXPECT_EQ(level(photo, 210, 30), 255);
    EXPECT_NEAR(level(photo, 210, 360), 255 * std::pow(2 / 255.0, 1 / 2.2), 1);
}

struct GroundCase {
    std::string name;
    bool relief;
    synth::Scene::Photometry photometry;
    /// How far the light averaged over a band of elevation may stray from the plain sphere's.
    double tolerance;
};

class Ground : public ::testing::TestWithParam<GroundCase> { };

// The scene's terminator is the plain sphere's great circle: relief breaks its line (peaks
// beyond it catch light, shadows fall on the day side) but keeps the light averaged along
// bands of the true elevation on the plain sphere's, so a fit finds the true circle.
TEST_P(Ground, LightFollowsTheTrueElevation)
{
    const GroundCase &c = GetParam();
    synth::Scene scene = plain(-25, 1, 0.3);
    scene.width = scene.height = 700;
    scene.centreX = scene.centreY = 350.4;
    scene.radius = 320;
    scene.sky = 0;
    scene.brightness = 250;
    scene.sunRadius = 0.27;
    scene.relief = c.relief;
    scene.photometry = c.photometry;
    const synth::Photo photo = synth::render(scene);
    const double l = synth::lunarLambertL(std::acos(double(scene.sun.z)) / kDegree);
    const double edges[] = {3, 6, 12, 25};
    double got[3] = {}, want[3] = {};
    int litBeyond = 0, darkWithin = 0;
    for (int y = 0; y < scene.height; ++y)
        for (int x = 0; x < scene.width; ++x) {
            const auto h = synth::sunElevationAt(scene, x, y);
            const auto p = measure::surfacePoint(synth::modelOf(scene), x, y);
            if (!h || p->z < 0.1)
                continue;
            const int v = level(photo, x, y);
            litBeyond += *h < -1 && v > 2;
            darkWithin += *h > 2 && *h < 5 && v == 0;
            EXPECT_TRUE(*h > -8 || v == 0) << x << "," << y;
            const double i = std::sin(*h * kDegree), e = double(p->z);
            for (int k = 0; k < 3; ++k)
                if (*h > edges[k] && *h < edges[k + 1]) {
                    got[k] += v;
                    want[k] += scene.brightness
                        * (c.photometry == synth::Scene::Photometry::Lambert
                                ? i
                                : 2 * l * i / (i + e) + (1 - l) * i);
                }
        }
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(got[k] / want[k], 1, c.tolerance) << "from " << edges[k] << "°";
    EXPECT_EQ(litBeyond > 20, c.relief);
    EXPECT_EQ(darkWithin > 20, c.relief);
}

INSTANTIATE_TEST_SUITE_P(Surfaces,
    Ground,
    ::testing::Values(GroundCase{"Plain", false, synth::Scene::Photometry::Lambert, 0.01},
        GroundCase{"PlainLunar", false, synth::Scene::Photometry::LunarLambert, 0.01},
        GroundCase{"Rough", true, synth::Scene::Photometry::LunarLambert, 0.15}),
    [](const auto &tc) { return tc.param.name; });

// The catalogue keeps its promises: day and night at least 4 px across the middle, B, tilts
// and radii over their ranges, framed off-centre and cut by the frame's edge.
TEST(SynthMoon, RealisticCatalogueCoversWhatPhotographsShow)
{
    const std::vector<synth::RealisticCase> cases = synth::realisticCases();
    ASSERT_GE(cases.size(), 24u);
    double bMin = 90, bMax = -90, tiltMin = 90, tiltMax = -90, rMin = 1e9, rMax = 0;
    int litSides = 0, cut = 0;
    for (const synth::RealisticCase &c : cases) {
        const synth::Scene &s = c.scene;
        const measure::MoonModel model = synth::trueModel(s);
        const double b = double(model.b), r = s.radius;
        EXPECT_GE(r * (1 - std::sin(std::fabs(b) * kDegree)), 4) << c.name;
        bMin = std::min(bMin, b);
        bMax = std::max(bMax, b);
        tiltMin = std::min(tiltMin, s.theta / kDegree);
        tiltMax = std::max(tiltMax, s.theta / kDegree);
        rMin = std::min(rMin, r);
        rMax = std::max(rMax, r);
        litSides += model.litSign;
        cut += s.centreX - r < 0 || s.centreY - r < 0 || s.centreX + r > s.width
            || s.centreY + r > s.height;
    }
    EXPECT_LE(bMin, -85 + 1e-9);
    EXPECT_GE(bMax, 85 - 1e-9);
    EXPECT_LE(tiltMin, -60 + 1e-9);
    EXPECT_GE(tiltMax, 60 - 1e-9);
    EXPECT_LE(rMin, 200);
    EXPECT_GE(rMax, 1500);
    EXPECT_LT(std::abs(litSides), int(cases.size()) / 2);
    EXPECT_GE(cut, 1);
}

// The horns a user sees end on the limb, on the lit side; a crescent's short of the true
// cusps, where the Sun grazes the rough ground. The same scene renders the same photograph.
TEST(SynthMoon, HornTipsAreOnTheLimbShortOfACrescentsCusps)
{
    for (const synth::RealisticCase &c : synth::realisticCases()) {
        if (c.scene.radius > 300)
            continue;
        const synth::Photo photo = synth::render(c.scene);
        if (c.scene.radius == 200) {
            EXPECT_EQ(synth::render(c.scene).pixels, photo.pixels) << "not deterministic";
        }
        const synth::HornTips tips = synth::hornTips(c.scene, photo);
        const bool crescent = c.scene.sun.z < -0.2;
        for (int n = 0; n < 2; ++n) {
            ASSERT_TRUE(tips.seen[n]) << c.name;
            const double dx = double(tips.tip[n].x) - c.scene.centreX;
            const double dy = double(tips.tip[n].y) - c.scene.centreY;
            EXPECT_NEAR(std::hypot(dx, dy), c.scene.radius, 1e-6) << c.name;
            EXPECT_LT(tips.shortfall[n], 45) << c.name;
            const auto h = synth::sunElevationAt(
                c.scene, double(tips.tip[n].x) - dx * 1e-3, double(tips.tip[n].y) - dy * 1e-3);
            ASSERT_TRUE(h);
            EXPECT_GT(*h, -1e-6) << c.name;
            if (crescent) {
                EXPECT_GT(tips.shortfall[n], 3) << c.name;
            }
        }
    }
}

// A mountain on the rough, lunar-lit ground of a realistic photograph still casts its exact
// shadow: dark from its foot to the end shadowOf gives, the ground lit again beyond it.
TEST(SynthMoon, MountainOnRoughGroundCastsItsExactShadow)
{
    synth::Scene scene = synth::realisticCases().front().scene;
    scene.radius = 1500;
    scene.theta = 0.25;
    scene.blurFwhm = 0;
    scene.jpegQuality = 0;
    scene.noise = 0;
    scene.earthshine = 0;
    scene.gamma = 1;
    synth::Mountain ridge;
    ridge.shape = synth::Mountain::Shape::Ridge;
    ridge.base = synth::placeUnderSun(scene, 6, 10);
    EXPECT_NEAR(*synth::sunElevationAt(scene,
                    double(measure::project(synth::modelOf(scene), ridge.base).x),
                    double(measure::project(synth::modelOf(scene), ridge.base).y)),
        6,
        1e-6);
    ridge.heightKm = 3;
    ridge.radiusKm = 6;
    ridge.halfLengthKm = 24;
    scene.mountains = {ridge};
    scene.width = scene.height = 200;
    scene.centreX = scene.centreY = 0;
    const measure::PicturePoint foot0 = measure::project(synth::modelOf(scene), ridge.base);
    scene.centreX = 100 - double(foot0.x);
    scene.centreY = 60 - double(foot0.y);
    const synth::ShadowTruth truth = synth::shadowOf(scene, ridge);
    ASSERT_TRUE(truth.falls);
    const synth::Photo photo = synth::render(scene);
    const measure::PicturePoint foot = measure::project(synth::modelOf(scene), ridge.base);
    const double fx = double(foot.x), fy = double(foot.y);
    const double length = std::hypot(double(truth.end.x) - fx, double(truth.end.y) - fy);
    const double ux = (double(truth.end.x) - fx) / length, uy = (double(truth.end.y) - fy) / length;
    const double footPx = ridge.radiusKm / synth::kMoonRadiusKm * scene.radius;
    for (double d = footPx + 1; d < length - 1.5; d += 1)
        EXPECT_LE(bilinear(photo, fx + d * ux, fy + d * uy), scene.sky + 1) << d;
    double beyond = 0;
    for (double d = length + 2; d < length + 8; d += 1)
        beyond += bilinear(photo, fx + d * ux, fy + d * uy) / 6;
    EXPECT_GT(beyond, scene.sky + 0.3 * scene.brightness * std::sin(6 * kDegree));
}
