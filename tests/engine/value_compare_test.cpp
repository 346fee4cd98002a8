#include "engine/values/value_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tests/engine/fake_text_codec.h"

namespace corvane {
namespace {

using Bytes = std::vector<unsigned char>;
using C = SearchCondition;

template <typename T>
Bytes bytesOf(T value) {
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

Bytes textBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes utf16Bytes(std::u16string_view text) {
    Bytes bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

// Tests the filter against memory holding `given` followed by zeros, in a
// heap block of exactly the read size.
bool keeps(const ValueFilter& filter, const Bytes& given) {
    auto bytes = std::make_unique<unsigned char[]>(filter.readSize());
    std::copy_n(given.begin(), std::min(given.size(), filter.readSize()), bytes.get());
    return filter.matches(bytes.get());
}

const FakeTextCodec kCodec;

ValueFilter filter(ValueType type, std::uint8_t baseMode, SearchCondition condition, std::string_view text1,
                   std::string_view text2 = "") {
    return ValueFilter(type, baseMode, condition, text1, text2, kCodec);
}

struct KeepCase {
    Bytes bytes;
    bool kept;
};

void expectKeeps(const ValueFilter& f, std::initializer_list<KeepCase> cases, const char* what) {
    for (const auto& c : cases) {
        EXPECT_EQ(keeps(f, c.bytes), c.kept) << what << ", case " << (&c - cases.begin());
    }
}

TEST(IntegerFilter, BetweenKeepsBothEndsAndNothingWhenSwapped) {
    expectKeeps(filter(ValueType::Long, 0, C::Between, "10", "20"),
                {{bytesOf(9), false},
                 {bytesOf(10), true},
                 {bytesOf(15), true},
                 {bytesOf(20), true},
                 {bytesOf(21), false},
                 {bytesOf(-15), false}},
                "10 to 20");
    expectKeeps(filter(ValueType::Long, 0, C::Between, "20", "10"),
                {{bytesOf(10), false}, {bytesOf(15), false}, {bytesOf(20), false}}, "20 to 10");
}

TEST(IntegerFilter, ByteComparesUnsignedInBothBases) {
    expectKeeps(filter(ValueType::Byte, 0, C::AtLeast, "200"),
                {{{255}, true}, {{200}, true}, {{199}, false}, {{0}, false}}, "decimal");
    expectKeeps(filter(ValueType::Byte, 1, C::AtLeast, "C8"), {{{255}, true}, {{199}, false}}, "hexadecimal");
}

TEST(IntegerFilter, DecimalModeIsSignedAndHexadecimalModeUnsigned) {
    const Bytes minusFive = bytesOf(std::int32_t{-5});
    expectKeeps(filter(ValueType::Long, 0, C::AtMost, "0"), {{minusFive, true}, {bytesOf(1), false}}, "long ≤ 0");
    expectKeeps(filter(ValueType::Long, 1, C::AtMost, "0"), {{minusFive, false}, {bytesOf(0), true}}, "hex ≤ 0");
    expectKeeps(filter(ValueType::Long, 1, C::Equal, "FFFFFFFB"), {{minusFive, true}}, "hex = FFFFFFFB");

    const Bytes minusOne16 = bytesOf(std::int16_t{-1});
    expectKeeps(filter(ValueType::Short, 0, C::AtLeast, "-2"), {{minusOne16, true}, {bytesOf(std::int16_t{-3}), false}},
                "short ≥ -2");
    expectKeeps(filter(ValueType::Short, 0, C::Equal, "-1"), {{minusOne16, true}}, "short = -1");
    expectKeeps(filter(ValueType::Short, 1, C::AtLeast, "8000"),
                {{minusOne16, true}, {bytesOf(std::int16_t{1}), false}}, "short ≥ 8000 hex");

    const Bytes allOnes = bytesOf(~std::uint64_t{0});
    expectKeeps(filter(ValueType::Int64, 0, C::AtLeast, "0"), {{allOnes, false}}, "int64 ≥ 0");
    expectKeeps(filter(ValueType::Int64, 0, C::Equal, "-1"), {{allOnes, true}}, "int64 = -1");
    expectKeeps(filter(ValueType::Int64, 1, C::AtLeast, "8000000000000000"),
                {{allOnes, true}, {bytesOf(std::int64_t{0x7FFFFFFFFFFFFFFF}), false}}, "int64 ≥ 2^63 hex");
    expectKeeps(filter(ValueType::Int64, 1, C::Equal, "FFFFFFFFFFFFFFFF"), {{allOnes, true}}, "int64 = all ones");
}

TEST(IntegerFilter, EachConditionAgainstEqualAndDifferentValues) {
    expectKeeps(filter(ValueType::Long, 0, C::Equal, "7"), {{bytesOf(7), true}, {bytesOf(8), false}}, "=");
    expectKeeps(filter(ValueType::Long, 0, C::NotEqual, "7"), {{bytesOf(7), false}, {bytesOf(8), true}}, "≠");
    expectKeeps(filter(ValueType::Long, 0, C::AtLeast, "7"), {{bytesOf(6), false}, {bytesOf(7), true}}, "≥");
    expectKeeps(filter(ValueType::Long, 0, C::AtMost, "7"), {{bytesOf(7), true}, {bytesOf(8), false}}, "≤");
}

TEST(NumericFilter, NoneContainsAndChangeConditionsKeepEverything) {
    const C conditions[] = {C::None, C::Contains, C::Unchanged, C::Changed, C::Increased, C::Decreased};
    for (const C condition : conditions) {
        expectKeeps(filter(ValueType::Long, 0, condition, "5"), {{bytesOf(-1), true}, {bytesOf(5), true}}, "long");
        expectKeeps(filter(ValueType::Double, 0, condition, "5"),
                    {{bytesOf(std::numeric_limits<double>::quiet_NaN()), true}}, "double");
    }
}

TEST(FloatFilter, ExactMatchComparesAsRead) {
    expectKeeps(filter(ValueType::Single, 1, C::Equal, "100"), {{bytesOf(100.0f), true}, {bytesOf(100.5f), false}},
                "single = 100");
    expectKeeps(filter(ValueType::Single, 1, C::Equal, "3"), {{bytesOf(3.75f), false}}, "single = 3, exact");
    expectKeeps(filter(ValueType::Single, 1, C::Equal, "0.1"), {{bytesOf(0.1f), true}}, "search value in single");
    expectKeeps(filter(ValueType::Double, 1, C::Equal, "0.1"), {{bytesOf(0.1), true}, {bytesOf(0.1f), false}},
                "double = 0.1");
}

TEST(FloatFilter, IgnoreDecimalsFloorsValueAndSearchValues) {
    const ValueFilter equalsThree = filter(ValueType::Single, 0, C::Equal, "3");
    expectKeeps(equalsThree, {{bytesOf(3.75f), true}, {bytesOf(2.99f), false}, {bytesOf(4.0f), false}}, "= 3");
    const Bytes stored = bytesOf(3.75f);
    EXPECT_EQ(equalsThree.valueText(stored.data()), "3.75");

    expectKeeps(filter(ValueType::Single, 0, C::Equal, "3.9"), {{bytesOf(3.2f), true}}, "= 3.9 floors to 3");
    expectKeeps(filter(ValueType::Double, 0, C::Equal, "-2"), {{bytesOf(-1.5), true}, {bytesOf(-0.5), false}}, "= -2");
    expectKeeps(filter(ValueType::Double, 0, C::Between, "1.5", "2.5"),
                {{bytesOf(0.9), false}, {bytesOf(1.2), true}, {bytesOf(2.9), true}, {bytesOf(3.0), false}},
                "between 1 and 2 after floor");
}

TEST(FloatFilter, NaNFailsOrderedTestsButPassesNotEqualAndBetween) {
    const Bytes nan = bytesOf(std::numeric_limits<float>::quiet_NaN());
    const struct {
        C condition;
        bool kept;
    } cases[] = {{C::AtLeast, false}, {C::Equal, false}, {C::AtMost, false}, {C::NotEqual, true}, {C::Between, true}};
    for (const auto& c : cases) {
        for (const std::uint8_t baseMode : {std::uint8_t{0}, std::uint8_t{1}}) {
            EXPECT_EQ(keeps(filter(ValueType::Single, baseMode, c.condition, "1", "2"), nan), c.kept)
                << int(c.condition) << " base " << int(baseMode);
        }
    }
    const Bytes infinity = bytesOf(std::numeric_limits<double>::infinity());
    expectKeeps(filter(ValueType::Double, 0, C::AtLeast, "1e308"), {{infinity, true}}, "inf ≥ 1e308");
    expectKeeps(filter(ValueType::Double, 0, C::Between, "1", "2"), {{infinity, false}}, "inf not between");
}

TEST(TextFilter, AnsiOrderIsUnsignedByteOrderWithShorterFirst) {
    expectKeeps(filter(ValueType::AnsiText, kNoBaseMode, C::Equal, "abc"),
                {{textBytes("abc"), true}, {textBytes("abcd"), false}, {textBytes("ab"), false}}, "=");
    expectKeeps(
        filter(ValueType::AnsiText, kNoBaseMode, C::AtLeast, "abc"),
        {{textBytes("abd"), true}, {textBytes("abc"), true}, {textBytes("ab"), false}, {textBytes("abb\xFF"), false}},
        "≥");
    expectKeeps(filter(ValueType::AnsiText, kNoBaseMode, C::AtLeast, "z"), {{textBytes("\x80"), true}}, "≥ unsigned");
    expectKeeps(filter(ValueType::AnsiText, kNoBaseMode, C::AtMost, "abc"),
                {{textBytes(""), true}, {textBytes("abcd"), false}}, "≤");
    expectKeeps(filter(ValueType::AnsiText, kNoBaseMode, C::NotEqual, "abc"),
                {{textBytes("abc"), false}, {textBytes("ABC"), true}}, "≠");
    expectKeeps(filter(ValueType::AnsiText, kNoBaseMode, C::Between, "b", "d"),
                {{textBytes("a"), false},
                 {textBytes("b"), true},
                 {textBytes("czz"), true},
                 {textBytes("d"), true},
                 {textBytes("da"), false}},
                "between");
    expectKeeps(filter(ValueType::AnsiText, kNoBaseMode, C::Between, "d", "b"), {{textBytes("c"), false}},
                "between swapped");
}

TEST(TextFilter, ContainsIsCaseSensitiveAndNeverForAnEmptySearchText) {
    expectKeeps(
        filter(ValueType::AnsiText, kNoBaseMode, C::Contains, "bc"),
        {{textBytes("abcd"), true}, {textBytes("bc"), true}, {textBytes("aBCd"), false}, {textBytes("b"), false}},
        "contains bc");
    expectKeeps(filter(ValueType::AnsiText, kNoBaseMode, C::Contains, ""),
                {{textBytes(""), false}, {textBytes("abc"), false}}, "contains empty");
    expectKeeps(filter(ValueType::AnsiText, kNoBaseMode, C::None, ""), {{textBytes(""), true}}, "no filter");
}

TEST(TextFilter, AnsiTextWithoutNulIsSearchedToItsLastByte) {
    Bytes full(256, 'x');
    full[253] = 'e';
    full[254] = 'n';
    full[255] = 'd';
    expectKeeps(filter(ValueType::AnsiText, kNoBaseMode, C::Contains, "end"), {{full, true}}, "at the very end");
}

TEST(TextFilter, Utf16ComparesByCodeUnitWithConvertedSearchTexts) {
    // U+0100 is above U+00FE as a unit, below it as little-endian bytes.
    expectKeeps(filter(ValueType::Utf16Text, kNoBaseMode, C::AtLeast, "\xFE"),
                {{utf16Bytes(u"\u0100"), true}, {utf16Bytes(u"z"), false}}, "≥ þ");
    expectKeeps(filter(ValueType::Utf16Text, kNoBaseMode, C::Contains, "\xE9t\xE9"),
                {{utf16Bytes(u"l'été"), true}, {utf16Bytes(u"l'ete"), false}}, "contains été");
    expectKeeps(filter(ValueType::Utf16Text, kNoBaseMode, C::Equal, "a\xFF"),
                {{utf16Bytes(u"a?"), true}, {utf16Bytes(u"a\u00FF"), false}}, "unconvertible search text");
}

TEST(TextFilter, Utf8ComparesAfterConversionToGbk) {
    const Bytes chinese = textBytes("\xE4\xBD\xA0\xE5\xA5\xBD");  // 你好 in UTF-8
    expectKeeps(filter(ValueType::Utf8Text, kNoBaseMode, C::Equal, "\xC4\xE3\xBA\xC3"), {{chinese, true}}, "=");
    expectKeeps(filter(ValueType::Utf8Text, kNoBaseMode, C::Contains, "\xBA\xC3"), {{chinese, true}}, "contains 好");
    expectKeeps(filter(ValueType::Utf8Text, kNoBaseMode, C::Contains, "\xA5\xBD"), {{chinese, false}},
                "raw UTF-8 bytes are not the text");
}

// firstMatch over `count` values `slot` bytes apart must find exactly the
// first value that the single test keeps, from several starts and in both
// directions.
void expectFirstMatchAgrees(const ValueFilter& f, const std::vector<unsigned char>& memory, std::size_t slot,
                            std::size_t count, const std::string& context) {
    for (const int direction : {1, -1}) {
        const std::ptrdiff_t step = direction * static_cast<std::ptrdiff_t>(slot);
        auto at = [&](std::size_t n) {
            const std::size_t index = direction > 0 ? n : count - 1 - n;
            return memory.data() + index * slot;
        };
        // The next kept value from each position on, from the back.
        std::vector<std::size_t> nextKept(count + 1, count);
        for (std::size_t n = count; n-- > 0;) nextKept[n] = f.matches(at(n)) ? n : nextKept[n + 1];
        for (std::size_t from = 0; from < count; from += from < 8 ? 1 : 7)
            EXPECT_EQ(f.firstMatch(at(from), step, count - from), nextKept[from] - from)
                << context << ", direction " << direction << ", slot " << slot << ", from " << from;
    }
}

// Every kind, base and condition. Long runs of one value lie between the
// mixed ones, so that whole groups of side-by-side values pass without a
// match before one is found.
TEST(FilterRuns, FirstMatchAgreesWithMatches) {
    const ValueType types[] = {ValueType::Byte,   ValueType::Short,  ValueType::Long,    ValueType::Int64,
                               ValueType::Single, ValueType::Double, ValueType::AnsiText};
    const char* const values[][2] = {{"7", "9"}, {"-1", "3"}, {"80", "7F"}, {"9", "7"}, {"FFFFFFFF", "0"}};
    // Values of every sign and size, so that each condition keeps some.
    const std::int64_t stored[] = {7, 8, -1, 0x80, 3, 9, 0x7F, 0xFFFFFFFF, -2, 6, 7, 0, 10, 0x100};
    constexpr std::size_t kCount = 250;
    auto storedAt = [&](std::size_t i) { return i % 107 < 100 ? 0x100 : stored[(i * 5) % std::size(stored)]; };
    for (const ValueType type : types) {
        const std::size_t size = valueReadSize(type);
        // Values side by side, and each in a slot a few bytes wider than a read.
        for (const std::size_t slot : {size, size + 3}) {
            std::vector<unsigned char> memory(kCount * slot + size, 0);
            for (std::size_t i = 0; i < kCount; ++i) {
                if (type == ValueType::Single || type == ValueType::Double) {
                    const double number = static_cast<double>(storedAt(i)) + (i % 3 == 0 ? 0.5 : 0.0);
                    const float single = static_cast<float>(number);
                    std::memcpy(&memory[i * slot],
                                type == ValueType::Single ? static_cast<const void*>(&single) : &number,
                                type == ValueType::Single ? sizeof single : sizeof number);
                } else if (type == ValueType::AnsiText) {
                    const std::string text = std::to_string(storedAt(i));
                    std::memcpy(&memory[i * slot], text.data(), std::min(text.size(), slot - 1));
                } else {
                    const std::int64_t value = storedAt(i);
                    std::memcpy(&memory[i * slot], &value, std::min(size, sizeof value));
                }
            }
            for (std::uint8_t base = 0; base < 2; ++base)
                for (int condition = 0; condition <= static_cast<int>(C::Decreased); ++condition)
                    for (const auto& texts : values)
                        expectFirstMatchAgrees(filter(type, isTextType(type) ? kNoBaseMode : base,
                                                      static_cast<C>(condition), texts[0], texts[1]),
                                               memory, slot, kCount,
                                               "type " + std::to_string(static_cast<int>(type)) + ", base " +
                                                   std::to_string(base) + ", condition " + std::to_string(condition) +
                                                   ", values " + texts[0] + " " + texts[1]);
        }
    }
}

// Singles are tested in runs against bounds narrowed to singles themselves:
// the singles next to each bound, the largest ones, the infinities and NaN
// must be kept exactly as the single test keeps them, whether or not the
// bound is a single itself.
TEST(FilterRuns, SinglesNextToTheirBoundsAgreeWithMatches) {
    const char* const bounds[] = {"0.1",  "0.5",   "16777217", "-16777217", "1e-45", "3.4028234663852886e38",
                                  "1e39", "-1e39", "0"};
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    for (const char* bound : bounds) {
        const float near = static_cast<float>(std::strtod(bound, nullptr));
        std::vector<float> singles{near};
        for (float above = near, below = near; singles.size() < 7;) {
            singles.push_back(above = std::nextafter(above, kInfinity));
            singles.push_back(below = std::nextafter(below, -kInfinity));
        }
        for (const float special : {kInfinity, -kInfinity, std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest()})
            singles.push_back(special);
        // Each of them alone after a long run of a value far from the bound.
        constexpr std::size_t kRun = 150;
        for (std::size_t kept = 0; kept < singles.size(); ++kept) {
            std::vector<float> run(kRun, near > 1e3F || near < -1e3F ? 0.25F : 12345.0F);
            run[100] = singles[kept];
            std::vector<unsigned char> memory(kRun * sizeof(float));
            std::memcpy(memory.data(), run.data(), memory.size());
            for (std::uint8_t base = 0; base < 2; ++base)
                for (const C condition : {C::Equal, C::AtLeast, C::AtMost, C::Between, C::NotEqual})
                    expectFirstMatchAgrees(
                        filter(ValueType::Single, base, condition, bound, bound), memory, sizeof(float), kRun,
                        std::string("bound ") + bound + ", single " + std::to_string(singles[kept]) + ", base " +
                            std::to_string(base) + ", condition " + std::to_string(static_cast<int>(condition)));
        }
    }
}

}  // namespace
}  // namespace corvane
