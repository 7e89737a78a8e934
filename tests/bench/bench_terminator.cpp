// The terminator fit and the whole of "Ajuster" (the limb, then the terminator) on a
// 24-megapixel photograph (6000 × 4000, a disc 3800 pixels across), beside a naive fit that
// reads every pixel of the picture. The fits read only the lines they fit, so their time
// follows the radius, not the picture's size; "Ajuster" must stay under 100 ms.
#include "measure/calibration.h"
#include "measure/limb.h"
#include "measure/terminatorfit.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kRadius = 1900;
constexpr double kB = 0.5; // radians, lit from above

// A Lambert sphere with a few dark seas and a mild grain, in Qt's RGB32 layout (the decoded
// form of a colour JPEG) or grey.
std::vector<std::uint8_t> photograph(int bytes)
{
    std::vector<std::uint8_t> pixels(
        static_cast<std::size_t>(kWidth) * kHeight * static_cast<std::size_t>(bytes));
    std::uint32_t grain = 1;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double u = (x - 3000.0) / kRadius, v = (y - 2000.0) / kRadius;
            const double zz = 1 - u * u - v * v;
            grain = grain * 1664525u + 1013904223u;
            double level = 8 + (grain >> 29);
            if (zz > 0) {
                const double albedo = std::sin(9 * u) * std::cos(7 * v) > 0.6 ? 0.6 : 1;
                level +=
                    220 * albedo * std::max(0.0, -v * std::cos(kB) - std::sqrt(zz) * std::sin(kB));
            }
            std::uint8_t *p =
                &pixels[(static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x))
                    * static_cast<std::size_t>(bytes)];
            for (int k = 0; k < bytes; ++k)
                p[k] = static_cast<std::uint8_t>(std::min(255.0, level));
        }
    }
    return pixels;
}

measure::MoonModel disc()
{
    measure::TMesureState state;
    (void)measure::pickCusp(state, 1, 3000 - kRadius, 2000);
    (void)measure::pickCusp(state, 2, 3000 + kRadius, 2000);
    measure::tracearc(state);
    return measure::moonModel(state, 0);
}

measure::ImageView viewOf(const std::vector<std::uint8_t> &pixels, int bytes)
{
    return {kWidth,
        kHeight,
        static_cast<std::ptrdiff_t>(kWidth) * bytes,
        pixels.data(),
        bytes == 1 ? measure::ImageView::Format::Grey8 : measure::ImageView::Format::Rgb32};
}

void fit(benchmark::State &state, int bytes)
{
    const std::vector<std::uint8_t> pixels = photograph(bytes);
    const measure::ImageView view = viewOf(pixels, bytes);
    const measure::MoonModel model = disc();
    double b = 0;
    for (auto _ : state) {
        b = static_cast<double>(measure::fitTerminator(view, model).b);
        benchmark::DoNotOptimize(b);
    }
    state.counters["B"] = b;
}

// "Ajuster" as the window runs it, from a circle traced through clicks a little short of the
// cusps.
void ajuster(benchmark::State &state, int bytes)
{
    const std::vector<std::uint8_t> pixels = photograph(bytes);
    const measure::ImageView view = viewOf(pixels, bytes);
    measure::MoonModel clicked = disc();
    clicked.radius *= 0.97L;
    clicked.centreY -= 20;
    double b = 0;
    for (auto _ : state) {
        b = static_cast<double>(measure::calibrate(view, clicked).model.b);
        benchmark::DoNotOptimize(b);
    }
    state.counters["B"] = b;
}

// The naive road: every pixel's level, a threshold halfway between sky and day, the first
// dark pixel below each lit run down every column, and least squares of sin B over them.
void naive(benchmark::State &state, int bytes)
{
    const std::vector<std::uint8_t> pixels = photograph(bytes);
    double b = 0;
    for (auto _ : state) {
        std::vector<float> level(static_cast<std::size_t>(kWidth) * kHeight);
        for (std::size_t k = 0; k < level.size(); ++k) {
            const std::uint8_t *p = &pixels[k * static_cast<std::size_t>(bytes)];
            level[k] = bytes == 1 ? p[0] : static_cast<float>(p[0] + p[1] + p[2]) / 3.0f;
        }
        double num = 0, den = 0;
        for (int x = 0; x < kWidth; ++x) {
            const double u = (x - 3000.0) / kRadius;
            if (std::fabs(u) > 0.9)
                continue;
            const double rho = std::sqrt(1 - u * u);
            for (int y = 1; y < kHeight; ++y) {
                if (level[static_cast<std::size_t>(y - 1) * kWidth + static_cast<std::size_t>(x)]
                        > 60
                    && level[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)]
                        <= 60) {
                    const double t = (y - 2000.0) / kRadius;
                    if (std::fabs(t) < rho * 0.98) {
                        num += rho * t;
                        den += rho * rho;
                    }
                    break;
                }
            }
        }
        b = std::asin(num / den) * 180 / M_PI;
        benchmark::DoNotOptimize(b);
    }
    state.counters["B"] = b;
}

void fitGrey(benchmark::State &state)
{
    fit(state, 1);
}

void fitColour(benchmark::State &state)
{
    fit(state, 4);
}

void ajusterColour(benchmark::State &state)
{
    ajuster(state, 4);
}

void naiveGrey(benchmark::State &state)
{
    naive(state, 1);
}

void naiveColour(benchmark::State &state)
{
    naive(state, 4);
}

} // namespace

BENCHMARK(fitGrey)->Unit(benchmark::kMillisecond);
BENCHMARK(fitColour)->Unit(benchmark::kMillisecond);
BENCHMARK(ajusterColour)->Unit(benchmark::kMillisecond);
BENCHMARK(naiveGrey)->Unit(benchmark::kMillisecond);
BENCHMARK(naiveColour)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
