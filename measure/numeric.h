#pragma once

// The small numeric tools every computation of measure shares: angles, a linear solver, a
// sampler of pixel levels and the text of a value with its uncertainty. No file defines its
// own copy of any of them.

#include "measure/real.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace measure {

/// v radians in degrees.
[[nodiscard]] real radiansToDegrees(real v);

/// The arcsine in degrees of a sine that rounding may have carried just past ±1.
[[nodiscard]] real arcsineDegrees(real sine);

/// The solution of a x = b for a small square system, by Gaussian elimination with partial
/// pivoting; none when the matrix is singular to working precision.
template <std::size_t N>
[[nodiscard]] std::optional<std::array<real, N>> solveLinear(
    std::array<std::array<real, N>, N> a, std::array<real, N> b)
{
    real largest = 0;
    for (const auto &row : a)
        for (const real v : row)
            largest = std::max(largest, std::fabs(v));
    // A pivot this small against the matrix is rounding noise, not information.
    const real tiny = largest * 1e-15L;
    for (std::size_t col = 0; col < N; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < N; ++row)
            if (std::fabs(a[row][col]) > std::fabs(a[pivot][col]))
                pivot = row;
        if (!(std::fabs(a[pivot][col]) > tiny))
            return std::nullopt;
        std::swap(a[col], a[pivot]);
        std::swap(b[col], b[pivot]);
        for (std::size_t row = col + 1; row < N; ++row) {
            const real k = a[row][col] / a[col][col];
            for (std::size_t j = col; j < N; ++j)
                a[row][j] -= k * a[col][j];
            b[row] -= k * b[col];
        }
    }
    std::array<real, N> x{};
    for (std::size_t row = N; row-- > 0;) {
        real sum = b[row];
        for (std::size_t j = row + 1; j < N; ++j)
            sum -= a[row][j] * x[j];
        x[row] = sum / a[row][row];
    }
    return x;
}

/// How a number is written: digits after the decimal separator, and what groups the thousands
/// of its whole part (nothing, or a thin no-break space for metres).
struct NumberFormat {
    int decimals = 1;
    std::string separator = ",";
    std::string thousands;
};

/// A small deterministic generator (xorshift): the robust fits draw their samples with it, so
/// that the same photograph always gives the same result.
struct Xorshift {
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    /// A number in 0 … n − 1.
    std::size_t below(std::size_t n)
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::size_t>(state % n);
    }
};

/// A value and its uncertainty as "12,3° ± 0,4°": the value rounded to nearest, the
/// uncertainty rounded up (never below one unit of the last digit, so that no figure claims to
/// be exact), `unit` after each number. Every label that shows a ± writes it with this.
[[nodiscard]] std::string withUncertainty(
    real value, real sigma, const NumberFormat &format, const std::string &unit);

/// `value` rounded to nearest in `format`; no "-0".
[[nodiscard]] std::string fixedText(real value, const NumberFormat &format);

/// `value` with `decimals` digits after `separator`, rounded to nearest; no "-0".
[[nodiscard]] std::string fixedText(real value, int decimals, const std::string &separator);

/// The thin no-break space (U+202F) that French typography puts between groups of thousands.
inline constexpr const char *kThinSpace = "\u202F";

} // namespace measure
