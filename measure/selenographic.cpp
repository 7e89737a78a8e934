#include "measure/selenographic.h"

#include "measure/numeric.h"

#include <cmath>

namespace measure {

real normalizedLongitude(real longitude)
{
    real wrapped = std::fmod(longitude, 360.0L);
    if (wrapped > 180)
        wrapped -= 360;
    else if (wrapped <= -180)
        wrapped += 360;
    return wrapped;
}

namespace {

// |angle| with its hemisphere letter; the letter follows the rounded figure, not the raw sign.
std::string hemisphereText(real angle,
    int decimals,
    const std::string &separator,
    const char *positive,
    const char *negative)
{
    const std::string figure = fixedText(std::fabs(angle), decimals, separator);
    const bool zero = figure == fixedText(0, decimals, separator);
    return figure + "\xC2\xB0 " + (angle < 0 && !zero ? negative : positive);
}

} // namespace

std::string selenographicText(
    real latitude, real longitude, int decimals, const std::string &separator)
{
    return hemisphereText(latitude, decimals, separator, "N", "S") + "  "
        + hemisphereText(normalizedLongitude(longitude), decimals, separator, "E", "O");
}

} // namespace measure
