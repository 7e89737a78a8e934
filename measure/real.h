#pragma once

#include "measure/failure.h"

#include <cstdint>
#include <limits>
#include <string>

namespace measure {

// Every computation of the measurement runs in the x87 80-bit extended format; the digits the
// user sees (radius, curve pixels, calculator results) depend on that 64-bit significand.
using real = long double;
static_assert(std::numeric_limits<real>::digits == 64, "real must be the 80-bit extended format");

inline constexpr const char *kInvalidOperation = "Invalid floating point operation";
inline constexpr const char *kDivisionByZero = "Floating point division by zero";
inline constexpr const char *kOverflow = "Floating point overflow";

/// v rounded to the nearest integer, halves to the even neighbour.
[[nodiscard]] std::int32_t nearest(real v);

/// π as the extended value nearest to it.
inline constexpr real kPi = 3.14159265358979323846264338327950288L;

/// π/180 as the extended value nearest to it; the curve samples step their angle with it.
inline constexpr real kPiOver180 = 0.01745329251994329576923690768488612713L;

/// v degrees in radians, computed as (v × π) ÷ 180.
[[nodiscard]] real degreesToRadians(real v);

/// a ÷ b, failing as the arithmetic unit would: 0 ÷ 0 is invalid, x ÷ 0 a division by zero.
[[nodiscard]] real checkedDivide(real a, real b);

/// v rounded to a 32-bit float, failing with the overflow message beyond the float range.
[[nodiscard]] float checkedFloat(real v);

/// √v, failing with the invalid-operation message for a negative v.
[[nodiscard]] real checkedSqrt(real v);

} // namespace measure
