#include "measure/shadow.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace {

using measure::real;

constexpr double kDegree = M_PI / 180;

measure::MoonModel model(real radius, real thetaDeg, real b, int litSign, real bSigma = 0.5L)
{
    measure::MoonModel m;
    m.centreX = 700;
    m.centreY = 600;
    m.radius = radius;
    m.theta = thetaDeg * kDegree;
    m.b = b;
    m.bSigma = bSigma;
    m.litSign = litSign;
    return m;
}

// A relief of `heightKm` standing at the unit vector `foot`: the pictures of its top and of
// the point where the ray that grazes it meets the sphere.
struct Clicks {
    measure::PicturePoint top;
    measure::PicturePoint end;
};

Clicks castShadow(const measure::MoonModel &m, const measure::Vec3 &foot, real heightKm)
{
    const real scale = 1 + heightKm / measure::kMoonRadiusKm;
    const measure::Vec3 top{foot.x * scale, foot.y * scale, foot.z * scale};
    const measure::Vec3 sun = measure::sunDirection(m);
    // |top − u·sun| = 1: the nearer root is where the ray leaves the Sun's side of the sphere.
    const real b = measure::dot(top, sun);
    const real u = b - std::sqrt(b * b - (measure::dot(top, top) - 1));
    const measure::Vec3 end{top.x - u * sun.x, top.y - u * sun.y, top.z - u * sun.z};
    return {measure::project(m, top), measure::project(m, end)};
}

// A foot at `along` radii on the cusp line's axis where the Sun stands `elevationDeg` above
// the horizon, on the visible hemisphere; `far` takes the second such place, nearer the limb.
measure::Vec3 foot(const measure::MoonModel &m, real along, real elevationDeg, bool far = false)
{
    // In the plane square to the cusp line the foot is rho (sin phi, cos phi) and the Sun
    // litSign (−cos B, sin B): their product is litSign rho sin(B − phi).
    const real rho = std::sqrt(1 - along * along);
    const real b = m.b * kDegree;
    const real k = std::asin(m.litSign * std::sin(elevationDeg * kDegree) / rho);
    const real phi = far ? b - (M_PI - k) : b - k;
    return {along, rho * std::sin(phi), rho * std::cos(phi)};
}

struct ExactCase {
    const char *name;
    real radius, thetaDeg, b;
    int litSign;
    real along, elevationDeg;
    bool far;
    real heightKm;
};

class ShadowGeometry : public ::testing::TestWithParam<ExactCase> { };

// Clicks on the exact pictures give back the height to rounding, whatever the tilt, the side
// lit and the place on the disc: no flat-ground approximation hides in the computation.
TEST_P(ShadowGeometry, ExactClicksGiveTheHeightBack)
{
    const ExactCase &c = GetParam();
    const measure::MoonModel m = model(c.radius, c.thetaDeg, c.b, c.litSign);
    const measure::Vec3 base = foot(m, c.along, c.elevationDeg, c.far);
    ASSERT_GT(static_cast<double>(base.z), 0);
    const Clicks clicks = castShadow(m, base, c.heightKm);
    const measure::ShadowMeasure result = measure::measureShadow(m, clicks.top, clicks.end);
    ASSERT_EQ(result.reason, measure::ShadowReason::None);
    EXPECT_NEAR(
        static_cast<double>(result.height.value), static_cast<double>(c.heightKm * 1000), 1e-6);
    EXPECT_LT(static_cast<double>(result.elevation.value), c.elevationDeg);
    EXPECT_LT(static_cast<double>(result.offAxisPx), 1e-9);
    EXPECT_FALSE(result.offAxis);
    EXPECT_GT(static_cast<double>(result.height.sigma), 0);
}

INSTANTIATE_TEST_SUITE_P(Places,
    ShadowGeometry,
    ::testing::Values(ExactCase{"centre", 500, 0, 30, 1, 0, 20, false, 2},
        ExactCase{"tiltedOtherSide", 500, -37, -40, 1, 0.2L, 8, false, 3},
        ExactCase{"litFromAbove", 800, 12, 60, -1, -0.3L, 15, false, 1.5},
        ExactCase{"nearTerminator", 300, 5, 20, 1, 0.1L, 3, false, 1},
        ExactCase{"nearLimbAlong", 1500, 80, 10, 1, 0.93L, 6, false, 2.5},
        ExactCase{"nearLimbAcross", 1500, 80, 80, 1, 0.1L, 5, false, 1},
        ExactCase{"farBranch", 600, 0, 30, 1, 0.2L, 70, true, 3},
        ExactCase{"gibbous", 1000, -60, -70, -1, -0.2L, 10, false, 5}),
    [](const auto &tc) { return std::string(tc.param.name); });

TEST(ShadowGeometry, GroundLengthIsTheArcFromFootToEnd)
{
    const measure::MoonModel m = model(1000, 0, 0, 1);
    // B = 0: the Sun lies in the picture plane, so a relief on the central meridian casts its
    // shadow straight across the disc and the ground length can be written down.
    const real elevation = 10 * kDegree;
    const measure::Vec3 base{0, -std::sin(elevation), std::cos(elevation)};
    const Clicks clicks = castShadow(m, base, 2);
    const measure::ShadowMeasure result = measure::measureShadow(m, clicks.top, clicks.end);
    ASSERT_EQ(result.reason, measure::ShadowReason::None);
    // In the triangle of the centre, the top and the end the ray meets the top's vertical at
    // 90° − 10°, so by the law of sines the end lies alpha from the foot; the Sun stands alpha
    // lower there. A flat ground would give 2 / tan 10° = 11.34 km instead of 11.56 km.
    const double alpha = static_cast<double>(
        std::asin((1 + 2 / 1737.4) * std::cos(elevation)) - M_PI / 2 + elevation);
    EXPECT_NEAR(static_cast<double>(result.groundKm), alpha * 1737.4, 1e-9);
    EXPECT_NEAR(static_cast<double>(result.elevation.value), 10 - alpha / kDegree, 1e-9);
    EXPECT_NEAR(static_cast<double>(result.flatHeightM),
        static_cast<double>(alpha * 1737.4 * std::tan(elevation - alpha) * 1000),
        1e-6);
}

struct ReasonCase {
    const char *name;
    real radius, b;
    int litSign;
    measure::PicturePoint top, end;
    measure::ShadowReason reason;
    const char *label;
};

class ShadowReasons : public ::testing::TestWithParam<ReasonCase> { };

TEST_P(ShadowReasons, EachGivesItsLabel)
{
    const ReasonCase &c = GetParam();
    const measure::ShadowMeasure result =
        measure::measureShadow(model(c.radius, 0, c.b, c.litSign), c.top, c.end);
    EXPECT_EQ(result.reason, c.reason);
    EXPECT_EQ(measure::shadowLabel(result), c.label);
}

// The disc: centre (700, 600), radius 400, cusp line horizontal. For B = 30 and the Sun on the
// spin box's side the Sun is up the screen: a shadow runs downwards from its top.
INSTANTIATE_TEST_SUITE_P(Reasons,
    ShadowReasons,
    ::testing::Values(ReasonCase{"noCircle",
                          0,
                          30,
                          1,
                          {700, 480},
                          {700, 500},
                          measure::ShadowReason::NoCircle,
                          "aucun cercle tracé"},
        ReasonCase{"endOffDisc",
            400,
            30,
            1,
            {700, 980},
            {700, 1001},
            measure::ShadowReason::EndOffDisc,
            "fin hors du disque"},
        ReasonCase{"fullMoon",
            400,
            90,
            1,
            {700, 480},
            {700, 500},
            measure::ShadowReason::SunAlongSight,
            "Soleil dans l'axe de visée"},
        ReasonCase{"newMoon",
            400,
            -89.6L,
            1,
            {700, 480},
            {700, 500},
            measure::ShadowReason::SunAlongSight,
            "Soleil dans l'axe de visée"},
        ReasonCase{"endInTheNight",
            400,
            30,
            1,
            {700, 880},
            {700, 900},
            measure::ShadowReason::SunBelowHorizon,
            "fin dans la nuit"},
        ReasonCase{"otherSideLit",
            400,
            30,
            -1,
            {700, 480},
            {700, 500},
            measure::ShadowReason::SunBelowHorizon,
            "fin dans la nuit"},
        ReasonCase{"towardsTheSun",
            400,
            30,
            1,
            {700, 520},
            {700, 500},
            measure::ShadowReason::TowardsSun,
            "ombre vers le Soleil"},
        ReasonCase{"towardsTheSunOtherSide",
            400,
            30,
            -1,
            {700, 880},
            {700, 900},
            measure::ShadowReason::TowardsSun,
            "ombre vers le Soleil"}),
    [](const auto &tc) { return std::string(tc.param.name); });

TEST(ShadowCheck, AShadowAsideFromTheSunsDirectionIsReported)
{
    const measure::MoonModel m = model(400, 0, 30, 1);
    // Straight down is the Sun's direction here; 3 px aside on 20 px is within the clicks.
    const measure::ShadowMeasure near = measure::measureShadow(m, {703, 480}, {700, 500});
    EXPECT_FALSE(near.offAxis);
    EXPECT_NEAR(static_cast<double>(near.offAxisPx), 3, 1e-12);
    const measure::ShadowMeasure far = measure::measureShadow(m, {706, 480}, {700, 500});
    EXPECT_TRUE(far.offAxis);
    EXPECT_EQ(measure::shadowLabel(far), "clics à vérifier");
    // The height is that of the click's projection on the shadow's line.
    EXPECT_NEAR(
        static_cast<double>(far.height.value), static_cast<double>(near.height.value), 1e-9);
}

struct SpreadCase {
    const char *name;
    real radius, thetaDeg, b;
    int litSign;
    real along, elevationDeg, heightKm, bSigma;
};

class ShadowUncertainty : public ::testing::TestWithParam<SpreadCase> { };

// The stated uncertainty is the spread that the half pixels and B's error really cause: the
// same measurement repeated with every input drawn about its value.
TEST_P(ShadowUncertainty, MatchesTheSpreadOfRepeatedMeasurements)
{
    const SpreadCase &c = GetParam();
    const measure::MoonModel m = model(c.radius, c.thetaDeg, c.b, c.litSign, c.bSigma);
    const Clicks clicks = castShadow(m, foot(m, c.along, c.elevationDeg), c.heightKm);
    const measure::ShadowMeasure stated = measure::measureShadow(m, clicks.top, clicks.end);
    ASSERT_EQ(stated.reason, measure::ShadowReason::None);

    std::mt19937 random(7);
    std::normal_distribution<double> halfPixel(0, 0.5);
    std::normal_distribution<double> bError(0, static_cast<double>(c.bSigma));
    double sum = 0, sumElevation = 0, sumSquares = 0, sumSquaresElevation = 0;
    constexpr int kTrials = 4000;
    for (int i = 0; i < kTrials; ++i) {
        measure::MoonModel drawn = m;
        drawn.centreX += halfPixel(random);
        drawn.centreY += halfPixel(random);
        drawn.radius += halfPixel(random);
        drawn.theta += halfPixel(random) / static_cast<double>(m.radius);
        drawn.b += bError(random);
        const measure::PicturePoint top{
            clicks.top.x + halfPixel(random), clicks.top.y + halfPixel(random)};
        const measure::PicturePoint end{
            clicks.end.x + halfPixel(random), clicks.end.y + halfPixel(random)};
        const measure::ShadowMeasure one = measure::measureShadow(drawn, top, end);
        ASSERT_EQ(one.reason, measure::ShadowReason::None);
        const double h = static_cast<double>(one.height.value);
        const double e = static_cast<double>(one.elevation.value);
        sum += h;
        sumSquares += h * h;
        sumElevation += e;
        sumSquaresElevation += e * e;
    }
    const double spread = std::sqrt(sumSquares / kTrials - (sum / kTrials) * (sum / kTrials));
    const double spreadElevation = std::sqrt(
        sumSquaresElevation / kTrials - (sumElevation / kTrials) * (sumElevation / kTrials));
    EXPECT_NEAR(static_cast<double>(stated.height.sigma) / spread, 1, 0.1);
    EXPECT_NEAR(static_cast<double>(stated.elevation.sigma) / spreadElevation, 1, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Places,
    ShadowUncertainty,
    ::testing::Values(SpreadCase{"wholeDegree", 500, 10, 20, 1, 0.1L, 10, 3, 0.5L},
        SpreadCase{"fitted", 500, 10, 20, 1, 0.1L, 10, 3, 0.1L},
        SpreadCase{"lowSun", 800, -30, 40, -1, 0.3L, 3, 1.5, 0.1L},
        SpreadCase{"nearLimb", 1200, 0, 15, 1, 0.9L, 12, 2, 0.1L}),
    [](const auto &tc) { return std::string(tc.param.name); });

TEST(ShadowTexts, ThousandsAreGroupedWithThinSpaces)
{
    const struct {
        real metres;
        const char *text;
    } cases[] = {{0, "0"},
        {0.4L, "0"},
        {999.4L, "999"},
        {999.5L, "1\u202F000"},
        {1759.6L, "1\u202F760"},
        {12345, "12\u202F345"},
        {123456, "123\u202F456"},
        {1234567, "1\u202F234\u202F567"},
        {-1500, "-1\u202F500"},
        {1e16L, "?"},
        {std::numeric_limits<real>::infinity(), "?"}};
    for (const auto &c : cases)
        EXPECT_EQ(measure::groupedMetres(c.metres), c.text) << static_cast<double>(c.metres);
    EXPECT_EQ(measure::heightText({1760.2L, 149.2L}), "1\u202F760 m ± 150 m");
    EXPECT_EQ(measure::heightText({85, 0.2L}), "85 m ± 1 m");
}

TEST(ShadowTexts, DetailsUseTheLocaleSeparator)
{
    measure::ShadowMeasure m;
    m.lengthPx = 42.04L;
    m.groundKm = 11.456L;
    m.elevation = {8.53L, 0.11L};
    m.height = {1763.4L, 150.2L};
    m.flatHeightM = 1718.6L;
    const std::vector<std::string> expected{"Longueur sur l'image: 42,0 px",
        "Longueur au sol: 11,46 km",
        "Hauteur du Soleil au bout de l'ombre: 8,5° ± 0,2°",
        "Hauteur du relief: 1\u202F763 m ± 151 m",
        "Sur un sol plat (longueur × tangente): 1\u202F719 m"};
    EXPECT_EQ(measure::shadowDetails(m, ","), expected);

    m.offAxis = true;
    m.offAxisPx = 6.25L;
    EXPECT_EQ(measure::shadowDetails(m, ".").back(),
        "Attention: l'ombre s'écarte de 6.2 px de la direction du Soleil; vérifiez les deux "
        "clics.");

    m.reason = measure::ShadowReason::TowardsSun;
    const std::vector<std::string> reason{
        "Longueur sur l'image: 42,0 px", "Pas de hauteur: ombre vers le Soleil."};
    EXPECT_EQ(measure::shadowDetails(m, ","), reason);
}

} // namespace
