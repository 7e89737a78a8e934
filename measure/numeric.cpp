#include "measure/numeric.h"

#include <algorithm>

namespace measure {

real radiansToDegrees(real v)
{
    return v * 180 / kPi;
}

real arcsineDegrees(real sine)
{
    return radiansToDegrees(std::asin(std::clamp<real>(sine, -1, 1)));
}

namespace {

// A whole count of units of the last digit as text: "123" with 2 decimals is "1,23".
std::string unitsText(long long units, int decimals, const std::string &separator)
{
    const bool negative = units < 0;
    std::string digits = std::to_string(negative ? -units : units);
    if (decimals > 0) {
        const auto width = static_cast<std::size_t>(decimals) + 1;
        if (digits.size() < width)
            digits.insert(0, width - digits.size(), '0');
        digits.insert(digits.size() - static_cast<std::size_t>(decimals), separator);
    }
    // The sign only in front of a non-zero figure, so that nothing reads "-0,0".
    return negative ? "-" + digits : digits;
}

real scaleOf(int decimals)
{
    real scale = 1;
    for (int k = 0; k < decimals; ++k)
        scale *= 10;
    return scale;
}

} // namespace

std::string fixedText(real value, int decimals, const std::string &separator)
{
    return unitsText(nearest(value * scaleOf(decimals)), decimals, separator);
}

std::string withUncertainty(
    real value, real sigma, int decimals, const std::string &separator, const std::string &unit)
{
    const real scale = scaleOf(decimals);
    // An uncertainty is rounded up: 0.04 shown as "± 0,0" would claim an exact value. The
    // millionth taken off keeps a computed 0.4000000001 from reading 0.5.
    const auto up = static_cast<long long>(std::ceil(sigma * scale - 1e-6L));
    return unitsText(nearest(value * scale), decimals, separator) + unit + " \xC2\xB1 "
        + unitsText(std::max(1LL, up), decimals, separator) + unit;
}

} // namespace measure
