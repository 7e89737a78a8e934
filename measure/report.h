#pragma once

#include "measure/elevation.h"
#include "measure/measurement.h"
#include "measure/moonmodel.h"
#include "measure/shadow.h"

#include <optional>
#include <string>

namespace measure {

/// The elevation last read under the pointer, at its pixel.
struct ElevationReading {
    PicturePoint at;
    Elevation elevation;
};

/// The last shadow: the two ends used (clicked or found) and what they gave.
struct ShadowReading {
    PicturePoint top;
    PicturePoint end;
    ShadowMeasure measure;
    /// The Sun was the ephemeris's for the photograph's date, not the photograph's own.
    bool ephemerisSun = false;
};

/// What the window knows of a measurement; a part it does not know is left out of the text.
struct ReportInput {
    std::string fileName;
    std::optional<MoonModel> model;
    BSource bSource = BSource::SpinBox;
    /// The limb circle is laid on the photograph to half a pixel.
    real radiusSigmaPx = kLimbPixelSigma;
    std::optional<ElevationReading> elevation;
    std::optional<ShadowReading> shadow;
    /// The photograph's date and place as the window shows them; empty when unknown.
    std::string datePlace;
    /// The place under the pointer, its Sun from the ephemeris and its name; empty without.
    std::string pointerPlace;
};

/// The measurement as a short French text to copy, one line per part, numbers written with
/// `decimalSeparator`.
[[nodiscard]] std::string measurementReport(
    const ReportInput &input, const std::string &decimalSeparator);

} // namespace measure
