// Rendering synthetic photographs: the generator, which supersamples only the pixels that the
// limb, the terminator or the relief cut, beside a naive renderer of the same plain sphere that
// supersamples every pixel 4 × 4 through measure::surfacePoint.
#include "measure/moonmodel.h"
#include "tests/synth/synthmoon.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

synth::Scene plainScene(int width, int height, double radius)
{
    synth::Scene scene;
    scene.width = width;
    scene.height = height;
    scene.centreX = width / 2.0;
    scene.centreY = height / 2.0;
    scene.radius = radius;
    scene.sun = {0, -0.8L, 0.6L};
    scene.seas = 0;
    scene.craters = 0;
    scene.noise = 0;
    return scene;
}

std::vector<std::uint8_t> naiveRender(const synth::Scene &scene)
{
    measure::MoonModel model;
    model.centreX = scene.centreX;
    model.centreY = scene.centreY;
    model.radius = scene.radius;
    model.theta = scene.theta;
    std::vector<std::uint8_t> pixels(
        static_cast<std::size_t>(scene.width) * static_cast<std::size_t>(scene.height));
    const int n = 4;
    for (int y = 0; y < scene.height; ++y)
        for (int x = 0; x < scene.width; ++x) {
            measure::real sum = 0;
            for (int sy = 0; sy < n; ++sy)
                for (int sx = 0; sx < n; ++sx) {
                    const auto p = measure::surfacePoint(
                        model, x + (sx + 0.5L) / n - 0.5L, y + (sy + 0.5L) / n - 0.5L);
                    if (p)
                        sum += std::max<measure::real>(0, measure::dot(*p, scene.sun));
                }
            const double level = scene.sky + scene.brightness * static_cast<double>(sum) / (n * n);
            pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(scene.width)
                + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(std::lrint(std::clamp(level, 0.0, 255.0)));
        }
    return pixels;
}

// 1500 × 1500 only: the naive renderer takes seconds for more.
void BM_PlainSphereAdaptive(benchmark::State &state)
{
    const synth::Scene scene = plainScene(1500, 1500, 700);
    for (auto _ : state)
        benchmark::DoNotOptimize(synth::render(scene));
}
BENCHMARK(BM_PlainSphereAdaptive)->Unit(benchmark::kMillisecond);

void BM_PlainSphereNaive4x4(benchmark::State &state)
{
    const synth::Scene scene = plainScene(1500, 1500, 700);
    for (auto _ : state)
        benchmark::DoNotOptimize(naiveRender(scene));
}
BENCHMARK(BM_PlainSphereNaive4x4)->Unit(benchmark::kMillisecond);

// What the precision tests render: seas, craters on the terminator and grain.
void BM_DefaultMoon3000(benchmark::State &state)
{
    synth::Scene scene = plainScene(3000, 3000, 1400);
    scene.seas = 6;
    scene.craters = 12;
    scene.noise = 3;
    for (auto _ : state)
        benchmark::DoNotOptimize(synth::render(scene));
}
BENCHMARK(BM_DefaultMoon3000)->Unit(benchmark::kMillisecond);

// A camera frame: 24 megapixels in colour with stars, and its JPEG file.
void BM_CameraFrame6000x4000(benchmark::State &state)
{
    synth::Scene scene = plainScene(6000, 4000, 1500);
    scene.seas = 6;
    scene.craters = 12;
    scene.noise = 3;
    scene.colour = true;
    scene.stars = 40;
    for (auto _ : state)
        benchmark::DoNotOptimize(synth::render(scene));
}
BENCHMARK(BM_CameraFrame6000x4000)->Unit(benchmark::kMillisecond);

void BM_EncodeJpeg6000x4000(benchmark::State &state)
{
    synth::Scene scene = plainScene(6000, 4000, 1500);
    scene.colour = true;
    scene.noise = 3;
    const synth::Photo photo = synth::render(scene);
    for (auto _ : state)
        benchmark::DoNotOptimize(synth::encodeJpeg(photo, 90));
}
BENCHMARK(BM_EncodeJpeg6000x4000)->Unit(benchmark::kMillisecond);

// A window around a cone and a ridge under a low Sun, on a disc of 1500 px.
void BM_MountainsUnderLowSun(benchmark::State &state)
{
    synth::Scene scene = plainScene(400, 400, 1500);
    synth::Mountain cone;
    cone.heightKm = 3;
    cone.radiusKm = 10;
    synth::Mountain ridge = cone;
    ridge.shape = synth::Mountain::Shape::Ridge;
    ridge.base = {0.03L, 0.02L, std::sqrt(1 - 0.03L * 0.03L - 0.02L * 0.02L)};
    ridge.radiusKm = 6;
    ridge.halfLengthKm = 25;
    scene.mountains = {cone, ridge};
    scene.sun = synth::sunAbove(cone.base, 5);
    scene.centreY = 200;
    for (auto _ : state)
        benchmark::DoNotOptimize(synth::render(scene));
}
BENCHMARK(BM_MountainsUnderLowSun)->Unit(benchmark::kMillisecond);

// The largest disc of the realistic catalogue: relief and its shadows, lunar albedo and
// photometry, seeing, tone curve and JPEG.
void BM_RealisticDisc1500(benchmark::State &state)
{
    synth::Scene scene;
    for (const synth::RealisticCase &c : synth::realisticCases())
        if (c.scene.radius == 1500 && c.scene.width < 6000)
            scene = c.scene;
    for (auto _ : state)
        benchmark::DoNotOptimize(synth::render(scene));
}
BENCHMARK(BM_RealisticDisc1500)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
