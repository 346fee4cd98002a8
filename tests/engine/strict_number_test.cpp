#include <gtest/gtest.h>

#include "engine/search/structure_row.h"
#include "engine/values/strict_number.h"

namespace corvane {
namespace {

constexpr auto kNone = NumberTextProblem::None;
constexpr auto kEmpty = NumberTextProblem::Empty;
constexpr auto kNotANumber = NumberTextProblem::NotANumber;
constexpr auto kOutOfRange = NumberTextProblem::OutOfRange;

// Each kind at its edges: the last value it holds, the first it does not,
// and texts the lenient reader would have read as 0 or wrapped.
TEST(StrictNumber, IntegersAtTheEdgesOfTheirKindAndBase) {
    struct Case {
        ValueType type;
        std::uint8_t baseMode;
        const char* text;
        NumberTextProblem problem;
        std::uint64_t bits;  // when read
        const char* engineText;
    };
    const Case cases[] = {
        {ValueType::Byte, 0, "255", kNone, 0xFF, "255"},
        {ValueType::Byte, 0, "256", kOutOfRange, 0, ""},
        {ValueType::Byte, 0, "300", kOutOfRange, 0, ""},
        {ValueType::Byte, 0, "-1", kOutOfRange, 0, ""},
        {ValueType::Byte, 0, "-0", kNone, 0, "-0"},
        {ValueType::Byte, 1, "FF", kNone, 0xFF, "FF"},
        {ValueType::Byte, 1, "100", kOutOfRange, 0, ""},
        {ValueType::Short, 0, "-32768", kNone, 0x8000, "-32768"},
        {ValueType::Short, 0, "32767", kNone, 0x7FFF, "32767"},
        {ValueType::Short, 0, "32768", kOutOfRange, 0, ""},
        {ValueType::Short, 0, "-32769", kOutOfRange, 0, ""},
        {ValueType::Short, 1, "0xFFFF", kNone, 0xFFFF, "FFFF"},
        {ValueType::Long, 0, "+12", kNone, 12, "+12"},
        {ValueType::Long, 0, "-2147483648", kNone, 0xFFFFFFFF80000000 & 0xFFFFFFFF, "-2147483648"},
        {ValueType::Long, 0, "4294967295", kOutOfRange, 0, ""},
        {ValueType::Long, 0, "abc", kNotANumber, 0, ""},
        {ValueType::Long, 0, "0x7A4F", kNotANumber, 0, ""},
        {ValueType::Long, 0, "12abc", kNotANumber, 0, ""},
        {ValueType::Long, 0, "1.5", kNotANumber, 0, ""},
        {ValueType::Long, 0, " 12", kNotANumber, 0, ""},
        {ValueType::Long, 0, "-", kNotANumber, 0, ""},
        {ValueType::Long, 0, "", kEmpty, 0, ""},
        {ValueType::Long, 1, "0x7A4F", kNone, 0x7A4F, "7A4F"},
        {ValueType::Long, 1, "&h7a4f", kNone, 0x7A4F, "7a4f"},
        {ValueType::Long, 1, "7A4F", kNone, 0x7A4F, "7A4F"},
        {ValueType::Long, 1, "0x", kNotANumber, 0, ""},
        {ValueType::Long, 1, "-1", kNotANumber, 0, ""},
        {ValueType::Long, 1, "FFFFFFFF", kNone, 0xFFFFFFFF, "FFFFFFFF"},
        {ValueType::Long, 1, "100000000", kOutOfRange, 0, ""},
        {ValueType::Long, 1, "XYZ", kNotANumber, 0, ""},
        {ValueType::Int64, 0, "-9223372036854775808", kNone, 0x8000000000000000, "-9223372036854775808"},
        {ValueType::Int64, 0, "9223372036854775808", kOutOfRange, 0, ""},
        {ValueType::Int64, 0, "99999999999999999999", kOutOfRange, 0, ""},
        {ValueType::Int64, 1, "FFFFFFFFFFFFFFFF", kNone, ~0ull, "FFFFFFFFFFFFFFFF"},
        {ValueType::Int64, 1, "10000000000000000", kOutOfRange, 0, ""},
    };
    for (const Case& c : cases) {
        const StrictNumber read = readStrictNumber(c.type, c.baseMode, c.text);
        EXPECT_EQ(read.problem, c.problem) << static_cast<int>(c.type) << " base " << int{c.baseMode} << " " << c.text;
        if (c.problem != kNone) continue;
        EXPECT_EQ(read.bits, c.bits) << c.text;
        EXPECT_EQ(read.text, c.engineText) << c.text;
    }
}

TEST(StrictNumber, FloatsInDecimalUnderEitherBase) {
    struct Case {
        ValueType type;
        const char* text;
        NumberTextProblem problem;
        double real;
    };
    const Case cases[] = {
        {ValueType::Single, "0.966", kNone, 0.966},   {ValueType::Single, "-1.5e3", kNone, -1500.0},
        {ValueType::Single, ".5", kNone, 0.5},        {ValueType::Single, "5.", kNone, 5.0},
        {ValueType::Single, "+2E-1", kNone, 0.2},     {ValueType::Single, "100", kNone, 100.0},
        {ValueType::Single, "1e39", kOutOfRange, 0},  {ValueType::Double, "1e39", kNone, 1e39},
        {ValueType::Double, "1e400", kOutOfRange, 0}, {ValueType::Double, ".", kNotANumber, 0},
        {ValueType::Double, "1e", kNotANumber, 0},    {ValueType::Double, "1.2.3", kNotANumber, 0},
        {ValueType::Double, "0x10", kNotANumber, 0},  {ValueType::Double, "inf", kNotANumber, 0},
        {ValueType::Double, "nan", kNotANumber, 0},   {ValueType::Double, "1,5", kNotANumber, 0},
    };
    for (const Case& c : cases) {
        for (const std::uint8_t baseMode : {std::uint8_t{0}, std::uint8_t{1}}) {
            const StrictNumber read = readStrictNumber(c.type, baseMode, c.text);
            EXPECT_EQ(read.problem, c.problem) << c.text << " base " << int{baseMode};
            if (c.problem == kNone) {
                EXPECT_DOUBLE_EQ(read.real, c.real) << c.text;
            }
        }
    }
    // Texts take anything but nothing.
    EXPECT_EQ(readStrictNumber(ValueType::AnsiText, kNoBaseMode, "abc").problem, kNone);
    EXPECT_EQ(readStrictNumber(ValueType::Utf8Text, kNoBaseMode, "").problem, kEmpty);
}

// 两者之间 compares as the kind does: signed in decimal, unsigned in hexadecimal.
TEST(StrictNumber, AboveAsTheKindCompares) {
    struct Case {
        ValueType type;
        std::uint8_t baseMode;
        const char* a;
        const char* b;
        bool above;
    };
    const Case cases[] = {
        {ValueType::Long, 0, "10", "5", true},         {ValueType::Long, 0, "-1", "5", false},
        {ValueType::Short, 0, "1", "-32768", true},    {ValueType::Int64, 0, "-2", "-3", true},
        {ValueType::Long, 1, "FFFFFFFF", "5", true},   {ValueType::Byte, 0, "200", "100", true},
        {ValueType::Long, 0, "5", "5", false},         {ValueType::Single, 1, "0.966", "0.95", true},
        {ValueType::Double, 0, "-0.5", "0.25", false},
    };
    for (const Case& c : cases) {
        const StrictNumber a = readStrictNumber(c.type, c.baseMode, c.a);
        const StrictNumber b = readStrictNumber(c.type, c.baseMode, c.b);
        ASSERT_EQ(a.problem, kNone) << c.a;
        ASSERT_EQ(b.problem, kNone) << c.b;
        EXPECT_EQ(isAbove(c.type, c.baseMode, a, b), c.above) << c.a << " " << c.b;
    }
}

TEST(StrictNumber, RangesOfTheKinds) {
    EXPECT_EQ(numberRange(ValueType::Byte, 0).high.bits, 0xFFu);
    EXPECT_EQ(numberRange(ValueType::Byte, 0).low.bits, 0u);
    EXPECT_EQ(numberRange(ValueType::Short, 0).low.bits, 0x8000u);
    EXPECT_EQ(numberRange(ValueType::Short, 1).low.bits, 0u);
    EXPECT_EQ(numberRange(ValueType::Long, 0).high.bits, 0x7FFFFFFFu);
    EXPECT_EQ(numberRange(ValueType::Int64, 1).high.bits, ~0ull);
    EXPECT_FLOAT_EQ(static_cast<float>(numberRange(ValueType::Single, 0).high.real), 3.4028235e38f);
}

// Cells the structure readers would read only in part.
TEST(StructureCells, WholeCellsOnly) {
    struct Case {
        const char* text;
        bool start;
        bool count;
    };
    const Case cases[] = {
        {"10", true, true},
        {"1A2B", true, false},
        {"xyz", false, false},
        {"ghij", false, false},
        {"", false, false},
        {"0x10", false, false},
        {"&H10", false, true},
        {"-8", false, true},
        {"10h", false, false},
        {" 4", false, true},
        {"&O17", false, true},
        {"&B102", false, false},
        {"&", false, false},
        {"+", false, false},
        {"4 ", false, false},
        {"FFFFFFFFFFFFFFFF", true, false},
        {"10000000000000000", false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isWholeStartOffsetCell(c.text), c.start) << c.text;
        EXPECT_EQ(isWholeCountCell(c.text), c.count) << c.text;
    }
}

}  // namespace
}  // namespace corvane
