#include "measure/measurement.h"

#include "measure/curves.h"
#include "measure/numeric.h"

#include <cmath>

namespace measure {

namespace {

// The lit side depends on the sphere and its terminator only, not on how sure they are.
bool sameGeometry(const MoonModel &a, const MoonModel &b)
{
    return a.centreX == b.centreX && a.centreY == b.centreY && a.radius == b.radius
        && a.theta == b.theta && a.b == b.b;
}

// The curves fail on a trace whose tilt cannot be computed (an over-long vertical chord):
// figures read off it would fail the same way at every move of the pointer.
bool usableTilt(const TMesureState &state)
{
    try {
        static_cast<void>(tilt(state));
        return true;
    } catch (const Failure &) {
        return false;
    }
}

} // namespace

void Measurement::photographChanged()
{
    ++revision_;
    // What was read off the last photograph — the fitted terminator, the lit side, the
    // shadow's clicks on its relief — does not hold for another one.
    ++photograph_;
    fit_.reset();
    bLaid_ = false;
    litSide_.reset();
    shadow_ = {};
    lastShadow_.reset();
    refined_.reset();
    lastPointer_.reset();
}

void Measurement::drawingsErased()
{
    ++revision_;
    erased_ = true;
    shadow_ = {};
    lastShadow_.reset();
    refined_.reset();
}

void Measurement::traced()
{
    ++revision_;
    tracedOn_ = photograph_;
    erased_ = false;
    fit_.reset();
}

void Measurement::nudged()
{
    ++revision_;
    fit_.reset();
}

void Measurement::spinBChanged(int b)
{
    ++revision_;
    // "Ajuster" itself moves SpinEditB to the fit's degree, which keeps the fit.
    if (fit_ && b == nearest(fit_->model.b))
        return;
    fit_.reset();
    bLaid_ = true;
}

void Measurement::fitted(const Calibration &fit)
{
    ++revision_;
    fit_ = fit;
    // Its whole degree in SpinEditB was read off this photograph too, and stays so once the
    // fraction is forgotten.
    bLaid_ = true;
}

BSource Measurement::bSource() const
{
    if (fit_)
        return BSource::Fit;
    return bLaid_ ? BSource::SpinBox : BSource::Unchecked;
}

void Measurement::shadowToolTaken()
{
    // A press left over from before would otherwise pair with one on another relief.
    shadow_ = {};
}

bool Measurement::shadowPress(PicturePoint at)
{
    if (!shadow_.top || shadow_.end) {
        shadow_ = {at, std::nullopt};
        return false;
    }
    shadow_.end = at;
    lastShadow_ = shadow_;
    refined_.reset();
    return true;
}

void Measurement::shadowRefined(const ShadowEnds &ends)
{
    if (lastShadow_)
        refined_ = ends;
}

std::optional<ShadowEnds> Measurement::lastShadowEnds() const
{
    if (refined_)
        return refined_;
    if (!lastShadow_)
        return std::nullopt;
    ShadowEnds clicked;
    clicked.top.point = *lastShadow_->top;
    clicked.end.point = *lastShadow_->end;
    return clicked;
}

TraceStatus Measurement::status() const
{
    if (state.rayon == 0 || !usableTilt(state))
        return TraceStatus::NoCircle;
    if (erased_)
        return TraceStatus::Erased;
    if (tracedOn_ != photograph_)
        return TraceStatus::OtherPhotograph;
    return TraceStatus::Ready;
}

std::optional<MoonModel> Measurement::model(int spinB, const PixelSource &photograph)
{
    if (status() != TraceStatus::Ready)
        return std::nullopt;
    if (fit_)
        return fit_->model;
    MoonModel model = moonModel(state, spinB);
    // Remembered, so that a move of the pointer never reads the photograph again.
    if (!litSide_ || litSide_->photograph != photograph_ || !sameGeometry(litSide_->model, model)) {
        const ImageView pixels = photograph ? photograph() : ImageView{};
        const int sign = pixels.empty() ? 1 : litSide(pixels, model).value_or(1);
        litSide_ = LitSide{photograph_, model, sign};
    }
    model.litSign = litSide_->sign;
    return model;
}

std::optional<ShadowMeasure> Measurement::shadow(int spinB, const PixelSource &photograph)
{
    if (!lastShadow_)
        return std::nullopt;
    return shadowOn(model(spinB, photograph));
}

std::optional<ShadowMeasure> Measurement::shadowOn(const std::optional<MoonModel> &sphere) const
{
    if (!lastShadow_)
        return std::nullopt;
    // Without a model the empty sphere makes measureShadow give the reason, not a height.
    const MoonModel on = sphere.value_or(MoonModel{});
    ShadowMeasure measured = refined_ ? measureRefinedShadow(on, *refined_)
                                      : measureShadow(on, *lastShadow_->top, *lastShadow_->end);
    measured.bChecked = bSource() != BSource::Unchecked;
    return measured;
}

std::string statusText(TraceStatus status)
{
    switch (status) {
    case TraceStatus::OtherPhotograph:
        // The labels are a hundred pixels wide: the whole sentence is statusHint().
        return "Cercle à retracer";
    case TraceStatus::Ready:
    case TraceStatus::NoCircle:
    case TraceStatus::Erased:
        break;
    }
    return {};
}

namespace {

// The standard uncertainty of entry k of the model, from its covariance (0 without one).
real sigmaOf(const MoonModel &model, std::size_t k)
{
    return model.covariance ? std::sqrt(std::max<real>(0, (*model.covariance)[k][k])) : 0;
}

std::string degreesText(real value, real sigma, const std::string &separator)
{
    return withUncertainty(value, sigma, NumberFormat{1, separator, {}}, "\xC2\xB0");
}

} // namespace

std::string fitSummary(const Calibration &fit, const std::string &decimalSeparator)
{
    const MoonModel &m = fit.model;
    return "B = " + degreesText(m.b, sigmaOf(m, 4), decimalSeparator) + "\nR = "
        + withUncertainty(m.radius, sigmaOf(m, 2), NumberFormat{1, decimalSeparator, {}}, "")
        + " px";
}

std::vector<std::string> fitDetails(const Calibration &fit, const std::string &decimalSeparator)
{
    const MoonModel &m = fit.model;
    const NumberFormat px{1, decimalSeparator, {}};
    const TerminatorFit &t = fit.terminator;
    const LimbFit &limb = fit.limb;
    std::vector<std::string> lines;
    lines.push_back(
        "Position du terminateur : B = " + degreesText(m.b, sigmaOf(m, 4), decimalSeparator)
        + (m.litSign > 0 ? "" : " (côté éclairé opposé au sens des courbes)"));
    // The centre's two figures share one ±, the larger of theirs, written as every ± is.
    const std::string both = withUncertainty(0, std::max(sigmaOf(m, 0), sigmaOf(m, 1)), px, "");
    const std::string centreSigma = both.substr(std::min(both.size(), both.find(" \xC2\xB1")));
    lines.push_back("Disque : centre (" + fixedText(m.centreX, px) + " ; "
        + fixedText(m.centreY, px) + ")" + centreSigma + " px ; rayon "
        + withUncertainty(m.radius, sigmaOf(m, 2), px, "") + " px");
    lines.push_back("Inclinaison de la ligne des cornes : "
        + degreesText(radiansToDegrees(m.theta), radiansToDegrees(sigmaOf(m, 3)), decimalSeparator)
        + (t.tiltFitted ? " (lue sur le terminateur)"
                        : " (celle des clics : si près du bord, le terminateur n'en dit presque "
                          "rien)"));
    const NumberFormat tenth{1, decimalSeparator, {}};
    lines.push_back(t.relief < 0.05L
            ? "Relief : le bord de la lumière suit le terminateur à moins de "
                + fixedText(0.1L, tenth) + "\xC2\xB0 de hauteur du Soleil près"
            : "Relief : le bord de la lumière peut s'écarter du terminateur d'environ "
                + fixedText(t.relief, tenth)
                + "\xC2\xB0 de hauteur du Soleil, compté dans l'incertitude de B");
    // Against the limb the blur's width bounds the terminator's place too: said on the same line.
    // The tilt turns with the reading only where it was read off the terminator.
    lines.push_back("Pied de la lumière : B bouge de " + fixedText(kShownPerSigma * t.foot, tenth)
        + "\xC2\xB0"
        + (t.tiltFitted ? " et l'inclinaison de "
                    + fixedText(radiansToDegrees(kShownPerSigma * t.footTilt), tenth) + "\xC2\xB0"
                        : std::string())
        + " quand chaque ligne est lue plus loin dans le jour ou sans courbure"
        + (t.limbBound > 0 ? " ; contre le bord, la largeur du flou en laisse "
                    + fixedText(kShownPerSigma * t.limbBound, tenth) + "\xC2\xB0"
                           : std::string())
        + (t.tiltFitted ? " ; compté dans leurs incertitudes"
                        : " ; compté dans l'incertitude de B"));
    const std::string terminator = std::to_string(t.lines) + " lignes du terminateur retenues";
    if (limb.fitted())
        lines.push_back("Bord éclairé mesuré sur " + std::to_string(limb.profiles)
            + " profils : flou " + fixedText(limb.blurFwhm(), px) + " px (largeur à mi-hauteur) ; "
            + terminator);
    else
        lines.push_back("Bord éclairé non trouvé : disque des deux clics ; " + terminator);
    if (!fit.gamma)
        lines.push_back("Réponse de l'appareil non mesurable (trop peu de sol éclairé) : gamma "
            + fixedText(kDisplayGamma, tenth) + " supposé pour le terminateur et les ombres");
    else
        lines.push_back("Réponse de l'appareil, lue sur le sol éclairé : "
            + (*fit.gamma > 1
                    ? "gamma " + fixedText(*fit.gamma, tenth) + " (fichier d'appareil photo)"
                    : std::string("linéaire (gamma 1)"))
            // A tone read near the split: what the other one would make of B.
            + (t.toneMoved ? ", de justesse : "
                        + (*fit.gamma > 1 ? std::string("en linéaire")
                                          : "en gamma " + fixedText(kDisplayGamma, tenth))
                        + ", B bougerait de " + fixedText(std::fabs(*t.toneMoved), tenth)
                        + "\xC2\xB0 ; compté dans l'incertitude de B"
                           : std::string()));
    return lines;
}

std::string statusHint(TraceStatus status)
{
    if (status == TraceStatus::OtherPhotograph)
        return "Le cercle a été tracé sur une autre photographie : retracez-le sur celle-ci.";
    return {};
}

} // namespace measure
