#pragma once

#include "measure/moonmodel.h"
#include "measure/real.h"
#include "measure/selenographic.h"

#include <string>
#include <vector>

namespace measure {

/// Why two clicks give no height.
enum class ShadowReason {
    None,
    /// No usable limb circle: nothing gives the scale or the sphere.
    NoCircle,
    /// The Sun so near the line of sight that a shadow shows no length on the picture.
    SunAlongSight,
    /// The end of the shadow is not a point of the disc.
    EndOffDisc,
    /// At the end of the shadow the Sun is below the horizon: no shadow can end there.
    SunBelowHorizon,
    /// Seen from the end, the top lies away from the Sun: the shadow would point at it.
    TowardsSun,
};

/// A value and its standard uncertainty.
struct Estimate {
    real value = 0;
    real sigma = 0;
};

/// Everything two clicks on a shadow tell, for the label and the details.
struct ShadowMeasure {
    ShadowReason reason = ShadowReason::None;
    /// Distance between the two clicks on the picture.
    real lengthPx = 0;
    /// Along the ground, from the foot under the top to the end of the shadow.
    real groundKm = 0;
    /// The Sun's elevation at the end of the shadow, degrees.
    Estimate elevation;
    /// Height of the top above the sphere, metres.
    Estimate height;
    /// groundKm × tan(elevation): the flat-ground figure the calculator would give, metres.
    real flatHeightM = 0;
    /// How far the clicked top lies from the line through the end along the Sun's direction.
    real offAxisPx = 0;
    /// True when offAxisPx is more than the clicks can explain: one of them is probably wrong.
    bool offAxis = false;
    /// False when B was neither fitted on the photograph nor laid on its terminator by the
    /// user: the figures are then given as approximate, without a ±.
    bool bChecked = true;
};

/// The uncertainties that go into a shadow: half a pixel on each click coordinate and on the
/// limb circle, and the model's own uncertainty of B.
struct ShadowErrors {
    real clickPx = 0.5L;
    real circlePx = 0.5L;
};

/// The height of the relief whose top was clicked at `top` and the end of whose shadow was
/// clicked at `end`, on the sphere of `model`, with the uncertainties propagated.
[[nodiscard]] ShadowMeasure measureShadow(
    const MoonModel &model, PicturePoint top, PicturePoint end, const ShadowErrors &errors = {});

/// Whole metres with thin no-break spaces between groups of thousands, e.g. "12 345".
[[nodiscard]] std::string groupedMetres(real metres);

/// A height and its uncertainty as "1 760 m ± 150 m", the uncertainty rounded up.
[[nodiscard]] std::string heightText(const Estimate &height);

/// The label's text: the height, or a short French reason, or a warning for a stray shadow.
[[nodiscard]] std::string shadowLabel(const ShadowMeasure &measure);

/// The short French reason for a shadow without height; empty for ShadowReason::None.
[[nodiscard]] std::string shadowReasonText(ShadowReason reason);

/// The lines of the details box, with the given decimal separator (UTF-8).
[[nodiscard]] std::vector<std::string> shadowDetails(
    const ShadowMeasure &measure, const std::string &decimalSeparator);

} // namespace measure
