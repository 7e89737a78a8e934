#include "measure/curves.h"
#include "measure/limb.h"
#include "measure/moonmodel.h"
#include "tests/measure/cusps.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

struct ModelCase {
    int x1, y1, x2, y2;
    int b, h;
};

class ModelMatchesCurves : public ::testing::TestWithParam<ModelCase> {
protected:
    measure::TMesureState traced() const
    {
        const ModelCase &c = GetParam();
        measure::TMesureState state = withCusps(c.x1, c.y1, c.x2, c.y2);
        (void)measure::pickCusp(state, 2, c.x2, c.y2);
        measure::tracearc(state);
        return state;
    }
};

// Half a pixel of rounding on the picture moves a point by at most this angle on the sphere,
// away from the limb where the projection foreshortens.
double pixelSlack(const measure::TMesureState &state, const measure::Vec3 &p)
{
    return std::asin(0.75 / state.rayon / std::max<double>(static_cast<double>(p.z), 0.2)) * 180
        / M_PI;
}

TEST_P(ModelMatchesCurves, VisibleSamplesOfTheCyanCurveHaveItsElevation)
{
    measure::TMesureState state = traced();
    const ModelCase &c = GetParam();
    (void)measure::terminator(state, c.b);
    const measure::MoonModel model = measure::moonModel(state, c.b);
    const measure::Vec3 sun = measure::sunDirection(model);
    int visible = 0;
    for (const measure::PixelPoint &pixel : measure::isoElevation(state, c.b, c.h)) {
        const auto p = measure::surfacePoint(model, pixel.x, pixel.y);
        if (!p || p->z < 0.3)
            continue;
        // Only the near half of the small circle is a place on the photograph.
        const measure::Vec3 exact{p->x, p->y, -p->z};
        const double near = std::asin(static_cast<double>(measure::dot(*p, sun))) * 180 / M_PI;
        const double far = std::asin(static_cast<double>(measure::dot(exact, sun))) * 180 / M_PI;
        if (std::fabs(near - c.h) > std::fabs(far - c.h))
            continue;
        ++visible;
        EXPECT_NEAR(near, c.h, pixelSlack(state, *p)) << pixel.x << "," << pixel.y;
    }
    EXPECT_GT(visible, 10);
}

TEST_P(ModelMatchesCurves, TerminatorSamplesLieSquareToTheSun)
{
    measure::TMesureState state = traced();
    const ModelCase &c = GetParam();
    const measure::Polyline curve = measure::terminator(state, c.b);
    const measure::MoonModel model = measure::moonModel(state, c.b);
    const measure::Vec3 sun = measure::sunDirection(model);
    for (const measure::PixelPoint &pixel : curve) {
        const auto p = measure::surfacePoint(model, pixel.x, pixel.y);
        if (!p || p->z < 0.3)
            continue;
        const double elevation = std::asin(static_cast<double>(measure::dot(*p, sun))) * 180 / M_PI;
        EXPECT_NEAR(elevation, 0, pixelSlack(state, *p)) << pixel.x << "," << pixel.y;
    }
}

INSTANTIATE_TEST_SUITE_P(Moons,
    ModelMatchesCurves,
    ::testing::Values(ModelCase{100, 200, 300, 200, 30, 30},
        ModelCase{120, 300, 280, 180, 40, 20},
        ModelCase{120, 300, 280, 180, -40, 10},
        ModelCase{200, 100, 900, 800, -60, -15},
        ModelCase{500, 100, 700, 1100, -20, 25},
        ModelCase{100, 500, 1100, 500, 5, 3}));

TEST(MoonModel, ProjectionTakesASurfacePointBackToItsPixel)
{
    measure::TMesureState state = withCusps(120, 300, 280, 180);
    measure::tracearc(state);
    const measure::MoonModel model = measure::moonModel(state, 40);
    for (const auto &[x, y] : {std::pair{200.0L, 240.0L}, {150.0L, 260.0L}, {260.5L, 201.25L}}) {
        const auto p = measure::surfacePoint(model, x, y);
        ASSERT_TRUE(p);
        const measure::PicturePoint back = measure::project(model, *p);
        EXPECT_NEAR(static_cast<double>(back.x), static_cast<double>(x), 1e-12);
        EXPECT_NEAR(static_cast<double>(back.y), static_cast<double>(y), 1e-12);
    }
    EXPECT_FALSE(measure::surfacePoint(model, 200, 341));
}

} // namespace
