// Opening and decoding a 6000 × 4000 colour photograph, beside djpeg -dct float on the same
// file (the reference decoder of the same library). The photograph is made at start with
// cjpeg, from a synthetic Moon with film grain so that it compresses like a real one.
#include "tests/synth/synthmoon.h"
#include "view/boxreduce.h"
#include "view/jpegpicture.h"
#include "view/moonframing.h"
#include "view/pictureformats.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

struct BigJpeg {
    std::string folder;
    std::string path;
    std::uintmax_t bytes = 0;
};

void removeBigJpeg();

// A cheap hash noise, so that generating 24 million pixels takes a fraction of a second.
std::uint32_t grain(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

const BigJpeg &bigJpeg()
{
    static const BigJpeg jpeg = [] {
        BigJpeg made;
        made.folder = (std::filesystem::temp_directory_path()
            / ("korvalen-bench-" + std::to_string(::getpid())))
                          .string();
        std::filesystem::create_directories(made.folder);
        made.path = made.folder + "/moon.jpg";
        const std::string command = "cjpeg -quality 92 -outfile '" + made.path + "'";
        FILE *encoder = ::popen(command.c_str(), "w");
        if (!encoder) {
            std::fprintf(stderr, "cannot run cjpeg (libjpeg-turbo-progs)\n");
            std::exit(1);
        }
        std::fprintf(encoder, "P6\n%d %d\n255\n", kWidth, kHeight);
        std::vector<unsigned char> row(static_cast<std::size_t>(kWidth) * 3);
        const double cx = kWidth / 2.0, cy = kHeight / 2.0, radius = kHeight * 0.45;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const double dx = (x - cx) / radius, dy = (y - cy) / radius;
                const double d2 = dx * dx + dy * dy;
                const int noise =
                    static_cast<int>(grain(static_cast<std::uint32_t>(y * kWidth + x)) % 17) - 8;
                int level =
                    d2 < 1.0 ? static_cast<int>(190 - 70 * d2 + 25 * (dx > 0.2 ? 1 : 0)) : 12;
                level = std::clamp(level + noise, 0, 255);
                unsigned char *pixel = &row[static_cast<std::size_t>(x) * 3];
                pixel[0] = static_cast<unsigned char>(level);
                pixel[1] = static_cast<unsigned char>(std::max(0, level - 6));
                pixel[2] = static_cast<unsigned char>(std::max(0, level - 14));
            }
            std::fwrite(row.data(), 1, row.size(), encoder);
        }
        if (::pclose(encoder) != 0) {
            std::fprintf(stderr, "cjpeg failed\n");
            std::exit(1);
        }
        made.bytes = std::filesystem::file_size(made.path);
        std::atexit(removeBigJpeg);
        return made;
    }();
    return jpeg;
}

void removeBigJpeg()
{
    std::error_code ignored;
    std::filesystem::remove_all(bigJpeg().folder, ignored);
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Processor time of this process (the decoder runs on this thread alone).
double processorSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Processor time of the finished child processes so far (djpeg and its shell).
double childrenSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto add = [](const timeval &t) {
        return double(t.tv_sec) + double(t.tv_usec) * 1e-6;
    };
    return add(usage.ru_utime) + add(usage.ru_stime);
}

struct Timing {
    double wall = 1e9;
    double processor = 1e9;
};

// The best of a few runs of djpeg -dct float on the file, output discarded. On a shared machine
// the processor time is the steadier measure, so both are kept.
const Timing &djpegTiming()
{
    static const Timing best = [] {
        const std::string command = "djpeg -dct float -outfile /dev/null '" + bigJpeg().path + "'";
        Timing fastest;
        for (int i = 0; i < 5; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const double startProcessor = childrenSeconds();
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "djpeg failed\n");
                std::exit(1);
            }
            fastest.wall =
                std::min(fastest.wall, seconds(std::chrono::steady_clock::now() - start));
            fastest.processor = std::min(fastest.processor, childrenSeconds() - startProcessor);
        }
        return fastest;
    }();
    return best;
}

// Resident memory of this process, in bytes.
double residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

void BM_OpenAndDecodeJpeg(benchmark::State &state)
{
    const BigJpeg &jpeg = bigJpeg();
    const Timing &reference = djpegTiming();
    Timing fastest;
    double held = 0;
    for (auto _ : state) {
        const double before = residentBytes();
        const auto start = std::chrono::steady_clock::now();
        const double startProcessor = processorSeconds();
        auto picture = view::readPictureFile(QString::fromStdString(jpeg.path));
        if (picture->prepare())
            state.SkipWithError("decode failed");
        fastest.processor = std::min(fastest.processor, processorSeconds() - startProcessor);
        fastest.wall = std::min(fastest.wall, seconds(std::chrono::steady_clock::now() - start));
        held = std::max(held, residentBytes() - before);
        benchmark::DoNotOptimize(picture);
    }
    const double bitmap = double(kWidth) * kHeight * 4;
    state.counters["file_MB"] = double(jpeg.bytes) / 1e6;
    state.counters["bitmap_MB"] = bitmap / 1e6;
    state.counters["held_MB"] = held / 1e6;
    state.counters["best_ms"] = fastest.wall * 1e3;
    state.counters["djpeg_ms"] = reference.wall * 1e3;
    state.counters["vs_djpeg"] = fastest.wall / reference.wall;
    state.counters["cpu_ms"] = fastest.processor * 1e3;
    state.counters["djpeg_cpu_ms"] = reference.processor * 1e3;
    state.counters["vs_djpeg_cpu"] = fastest.processor / reference.processor;
}
BENCHMARK(BM_OpenAndDecodeJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_DjpegFloat(benchmark::State &state)
{
    const std::string command = "djpeg -dct float -outfile /dev/null '" + bigJpeg().path + "'";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("djpeg failed");
}
BENCHMARK(BM_DjpegFloat)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A camera photograph from the synthetic generator: a crescent of radius 1200 off the middle
// of a 6000 × 4000 frame, stars, the generator's grain and gamma, as a camera would save it.
const std::string &cameraJpeg()
{
    static const std::string path = [] {
        synth::Scene scene;
        scene.width = kWidth;
        scene.height = kHeight;
        scene.centreX = 3500;
        scene.centreY = 1800;
        scene.radius = 1200;
        scene.sun = {0, -std::cos(-0.5), std::sin(-0.5)};
        scene.colour = true;
        scene.stars = 40;
        scene.gamma = 2.2;
        const std::vector<std::uint8_t> bytes = synth::encodeJpeg(synth::render(scene), 92);
        const std::string made = bigJpeg().folder + "/camera.jpg";
        std::ofstream(made, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        return made;
    }();
    return path;
}

// Argument 0: the grain photograph above, noisy in every pixel, the hardest case for the
// Huffman decoding that no reduction avoids; 1: the camera photograph.
const std::string &photograph(std::int64_t which)
{
    return which == 0 ? bigJpeg().path : cameraJpeg();
}

const char *photographName(std::int64_t which)
{
    return which == 0 ? "grain" : "camera";
}

// The photograph opened and decoded whole at natural size, best of a few runs: the yardstick of
// the reduced opening below.
const Timing &wholeOpenTiming(std::int64_t which)
{
    static Timing best[2];
    Timing &fastest = best[which];
    if (fastest.wall < 1e9)
        return fastest;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double startProcessor = processorSeconds();
        auto picture = view::readPictureFile(QString::fromStdString(photograph(which)));
        (void)picture->prepare();
        fastest.processor = std::min(fastest.processor, processorSeconds() - startProcessor);
        fastest.wall = std::min(fastest.wall, seconds(std::chrono::steady_clock::now() - start));
    }
    return fastest;
}

const QRect kWhole(0, 0, kWidth, kHeight);

// Opening reduced by 4 (the file read, the header parsed, 1/4 of the inverse transform) beside
// opening the same file whole in the same run.
void BM_OpenReducedBy4(benchmark::State &state)
{
    const std::int64_t which = state.range(0);
    const Timing &whole = wholeOpenTiming(which);
    Timing fastest;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double startProcessor = processorSeconds();
        auto file = view::readPictureFile(QString::fromStdString(photograph(which)));
        auto picture = dynamic_cast<view::JpegPicture &>(*file).reduced(kWhole, 4);
        if (picture->prepare())
            state.SkipWithError("decode failed");
        fastest.processor = std::min(fastest.processor, processorSeconds() - startProcessor);
        fastest.wall = std::min(fastest.wall, seconds(std::chrono::steady_clock::now() - start));
        benchmark::DoNotOptimize(picture);
    }
    state.SetLabel(photographName(which));
    state.counters["best_ms"] = fastest.wall * 1e3;
    state.counters["whole_ms"] = whole.wall * 1e3;
    state.counters["vs_whole"] = fastest.wall / whole.wall;
    state.counters["cpu_ms"] = fastest.processor * 1e3;
    state.counters["whole_cpu_ms"] = whole.processor * 1e3;
    state.counters["vs_whole_cpu"] = fastest.processor / whole.processor;
}
BENCHMARK(BM_OpenReducedBy4)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

// The naive way to the same picture: decoded whole, then averaged by blocks of 4 × 4.
void BM_NaiveDecodeThenReduceBy4(benchmark::State &state)
{
    for (auto _ : state) {
        auto file = view::readPictureFile(QString::fromStdString(photograph(state.range(0))));
        (void)file->prepare();
        const QImage reduced =
            view::boxReduced(dynamic_cast<view::JpegPicture &>(*file).image(), kWhole, 4);
        benchmark::DoNotOptimize(reduced.constBits());
    }
    state.SetLabel(photographName(state.range(0)));
}
BENCHMARK(BM_NaiveDecodeThenReduceBy4)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The small copy the disc is looked for on: the file in grey at 1/8 of the transform.
void BM_SmallGreyCopy(benchmark::State &state)
{
    const auto file = view::readPictureFile(QString::fromStdString(photograph(state.range(0))));
    const auto &jpeg = dynamic_cast<const view::JpegPicture &>(*file);
    for (auto _ : state) {
        const QImage small = jpeg.greyCopy(kWhole, 8);
        benchmark::DoNotOptimize(small.constBits());
    }
    state.SetLabel(photographName(state.range(0)));
}
BENCHMARK(BM_SmallGreyCopy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

// The search for the disc on that small copy (750 × 500).
void BM_FindDiscOnTheSmallCopy(benchmark::State &state)
{
    const auto file = view::readPictureFile(QString::fromStdString(photograph(state.range(0))));
    const QImage small = dynamic_cast<const view::JpegPicture &>(*file).greyCopy(kWhole, 8);
    const measure::GreyPixels pixels{
        small.constBits(), small.width(), small.height(), small.bytesPerLine()};
    for (auto _ : state)
        if (!measure::findDisc(pixels))
            state.SkipWithError("no disc");
    state.SetLabel(photographName(state.range(0)));
}
BENCHMARK(BM_FindDiscOnTheSmallCopy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

// All of the finding: the small copy, the search, the disc's square at 1/2 and the fit there.
void BM_FindMoonOnThePhotograph(benchmark::State &state)
{
    const auto file = view::readPictureFile(QString::fromStdString(photograph(state.range(0))));
    for (auto _ : state)
        if (!view::findMoon(*file))
            state.SkipWithError("no disc");
    state.SetLabel(photographName(state.range(0)));
}
BENCHMARK(BM_FindMoonOnThePhotograph)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
