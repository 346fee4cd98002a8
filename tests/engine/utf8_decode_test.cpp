#include "engine/text/utf8_decode.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

namespace corvane {
namespace {

std::u16string decode(std::string_view bytes, Utf8Recovery recovery = Utf8Recovery::SkipAnnounced) {
    std::u16string out(bytes.size(), u'\0');
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    out.resize(decodeUtf8(std::span<const unsigned char>(data, bytes.size()), out.data(), recovery));
    return out;
}

struct DecodeCase {
    std::string_view bytes;
    std::u16string_view expected;
    const char* what;
};

using namespace std::string_view_literals;

TEST(Utf8Decode, WellFormedTextUpToTheFirstNul) {
    const DecodeCase cases[] = {
        {"abc"sv, u"abc", "ASCII"},
        {"\xC3\xA9t\xC3\xA9"sv, u"été", "two-byte sequences"},
        {"\xE4\xBD\xA0\xE5\xA5\xBD"sv, u"你好", "three-byte sequences"},
        {"\xF0\x9F\x98\x80!"sv, u"\xD83D\xDE00!", "supplementary character as a surrogate pair"},
        {"\xF4\x8F\xBF\xBF"sv, u"\xDBFF\xDFFF", "highest code point"},
        {"ab\0cd"sv, u"ab", "stops at NUL"},
        {"\0abc"sv, u"", "empty text"},
        {""sv, u"", "no bytes"},
    };
    for (const auto& c : cases) EXPECT_EQ(decode(c.bytes), c.expected) << c.what;
}

TEST(Utf8Decode, InvalidSequencesBecomeReplacementCharacters) {
    const DecodeCase cases[] = {
        {"\x80"
         "A"sv,
         u"\xFFFD"
         "A",
         "stray continuation byte"},
        {"\xF8"
         "A\xFF"
         "B"sv,
         u"\xFFFD"
         "A\xFFFD"
         "B",
         "bytes that announce no UTF-8 length"},
        {"\xC3"
         "AB"sv,
         u"\xFFFD"
         "B",
         "the announced length is consumed, foreign byte and all"},
        {"\xC0\x80X"sv, u"\xFFFDX", "overlong NUL does not end the text"},
        {"\xE0\x80\xAFX"sv, u"\xFFFDX", "overlong three-byte form"},
        {"\xED\xA0\x80X"sv, u"\xFFFDX", "encoded surrogate"},
        {"\xF4\x90\x80\x80X"sv, u"\xFFFDX", "above U+10FFFF"},
        {"A\xE4\xBD\0\xA0"
         "B"sv,
         u"A\xFFFD", "NUL inside a sequence ends the text"},
    };
    for (const auto& c : cases) EXPECT_EQ(decode(c.bytes), c.expected) << c.what;
}

// Read as a text file is: a broken sequence ends before the byte that cannot
// continue it, which is read again as the start of the next character.
TEST(Utf8Decode, ResynchronisingKeepsTheCharactersAfterABrokenLead) {
    const DecodeCase cases[] = {
        {"\xC3zz"sv, u"\xFFFDzz", "two-byte lead before ASCII"},
        {"\xF0k=1"sv, u"\xFFFDk=1", "four-byte lead before ASCII"},
        {"\xE4\xBDk"sv, u"\xFFFDk", "lead and one continuation before ASCII"},
        {"\xE4\xE5\xA5\xBD"sv, u"\xFFFD\u597D", "lead before another lead"},
        {"\xE4\xBD\xA0\xC3\xA9"sv, u"\u4F60\u00E9", "well-formed text unchanged"},
        {"\xC0\x80X"sv, u"\xFFFDX", "overlong forms are still refused"},
        {"\x80z"sv, u"\xFFFDz", "stray continuation byte"},
        {"z\xE4\xBD"sv, u"z\xFFFD", "cut by the end of the span"},
    };
    for (const auto& c : cases) EXPECT_EQ(decode(c.bytes, Utf8Recovery::Resynchronise), c.expected) << c.what;
}

// The buffers below are heap blocks of exactly the size passed, so that the
// address sanitizer reports any read past them.
TEST(Utf8Decode, SequenceCutByTheZeroByteAfterTheReadStaysInTheBuffer) {
    for (unsigned last = 0x80; last <= 0xFF; ++last) {
        auto buffer = std::make_unique<unsigned char[]>(kUtf8BufferSize);
        for (std::size_t i = 0; i < 255; ++i) buffer[i] = 'a';
        buffer[255] = static_cast<unsigned char>(last);
        buffer[256] = 0;
        auto out = std::make_unique<char16_t[]>(kUtf8BufferSize);
        const std::size_t count = decodeUtf8(std::span<const unsigned char>(buffer.get(), kUtf8BufferSize), out.get());
        ASSERT_EQ(count, 256u) << last;
        EXPECT_EQ(out[254], u'a');
        EXPECT_EQ(out[255], u'\xFFFD') << last;
    }
}

TEST(Utf8Decode, SequenceCutByTheSpanEndStaysInTheSpan) {
    const std::size_t size = 256;
    auto buffer = std::make_unique<unsigned char[]>(size);
    for (std::size_t i = 0; i < size; ++i) buffer[i] = 'a';
    buffer[253] = 0xF0;  // announces four bytes, three remain
    buffer[254] = 0x9F;
    buffer[255] = 0x98;
    auto out = std::make_unique<char16_t[]>(size);
    const std::size_t count = decodeUtf8(std::span<const unsigned char>(buffer.get(), size), out.get());
    ASSERT_EQ(count, 254u);
    EXPECT_EQ(out[253], u'\xFFFD');
}

TEST(Utf8Decode, FullBufferOfSupplementaryCharactersFitsTheOutput) {
    const std::size_t size = 256;
    auto buffer = std::make_unique<unsigned char[]>(size);
    for (std::size_t i = 0; i < size; i += 4) {
        buffer[i] = 0xF0;
        buffer[i + 1] = 0x9F;
        buffer[i + 2] = 0x98;
        buffer[i + 3] = 0x80;
    }
    auto out = std::make_unique<char16_t[]>(size);
    const std::size_t count = decodeUtf8(std::span<const unsigned char>(buffer.get(), size), out.get());
    ASSERT_EQ(count, 128u);
    EXPECT_EQ(out[126], u'\xD83D');
    EXPECT_EQ(out[127], u'\xDE00');
}

}  // namespace
}  // namespace corvane
