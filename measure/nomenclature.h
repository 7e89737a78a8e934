#pragma once

// The names of the Moon's surface features and the one under a selenographic position.

#include "measure/real.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace measure {

/// One named feature: its centre in degrees (east positive) and its diameter in km.
struct NamedFeature {
    std::string name;
    real diameterKm = 0;
    real latitude = 0;
    real longitude = 0;
};

/// The features a list gave and the count of its lines that were not one (header, bad lines).
struct NomenclatureList {
    std::vector<NamedFeature> features;
    std::size_t rejectedLines = 0;
};

/// The features of a CSV text with the columns name, diameter_km, latitude_deg, longitude_deg:
/// fields may be quoted ("" for a quote), names must be UTF-8, numbers use a full stop. A line
/// with a missing, unreadable or out-of-range field is skipped and counted, never fatal.
[[nodiscard]] NomenclatureList parseNomenclature(std::string_view csv);

/// The features with a grid over latitude and longitude: each cell lists the features whose
/// disc reaches into it, so that a lookup tests a few dozen features instead of all of them.
struct NomenclatureIndex {
    // Centres as unit vectors and each disc's radius as the squared chord it spans: a point
    // lies in a disc when its squared distance to the centre is at most that. Chords keep their
    // precision for discs of a km, where cosines would all be 1 to within rounding.
    struct Disc {
        std::array<real, 3> centre{};
        real chordSquared = 0;
        real diameterKm = 0;
        bool elongated = false;
    };
    std::vector<NamedFeature> features;
    std::vector<Disc> discs;
    // Cell c lists the features cellFeatures[cellStart[c] .. cellStart[c + 1]).
    std::vector<std::uint32_t> cellStart;
    std::vector<std::uint32_t> cellFeatures;
};

/// The index of `features`; a feature of no size (diameter 0) is kept but never found.
[[nodiscard]] NomenclatureIndex indexNomenclature(std::vector<NamedFeature> features);

/// The feature named at (`latitude`, `longitude`) in degrees: among those whose disc (its
/// diameter taken as an arc on the Moon) holds the point, the smallest, a crater on a mare thus
/// winning over the mare. Ridges, rilles, valleys, scarps, crater chains and mountain ranges
/// are given as a disc as wide as they are long, far larger than what they cover, so they are
/// named only where no other feature holds the point. Equal sizes go to the nearer centre.
/// None when no disc holds the point, or the latitude is not finite or beyond ±90°.
[[nodiscard]] std::optional<NamedFeature> namedFeatureAt(
    const NomenclatureIndex &index, real latitude, real longitude);

/// The same answer by testing every feature, for checking the index against.
[[nodiscard]] std::optional<NamedFeature> namedFeatureAtByScan(
    const NomenclatureIndex &index, real latitude, real longitude);

} // namespace measure
