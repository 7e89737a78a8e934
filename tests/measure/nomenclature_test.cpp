#include "measure/nomenclature.h"
#include "measure/selenographic.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace {

const measure::NomenclatureIndex &shippedIndex()
{
    static const measure::NomenclatureIndex index = [] {
        std::ifstream file(KORVALEN_RESOURCES "/moon-nomenclature.csv", std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return measure::indexNomenclature(measure::parseNomenclature(text.str()).features);
    }();
    return index;
}

std::string nameAt(double latitude, double longitude)
{
    const auto feature = measure::namedFeatureAt(shippedIndex(), latitude, longitude);
    return feature ? feature->name : "";
}

TEST(Nomenclature, ShippedListIsReadWhole)
{
    EXPECT_EQ(shippedIndex().features.size(), 9007u);
}

struct Place {
    double latitude, longitude;
    const char *name;
};

class NamedFeatureAt : public testing::TestWithParam<Place> { };

TEST_P(NamedFeatureAt, SmallestDiscHoldingThePoint)
{
    EXPECT_EQ(nameAt(GetParam().latitude, GetParam().longitude), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(ShippedList,
    NamedFeatureAt,
    testing::Values(Place{9.62, -20.08, "Copernicus"},
        // A satellite crater inside Copernicus's disc wins over it.
        Place{9.52, -18.90, "Copernicus A"},
        Place{30, -20, "Mare Imbrium"},
        // Montes Apenninus's disc reaches this far into the mare; the range does not.
        Place{25, -5, "Mare Imbrium"},
        // Dante is centred on 180° E; Daedalus reaches across the seam from 179.4° E.
        Place{25.36, -179.6, "Dante"},
        Place{-5.83, -179.5, "Daedalus"},
        Place{-5.83, 180, "Daedalus"},
        // Shackleton's rim goes round the south pole, whatever the longitude.
        Place{-90, 0, "Shackleton"},
        Place{-90, 123, "Shackleton"},
        Place{89.9, 10, "Peary"},
        Place{-30, -170, ""},
        Place{95, 0, ""}));

// The grid must give what a scan of every feature gives, near the poles and the seam above all.
TEST(Nomenclature, IndexAgreesWithScan)
{
    const double latitudes[] = {-90, -89.95, -89.7, -88.5, -76.4, -5.83, 0, 25.4, 62.8, 89.2, 90};
    for (const double latitude : latitudes)
        for (double longitude = -180; longitude <= 180; longitude += 0.91) {
            const auto grid = measure::namedFeatureAt(shippedIndex(), latitude, longitude);
            const auto scan = measure::namedFeatureAtByScan(shippedIndex(), latitude, longitude);
            ASSERT_EQ(grid ? grid->name : "", scan ? scan->name : "")
                << latitude << " " << longitude;
        }
}

struct CsvCase {
    const char *text;
    const char *name; // "" when the line is rejected
    double longitude;
};

class ParseNomenclature : public testing::TestWithParam<CsvCase> { };

TEST_P(ParseNomenclature, OneLine)
{
    const auto list = measure::parseNomenclature(GetParam().text);
    const bool accepted = *GetParam().name != '\0';
    ASSERT_EQ(list.features.size(), accepted ? 1u : 0u);
    EXPECT_EQ(list.rejectedLines, accepted ? 0u : 1u);
    if (accepted) {
        EXPECT_EQ(list.features[0].name, GetParam().name);
        EXPECT_DOUBLE_EQ(double(list.features[0].longitude), GetParam().longitude);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines,
    ParseNomenclature,
    testing::Values(CsvCase{"\xEF\xBB\xBF"
                            "Abel A,12.5,-34.2,-86.1\r\n",
                        "Abel A",
                        -86.1},
        CsvCase{"\"Mons \"\"Z\"\", A\" , 3,1,2\n\n", "Mons \"Z\", A", 2},
        CsvCase{"Abul W\xC3\xA1"
                "fa,54.18,0.96,116.63",
            "Abul W\xC3\xA1"
            "fa",
            116.63},
        CsvCase{"Far,1,0,270", "Far", -90},
        CsvCase{"name,diameter_km,latitude_deg,longitude_deg", "", 0},
        CsvCase{"Bad \xC3(,1,0,0", "", 0},
        CsvCase{"Over,1,90.5,0", "", 0},
        CsvCase{"Negative,-1,0,0", "", 0},
        CsvCase{"Short,1,0", "", 0},
        CsvCase{"Long,1,0,0,0", "", 0},
        CsvCase{"\"Open,1,0,0", "", 0},
        CsvCase{"\"A\"x,1,0,0", "", 0},
        CsvCase{",1,0,0", "", 0},
        CsvCase{"Nan,nan,0,0", "", 0}));

struct TextCase {
    double latitude, longitude;
    const char *text;
};

class SelenographicText : public testing::TestWithParam<TextCase> { };

TEST_P(SelenographicText, HemispheresAfterRounding)
{
    EXPECT_EQ(measure::selenographicText(GetParam().latitude, GetParam().longitude, 1, ","),
        GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Positions,
    SelenographicText,
    testing::Values(TextCase{9.62, -20.08, "9,6° N  20,1° O"},
        TextCase{-43.31, 11.36, "43,3° S  11,4° E"},
        TextCase{-0.04, -0.04, "0,0° N  0,0° E"},
        TextCase{-90, 190, "90,0° S  170,0° O"},
        TextCase{0.06, -180, "0,1° N  180,0° E"}));

} // namespace
