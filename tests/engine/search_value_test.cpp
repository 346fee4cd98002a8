#include "engine/values/search_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>

#include "tests/engine/fake_text_codec.h"

namespace corvane {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint64_t kAllOnes = ~std::uint64_t{0};
constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;

struct PrefixCase {
    ValueType type;
    std::uint8_t baseMode;
    std::string_view text;
    std::string_view expected;
};

TEST(SearchNumberText, HexadecimalIntegerKindsGetTheAmpersandH) {
    const PrefixCase cases[] = {
        {ValueType::Long, 1, "1A", "&H1A"},
        {ValueType::Long, 1, "&h1A", "&h1A"},
        {ValueType::Byte, 1, "&O17", "&H&O17"},  // only "&H" is recognised
        {ValueType::Int64, 1, "", "&H"},
        {ValueType::Long, 0, "1A", "1A"},
        {ValueType::Single, 1, "1A", "1A"},  // exactMatch is no hexadecimal mode
        {ValueType::AnsiText, kNoBaseMode, "1A", "1A"},
    };
    for (const auto& c : cases) EXPECT_EQ(searchNumberText(c.type, c.baseMode, c.text), c.expected) << c.text;
}

struct RoundCase {
    double value;
    double expected;
};

TEST(RoundHalfToEven, HalvesGoToTheEvenNeighbour) {
    const RoundCase cases[] = {
        {2.5, 2},
        {3.5, 4},
        {0.5, 0},
        {1.5, 2},
        {-2.5, -2},
        {-3.5, -4},
        {2.4999999, 2},
        {2.5000001, 3},
        {-0.4, 0},
        {-7.6, -8},
        {4503599627370497.0, 4503599627370497.0},  // from 2^52 up already whole
        {1e300, 1e300},
        {-kInfinity, -kInfinity},
    };
    for (const auto& c : cases) EXPECT_EQ(roundHalfToEven(c.value), c.expected) << c.value;
    EXPECT_TRUE(std::isnan(roundHalfToEven(kNaN)));
}

TEST(IntegerConversions, OutOfRangeGivesTheIndefiniteValue) {
    constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(toInt32(2147483647.0), 2147483647);
    EXPECT_EQ(toInt32(-2147483648.0), kMin32);
    EXPECT_EQ(toInt32(2147483648.0), kMin32);
    EXPECT_EQ(toInt32(-2147483649.0), kMin32);
    EXPECT_EQ(toInt32(kNaN), kMin32);

    constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(toInt64(-1.0), -1);
    EXPECT_EQ(toInt64(9223372036854774784.0), 9223372036854774784);  // largest double below 2^63
    EXPECT_EQ(toInt64(9223372036854775808.0), kMin64);
    EXPECT_EQ(toInt64(-kInfinity), kMin64);

    EXPECT_EQ(toUint64(9223372036854775808.0), kTopBit);
    EXPECT_EQ(toUint64(9223372036854777856.0), kTopBit | 2048);
    EXPECT_EQ(toUint64(18446744073709549568.0), 0xFFFFFFFFFFFFF800);  // largest double below 2^64
    EXPECT_EQ(toUint64(-1.0), kAllOnes);                              // negative values wrap as signed ones do
    EXPECT_EQ(toUint64(18446744073709551616.0), kTopBit);             // 2^64 loses 2^63 and is still too large
}

struct IntegerCase {
    ValueType type;
    std::uint8_t baseMode;
    std::string_view text;
    std::uint64_t expected;
};

TEST(SearchValue, IntegerKindsRoundConvertAndCut) {
    const FakeTextCodec codec;
    const IntegerCase cases[] = {
        {ValueType::Byte, 0, "300", 44},
        {ValueType::Byte, 0, "-1", 0xFF},
        {ValueType::Byte, 0, "2.5", 2},
        {ValueType::Byte, 0, "3.5", 4},
        {ValueType::Byte, 1, "C8", 200},
        {ValueType::Short, 0, "-1", 0xFFFF},
        {ValueType::Short, 1, "FFFF", 0xFFFF},
        {ValueType::Short, 0, "70000", 70000 & 0xFFFF},
        {ValueType::Short, 0, "3000000000", 0},  // -2^31 cut to 16 bits
        {ValueType::Long, 0, "3000000000", 0x80000000},
        {ValueType::Long, 0, "-5", 0xFFFFFFFB},
        {ValueType::Long, 0, "1A", 1},  // decimal mode reads decimal
        {ValueType::Long, 1, "1A", 26},
        {ValueType::Long, 1, "&h1A", 26},
        {ValueType::Long, 1, "FFFFFFFF", 0xFFFFFFFF},  // through 64 bits, not -2^31
        {ValueType::Long, 1, "1FFFFFFFF", 0xFFFFFFFF},
        {ValueType::Int64, 1, "FFFFFFFF", 4294967295},
        {ValueType::Int64, 1, "FFFFFFFFFFFFFFFF", kAllOnes},
        {ValueType::Int64, 1, "FFFFFFFFFFFFFFFE", kAllOnes - 1},
        {ValueType::Int64, 1, "8000000000000000", kTopBit},
        {ValueType::Int64, 0, "-1", kAllOnes},
        {ValueType::Int64, 0, "9007199254740993", 9007199254740992},  // beyond 2^53 the double decides
        {ValueType::Int64, 0, "9223372036854775807", kTopBit},        // rounds up to 2^63: out of range
        {ValueType::Int64, 0, "", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(makeSearchValue(c.type, c.baseMode, c.text, codec).bits, c.expected)
            << "type " << int(c.type) << " base " << int(c.baseMode) << " text " << c.text;
    }
}

TEST(SearchValue, SingleIsRoundedToSinglePrecisionAndDoubleIsNot) {
    const FakeTextCodec codec;
    EXPECT_EQ(makeSearchValue(ValueType::Single, 1, "100", codec).number, 100.0);
    EXPECT_EQ(makeSearchValue(ValueType::Single, 1, "0.1", codec).number, static_cast<double>(0.1f));
    EXPECT_EQ(makeSearchValue(ValueType::Single, 0, "1A", codec).number, 1.0);  // no "&H" for floats
    EXPECT_EQ(makeSearchValue(ValueType::Single, 1, "1e39", codec).number, kInfinity);
    EXPECT_EQ(makeSearchValue(ValueType::Single, 1, "-1e39", codec).number, -kInfinity);
    EXPECT_EQ(makeSearchValue(ValueType::Double, 1, "0.1", codec).number, 0.1);
    EXPECT_EQ(makeSearchValue(ValueType::Double, 0, "&H10", codec).number, 16.0);
}

TEST(SearchValue, TextKindsKeepTheTexts) {
    const FakeTextCodec codec;
    EXPECT_EQ(makeSearchValue(ValueType::AnsiText, kNoBaseMode, " 12 ", codec).text, " 12 ");
    EXPECT_EQ(makeSearchValue(ValueType::Utf8Text, kNoBaseMode, "\xC4\xE3", codec).text, "\xC4\xE3");
    EXPECT_EQ(makeSearchValue(ValueType::Utf16Text, kNoBaseMode, "a\xE9", codec).wideText, u"aé");
}

TEST(Utf16SearchText, UnconvertibleTextKeepsOnlyItsAscii) {
    const FakeTextCodec codec;
    EXPECT_EQ(utf16SearchText("", codec), u"");
    EXPECT_EQ(utf16SearchText("\xE9t\xE9", codec), u"été");
    // FF is invalid in the fake ANSI page; the whole text falls back, so the
    // convertible E9 becomes "?" as well.
    EXPECT_EQ(utf16SearchText("a\xFF"
                              "b\xE9",
                              codec),
              u"a?b?");
}

TEST(FloorIgnoringDecimals, FloorsOnlyWhatHasDecimals) {
    const RoundCase cases[] = {
        {3.75, 3},
        {2.9, 2},
        {-1.5, -2},
        {-0.5, -1},
        {5.0, 5},
        {4503599627370495.5, 4503599627370495.0},  // just below 2^52
        {4503599627370497.0, 4503599627370497.0},
        {kInfinity, kInfinity},
        {-kInfinity, -kInfinity},
    };
    for (const auto& c : cases) EXPECT_EQ(floorIgnoringDecimals(c.value), c.expected) << c.value;
    EXPECT_TRUE(std::isnan(floorIgnoringDecimals(kNaN)));
}

}  // namespace
}  // namespace corvane
