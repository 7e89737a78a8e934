#pragma once

#include "measure/real.h"

#include <string>

namespace measure {

/// Reads a whole text as a decimal number with the given decimal separator (UTF-8).
/// Throws Failure "'<text>' is not a valid floating point value" when it does not convert.
[[nodiscard]] real parseReal(const std::string &text, const std::string &decimalSeparator);

/// Formats v with the pattern "0.0"; from 10^18 on in the general form with an exponent.
[[nodiscard]] std::string formatHeight(real v, const std::string &decimalSeparator);

/// The height of a relief from its shadow length and the Sun's elevation (degrees), as shown.
/// Converts the elevation first, then the length; throws Failure on any failure.
[[nodiscard]] std::string shadowHeight(
    const std::string &length, const std::string &elevation, const std::string &decimalSeparator);

/// Whether the calculator's edits keep a typed character.
[[nodiscard]] bool keepsTypedCharacter(char32_t c, char32_t decimalSeparator);

} // namespace measure
