#pragma once

// How the shadow tool shows its two ends: thin ticks that leave the measured pixels bare, and
// a line of text saying where the ends were found.

#include "measure/curves.h"
#include "measure/shadowfind.h"

#include <optional>
#include <string>
#include <vector>

namespace measure {

/// A segment drawn from `from` to `to`, the pixel at `to` itself left out.
struct PixelSegment {
    PixelPoint from;
    PixelPoint to;
};

/// Ticks beside the ends of a shadow: across the line from `top` to `end`, a few pixels off each
/// end on both sides; around `top` alone (no end yet), four ticks off it.
[[nodiscard]] std::vector<PixelSegment> shadowTicks(
    PicturePoint top, const std::optional<PicturePoint> &end);

/// Where the ends came from, in French: found on the photograph (with their ±) or the clicks.
[[nodiscard]] std::string endsText(const ShadowEnds &ends, const std::string &decimalSeparator);

} // namespace measure
