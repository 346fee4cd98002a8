#include "settings/settings_listing.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "tests/settings/temp_folder.h"

namespace corvane {
namespace {

using Names = std::vector<std::string>;
using namespace std::string_view_literals;

struct SectionCase {
    const char* what;
    std::string_view bytes;
    Names names;
};

TEST(SectionNames, OnlyUntrimmedBracketLinesBetweenCrlfs) {
    const SectionCase cases[] = {
        {"plain", "[a]\r\nk=v\r\n[b]\r\n", {"a", "b"}},
        {"inner spaces stay", "[ a b ]\r\n", {" a b "}},
        {"indented line", "  [x]\r\n", {}},
        {"blank after the bracket", "[x] \r\n", {}},
        {"every bracket removed", "[a]b]\r\n", {"ab"}},
        {"empty name", "[]\r\n", {""}},
        {"duplicates kept", "[a]\r\n[A]\r\n[a]", {"a", "A", "a"}},
        {"lone LF ends no line", "[a]\n[b]\n", {}},
        {"lone LF inside one line", "[a]\n[b]", {"a\nb"}},
        {"lone CR inside one line", "[a]\r[b]\r\n", {"a\rb"}},
        // 乚 is 81 5D: its trail byte is not a closing bracket.
        {"double-byte name", "[\x81\x5D]\r\n", {"\x81\x5D"}},
        {"double-byte last character", "[\x81\x5D\r\n", {}},
        {"empty file", "", {}},
        {"UTF-8 text goes on after a NUL",
         "\xEF\xBB\xBF"
         "k=\0\r\n[b]\r\n"sv,
         {"b"}},
    };
    for (const SectionCase& c : cases) {
        EXPECT_EQ(sectionNamesInFile(c.bytes, systemTextCodec()), c.names) << c.what;
    }
}

std::string utf16LeFile(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

TEST(ListSectionNames, MarkedFilesListAsTheirCodePage936Form) {
    const TempFolder temp;
    // "[游戏]\r\nk=1\r\n[a]\r\n" in each encoding.
    temp.writeBytes(u"gbk.ini", "[\xD3\xCE\xCF\xB7]\r\nk=1\r\n[a]\r\n");
    temp.writeBytes(u"utf8.ini", "\xEF\xBB\xBF[\xE6\xB8\xB8\xE6\x88\x8F]\r\nk=1\r\n[a]\r\n");
    temp.writeBytes(u"utf16.ini", utf16LeFile(u"[游戏]\r\nk=1\r\n[a]\r\n"));
    const Names expected{"\xD3\xCE\xCF\xB7", "a"};
    EXPECT_EQ(listSectionNames(temp.path(u"gbk.ini")), expected);
    EXPECT_EQ(listSectionNames(temp.path(u"utf8.ini")), expected);
    EXPECT_EQ(listSectionNames(temp.path(u"utf16.ini")), expected);
}

TEST(ListSectionNames, UnreadableFilesListNothing) {
    const TempFolder temp;
    temp.makeFolder(u"folder.ini");
    EXPECT_EQ(listSectionNames(temp.path(u"missing.ini")), Names{});
    EXPECT_EQ(listSectionNames(temp.path(u"folder.ini")), Names{});
}

Names sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ListSettingsFiles, IniEntriesAsFileTitles) {
    const TempFolder temp;
    for (const std::u16string_view name :
         {u"game.ini", u"a.b.ini", u"Config.INI", u"游戏.ini", u"notes.txt", u"ini", u"x.ini.bak", u"x.inix"}) {
        temp.writeBytes(name, "[s]\r\n");
    }
    temp.makeFolder(u"x.ini");
    EXPECT_EQ(sorted(listSettingsFiles(temp.folder())),
              sorted(Names{"Config", "a.b", "game", "x", "\xD3\xCE\xCF\xB7"}));
}

TEST(ListSettingsFiles, MissingFolderListsNothing) {
    const TempFolder temp;
    EXPECT_EQ(listSettingsFiles(temp.subfolder(u"missing")), Names{});
}

TEST(ListSettingsFiles, MessagesArePumpedFromThe1001stEntryOn) {
    const TempFolder temp;
    temp.writeBytes(u"other.txt", "");
    for (std::size_t i = 0; i < kEntriesBeforeMessagePump; ++i) {
        std::u16string name = u"f";
        for (const char digit : std::to_string(i)) name += static_cast<char16_t>(digit);
        name += u".ini";
        temp.writeBytes(name, "");
    }
    int pumps = 0;
    EXPECT_EQ(listSettingsFiles(temp.folder(), [&pumps] { ++pumps; }).size(), kEntriesBeforeMessagePump);
    EXPECT_EQ(pumps, 0);
    temp.writeBytes(u"last.ini", "");
    listSettingsFiles(temp.folder(), [&pumps] { ++pumps; });
    EXPECT_EQ(pumps, 1);
}

#ifdef _WIN32
TEST(ListSettingsFiles, SystemEntriesAreLeftOut) {
    const TempFolder temp;
    temp.writeBytes(u"shown.ini", "");
    temp.writeBytes(u"hidden.ini", "");
    temp.writeBytes(u"system.ini", "");
    const std::u16string hiddenPath = temp.path(u"hidden.ini");
    const std::u16string systemPath = temp.path(u"system.ini");
    const std::wstring hidden(hiddenPath.begin(), hiddenPath.end());
    const std::wstring system(systemPath.begin(), systemPath.end());
    ASSERT_TRUE(SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(system.c_str(), FILE_ATTRIBUTE_SYSTEM));
    if ((GetFileAttributesW(system.c_str()) & FILE_ATTRIBUTE_SYSTEM) == 0) {
        GTEST_SKIP() << "this file system keeps no system attribute";
    }
    EXPECT_EQ(sorted(listSettingsFiles(temp.folder())), sorted(Names{"hidden", "shown"}));
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif

}  // namespace
}  // namespace corvane
