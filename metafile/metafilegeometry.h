#pragma once

// The pixel rules the canvas's sections share.

#include <QPointF>
#include <QRectF>
#include <QTransform>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace metafile {

// The screen a metafile is played for: its pixels are the picture's.
inline constexpr int kScreenDpi = 96;

// Screen pixels of a length of `units`, `unitsPerInch` of which make an inch, rounded as
// MulDiv does: halves away from zero.
[[nodiscard]] inline std::int64_t screenPixels(std::int64_t units, std::int64_t unitsPerInch)
{
    return (std::llabs(units) * kScreenDpi + unitsPerInch / 2) / unitsPerInch;
}

// Farther than this from the picture, in pixels, a figure is not drawn: no metafile of a sane
// size reaches there, and the rasteriser works in fixed point that does not either.
inline constexpr double kFar = 1e6;

[[nodiscard]] inline bool nearby(QPointF p)
{
    return std::abs(p.x()) <= kFar && std::abs(p.y()) <= kFar; // false for NaN too
}

[[nodiscard]] inline bool nearby(const QRectF &r)
{
    return nearby(r.topLeft()) && nearby(r.bottomRight());
}

[[nodiscard]] inline bool axisAligned(const QTransform &t)
{
    return t.m12() == 0 && t.m21() == 0;
}

[[nodiscard]] inline QPointF rounded(QPointF p)
{
    return {std::round(p.x()), std::round(p.y())};
}

} // namespace metafile
