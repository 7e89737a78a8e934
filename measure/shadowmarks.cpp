#include "measure/shadowmarks.h"

#include "measure/numeric.h"

#include <cmath>

namespace measure {

namespace {

// A tick runs from this far off its end to that far, in pixels: the shadow between stays bare.
constexpr real kNear = 3;
constexpr real kFar = 7;

PixelPoint pixel(real x, real y)
{
    return {nearest(x), nearest(y)};
}

void tick(std::vector<PixelSegment> &ticks, PicturePoint at, real ux, real uy)
{
    ticks.push_back(
        {pixel(at.x + kNear * ux, at.y + kNear * uy), pixel(at.x + kFar * ux, at.y + kFar * uy)});
}

std::string endText(const char *name, const RefinedPoint &p, const NumberFormat &format)
{
    const std::string at = std::string(name) + " (" + fixedText(p.point.x, format) + " ; "
        + fixedText(p.point.y, format) + ")";
    if (p.outcome != EdgeOutcome::Found)
        return at + " au clic, faute de bord net";
    const real sigma = std::sqrt(std::max<real>(0, p.varX + p.varY));
    return at + " \xC2\xB1 " + fixedText(std::max<real>(sigma, 0.1L), format) + " px";
}

} // namespace

std::vector<PixelSegment> shadowTicks(PicturePoint top, const std::optional<PicturePoint> &end)
{
    std::vector<PixelSegment> ticks;
    const real dx = end ? end->x - top.x : 0;
    const real dy = end ? end->y - top.y : 0;
    const real length = std::hypot(dx, dy);
    if (!end || !(length > 0)) {
        for (const auto &[ux, uy] :
            {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}})
            tick(ticks, top, ux, uy);
        return ticks;
    }
    // Square to the shadow, so that no tick lies along it.
    const real ux = -dy / length;
    const real uy = dx / length;
    for (const PicturePoint &at : {top, *end}) {
        tick(ticks, at, ux, uy);
        tick(ticks, at, -ux, -uy);
    }
    return ticks;
}

std::string endsText(const ShadowEnds &ends, const std::string &decimalSeparator)
{
    const NumberFormat format{1, decimalSeparator, {}};
    const bool top = ends.top.outcome == EdgeOutcome::Found;
    const bool end = ends.end.outcome == EdgeOutcome::Found;
    if (!top && !end)
        return "Aucun bord net sur la photographie près des clics : les clics sont gardés tels "
               "quels.";
    return "Bouts cherchés sur la photographie : " + endText("sommet", ends.top, format) + ", "
        + endText("fin", ends.end, format) + ".";
}

} // namespace measure
