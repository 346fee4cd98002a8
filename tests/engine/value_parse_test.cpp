#include "engine/values/value_parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>

namespace corvane {
namespace {

struct ParseCase {
    std::string_view text;
    double expected;
};

using namespace std::string_view_literals;

TEST(ParseValueText, DecimalNumbersInStrtodSyntax) {
    const ParseCase cases[] = {
        {"12", 12},      {"  12", 12},     {"-4.25", -4.25}, {"+7", 7},     {".5", 0.5}, {"5.", 5}, {"2e3", 2000},
        {"1.5d3", 1500}, {"1.5D-1", 0.15}, {"12abc", 12},    {"12 34", 12}, {"1,5", 1},  // the decimal point is "."
                                                                                         // whatever the C locale says
        {"1e", 1},                     // an exponent without digits is not part of the number
        {"1d+", 1},      {"\t 7", 7},  // strtod's own white space after the leading spaces
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(parseValueText(c.text), c.expected) << c.text;
}

TEST(ParseValueText, TextsWithoutANumberGiveZero) {
    const std::string_view texts[] = {"", "   ", "abc", ".", "e5", "--5", "+-5", "-", "&", "数值"};
    for (const auto text : texts) EXPECT_EQ(parseValueText(text), 0.0) << text;
}

TEST(ParseValueText, AmpersandPrefixesSelectTheBase) {
    const ParseCase cases[] = {
        {"&H1A", 26},
        {"&h1a", 26},
        {"  &HfF", 255},
        {"&O17", 15},
        {"&o17", 15},
        {"&B101", 5},
        {"&b102", 2},  // digits end at the first one outside the base
        {"&17", 15},   // any other letter: octal right after the "&"
        {"&18", 1},
        {"&Z7", 0},
        {"&H", 0},
        {"&H1A.5", 26},
        {"&HFFFFFFFF", 4294967295.0},
        {"&HFFFFFFFFFFFFFFFF", -1},  // 64 bits read as signed
        {"&H8000000000000000", -9223372036854775808.0},
        {"&H10000000000000001", 1},  // the 17th digit wraps away
        {"&B"
         "1111111111111111111111111111111111111111111111111111111111111111"sv,
         -1},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(parseValueText(c.text), c.expected) << c.text;
}

TEST(ParseValueText, CHexadecimalIsNotANumber) {
    const std::string_view texts[] = {"0x1F", "0X1F", "  0x1F", "-0x10", "+0x10", "\t0x10"};
    for (const auto text : texts) EXPECT_EQ(parseValueText(text), 0.0) << text;
}

TEST(ParseValueText, OutOfRangeAndSpecialValuesFollowStrtod) {
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(parseValueText("1e400"), infinity);
    EXPECT_EQ(parseValueText("-1e400"), -infinity);
    EXPECT_EQ(parseValueText("123456789e303"), infinity);
    EXPECT_EQ(parseValueText("0.000001e-320"), 0.0);
    EXPECT_EQ(parseValueText("1e-400"), 0.0);
    EXPECT_EQ(parseValueText("4.9e-324"), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(parseValueText("inf"), infinity);
    EXPECT_EQ(parseValueText("-inf"), -infinity);
    EXPECT_EQ(parseValueText("Infinity"), infinity);
    EXPECT_TRUE(std::isnan(parseValueText("nan")));
}

}  // namespace
}  // namespace corvane
