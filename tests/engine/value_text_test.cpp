#include "engine/values/value_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "tests/engine/fake_text_codec.h"

namespace corvane {
namespace {

// The bytes a type reads, zero beyond the given ones; a heap block of exactly
// the read size, so that reading past it is reported.
std::unique_ptr<unsigned char[]> readBytes(ValueType type, std::vector<unsigned char> given) {
    const std::size_t size = valueReadSize(type);
    auto bytes = std::make_unique<unsigned char[]>(size);
    std::copy_n(given.begin(), std::min(size, given.size()), bytes.get());
    return bytes;
}

template <typename T>
std::vector<unsigned char> bytesOf(T value) {
    std::vector<unsigned char> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

std::string numberText(ValueType type, std::uint8_t baseMode, std::vector<unsigned char> given) {
    char out[kMaxNumberTextLength];
    const auto bytes = readBytes(type, std::move(given));
    return std::string(out, formatNumberText(type, baseMode, bytes.get(), out));
}

struct IntegerCase {
    ValueType type;
    std::uint8_t baseMode;
    std::vector<unsigned char> bytes;
    const char* expected;
};

TEST(ValueText, IntegersAreDecimalOrHexadecimalAtTheirWidth) {
    const IntegerCase cases[] = {
        {ValueType::Byte, 0, {200}, "200"},  // the byte is unsigned in decimal too
        {ValueType::Byte, 1, {200}, "C8"},
        {ValueType::Byte, 1, {10}, "A"},
        {ValueType::Byte, 0, {0}, "0"},
        {ValueType::Byte, 1, {0}, "0"},
        {ValueType::Short, 0, {0xFF, 0xFF}, "-1"},
        {ValueType::Short, 1, {0xFF, 0xFF}, "FFFF"},
        {ValueType::Short, 0, {0x00, 0x80}, "-32768"},
        {ValueType::Short, 1, {0x0A, 0x00}, "A"},
        {ValueType::Long, 0, {0xFB, 0xFF, 0xFF, 0xFF}, "-5"},
        {ValueType::Long, 1, {0xFB, 0xFF, 0xFF, 0xFF}, "FFFFFFFB"},
        {ValueType::Long, 0, {0x39, 0x30, 0x00, 0x00}, "12345"},
        {ValueType::Long, 0, {0x00, 0x00, 0x00, 0x80}, "-2147483648"},
        {ValueType::Long, kNoBaseMode, {0xFF, 0xFF, 0xFF, 0xFF}, "-1"},  // only index 1 is hexadecimal
        {ValueType::Int64, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
        {ValueType::Int64, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "FFFFFFFFFFFFFFFF"},
        {ValueType::Int64, 0, {0, 0, 0, 0, 0, 0, 0, 0x80}, "-9223372036854775808"},
        {ValueType::Int64, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, "4294967295"},
        {ValueType::Int64, 1, {0x00, 0x01}, "100"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(numberText(c.type, c.baseMode, c.bytes), c.expected)
            << "type " << int(c.type) << " base " << int(c.baseMode);
    }
}

struct SingleCase {
    float value;
    const char* expected;
};

TEST(ValueText, SinglesAsMsvcrtWritesPercent7g) {
    const SingleCase cases[] = {
        {100.0f, "100"},
        {3.75f, "3.75"},
        {0.1f, "0.1"},
        {-2.5f, "-2.5"},
        {1e10f, "1e+010"},
        {1e-5f, "1e-005"},
        {16777216.0f, "1.677722e+007"},
        {1e38f, "1e+038"},
        {1234567.0f, "1234567"},
        {12345678.0f, "1.234568e+007"},
        {-0.0f, "-0"},
        {std::numeric_limits<float>::infinity(), "inf"},
        {-std::numeric_limits<float>::infinity(), "-inf"},
        {std::numeric_limits<float>::quiet_NaN(), "nan"},
        {-std::numeric_limits<float>::quiet_NaN(), "nan"},
    };
    for (const auto& c : cases) {
        char out[kMaxNumberTextLength];
        EXPECT_EQ(std::string(out, formatSingle(c.value, out)), c.expected);
    }
}

struct DoubleCase {
    double value;
    const char* expected;
};

TEST(ValueText, DoublesAsMsvcrtWritesPercent16g) {
    const DoubleCase cases[] = {
        {0.1, "0.1"},
        {static_cast<double>(0.1f), "0.1000000014901161"},
        {123456789.0, "123456789"},
        {1e16, "1e+016"},
        {1e100, "1e+100"},
        {1e-5, "1e-005"},
        {-1.234567890123457e-308, "-1.234567890123457e-308"},  // the longest text there is
        {std::numeric_limits<double>::denorm_min(), "4.940656458412465e-324"},
        {std::numeric_limits<double>::infinity(), "inf"},
    };
    for (const auto& c : cases) {
        char out[kMaxNumberTextLength];
        EXPECT_EQ(std::string(out, formatDouble(c.value, out)), c.expected);
    }
}

TEST(ValueText, FloatTextsComeFromTheBytesRead) {
    EXPECT_EQ(numberText(ValueType::Single, 0, bytesOf(3.75f)), "3.75");  // not floored for display
    EXPECT_EQ(numberText(ValueType::Single, 1, bytesOf(1e10f)), "1e+010");
    EXPECT_EQ(numberText(ValueType::Double, 0, bytesOf(-2.5)), "-2.5");
}

TEST(ValueText, AnsiTextEndsAtNulOrAfter256Bytes) {
    const FakeTextCodec codec;
    const auto withNul = readBytes(ValueType::AnsiText, {'a', 'b', 'c', 0, 'd'});
    EXPECT_EQ(valueText(ValueType::AnsiText, kNoBaseMode, withNul.get(), codec), "abc");

    const auto empty = readBytes(ValueType::AnsiText, {});
    EXPECT_EQ(valueText(ValueType::AnsiText, kNoBaseMode, empty.get(), codec), "");

    auto full = readBytes(ValueType::AnsiText, {});
    for (std::size_t i = 0; i < kTextReadSize; ++i) full[i] = static_cast<unsigned char>(0x80 + i % 0x7F);
    const std::string text = valueText(ValueType::AnsiText, kNoBaseMode, full.get(), codec);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(std::memcmp(text.data(), full.get(), 256), 0);
}

TEST(ValueText, Utf16TextConvertsWithTheAnsiCodePage) {
    const FakeTextCodec codec;
    // "été" in UTF-16LE: the fake ANSI page has é, its GBK page does not.
    const auto bytes = readBytes(ValueType::Utf16Text, {0xE9, 0x00, 't', 0x00, 0xE9, 0x00, 0, 0, 'x', 0});
    EXPECT_EQ(valueText(ValueType::Utf16Text, kNoBaseMode, bytes.get(), codec), "\xE9t\xE9");

    const auto empty = readBytes(ValueType::Utf16Text, {});
    EXPECT_EQ(valueText(ValueType::Utf16Text, kNoBaseMode, empty.get(), codec), "");
}

TEST(ValueText, Utf16TextWithoutTerminatorIs128Units) {
    const FakeTextCodec codec;
    auto bytes = readBytes(ValueType::Utf16Text, {});
    for (std::size_t i = 0; i < kTextReadSize; i += 2) bytes[i] = 'A';
    EXPECT_EQ(valueText(ValueType::Utf16Text, kNoBaseMode, bytes.get(), codec), std::string(128, 'A'));
}

TEST(ValueText, Utf8TextDecodesAndConvertsToGbk) {
    const FakeTextCodec codec;
    const auto chinese = readBytes(ValueType::Utf8Text, {0xE4, 0xBD, 0xA0, 0xE5, 0xA5, 0xBD});
    EXPECT_EQ(valueText(ValueType::Utf8Text, kNoBaseMode, chinese.get(), codec), "\xC4\xE3\xBA\xC3");

    const auto empty = readBytes(ValueType::Utf8Text, {});
    EXPECT_EQ(valueText(ValueType::Utf8Text, kNoBaseMode, empty.get(), codec), "");
}

TEST(ValueText, InvalidUtf8IsStillShown) {
    const FakeTextCodec codec;
    const auto bytes = readBytes(ValueType::Utf8Text, {'o', 'k', 0xFF, 0xC3, 'x', '!'});
    EXPECT_EQ(valueText(ValueType::Utf8Text, kNoBaseMode, bytes.get(), codec),
              "ok?"
              "?!");

    // 256 bytes without NUL, the last sequence cut short by the end.
    auto full = readBytes(ValueType::Utf8Text, {});
    for (std::size_t i = 0; i < kTextReadSize; ++i) full[i] = 'z';
    full[255] = 0xE4;
    EXPECT_EQ(valueText(ValueType::Utf8Text, kNoBaseMode, full.get(), codec), std::string(255, 'z') + "?");
}

}  // namespace
}  // namespace corvane
