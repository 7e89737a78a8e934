#pragma once

#include "measure/moonmodel.h"
#include "measure/real.h"

#include <optional>
#include <string>

namespace measure {

/// The Sun's elevation at a place of the photograph, with how far it may be off.
struct Elevation {
    /// Degrees above the local horizon: positive on the lit side, negative on the night side.
    real degrees = 0;
    /// Degrees, propagated from the terminator position and the limb circle.
    real sigma = 0;
};

/// How well the limb circle is known: the circle is laid on the photograph to the pixel, so its
/// centre, its radius and the ends of its cusp line are each half a pixel off at most.
inline constexpr real kLimbPixelSigma = 0.5L;

/// The elevation at picture point (x, y) in the model, none off the disc.
[[nodiscard]] std::optional<Elevation> elevationAt(const MoonModel &model, real x, real y);

/// The label text: "12,3° ± 0,4°" with `decimalSeparator`, or "hors du disque" for none.
/// With `bChecked` false (B neither fitted nor laid on the terminator): "≈ 12,3°", no ±.
[[nodiscard]] std::string elevationText(const std::optional<Elevation> &elevation,
    const std::string &decimalSeparator,
    bool bChecked = true);

/// Why a figure is approximate when B was neither fitted nor laid on the terminator.
inline constexpr const char *kUncheckedB =
    "B n'a été ni ajusté sur cette photographie ni réglé à la main : valeur indicative, "
    "sans marge d'erreur.";

} // namespace measure
