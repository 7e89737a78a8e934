#include "measure/real.h"

#include <cmath>

namespace measure {

std::int32_t nearest(real v)
{
    // lrint follows the current rounding mode, which is round-to-nearest-even; std::round would
    // send halves away from zero and move every circle drawn from a half-pixel midpoint.
    return static_cast<std::int32_t>(std::llrint(v));
}

real degreesToRadians(real v)
{
    return (v * kPi) / 180;
}

real checkedDivide(real a, real b)
{
    if (std::isnan(a) || std::isnan(b) || (b == 0 && a == 0) || (std::isinf(a) && std::isinf(b)))
        throw Failure(kInvalidOperation);
    if (b == 0)
        throw Failure(kDivisionByZero);
    return a / b;
}

float checkedFloat(real v)
{
    // From the midpoint between the largest float and 2^128 on, rounding to nearest gives an
    // infinity; the test comes before the conversion, which is undefined out of range. An
    // infinite v can only come from an extended product that overflowed on the way.
    if (std::fabs(v) >= 0x1.ffffffp127L)
        throw Failure(kOverflow);
    return static_cast<float>(v);
}

real checkedSqrt(real v)
{
    if (std::isnan(v) || v < 0)
        throw Failure(kInvalidOperation);
    return std::sqrt(v);
}

} // namespace measure
