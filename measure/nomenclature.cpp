#include "measure/nomenclature.h"

#include "measure/numeric.h"
#include "measure/selenographic.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <tuple>

namespace measure {

namespace {

// Whole degrees of latitude and longitude per cell: small craters fall in one to four cells,
// the largest seas in a few thousand, and a lookup reads one cell.
constexpr int kRows = 180;
constexpr int kColumns = 360;
// Cells are widened by this much so that rounding at a cell's edge never drops a feature.
constexpr real kCellMarginDegrees = 1e-6L;

std::string_view trimmed(std::string_view field)
{
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
        field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t' || field.back() == '\r'))
        field.remove_suffix(1);
    return field;
}

// The fields of one line, quotes removed; none when a quote is left open or text follows one.
std::optional<std::vector<std::string>> splitFields(std::string_view line)
{
    std::vector<std::string> fields(1);
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i++];
        if (c == ',') {
            fields.emplace_back();
        } else if (c == '"' && trimmed(fields.back()).empty()) {
            fields.back().clear();
            for (;; ++i) {
                if (i >= line.size())
                    return std::nullopt;
                if (line[i] == '"' && (i + 1 >= line.size() || line[i + 1] != '"'))
                    break;
                if (line[i] == '"')
                    ++i;
                fields.back() += line[i];
            }
            ++i;
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
                ++i;
            if (i < line.size() && line[i] != ',')
                return std::nullopt;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// True for well-formed UTF-8 without control characters: no overlong forms, no surrogates,
// nothing past U+10FFFF.
bool isCleanUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7F)
                return false;
            ++i;
            continue;
        }
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        if (length == 0 || lead > 0xF4 || i + length > text.size())
            return false;
        char32_t code = lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::optional<real> number(std::string_view field, real low, real high)
{
    field = trimmed(field);
    double value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || error != std::errc() || end != field.data() + field.size())
        return std::nullopt;
    if (!std::isfinite(value) || value < low || value > high)
        return std::nullopt;
    return static_cast<real>(value);
}

// A disc must stay smaller than the whole sphere: its radius at most half a turn.
const real kLargestDiameterKm = 2 * kPi * kMoonRadiusKm;

std::optional<NamedFeature> featureOf(std::string_view line)
{
    const auto fields = splitFields(line);
    if (!fields || fields->size() != 4)
        return std::nullopt;
    const std::string_view name = trimmed((*fields)[0]);
    const auto diameter = number((*fields)[1], 0, kLargestDiameterKm);
    const auto latitude = number((*fields)[2], -90, 90);
    // East longitudes counted 0..360 are accepted as well as -180..180.
    const auto longitude = number((*fields)[3], -180, 360);
    if (name.empty() || !isCleanUtf8(name) || !diameter || !latitude || !longitude)
        return std::nullopt;
    return NamedFeature{std::string(name), *diameter, *latitude, normalizedLongitude(*longitude)};
}

} // namespace

NomenclatureList parseNomenclature(std::string_view csv)
{
    if (csv.substr(0, 3) == "\xEF\xBB\xBF")
        csv.remove_prefix(3);
    NomenclatureList list;
    while (!csv.empty()) {
        const std::size_t end = std::min(csv.find('\n'), csv.size());
        const std::string_view line = csv.substr(0, end);
        csv.remove_prefix(std::min(end + 1, csv.size()));
        if (trimmed(line).empty())
            continue;
        if (auto feature = featureOf(line))
            list.features.push_back(std::move(*feature));
        else
            ++list.rejectedLines;
    }
    return list;
}

namespace {

std::array<real, 3> unitVector(real latitude, real longitude)
{
    const real phi = degreesToRadians(latitude);
    const real lambda = degreesToRadians(longitude);
    return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)};
}

real squaredDistance(const std::array<real, 3> &a, const std::array<real, 3> &b)
{
    const real dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

// Features drawn out along a line, whose listed size is a length, not a width.
bool isElongated(const std::string &name)
{
    static const std::string_view kinds[] = {"Rima",
        "Rimae",
        "Rupes",
        "Vallis",
        "Dorsum",
        "Dorsa",
        "Catena",
        "Montes",
        "Fossa",
        "Fossae"};
    const std::string_view first = std::string_view(name).substr(0, name.find(' '));
    return std::find(std::begin(kinds), std::end(kinds), first) != std::end(kinds);
}

// The disc's angular radius in radians.
real angularRadius(const NamedFeature &feature)
{
    return feature.diameterKm / 2 / kMoonRadiusKm;
}

int rowOf(real latitude)
{
    return std::clamp(static_cast<int>(std::floor(latitude + 90)), 0, kRows - 1);
}

int columnOf(real longitude)
{
    const int column = static_cast<int>(std::floor(normalizedLongitude(longitude) + 180));
    return ((column % kColumns) + kColumns) % kColumns;
}

// Calls `visit(cell)` for each cell that the feature's disc reaches into.
template <typename Visit> void forEachCell(const NamedFeature &feature, Visit visit)
{
    const real radius = radiansToDegrees(angularRadius(feature)) + kCellMarginDegrees;
    const real north = feature.latitude + radius;
    const real south = feature.latitude - radius;
    // A disc round a pole reaches every longitude; otherwise its widest east-west half-extent.
    bool allColumns = north >= 90 || south <= -90;
    real halfWidth = 0;
    if (!allColumns) {
        const real ratio =
            std::sin(degreesToRadians(radius)) / std::cos(degreesToRadians(feature.latitude));
        halfWidth = radiansToDegrees(std::asin(std::min<real>(ratio, 1))) + kCellMarginDegrees;
        allColumns = halfWidth >= 180;
    }
    const int firstColumn = allColumns ? 0 : columnOf(feature.longitude - halfWidth);
    const int columns = allColumns
        ? kColumns
        : std::min(kColumns,
            static_cast<int>(std::floor(feature.longitude + halfWidth))
                - static_cast<int>(std::floor(feature.longitude - halfWidth)) + 1);
    for (int row = rowOf(south); row <= rowOf(north); ++row)
        for (int k = 0; k < columns; ++k)
            visit(row * kColumns + (firstColumn + k) % kColumns);
}

} // namespace

NomenclatureIndex indexNomenclature(std::vector<NamedFeature> features)
{
    NomenclatureIndex index;
    index.features = std::move(features);
    index.cellStart.assign(kRows * kColumns + 1, 0);
    for (const NamedFeature &feature : index.features) {
        const real half = std::sin(angularRadius(feature) / 2);
        index.discs.push_back({unitVector(feature.latitude, feature.longitude),
            4 * half * half,
            feature.diameterKm,
            isElongated(feature.name)});
        if (feature.diameterKm > 0)
            forEachCell(feature, [&](int cell) { ++index.cellStart[std::size_t(cell) + 1]; });
    }
    for (std::size_t c = 1; c < index.cellStart.size(); ++c)
        index.cellStart[c] += index.cellStart[c - 1];
    index.cellFeatures.resize(index.cellStart.back());
    std::vector<std::uint32_t> filled(index.cellStart.begin(), index.cellStart.end() - 1);
    for (std::size_t f = 0; f < index.features.size(); ++f)
        if (index.features[f].diameterKm > 0)
            forEachCell(index.features[f], [&](int cell) {
                index.cellFeatures[filled[std::size_t(cell)]++] = static_cast<std::uint32_t>(f);
            });
    return index;
}

namespace {

// Keeps the better of the features seen so far that hold the point.
struct Choice {
    const NomenclatureIndex &index;
    std::array<real, 3> point;
    std::optional<std::size_t> best;
    real bestDistance = 0;

    void consider(std::size_t f)
    {
        const NomenclatureIndex::Disc &disc = index.discs[f];
        const real distance = squaredDistance(point, disc.centre);
        if (!(disc.diameterKm > 0) || distance > disc.chordSquared)
            return;
        if (best) {
            const NomenclatureIndex::Disc &held = index.discs[*best];
            const auto rank = [](const NomenclatureIndex::Disc &d, real squared) {
                return std::make_tuple(d.elongated, d.diameterKm, squared);
            };
            if (!(rank(disc, distance) < rank(held, bestDistance)))
                return;
        }
        best = f;
        bestDistance = distance;
    }
    std::optional<NamedFeature> answer() const
    {
        return best ? std::optional<NamedFeature>(index.features[*best]) : std::nullopt;
    }
};

bool isPosition(real latitude, real longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90;
}

} // namespace

std::optional<NamedFeature> namedFeatureAt(
    const NomenclatureIndex &index, real latitude, real longitude)
{
    if (!isPosition(latitude, longitude) || index.cellStart.empty())
        return std::nullopt;
    Choice choice{index, unitVector(latitude, longitude), std::nullopt, 0};
    const auto cell = static_cast<std::size_t>(rowOf(latitude) * kColumns + columnOf(longitude));
    for (std::uint32_t k = index.cellStart[cell]; k < index.cellStart[cell + 1]; ++k)
        choice.consider(index.cellFeatures[k]);
    return choice.answer();
}

std::optional<NamedFeature> namedFeatureAtByScan(
    const NomenclatureIndex &index, real latitude, real longitude)
{
    if (!isPosition(latitude, longitude))
        return std::nullopt;
    Choice choice{index, unitVector(latitude, longitude), std::nullopt, 0};
    for (std::size_t f = 0; f < index.discs.size(); ++f)
        choice.consider(f);
    return choice.answer();
}

} // namespace measure
