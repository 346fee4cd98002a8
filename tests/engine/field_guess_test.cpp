// The rules that guess what a word holds, one case per rule and per way a
// rule could take another's field; and the text runs they rest on.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/dissect/field_guess.h"
#include "engine/dissect/text_runs.h"

namespace corvane {
namespace {

// The value's bytes, then zeros to 16 bytes.
template <typename T>
std::vector<unsigned char> word(T value) {
    std::vector<unsigned char> bytes(16, 0);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

std::vector<unsigned char> halves(std::uint32_t low, std::uint32_t high) {
    return word(static_cast<std::uint64_t>(high) << 32 | low);
}

std::uint32_t floatBits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::vector<unsigned char> textBytes(const std::string& text) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.resize(32, 0);
    return bytes;
}

AddressMap heapAt(std::uint64_t start) {
    return AddressMap{{MemoryRegion{start, 0x10000, true}, MemoryRegion{0x206141710000, 0x10000, true}}, {}};
}

struct GuessCase {
    const char* name;
    std::vector<unsigned char> bytes;
    FieldKind kind;
    FieldKind low = FieldKind::Zero;
    FieldKind high = FieldKind::Zero;
};

TEST(FieldGuess, EachRuleTakesItsField) {
    const std::vector<GuessCase> cases = {
        {"zero", word<std::uint64_t>(0), FieldKind::Zero},
        {"pointer into a region", word<std::uint64_t>(0x20000010), FieldKind::Pointer},
        {"pointer just past a region is no pointer", word<std::uint64_t>(0x20010000), FieldKind::Halves,
         FieldKind::Int32, FieldKind::Zero},
        {"pointer whose bytes read as a text", word<std::uint64_t>(0x20614171E0E0), FieldKind::Pointer},
        {"double", word(1234.5678), FieldKind::Double},
        {"double with an empty low half", word(100.0), FieldKind::Double},
        {"two floats", halves(floatBits(12.5f), floatBits(-300.25f)), FieldKind::Halves, FieldKind::Float,
         FieldKind::Float},
        {"float and zero", halves(floatBits(2.5f), 0), FieldKind::Halves, FieldKind::Float, FieldKind::Zero},
        {"two int32", halves(123456, static_cast<std::uint32_t>(-42)), FieldKind::Halves, FieldKind::Int32,
         FieldKind::Int32},
        {"int32 and float", halves(7, floatBits(1.5f)), FieldKind::Halves, FieldKind::Int32, FieldKind::Float},
        {"int64 above 32 bits", word<std::int64_t>(123456789012345), FieldKind::Int64},
        {"negative int64", word<std::int64_t>(-98765432109876), FieldKind::Int64},
        {"int64 beyond 2^53 is two halves", word<std::uint64_t>(0x7FF0123456789ABC), FieldKind::Halves,
         FieldKind::Int32, FieldKind::Int32},
        {"gbk",
         textBytes("\xD6\xD0\xCE\xC4"
                   "ab"),
         FieldKind::AnsiText},
        {"ascii is gbk", textBytes("abcd"), FieldKind::AnsiText},
        {"utf8",
         textBytes("\xE4\xB8\xAD"
                   "abc"),
         FieldKind::Utf8Text},
        {"utf16",
         textBytes(std::string("\x2D\x4E"
                               "a\0b\0c\0",
                               8)),
         FieldKind::Utf16Text},
        {"three characters are no text", textBytes("abc"), FieldKind::Halves, FieldKind::Int32, FieldKind::Zero},
    };
    for (const GuessCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FieldGuess guess = guessField(c.bytes, 0, 8, 0x1000, heapAt(0x20000000));
        EXPECT_EQ(guess.kind, c.kind);
        if (c.kind == FieldKind::Halves) {
            EXPECT_EQ(guess.low, c.low);
            EXPECT_EQ(guess.high, c.high);
        }
    }
}

TEST(FieldGuess, APointerMustBeAlignedToItsWidth) {
    const std::vector<unsigned char> bytes = word<std::uint64_t>(0x20000010);
    EXPECT_EQ(guessField(bytes, 0, 8, 0x1000, heapAt(0x20000000)).kind, FieldKind::Pointer);
    EXPECT_NE(guessField(bytes, 0, 8, 0x1004, heapAt(0x20000000)).kind, FieldKind::Pointer);
}

TEST(FieldGuess, FloatsOfUnlikeSizeAreADouble) {
    // A double's low half often reads as a plausible float; beside its high
    // half it is seldom of like size.
    const double value = 54321.123456789;
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const auto low = static_cast<std::uint32_t>(bits);
    float lowFloat;
    std::memcpy(&lowFloat, &low, sizeof lowFloat);
    SCOPED_TRACE(lowFloat);
    EXPECT_EQ(guessField(word(value), 0, 8, 0, {}).kind, FieldKind::Double);
}

TEST(FieldGuess, AFourByteTargetHasSingleHalves) {
    const std::vector<unsigned char> pointer = word<std::uint32_t>(0x20000010);
    EXPECT_EQ(guessField(pointer, 0, 4, 0x1000, heapAt(0x20000000)).kind, FieldKind::Pointer);
    EXPECT_EQ(guessField(word(3.5f), 0, 4, 0x1000, {}).kind, FieldKind::Float);
    EXPECT_EQ(guessField(word<std::int32_t>(-5), 0, 4, 0x1000, {}).kind, FieldKind::Int32);
}

TEST(FieldGuess, ATextMarksTheFieldsItSpans) {
    // 9 GBK characters and the NUL: 18 bytes over three fields.
    std::string text =
        "\xD6\xD0\xCE\xC4\xC8\xCB\xD3\xD1\xB5\xD0\xC5\xF3\xBD\xA3\xC1\xFA"
        "a";
    std::vector<unsigned char> bytes = textBytes(text);
    const std::vector<std::uint8_t> readable(bytes.size(), 1);
    const std::vector<FieldGuess> guesses = guessFields(bytes, readable, 8, 0x1000, {});
    ASSERT_EQ(guesses.size(), 4u);
    EXPECT_EQ(guesses[0].kind, FieldKind::AnsiText);
    EXPECT_EQ(guesses[0].text.characters, 9u);
    EXPECT_EQ(guesses[1].kind, FieldKind::TextContinuation);
    EXPECT_EQ(guesses[2].kind, FieldKind::TextContinuation);
    EXPECT_EQ(guesses[3].kind, FieldKind::Zero);
}

TEST(FieldGuess, AFieldWithAnUnreadableByteIsUnreadable) {
    const std::vector<unsigned char> bytes(16, 0x11);
    std::vector<std::uint8_t> readable(16, 1);
    readable[12] = 0;
    const std::vector<FieldGuess> guesses = guessFields(bytes, readable, 8, 0, {});
    EXPECT_NE(guesses[0].kind, FieldKind::Unreadable);
    EXPECT_EQ(guesses[1].kind, FieldKind::Unreadable);
}

struct RunCase {
    const char* name;
    std::string bytes;
    bool found;
    ValueType kind = ValueType::AnsiText;
    std::size_t characters = 0;
};

TEST(TextRuns, KindsAreToldApartAndTooShortOrOpenRunsAreNone) {
    const std::vector<RunCase> cases = {
        {"gbk before its NUL",
         std::string("\xD6\xD0"
                     "abc\0",
                     6),
         true, ValueType::AnsiText, 4},
        {"utf8 before its NUL",
         std::string("\xE4\xB8\xAD\xE6\x96\x87"
                     "ab\0",
                     9),
         true, ValueType::Utf8Text, 4},
        {"utf16 before its zero unit",
         std::string("\x2D\x4E\x87\x65"
                     "a\0b\0\0\0",
                     10),
         true, ValueType::Utf16Text, 4},
        {"utf16 whose first units read as ASCII",
         std::string("\x60\x4F\x7D\x59"
                     "A\0B\0C\0\0\0",
                     12),
         true, ValueType::Utf16Text, 5},
        {"ascii of odd length is no utf16", std::string("abcdefg\0\0\0", 10), true, ValueType::AnsiText, 7},
        {"no NUL inside the bytes", "abcdefg", false},
        {"three characters", std::string("abc\0", 4), false},
        {"a control character",
         std::string("ab\x01"
                     "cd\0",
                     6),
         false},
        {"a GBK lead without its trail",
         std::string("ab\xD6"
                     "cd\0",
                     6),
         false},
        {"starts with NUL", std::string("\0abcd\0", 6), false},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        TextRun run;
        ASSERT_EQ(findTextRun({data, c.bytes.size()}, run), c.found);
        if (!c.found) continue;
        EXPECT_EQ(run.kind, c.kind);
        EXPECT_EQ(run.characters, c.characters);
    }
}

TEST(TextRuns, ALongRunNeedsNoEnd) {
    const std::string bytes(100, 'x');
    TextRun run;
    ASSERT_TRUE(findTextRun({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()}, run));
    EXPECT_GT(run.characters, kMaxShownCharacters);
}

}  // namespace
}  // namespace corvane
