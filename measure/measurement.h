#pragma once

#include "measure/calibration.h"
#include "measure/mesurestate.h"
#include "measure/moonmodel.h"
#include "measure/pixels.h"
#include "measure/shadow.h"
#include "measure/shadowfind.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace measure {

/// Whether figures may be read off the traced circle, and if not, why.
enum class TraceStatus {
    /// A usable circle, traced on the photograph shown and drawn.
    Ready,
    /// Nothing traced yet, or a trace whose radius came out 0.
    NoCircle,
    /// "Effacer tracés" since the last trace: nothing drawn shows what a figure would use.
    Erased,
    /// Traced over a photograph that is no longer shown.
    OtherPhotograph,
};

/// Where the terminator position B comes from.
enum class BSource {
    /// SpinEditB's whole degree as it stood, neither fitted nor laid by the user on this
    /// photograph's terminator: a figure from it says so and shows no ±.
    Unchecked,
    /// SpinEditB's whole degree, which the user turned to lay the red curve on the terminator.
    SpinBox,
    /// "Ajuster": the whole model fitted on the photograph, with its covariance.
    Fit,
};

/// Gives the pixels of the photograph shown (empty when there is none); asked only when they
/// are needed, since that may decode or convert a large photograph.
using PixelSource = std::function<ImageView()>;

/// The two presses of the shadow tool: the top of a relief, then the end of its shadow.
struct ShadowClicks {
    std::optional<PicturePoint> top;
    std::optional<PicturePoint> end;
};

/// Everything a measurement is made of — the traced state, the photograph it was traced on, B
/// and its source, the fit, the lit side, the shadow's clicks — with the one set of rules by
/// which no figure outlives the photograph or the trace it was computed from.
class Measurement {
public:
    /// The record the cusp, trace, nudge and curve handlers work on.
    TMesureState state;

    /// Another photograph is shown, or none ("Effacer image").
    void photographChanged();
    /// "Effacer tracés".
    void drawingsErased();
    /// A trace was made from the cusps in `state`.
    void traced();
    /// The circle was nudged.
    void nudged();
    /// SpinEditB now reads `b`: any other degree than the fit's is the user's own B.
    void spinBChanged(int b);
    /// "Ajuster" found the model on the photograph shown (and the window traced it).
    void fitted(const Calibration &fit);
    /// The shadow tool was taken up: its next press is a top.
    void shadowToolTaken();
    /// A press with the shadow tool; true when it ends a shadow.
    bool shadowPress(PicturePoint at);
    /// The ends of the last shadow as found on the photograph.
    void shadowRefined(const ShadowEnds &ends);
    /// The pointer read the elevation at `at`.
    void pointerRead(PicturePoint at) { lastPointer_ = at; }

    [[nodiscard]] TraceStatus status() const;
    [[nodiscard]] BSource bSource() const;
    [[nodiscard]] const std::optional<Calibration> &fit() const { return fit_; }
    /// The presses of the shadow being clicked.
    [[nodiscard]] const ShadowClicks &shadowClicks() const { return shadow_; }
    /// The ends of the last complete shadow: found on the photograph, or the clicks.
    [[nodiscard]] std::optional<ShadowEnds> lastShadowEnds() const;
    /// The last place the pointer read, while it belongs to what is shown.
    [[nodiscard]] const std::optional<PicturePoint> &lastPointer() const { return lastPointer_; }
    /// True between the top and the end of a new shadow.
    [[nodiscard]] bool shadowPending() const { return shadow_.top && !shadow_.end; }

    /// The sphere of the measurement: the fitted model at full precision after "Ajuster", else
    /// the drawn curves' with B from `spinB` and the lit side read off `photograph`
    /// (remembered for this model and photograph); none unless status() is Ready.
    [[nodiscard]] std::optional<MoonModel> model(int spinB, const PixelSource &photograph);

    /// The last complete shadow, kept while a new one is clicked, measured on model(); none
    /// without one. Its reason says why no height can be given when the trace is not Ready.
    [[nodiscard]] std::optional<ShadowMeasure> shadow(int spinB, const PixelSource &photograph);
    /// The same shadow measured on `sphere` (another Sun on the same disc, say); the empty
    /// sphere gives the reason why no height can be given.
    [[nodiscard]] std::optional<ShadowMeasure> shadowOn(
        const std::optional<MoonModel> &sphere) const;

    /// Counts the changes of what figures are read from: the photograph, the trace, its
    /// erasing, a nudge, B and the fit. A figure computed at one count is stale at another.
    [[nodiscard]] std::uint64_t revision() const { return revision_; }

private:
    std::optional<Calibration> fit_;
    /// SpinEditB was turned by the user, or set by a fit, since this photograph was shown.
    bool bLaid_ = false;
    ShadowClicks shadow_;
    std::optional<ShadowClicks> lastShadow_;
    std::optional<ShadowEnds> refined_;
    std::optional<PicturePoint> lastPointer_;
    /// Counts the photographs shown, so that a trace knows which one it was made on.
    std::uint64_t photograph_ = 0;
    std::uint64_t tracedOn_ = 0;
    bool erased_ = false;
    std::uint64_t revision_ = 0;
    /// The lit side read off the photograph for one model.
    struct LitSide {
        std::uint64_t photograph = 0;
        MoonModel model;
        int sign = 1;
    };
    std::optional<LitSide> litSide_;
};

/// The text of the label under the pointer for a status that is not Ready.
[[nodiscard]] std::string statusText(TraceStatus status);
/// The whole sentence behind statusText(), for a tooltip.
[[nodiscard]] std::string statusHint(TraceStatus status);

/// What "Ajuster" found, in two short lines: B and the radius with their ±.
[[nodiscard]] std::string fitSummary(const Calibration &fit, const std::string &decimalSeparator);

/// What "Ajuster" found, in full: B, the disc, the tilt of the cusp line with their ±, and what
/// the photograph told of the camera.
[[nodiscard]] std::vector<std::string> fitDetails(
    const Calibration &fit, const std::string &decimalSeparator);

} // namespace measure
