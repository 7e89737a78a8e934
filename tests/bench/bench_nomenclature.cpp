// The name under the pointer, looked up on every move over the photograph: the grid of the
// shipped list against a scan of all its features, on the same positions. Then the whole line
// under the pointer (the place, the ephemeris's Sun with its ±, the name) on a photograph placed
// once, against placing it again at every move.
#include "measure/nomenclature.h"
#include "measure/placement.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

namespace {

const measure::NomenclatureIndex &shippedIndex()
{
    static const measure::NomenclatureIndex index = [] {
        std::ifstream file(KORVALEN_TEST_DATA "/../../resources/moon-nomenclature.csv");
        std::stringstream text;
        text << file.rdbuf();
        return measure::indexNomenclature(measure::parseNomenclature(text.str()).features);
    }();
    return index;
}

// Positions spread evenly over the sphere, and some near the poles where grid cells crowd.
std::vector<std::pair<double, double>> positions()
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::vector<std::pair<double, double>> out;
    for (int k = 0; k < 4096; ++k) {
        const double latitude =
            k % 8 == 0 ? 89.5 * (unit(random) > 0 ? 1 : -1) : std::asin(unit(random)) * 180 / M_PI;
        out.emplace_back(latitude, 180 * unit(random));
    }
    return out;
}

template <typename Lookup> void lookups(benchmark::State &state, Lookup lookup)
{
    const auto &index = shippedIndex();
    const auto points = positions();
    std::size_t k = 0;
    for (auto _ : state) {
        const auto &[latitude, longitude] = points[k++ % points.size()];
        benchmark::DoNotOptimize(lookup(index, latitude, longitude));
    }
}

void BM_NamedFeatureGrid(benchmark::State &state)
{
    lookups(state, measure::namedFeatureAt);
}

void BM_NamedFeatureScan(benchmark::State &state)
{
    lookups(state, measure::namedFeatureAtByScan);
}

void BM_IndexShippedList(benchmark::State &state)
{
    std::ifstream file(KORVALEN_TEST_DATA "/../../resources/moon-nomenclature.csv");
    std::stringstream text;
    text << file.rdbuf();
    const std::string csv = text.str();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            measure::indexNomenclature(measure::parseNomenclature(csv).features));
}

// A disc of 600 pixels across, placed for an evening of March 2026 seen from Paris, and the
// pointer walking over it.
measure::Placement placedDisc()
{
    measure::MoonModel model;
    model.centreX = 400;
    model.centreY = 330;
    model.radius = 300;
    model.b = 30;
    return measure::placePhotograph(model,
        {measure::julianDay(2026, 3, 24, 20, 0, 0), 1, measure::ObserverPlace{48.85L, 2.35L, 35}},
        measure::Mirroring::Direct);
}

std::string pointerLine(
    const measure::Placement &placed, const measure::NomenclatureIndex &index, int k)
{
    const measure::PicturePoint at{
        measure::real(130 + (k * 37) % 540), measure::real(60 + (k * 53) % 540)};
    const auto reading = measure::readingAt(placed, at);
    std::string line = measure::readingText(reading, ",");
    if (reading)
        if (const auto feature =
                measure::namedFeatureAt(index, reading->point.latitude, reading->point.longitude))
            line += " — " + feature->name;
    return line;
}

void BM_PointerLinePlacedOnce(benchmark::State &state)
{
    const measure::Placement placed = placedDisc();
    int k = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pointerLine(placed, shippedIndex(), k++));
}

void BM_PointerLinePlacedEachMove(benchmark::State &state)
{
    int k = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pointerLine(placedDisc(), shippedIndex(), k++));
}

} // namespace

BENCHMARK(BM_NamedFeatureGrid);
BENCHMARK(BM_NamedFeatureScan);
BENCHMARK(BM_IndexShippedList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PointerLinePlacedOnce)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PointerLinePlacedEachMove)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
