#include "engine/text/text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/values/value_text.h"

namespace corvane {
namespace {

const TextCodec& codec = systemTextCodec();

TEST(SystemTextCodec, ChineseRoundTripsThroughGbk) {
    EXPECT_EQ(codec.fromUtf16(u"你好", CodePage::Gbk), "\xC4\xE3\xBA\xC3");
    std::u16string back;
    ASSERT_TRUE(codec.toUtf16("\xC4\xE3\xBA\xC3", CodePage::Gbk, back));
    EXPECT_EQ(back, u"你好");
}

TEST(SystemTextCodec, AsciiPassesThroughTheAnsiPage) {
    EXPECT_EQ(codec.fromUtf16(u"Corvane 2.0.4", CodePage::Ansi), "Corvane 2.0.4");
    std::u16string back;
    ASSERT_TRUE(codec.toUtf16("Corvane 2.0.4", CodePage::Ansi, back));
    EXPECT_EQ(back, u"Corvane 2.0.4");
}

TEST(SystemTextCodec, EmptyTextsConvert) {
    EXPECT_EQ(codec.fromUtf16(u"", CodePage::Gbk), "");
    std::u16string back = u"stale";
    EXPECT_TRUE(codec.toUtf16("", CodePage::Gbk, back));
    EXPECT_EQ(back, u"");
}

TEST(SystemTextCodec, UnmappableUnitsBecomeQuestionMarks) {
    EXPECT_EQ(codec.fromUtf16(u"a\u0E01b", CodePage::Gbk), "a?b");  // Thai is not in code page 936
    EXPECT_EQ(codec.fromUtf16(u"a\xD800"
                              "b",
                              CodePage::Gbk),
              "a?b");
}

TEST(SystemTextCodec, EuroSignIsByte80AsInWindows936) {
    EXPECT_EQ(codec.fromUtf16(u"\u20AC", CodePage::Gbk), "\x80");
    std::u16string back;
    ASSERT_TRUE(codec.toUtf16("\x80", CodePage::Gbk, back));
    EXPECT_EQ(back, u"\u20AC");
}

TEST(SystemTextCodec, InvalidGbkIsRefused) {
    const char* const texts[] = {
        "ab\xC4",    // lead byte without its trail byte
        "\x81\x20",  // trail byte out of range
        "\xFF",
    };
    for (const char* text : texts) {
        std::u16string out = u"stale";
        EXPECT_FALSE(codec.toUtf16(text, CodePage::Gbk, out)) << text;
        EXPECT_TRUE(out.empty());
    }
}

TEST(SystemTextCodec, Utf8ValueTextIsGbk) {
    unsigned char bytes[256] = {0xE4, 0xBD, 0xA0, 0xE5, 0xA5, 0xBD, '!'};
    EXPECT_EQ(valueText(ValueType::Utf8Text, kNoBaseMode, bytes, codec), "\xC4\xE3\xBA\xC3!");
}

TEST(SystemTextCodec, ConvertsOnSeveralThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (std::size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < 2000; ++i) {
                std::u16string back;
                if (codec.fromUtf16(u"你好", CodePage::Gbk) != "\xC4\xE3\xBA\xC3" ||
                    !codec.toUtf16("\xBA\xC3", CodePage::Gbk, back) || back != u"好") {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (const int count : failures) EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace corvane
