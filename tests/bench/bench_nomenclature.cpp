// The name under the pointer, looked up on every move over the photograph: the grid of the
// shipped list against a scan of all its features, on the same positions.
#include "measure/nomenclature.h"

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

} // namespace

BENCHMARK(BM_NamedFeatureGrid);
BENCHMARK(BM_NamedFeatureScan);
BENCHMARK(BM_IndexShippedList)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
