#include "measure/calculator.h"

#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

using measure::real;

std::string failureOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const measure::Failure &e) {
        return e.what();
    }
    return "(no failure)";
}

std::string notValid(const std::string &text)
{
    return "'" + text + "' is not a valid floating point value";
}

// ---- Conversion ----

struct ParseCase {
    std::string text;
    std::string separator;
    std::optional<real> value; // nullopt: the text does not convert
};

void PrintTo(const ParseCase &c, std::ostream *os)
{
    *os << '"' << c.text << "\" with '" << c.separator << '\'';
}

class ParseReal : public testing::TestWithParam<ParseCase> { };

TEST_P(ParseReal, Grammar)
{
    const ParseCase &c = GetParam();
    if (!c.value) {
        EXPECT_EQ(
            failureOf([&] { (void)measure::parseReal(c.text, c.separator); }), notValid(c.text));
        return;
    }
    const real v = measure::parseReal(c.text, c.separator);
    EXPECT_EQ(v, *c.value);
    EXPECT_EQ(std::signbit(v), std::signbit(*c.value));
}

const std::nullopt_t fails = std::nullopt;

INSTANTIATE_TEST_SUITE_P(Texts,
    ParseReal,
    testing::Values(ParseCase{"10", ".", 10.0L},
        ParseCase{"0.35", ".", 0.35L},
        ParseCase{"-12", ".", -12.0L},
        ParseCase{"+5", ".", 5.0L},
        ParseCase{"5.", ".", 5.0L},
        ParseCase{".5", ".", 0.5L},
        ParseCase{".", ".", 0.0L},
        ParseCase{"-.", ".", -0.0L},
        ParseCase{"  12.5  ", ".", 12.5L},
        ParseCase{"-", ".", fails},
        ParseCase{"+", ".", fails},
        ParseCase{"", ".", fails},
        ParseCase{" ", ".", fails},
        ParseCase{"1-2", ".", fails},
        ParseCase{"--5", ".", fails},
        ParseCase{"- 5", ".", fails},
        ParseCase{"1.2.3", ".", fails},
        ParseCase{"1 2", ".", fails},
        ParseCase{"\t1", ".", fails},
        ParseCase{"1\t", ".", fails},
        ParseCase{"abc", ".", fails},
        // Exponents: an optional sign and digits, none meaning 0.
        ParseCase{"1e3", ".", 1000.0L},
        ParseCase{"2.5E-2", ".", 0.025L},
        ParseCase{"1e+2", ".", 100.0L},
        ParseCase{"1e", ".", 1.0L},
        ParseCase{"1e-", ".", 1.0L},
        ParseCase{".e5", ".", 0.0L},
        ParseCase{"e5", ".", fails},
        ParseCase{"1e5 ", ".", 1e5L},
        ParseCase{"1e5x", ".", fails},
        ParseCase{"1e1.5", ".", fails},
        // Exponent digits are taken while the exponent is below 500.
        ParseCase{"1e500", ".", 1e500L},
        ParseCase{"1e-500", ".", 1e-500L},
        ParseCase{"1e0000000005", ".", 1e5L},
        ParseCase{"1e4999", ".", fails},
        ParseCase{"1e5000", ".", fails},
        ParseCase{"1e-5000", ".", fails},
        ParseCase{"1e-4999", ".", 0.0L},
        // Values beyond the extended range do not convert.
        ParseCase{"1e4932", ".", 1e4932L},
        ParseCase{"1.2e4932", ".", fails},
        ParseCase{"-1.2e4932", ".", fails},
        // Digits beyond the exponent scale into range.
        ParseCase{"0.000000000000000000000000000001e4940", ".", 1e4910L},
        // Another separator: only it separates the fraction.
        ParseCase{"1,5", ",", 1.5L},
        ParseCase{"1.5", ",", fails},
        ParseCase{"1,5", ".", fails},
        ParseCase{"-,", ",", -0.0L},
        ParseCase{"2\xc2\xb7"
                  "5",
            "\xc2\xb7",
            2.5L}));

// ---- Formatting ----

struct FormatCase {
    real value;
    std::string text;
};

class FormatHeight : public testing::TestWithParam<FormatCase> { };

TEST_P(FormatHeight, ZeroPointZero)
{
    EXPECT_EQ(measure::formatHeight(GetParam().value, "."), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values,
    FormatHeight,
    testing::Values(FormatCase{0.0L, "0.0"},
        FormatCase{-0.0L, "0.0"},
        FormatCase{10.0L, "10.0"},
        FormatCase{0.5L, "0.5"},
        FormatCase{0.25L, "0.3"}, // half away from zero
        FormatCase{-0.25L, "-0.3"},
        FormatCase{0.04L, "0.0"},
        FormatCase{-0.04L, "0.0"},
        FormatCase{-0.06L, "-0.1"},
        FormatCase{123.45L, "123.5"},
        // 18 significant digits first: 0.0499999999999999999995 becomes 0.05, then 0.1.
        FormatCase{0.0499999999999999999995L, "0.1"},
        FormatCase{0.04999999999999999L, "0.0"},
        // 0.04999999999999999994985...: the 19th digit is a 4 followed by 9s, which a rounded
        // 19-digit expansion would turn into a 5 and carry up to 0.05.
        FormatCase{0xc.cccccccccccccbep-8L, "0.0"},
        FormatCase{1e-30L, "0.0"},
        FormatCase{99.96L, "100.0"},
        FormatCase{1e17L, "100000000000000000.0"},
        FormatCase{999999999999999999.0L, "999999999999999999.0"},
        // From 10^18 on, the general form.
        FormatCase{1e18L, "1E18"},
        FormatCase{999999999999999999.9375L, "1E18"},
        FormatCase{18446744073709551616.0L, "1.84467440737096E19"},
        FormatCase{-18446744073709551616.0L, "-1.84467440737096E19"},
        FormatCase{1.5e20L, "1.5E20"},
        FormatCase{3.4028234663852886e38L, "3.40282346638529E38"},
        FormatCase{1.23456789012345e300L, "1.23456789012345E300"}));

TEST(FormatHeight, UsesTheGivenSeparator)
{
    EXPECT_EQ(measure::formatHeight(57.2899616L, ","), "57,3");
    EXPECT_EQ(measure::formatHeight(1.5e20L, ","), "1,5E20");
    EXPECT_EQ(measure::formatHeight(2.25L, "\xe2\x80\xa4"),
        "2\xe2\x80\xa4"
        "3");
}

// ---- Shadow height ----

struct HeightCase {
    std::string length;
    std::string elevation;
    std::string separator;
    std::string result; // a height, or the failure message
};

void PrintTo(const HeightCase &c, std::ostream *os)
{
    *os << "length \"" << c.length << "\" elevation \"" << c.elevation << '"';
}

class ShadowHeight : public testing::TestWithParam<HeightCase> { };

TEST_P(ShadowHeight, ShownOrFailed)
{
    const HeightCase &c = GetParam();
    std::string shown;
    try {
        shown = measure::shadowHeight(c.length, c.elevation, c.separator);
    } catch (const measure::Failure &e) {
        shown = e.what();
    }
    EXPECT_EQ(shown, c.result);
}

INSTANTIATE_TEST_SUITE_P(Examples,
    ShadowHeight,
    testing::Values(HeightCase{"10", "45", ".", "10.0"},
        HeightCase{"1", "89", ".", "57.3"},
        HeightCase{"10", "-30", ".", "-5.8"},
        HeightCase{"-10", "45", ".", "-10.0"},
        // The product kept in 32 bits is 0.3499999940..., which rounds down.
        HeightCase{"0.35", "45", ".", "0.3"},
        HeightCase{"-0.04", "45", ".", "0.0"},
        HeightCase{"-0.06", "45", ".", "-0.1"},
        HeightCase{"7", "0", ".", "0.0"},
        HeightCase{"-7", "0", ".", "0.0"},
        HeightCase{"7", ".", ".", "0.0"},
        HeightCase{".", "45", ".", "0.0"},
        HeightCase{"1e19", "90", ".", measure::kOverflow},
        HeightCase{"-1e19", "-90", ".", measure::kOverflow},
        // The elevation is converted first, so it is the one named.
        HeightCase{"x", "-", ".", notValid("-")},
        HeightCase{"-", "45", ".", notValid("-")},
        HeightCase{"abc", "1-2", ".", notValid("1-2")},
        HeightCase{"10", " ", ".", notValid(" ")},
        // The tangent is refused from 2^63 radians on (about 5.28e20 degrees).
        HeightCase{"1", "6e20", ".", measure::kInvalidOperation},
        HeightCase{"1", "-6e20", ".", measure::kInvalidOperation},
        HeightCase{"1", "1e4932", ".", measure::kOverflow},
        // A comma separator reads and writes commas; a full stop then fails.
        HeightCase{"1", "89", ",", "57,3"},
        HeightCase{"0,35", "45", ",", "0,3"},
        HeightCase{"1.5", "45", ",", notValid("1.5")},
        HeightCase{"1", "1.5", ",", notValid("1.5")}));

TEST(ShadowHeight, BelowTheTangentLimitIsNoFailure)
{
    EXPECT_NO_THROW((void)measure::shadowHeight("1", "5e20", "."));
}

// The angle for 90 degrees lies just beyond the right angle: a huge negative tangent.
TEST(ShadowHeight, RightAngleGivesTheGeneralForm)
{
    for (const char *elevation : {"90", "-90"}) {
        const std::string shown = measure::shadowHeight("1", elevation, ".");
        const bool negative = std::string(elevation) == "90";
        ASSERT_EQ(shown.front() == '-', negative) << shown;
        const std::size_t e = shown.find('E');
        ASSERT_NE(e, std::string::npos) << shown;
        EXPECT_EQ(shown.substr(e), "E19");
        const double magnitude = std::fabs(std::stod(shown));
        EXPECT_GE(magnitude, 3.6e19);
        EXPECT_LE(magnitude, 4.0e19);
    }
}

// Rounding to a float overflows from the midpoint between the largest float and 2^128 on.
TEST(CheckedFloat, OverflowsOnlyWhereRoundingGivesInfinity)
{
    EXPECT_EQ(measure::checkedFloat(0x1.fffffefffffffffep127L), 0x1.fffffep127f);
    EXPECT_EQ(measure::checkedFloat(-0x1.fffffefffffffffep127L), -0x1.fffffep127f);
    EXPECT_EQ(failureOf([] { (void)measure::checkedFloat(0x1.ffffffp127L); }), measure::kOverflow);
    EXPECT_EQ(failureOf([] { (void)measure::checkedFloat(-0x1p200L); }), measure::kOverflow);
    EXPECT_EQ(measure::checkedFloat(1e-50L), 0.0f); // underflow passes silently
}

// ---- Key filter ----

struct KeyCase {
    char32_t c;
    char32_t separator;
    bool kept;
};

class KeyFilter : public testing::TestWithParam<KeyCase> { };

TEST_P(KeyFilter, KeepsOnlyWhatANumberNeeds)
{
    const KeyCase &k = GetParam();
    EXPECT_EQ(measure::keepsTypedCharacter(k.c, k.separator), k.kept) << static_cast<unsigned>(k.c);
}

INSTANTIATE_TEST_SUITE_P(Characters,
    KeyFilter,
    testing::Values(KeyCase{8, U'.', true},
        KeyCase{U'-', U'.', true},
        KeyCase{U'.', U'.', true},
        KeyCase{U'0', U'.', true},
        KeyCase{U'9', U'.', true},
        KeyCase{U',', U',', true}, // the locale's separator is admitted
        KeyCase{U'.', U',', true},
        KeyCase{U'\u066B', U'\u066B', true},
        KeyCase{U',', U'.', false},
        KeyCase{13, U'.', false},
        KeyCase{U'+', U'.', false},
        KeyCase{U'e', U'.', false},
        KeyCase{U'E', U'.', false},
        KeyCase{U' ', U'.', false},
        KeyCase{3, U'.', false},
        KeyCase{22, U'.', false},
        KeyCase{0, 0, false},
        KeyCase{U'\u0663', U'.', false}));

} // namespace
