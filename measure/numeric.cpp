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

// Digits grouped by three from the right with `thousands` between the groups.
std::string grouped(const std::string &digits, const std::string &thousands)
{
    if (thousands.empty() || digits.size() <= 3)
        return digits;
    const std::size_t lead = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    std::string text = digits.substr(0, lead);
    for (std::size_t i = lead; i < digits.size(); i += 3)
        text += thousands + digits.substr(i, 3);
    return text;
}

// A whole count of units of the last digit as text: 123 with 2 decimals is "1,23".
std::string unitsText(long long units, const NumberFormat &format)
{
    const bool negative = units < 0;
    std::string digits = std::to_string(negative ? -units : units);
    const auto decimals = static_cast<std::size_t>(std::max(0, format.decimals));
    if (digits.size() < decimals + 1)
        digits.insert(0, decimals + 1 - digits.size(), '0');
    std::string text = grouped(digits.substr(0, digits.size() - decimals), format.thousands);
    if (decimals > 0)
        text += format.separator + digits.substr(digits.size() - decimals);
    // The sign only in front of a non-zero figure, so that nothing reads "-0,0".
    return negative ? "-" + text : text;
}

real scaleOf(int decimals)
{
    real scale = 1;
    for (int k = 0; k < decimals; ++k)
        scale *= 10;
    return scale;
}

// Beyond this many units no figure read off a photograph means anything, and the conversion
// to a whole count would be undefined.
constexpr real kLargest = 1e15L;

long long unitsOf(real value, const NumberFormat &format)
{
    const real units = value * scaleOf(format.decimals);
    return std::fabs(units) < kLargest ? std::llrint(units) : 0;
}

} // namespace

std::string fixedText(real value, const NumberFormat &format)
{
    if (!(std::fabs(value * scaleOf(format.decimals)) < kLargest))
        return "?";
    return unitsText(unitsOf(value, format), format);
}

std::string fixedText(real value, int decimals, const std::string &separator)
{
    return fixedText(value, NumberFormat{decimals, separator, {}});
}

std::string withUncertainty(
    real value, real sigma, const NumberFormat &format, const std::string &unit)
{
    const real units = sigma * scaleOf(format.decimals);
    if (!(std::fabs(value * scaleOf(format.decimals)) < kLargest) || !(units < kLargest))
        return "?";
    // An uncertainty is rounded up: 0.04 shown as "± 0,0" would claim an exact value. The
    // thousandth of a unit taken off keeps a computed 0.4000001 from reading 0.5.
    const auto up = static_cast<long long>(std::ceil(units - 1e-3L));
    return unitsText(unitsOf(value, format), format) + unit + " \xC2\xB1 "
        + unitsText(std::max(1LL, up), format) + unit;
}

} // namespace measure
