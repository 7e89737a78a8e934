#include "measure/calculator.h"

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace measure {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Leading decimal digits of a magnitude: value = d0.d1d2... x 10^exponent.
struct Decimal {
    std::string digits;
    int exponent = 0;

    int digitAt(int place) const
    {
        const int index = exponent - place;
        return index >= 0 && index < static_cast<int>(digits.size())
            ? digits[static_cast<std::size_t>(index)] - '0'
            : 0;
    }
};

// The first `count` digits of the exact decimal expansion, cut off rather than rounded: the
// roundings below look at the first dropped digit alone, and a digit already rounded by printf
// could turn ...4999 into ...5 and round twice.
Decimal truncatedDigits(real magnitude, int count)
{
    char text[64];
    const int saved = std::fegetround();
    std::fesetround(FE_TOWARDZERO);
    std::snprintf(text, sizeof text, "%.*Le", count - 1, magnitude);
    std::fesetround(saved);

    Decimal d;
    d.digits.push_back(text[0]);
    d.digits.append(text + 2, static_cast<std::size_t>(count - 1));
    d.exponent = std::atoi(text + 2 + count); // past the 'e'
    return d;
}

// Keeps `count` digits, a 5 or more in the first dropped digit rounding up in magnitude.
Decimal roundHalfAway(const Decimal &exact, int count)
{
    Decimal d{exact.digits.substr(0, static_cast<std::size_t>(count)), exact.exponent};
    if (exact.digitAt(exact.exponent - count) < 5)
        return d;
    auto i = static_cast<std::ptrdiff_t>(count) - 1;
    while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9')
        d.digits[static_cast<std::size_t>(i--)] = '0';
    if (i >= 0) {
        ++d.digits[static_cast<std::size_t>(i)];
    } else {
        d.digits.insert(d.digits.begin(), '1');
        d.digits.pop_back();
        ++d.exponent;
    }
    return d;
}

// 15 significant digits without trailing zeros and a plain exponent: 1.84467440737096E19.
std::string generalForm(const Decimal &exact, bool negative, const std::string &separator)
{
    Decimal d = roundHalfAway(exact, 15);
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    std::string text = negative ? "-" : "";
    text += d.digits[0];
    if (d.digits.size() > 1)
        text += separator + d.digits.substr(1);
    return text + "E" + std::to_string(d.exponent);
}

} // namespace

real parseReal(const std::string &text, const std::string &decimalSeparator)
{
    const auto fail = [&text]() {
        throw Failure("'" + text + "' is not a valid floating point value");
    };
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    // The digits of integer part and fraction are kept together and the exponent counts the
    // fraction, so the value is one digit string scaled by a power of ten.
    std::string digits;
    long long exponent = 0;
    const std::size_t mantissaStart = i;
    while (i < n && isDigit(text[i]))
        digits.push_back(text[i++]);
    if (!decimalSeparator.empty()
        && text.compare(i, decimalSeparator.size(), decimalSeparator) == 0) {
        i += decimalSeparator.size();
        for (; i < n && isDigit(text[i]); ++i, --exponent)
            digits.push_back(text[i]);
    }
    if (i == mantissaStart)
        fail(); // a sign alone, or nothing at all
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            negativeExponent = text[i++] == '-';
        // Digits are read only while the exponent is below 500; one left over fails below.
        long long value = 0;
        while (i < n && isDigit(text[i]) && value < 500)
            value = value * 10 + (text[i++] - '0');
        exponent += negativeExponent ? -value : value;
    }
    while (i < n && text[i] == ' ')
        ++i;
    if (i != n)
        fail();

    // strtold rounds the scaled digits once, to the nearest extended value; written without a
    // decimal point, the text does not depend on the C library's locale.
    const std::string plain =
        (digits.empty() ? std::string("0") : digits) + "e" + std::to_string(exponent);
    const real magnitude = std::strtold(plain.c_str(), nullptr);
    if (std::isinf(magnitude))
        fail(); // beyond the extended range
    return negative ? -magnitude : magnitude;
}

std::string formatHeight(real v, const std::string &decimalSeparator)
{
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v < 0 ? "-INF" : "INF";
    const bool negative = std::signbit(v);
    const Decimal exact = truncatedDigits(std::fabs(v), 19);
    const Decimal rounded = roundHalfAway(exact, 18);
    if (rounded.exponent >= 18)
        return generalForm(exact, negative, decimalSeparator);

    // Below 10^18 the value in tenths has at most 19 digits and fits 64 bits.
    std::uint64_t tenths = 0;
    for (int place = rounded.exponent; place >= -1; --place)
        tenths = tenths * 10 + static_cast<std::uint64_t>(rounded.digitAt(place));
    if (rounded.digitAt(-2) >= 5)
        ++tenths;
    std::string digits = std::to_string(tenths);
    if (digits.size() < 2)
        digits.insert(digits.begin(), '0');
    const std::string sign = negative && tenths != 0 ? "-" : "";
    return sign + digits.substr(0, digits.size() - 1) + decimalSeparator + digits.back();
}

std::string shadowHeight(
    const std::string &length, const std::string &elevation, const std::string &decimalSeparator)
{
    const real angle = degreesToRadians(parseReal(elevation, decimalSeparator));
    if (std::isinf(angle))
        throw Failure(kOverflow); // E x pi went beyond the extended range
    // The tangent is computed only below 2^63 radians, where its argument reduction holds.
    if (std::fabs(angle) >= 0x1p63L)
        throw Failure(kInvalidOperation);
    const real tangent = std::tan(angle);
    const real height = parseReal(length, decimalSeparator) * tangent;
    // The height is kept as a 32-bit float; its rounding shows in the last digit (0.35 at 45
    // degrees gives 0.3).
    return formatHeight(checkedFloat(height), decimalSeparator);
}

bool keepsTypedCharacter(char32_t c, char32_t decimalSeparator)
{
    // The locale's separator is admitted too: with only '.', no fraction could be typed where
    // the separator is a comma.
    return c == 8 || c == U'-' || c == U'.' || (c >= U'0' && c <= U'9')
        || (decimalSeparator != 0 && c == decimalSeparator);
}

} // namespace measure
