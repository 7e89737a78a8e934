#include "measure/report.h"

#include <cctype>
#include <gtest/gtest.h>
#include <string>

namespace {

using measure::real;

measure::MoonModel disc()
{
    measure::MoonModel m;
    m.centreX = 412.34L;
    m.centreY = 388;
    m.radius = 301.2L;
    m.b = 23.4L;
    m.bSigma = 0.1L;
    return m;
}

measure::ShadowReading shadow(
    measure::ShadowReason reason, bool offAxis = false, bool ephemerisSun = false)
{
    measure::ShadowMeasure m;
    m.reason = reason;
    m.lengthPx = 6.62L;
    m.groundKm = 12.3456L;
    m.elevation = {5.1L, 0.2L};
    m.height = {1102, 60};
    m.offAxis = offAxis;
    return {{300.4L, 385.1L}, {300.2L, 391.7L}, m, ephemerisSun};
}

struct ReportCase {
    const char *name;
    measure::ReportInput input;
    const char *separator;
    std::string expected;
};

const std::string kNarrow = "\u202F";

class Report : public testing::TestWithParam<ReportCase> { };

TEST_P(Report, ShowsEveryKnownPartAndOnlyThose)
{
    EXPECT_EQ(
        measure::measurementReport(GetParam().input, GetParam().separator), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Parts,
    Report,
    testing::Values(
        ReportCase{"everything",
            {"lune.jpg",
                disc(),
                measure::BSource::Fit,
                0.2L,
                measure::ElevationReading{{250, 300}, {12.3L, 0.2L}},
                shadow(measure::ShadowReason::None, false, true),
                "26/03/2026 21:00:00 +01:00 ; Lieu : 48,85° N  2,35° E, 35 m",
                "1,6° S  5,2° E : Soleil à 12,1° ± 0,1° — Hipparchus"},
            ",",
            "Korvalen — lune.jpg\n"
            "Date : 26/03/2026 21:00:00 +01:00 ; Lieu : 48,85° N  2,35° E, 35 m\n"
            "Disque : centre (412,3 ; 388,0) px, rayon 301,2 px ± 0,2 px\n"
            "Terminateur : B = 23,4° ± 0,1° (ajusté sur la photographie)\n"
            "Hauteur du Soleil en (250 ; 300) : 12,3° ± 0,2°\n"
            "Sous le pointeur : 1,6° S  5,2° E : Soleil à 12,1° ± 0,1° — Hipparchus\n"
            "Ombre : sommet (300,4 ; 385,1), fin (300,2 ; 391,7) ; 6,6 px, 12,35 km ; Soleil à "
            "5,1° ± 0,2° ; hauteur 1"
                + kNarrow + "102 m ± 60 m (Soleil de l'éphéméride)\n"},
        // Nothing but the file: no zeros for what is not known.
        ReportCase{"file only",
            {"lune.jpg", {}, measure::BSource::Fit, 0.5L, {}, {}, {}, {}},
            ",",
            "Korvalen — lune.jpg\n"},
        ReportCase{"hand B, point separator, no file",
            {"", disc(), measure::BSource::SpinBox, 0.5L, {}, {}, {}, {}},
            ".",
            "Korvalen\nDisque : centre (412.3 ; 388.0) px, rayon 301.2 px ± 0.5 px\n"
            "Terminateur : B = 23.4° ± 0.1° (réglé à la main)\n"},
        ReportCase{"shadow without height",
            {"a.png",
                {},
                measure::BSource::SpinBox,
                0.5L,
                {},
                shadow(measure::ShadowReason::EndOffDisc),
                {},
                {}},
            ",",
            "Korvalen — a.png\nOmbre : sommet (300,4 ; 385,1), fin (300,2 ; 391,7) ; 6,6 px ; "
            "pas de hauteur : fin hors du disque\n"},
        ReportCase{"stray shadow keeps its doubt",
            {"a.png",
                {},
                measure::BSource::SpinBox,
                0.5L,
                {},
                shadow(measure::ShadowReason::None, true),
                {},
                {}},
            ",",
            "Korvalen — a.png\nOmbre : sommet (300,4 ; 385,1), fin (300,2 ; 391,7) ; 6,6 px, "
            "12,35 km ; Soleil à 5,1° ± 0,2° ; hauteur 1"
                + kNarrow + "102 m ± 60 m (clics à vérifier)\n"}),
    [](const testing::TestParamInfo<ReportCase> &tc) {
        std::string name;
        for (const char *c = tc.param.name; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

} // namespace
