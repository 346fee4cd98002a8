#include "settings/profile_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace corvane {
namespace {

const TextCodec& codec = systemTextCodec();

// Sets (or, with nullopt, removes) one key and returns the file's new bytes.
std::string edited(std::string_view bytes, std::u16string_view section, std::u16string_view key,
                   std::optional<std::u16string_view> value) {
    ProfileText text(bytes, codec);
    text.setValue(section, key, value);
    return text.bytes();
}

struct EditCase {
    const char* what;
    std::string before;
    std::u16string_view section;
    std::u16string_view key;
    std::optional<std::u16string_view> value;
    std::string after;
};

TEST(ProfileText, EditsKeepTheServicesLayout) {
    const EditCase cases[] = {
        {"new file", "", u"s", u"k", u"v", "[s]\r\nk=v\r\n"},
        {"new section at the end", "[a]\r\nx=1\r\n", u"b", u"k", u"v", "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
        {"last line without a line end", "[a]\r\nx=1", u"b", u"k", u"v", "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
        {"key replaced in place", "[a]\r\nk=1\r\nz=2\r\n", u"a", u"k", u"9", "[a]\r\nk=9\r\nz=2\r\n"},
        {"new key at the end of its section", "[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n", u"a", u"k", u"v",
         "[a]\r\nx=1\r\nk=v\r\n\r\n[b]\r\ny=2\r\n"},
        {"names match in any ASCII case", "[Game.EXE]\r\nKey=1\r\n", u"game.exe", u"KEY", u"2",
         "[Game.EXE]\r\nKey=2\r\n"},
        {"blanks around names", "  [ a ]  \r\n k =1\r\n", u"a", u"k", u"2", "  [ a ]  \r\nk=2\r\n"},
        {"empty value removes the key", "[a]\r\nk=1\r\nz=2\r\n", u"a", u"k", std::nullopt, "[a]\r\nz=2\r\n"},
        {"removing a missing key changes nothing", "[a]\r\nz=2\r\n", u"a", u"k", std::nullopt, "[a]\r\nz=2\r\n"},
        {"removing from a missing section changes nothing", "[a]\r\n", u"b", u"k", std::nullopt, "[a]\r\n"},
        {"LF lines keep their ends", "[a]\nk=1\n", u"a", u"k", u"2", "[a]\nk=2\n"},
        {"first of two equal sections", "[a]\r\n[A]\r\nk=1\r\n", u"a", u"k", u"2", "[a]\r\nk=2\r\n[A]\r\nk=1\r\n"},
        {"lines before any section belong to none", "k=1\r\n", u"a", u"k", u"2", "k=1\r\n[a]\r\nk=2\r\n"},
        // 丄 (81 41) and 乤 (81 61) differ only in a trail byte that is a letter
        // elsewhere; they are different names.
        {"double-byte names are not case-folded", "[\x81\x41]\r\nk=1\r\n", u"乤", u"k", u"2",
         "[\x81\x41]\r\nk=1\r\n[\x81\x61]\r\nk=2\r\n"},
        // A line that is no code page 936 text is written back as it was.
        {"undecodable lines keep their bytes", "[a]\r\n\xFF\xFE=x\r\n", u"a", u"k", u"v",
         "[a]\r\n\xFF\xFE=x\r\nk=v\r\n"},
    };
    for (const EditCase& c : cases) EXPECT_EQ(edited(c.before, c.section, c.key, c.value), c.after) << c.what;
}

TEST(ProfileText, ReadsValuesWithoutTheBlanksAroundThem) {
    const ProfileText text("[a]\r\nk = two words \r\ne=\r\n[b]\r\nk=3\r\n", codec);
    EXPECT_EQ(text.value(u"A", u"K"), u"two words");
    EXPECT_EQ(text.value(u"a", u"e"), u"");
    EXPECT_EQ(text.value(u"b", u"k"), u"3");
    EXPECT_EQ(text.value(u"a", u"missing"), std::nullopt);
    EXPECT_EQ(text.value(u"c", u"k"), std::nullopt);
}

TEST(ProfileText, MarkedFilesAreReadAndWrittenInTheirOwnEncoding) {
    const std::string utf8 = "\xEF\xBB\xBF[\xE6\xB8\xB8\xE6\x88\x8F]\r\nk=1\r\n";  // [游戏]
    const ProfileText fromUtf8(utf8, codec);
    EXPECT_EQ(fromUtf8.value(u"游戏", u"k"), u"1");
    EXPECT_EQ(edited(utf8, u"游戏", u"k", u"2"), "\xEF\xBB\xBF[\xE6\xB8\xB8\xE6\x88\x8F]\r\nk=2\r\n");

    const std::string utf16 = std::string("\xFF\xFE[\0a\0]\0\r\0\n\0k\0=\0\x01\x4E", 18);  // k=丁
    EXPECT_EQ(ProfileText(utf16, codec).value(u"a", u"k"), u"丁");
    EXPECT_EQ(edited(utf16, u"a", u"k", u"2"), std::string("\xFF\xFE[\0a\0]\0\r\0\n\0k\0=\0"
                                                           "2\0",
                                                           18));
}

std::string utf16(std::u16string_view text) {
    std::string bytes(kUtf16LeMark);
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// Lines that are not edited keep their bytes, whatever they hold: broken
// sequences must not come back as U+FFFD, nor swallow the line end after them.
TEST(ProfileText, UneditedLinesKeepTheirBytesInEveryEncoding) {
    const std::string u8 = std::string(kUtf8Mark);
    const std::string oddTail = utf16(u"[a]\r\nk=1\r\n") + "A";
    const EditCase cases[] = {
        {"cp936: lone lead bytes and bytes outside the code page", "[a]\r\nx=\x81\r\n\x80=1\r\nk=1\r\ny=\xFF\xFF\n\xA1",
         u"a", u"k", u"2", "[a]\r\nx=\x81\r\n\x80=1\r\nk=2\r\ny=\xFF\xFF\n\xA1"},
        {"utf-8: a cut sequence before the line end", u8 + "[a]\r\nx=\xE6\nk=1\r\n", u"a", u"k", u"2",
         u8 + "[a]\r\nx=\xE6\nk=2\r\n"},
        {"utf-8: overlong, stray continuation, F8, surrogate",
         u8 + "[a]\r\n\xC0\xAF=1\r\n\x80\x80\r\ns=\xED\xA0\x80\r\nk=1\r\nz=\xF8", u"a", u"k", u"2",
         u8 + "[a]\r\n\xC0\xAF=1\r\n\x80\x80\r\ns=\xED\xA0\x80\r\nk=2\r\nz=\xF8"},
        {"utf-8: new key after a broken line", u8 + "[a]\r\nz=\xF0\x9F\r\n[b]\r\n", u"a", u"k", u"v",
         u8 + "[a]\r\nz=\xF0\x9F\r\nk=v\r\n[b]\r\n"},
        {"utf-16: lone surrogates and units holding 0A", utf16(u"[a]\r\nx=\xD800\r\n\xDC00\x010A=1\r\nk=1\r\n"), u"a",
         u"k", u"2", utf16(u"[a]\r\nx=\xD800\r\n\xDC00\x010A=1\r\nk=2\r\n")},
        {"utf-16: an odd last byte stays", oddTail, u"a", u"k", u"2", utf16(u"[a]\r\nk=2\r\n") + "A"},
        {"utf-16: an odd last byte goes when a line follows it", oddTail, u"b", u"k", u"v",
         utf16(u"[a]\r\nk=1\r\n\r\n[b]\r\nk=v\r\n")},
    };
    for (const EditCase& c : cases) EXPECT_EQ(edited(c.before, c.section, c.key, c.value), c.after) << c.what;
}

TEST(ProfileText, BrokenSequenceDoesNotHideTheNextLine) {
    const ProfileText text(std::string(kUtf8Mark) + "[a]\r\nx=\xE6\nk=1\r\n", codec);
    EXPECT_EQ(text.value(u"a", u"k"), u"1");
    EXPECT_EQ(text.value(u"a", u"x"), u"\xFFFD");
}

TEST(ProfileText, BrokenLeadByteDoesNotHideItsLinesKey) {
    // The lead bytes announce two, three and four bytes; the key's own
    // characters follow them at once.
    const ProfileText text(std::string(kUtf8Mark) + "[a]\r\n\xC3k=1\r\n\xE4j=2\r\n\xF0m=3\r\n\xE4\xBDn=4\r\n", codec);
    EXPECT_EQ(text.value(u"a", u"\xFFFDk"), u"1");
    EXPECT_EQ(text.value(u"a", u"\xFFFDj"), u"2");
    EXPECT_EQ(text.value(u"a", u"\xFFFDm"), u"3");
    EXPECT_EQ(text.value(u"a", u"\xFFFDn"), u"4");
}

TEST(ProfileText, NamesAreLookedUpWithoutTheirLineBreaks) {
    ProfileText text("", codec);
    text.setValue(u"\nA", u"k\r", u"1");
    EXPECT_EQ(text.value(u"\nA", u"k\r"), u"1");
    EXPECT_EQ(text.value(u"a", u"k"), u"1");
}

TEST(ProfileText, LineBreaksNeverReachTheText) {
    const EditCase cases[] = {
        {"value", "[a]\r\nk=1\r\n", u"a", u"k", u"\r\n2\r3\n", "[a]\r\nk=23\r\n"},
        {"new key", "[a]\r\n", u"a", u"k\r\n", u"v\n", "[a]\r\nk=v\r\n"},
        {"new section", "", u"s\r\nt", u"k", u"\rv", "[st]\r\nk=v\r\n"},
        {"utf-8", std::string(kUtf8Mark) + "[a]\r\n", u"a", u"k", u"x\r\ny",
         std::string(kUtf8Mark) + "[a]\r\nk=xy\r\n"},
    };
    for (const EditCase& c : cases) EXPECT_EQ(edited(c.before, c.section, c.key, c.value), c.after) << c.what;
}

}  // namespace
}  // namespace corvane
