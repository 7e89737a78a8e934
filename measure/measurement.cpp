#include "measure/measurement.h"

#include "measure/curves.h"

namespace measure {

namespace {

bool sameModel(const MoonModel &a, const MoonModel &b)
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
    // What was read off the last photograph — the fitted terminator, the lit side, the
    // shadow's clicks on its relief — does not hold for another one.
    ++photograph_;
    fit_.reset();
    litSide_.reset();
    shadow_ = {};
    lastShadow_.reset();
}

void Measurement::drawingsErased()
{
    erased_ = true;
    shadow_ = {};
    lastShadow_.reset();
}

void Measurement::traced()
{
    tracedOn_ = photograph_;
    erased_ = false;
    fit_.reset();
}

void Measurement::nudged()
{
    fit_.reset();
}

void Measurement::spinBChanged(int b)
{
    if (fit_ && b != nearest(fit_->b))
        fit_.reset();
}

void Measurement::fitted(const TerminatorFit &fit)
{
    fit_ = fit;
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
    return true;
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
    MoonModel model = fit_ ? moonModel(state, fit_->b, fit_->bSigma) : moonModel(state, spinB);
    if (fit_) {
        model.litSign = fit_->litSign;
        return model;
    }
    // Remembered, so that a move of the pointer never reads the photograph again.
    if (!litSide_ || litSide_->photograph != photograph_ || !sameModel(litSide_->model, model)) {
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
    // Without a model the empty sphere makes measureShadow give the reason, not a height.
    const MoonModel sphere = model(spinB, photograph).value_or(MoonModel{});
    return measureShadow(sphere, *lastShadow_->top, *lastShadow_->end);
}

std::string statusText(TraceStatus status)
{
    switch (status) {
    case TraceStatus::OtherPhotograph:
        return "Retracez le cercle sur cette photographie";
    case TraceStatus::Ready:
    case TraceStatus::NoCircle:
    case TraceStatus::Erased:
        break;
    }
    return {};
}

} // namespace measure
