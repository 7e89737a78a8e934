// The rules by which a measurement's figures stay true to the photograph and the trace shown.
#include "measure/elevation.h"
#include "measure/limb.h"
#include "measure/measurement.h"
#include "measure/shadow.h"
#include "tests/measure/cusps.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

enum class Event {
    Trace,
    Nudge,
    NewPhotograph,
    EraseDrawings,
    Fit,
    SpinToFitDegree,
    SpinElsewhere,
    ShadowTop,
    ShadowEnd,
    TakeTool,
};

struct RuleCase {
    const char *name;
    std::vector<Event> events;
    measure::TraceStatus status;
    measure::BSource source;
    bool shadow; // a complete shadow is kept, to be measured
};

void apply(measure::Measurement &m, Event event)
{
    measure::Calibration fit;
    fit.outcome = measure::FitOutcome::Found;
    fit.model.centreX = 200.4L;
    fit.model.radius = 99.7L;
    fit.model.b = 29.6L;
    fit.model.bSigma = 0.1L;
    fit.model.litSign = -1;
    switch (event) {
    case Event::Trace:
        m.state = withCusps(100, 200, 300, 200);
        measure::tracearc(m.state);
        m.traced();
        break;
    case Event::Nudge:
        measure::nudge(m.state, 1, 0);
        m.nudged();
        break;
    case Event::NewPhotograph:
        m.photographChanged();
        break;
    case Event::EraseDrawings:
        m.drawingsErased();
        break;
    case Event::Fit:
        m.fitted(fit);
        break;
    case Event::SpinToFitDegree:
        m.spinBChanged(30);
        break;
    case Event::SpinElsewhere:
        m.spinBChanged(31);
        break;
    case Event::ShadowTop:
        static_cast<void>(m.shadowPress({200, 230}));
        break;
    case Event::ShadowEnd:
        static_cast<void>(m.shadowPress({200, 236}));
        break;
    case Event::TakeTool:
        m.shadowToolTaken();
        break;
    }
}

class MeasurementRules : public ::testing::TestWithParam<RuleCase> { };

TEST_P(MeasurementRules, StatusSourceAndShadowFollowTheEvents)
{
    measure::Measurement m;
    for (Event event : GetParam().events)
        apply(m, event);
    EXPECT_EQ(m.status(), GetParam().status);
    EXPECT_EQ(m.bSource(), GetParam().source);
    EXPECT_EQ(m.shadow(30, {}).has_value(), GetParam().shadow);
    // A figure is given exactly when the trace is ready.
    EXPECT_EQ(m.model(30, {}).has_value(), GetParam().status == measure::TraceStatus::Ready);
}

using E = Event;
using S = measure::TraceStatus;
using B = measure::BSource;
const RuleCase kRules[] = {
    {"nothingTraced", {}, S::NoCircle, B::Unchecked, false},
    {"traced", {E::Trace}, S::Ready, B::Unchecked, false},
    {"laidByHand", {E::Trace, E::SpinElsewhere}, S::Ready, B::SpinBox, false},
    {"newPhotographAfterTrace",
        {E::Trace, E::SpinElsewhere, E::NewPhotograph},
        S::OtherPhotograph,
        B::Unchecked,
        false},
    {"newPhotographForgetsFitAndShadow",
        {E::Trace, E::Fit, E::ShadowTop, E::ShadowEnd, E::NewPhotograph},
        S::OtherPhotograph,
        B::Unchecked,
        false},
    {"traceAgainOnTheNewPhotograph",
        {E::Trace, E::NewPhotograph, E::Trace},
        S::Ready,
        B::Unchecked,
        false},
    {"photographBeforeTrace", {E::NewPhotograph, E::Trace}, S::Ready, B::Unchecked, false},
    {"eraseDrawings",
        {E::Trace, E::ShadowTop, E::ShadowEnd, E::EraseDrawings},
        S::Erased,
        B::Unchecked,
        false},
    {"eraseThenShadowStillErased",
        {E::Trace, E::EraseDrawings, E::ShadowTop, E::ShadowEnd},
        S::Erased,
        B::Unchecked,
        true},
    {"eraseThenTrace", {E::Trace, E::EraseDrawings, E::Trace}, S::Ready, B::Unchecked, false},
    {"fitKept", {E::Trace, E::Fit, E::SpinToFitDegree}, S::Ready, B::Fit, false},
    {"usersOwnB", {E::Trace, E::Fit, E::SpinElsewhere}, S::Ready, B::SpinBox, false},
    {"backToTheFitsDegree",
        {E::Trace, E::Fit, E::SpinElsewhere, E::SpinToFitDegree},
        S::Ready,
        B::SpinBox,
        false},
    // The fit's whole degree stays in SpinEditB, read off this photograph.
    {"nudgeForgetsFit", {E::Trace, E::Fit, E::Nudge}, S::Ready, B::SpinBox, false},
    {"traceForgetsFit", {E::Trace, E::Fit, E::Trace}, S::Ready, B::SpinBox, false},
    {"shadowKeptByTraceAndNudge",
        {E::Trace, E::ShadowTop, E::ShadowEnd, E::Trace, E::Nudge},
        S::Ready,
        B::Unchecked,
        true},
    {"thirdPressKeepsTheLastShadow",
        {E::Trace, E::ShadowTop, E::ShadowEnd, E::ShadowTop},
        S::Ready,
        B::Unchecked,
        true},
    {"takingTheToolStartsAgain",
        {E::Trace, E::ShadowTop, E::TakeTool, E::ShadowEnd},
        S::Ready,
        B::Unchecked,
        false},
};

INSTANTIATE_TEST_SUITE_P(Events,
    MeasurementRules,
    ::testing::ValuesIn(kRules),
    [](const ::testing::TestParamInfo<RuleCase> &tc) { return std::string(tc.param.name); });

TEST(Measurement, TheFitGivesTheModel)
{
    measure::Measurement m;
    for (Event event : {E::Trace, E::Fit})
        apply(m, event);
    const auto model = m.model(7, {});
    ASSERT_TRUE(model);
    // The fitted model at full precision, not the drawn curves' whole pixels.
    EXPECT_EQ(model->centreX, 200.4L);
    EXPECT_EQ(model->radius, 99.7L);
    EXPECT_EQ(model->b, 29.6L);
    EXPECT_EQ(model->litSign, -1);
    // Without a fit: the spin box's degree, ±0.5°, and the drawn curves' sign when no
    // photograph tells.
    apply(m, E::SpinElsewhere);
    const auto own = m.model(31, {});
    ASSERT_TRUE(own);
    EXPECT_EQ(own->b, 31);
    EXPECT_EQ(own->bSigma, 0.5L);
    EXPECT_EQ(own->litSign, 1);
}

// The cursor label and the shadow's details round an uncertainty the same way.
TEST(Measurement, OneRoundingOfTheUncertaintyForEveryLabel)
{
    for (const measure::real sigma : {0.4L, 0.4000000001L, 0.40001L, 0.04L, 1.25L}) {
        measure::ShadowMeasure shadow;
        shadow.elevation = {12.3L, sigma};
        shadow.height = {1000, 10};
        const std::string cursor = measure::elevationText(measure::Elevation{12.3L, sigma}, ",");
        const std::vector<std::string> lines = measure::shadowDetails(shadow, ",");
        EXPECT_EQ(lines[2], "Hauteur du Soleil au bout de l'ombre: " + cursor)
            << static_cast<double>(sigma);
    }
}

// The fit's details: the centre's ± written once after both figures, where the tilt came from,
// what the lit ground told of the camera.
TEST(Measurement, FitDetailsSayWhatWasFound)
{
    measure::Calibration fit;
    fit.outcome = measure::FitOutcome::Found;
    fit.model.centreX = 420.12L;
    fit.model.centreY = 325.04L;
    fit.model.radius = 299.7L;
    fit.model.b = 23.1L;
    fit.model.covariance = std::array<std::array<measure::real, 5>, 5>{};
    for (std::size_t k = 0; k < 5; ++k)
        (*fit.model.covariance)[k][k] = 0.01L;
    for (const bool fitted : {true, false}) {
        fit.terminator.tiltFitted = fitted;
        fit.terminator.relief = fitted ? 0.84L : 0.01L;
        fit.terminator.foot = 0.26L;
        fit.terminator.footTilt = 0.4L * measure::kPiOver180;
        fit.terminator.limbBound = fitted ? 0 : 0.51L;
        fit.gamma = fitted ? std::optional<measure::real>(2.2L) : std::nullopt;
        fit.terminator.toneMoved = fitted ? std::optional<measure::real>(-1.23L) : std::nullopt;
        const std::vector<std::string> lines = measure::fitDetails(fit, ",");
        EXPECT_EQ(lines.back(),
            fitted ? "Réponse de l'appareil, lue sur le sol éclairé : gamma 2,2 (fichier "
                     "d'appareil photo), de justesse : en linéaire, B bougerait de 1,2\xC2\xB0 ; "
                     "compté dans l'incertitude de B"
                   : "Réponse de l'appareil non mesurable (trop peu de sol éclairé) : gamma 2,2 "
                     "supposé pour le terminateur et les ombres");
        EXPECT_EQ(lines[1],
            "Disque : centre (420,1 ; 325,0) \xC2\xB1 0,1 px ; rayon 299,7 \xC2\xB1 0,1 px");
        EXPECT_NE(
            lines[2].find(fitted ? "lue sur le terminateur" : "celle des clics"), std::string::npos)
            << lines[2];
        EXPECT_EQ(lines[3],
            fitted ? "Relief : le bord de la lumière peut s'écarter du terminateur d'environ "
                     "0,8\xC2\xB0 de hauteur du Soleil, compté dans l'incertitude de B"
                   : "Relief : le bord de la lumière suit le terminateur à moins de 0,1\xC2\xB0 "
                     "de hauteur du Soleil près");
        // Only a terminator against the limb is bounded by the blur; only a tilt read off the
        // terminator turns with the reading.
        EXPECT_EQ(lines[4],
            std::string("Pied de la lumière : B bouge de 0,5\xC2\xB0")
                + (fitted ? " et l'inclinaison de 0,8\xC2\xB0" : "")
                + " quand chaque ligne est lue plus loin dans le jour ou sans courbure"
                + (fitted ? " ; compté dans leurs incertitudes"
                          : " ; contre le bord, la largeur du flou en laisse 1,0\xC2\xB0 ; compté "
                            "dans l'incertitude de B"));
    }
}

} // namespace
