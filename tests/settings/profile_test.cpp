#include "settings/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_listing.h"
#include "settings/settings_record.h"
#include "settings/structure_text.h"
#include "tests/settings/structure_row_text_printer.h"
#include "tests/settings/temp_folder.h"

// The same tests run over Windows' profile service (under Wine) and over the
// program's own INI code natively, so they hold the two to one behaviour.

namespace corvane {
namespace {

constexpr std::string_view kMissing = "<missing>";
constexpr std::string_view kGame = "\xD3\xCE\xCF\xB7";  // 游戏

TEST(Profile, SectionsAndKeysMatchInAnyLetterCase) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"Config.ini");
    profileWriteString(file, "Game.EXE", "Key", "1");
    EXPECT_EQ(profileReadString(file, "game.exe", "KEY", kMissing), "1");
    profileWriteString(file, "GAME.exe", "key", "2");
    EXPECT_EQ(profileReadString(file, "Game.EXE", "Key", kMissing), "2");
    EXPECT_EQ(listSectionNames(file), std::vector<std::string>{"Game.EXE"});
}

TEST(Profile, LongValuesAreReadWhole) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"long.ini");
    // Around the 4086-unit first buffer: fits, fills it exactly, one over.
    for (const std::size_t length : {4084u, 4085u, 4086u, 8171u, 10000u}) {
        std::string value(length, '7');
        value.back() = 'E';
        profileWriteString(file, "s", kValue1Key, value);
        const std::string read = profileReadString(file, "s", kValue1Key, "");
        EXPECT_EQ(read.size(), value.size());
        EXPECT_TRUE(read == value) << length;
    }
}

TEST(Profile, LongStructureTextKeepsEveryRow) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"long.ini");
    std::vector<StructureRowText> rows;
    for (int i = 0; i < 1200; ++i) rows.push_back({"1A2B" + std::to_string(i), "3", "8"});
    const StructureText text = rebuildStructureText(rows);
    ASSERT_GT(text.size(), 10000u);
    profileWriteString(file, "s", kStructureKey, text);
    const std::vector<StructureRowText> read = parseStructureText(profileReadString(file, "s", kStructureKey, ""));
    ASSERT_EQ(read.size(), rows.size());
    EXPECT_TRUE(read == rows);
}

TEST(Profile, ChineseNamesAndValuesAreCodePage936) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"cn.ini");
    profileWriteString(file, kGame, kStructureKey, "\xC4\xE3\xBA\xC3");  // 你好
    EXPECT_EQ(temp.readBytes(u"cn.ini"), "[\xD3\xCE\xCF\xB7]\r\n\xBD\xE1\xB9\xB9=\xC4\xE3\xBA\xC3\r\n");
    EXPECT_EQ(profileReadString(file, kGame, kStructureKey, kMissing), "\xC4\xE3\xBA\xC3");
    EXPECT_EQ(listSectionNames(file), std::vector<std::string>{std::string(kGame)});
}

TEST(Profile, WritingIntoAMissingFolderFails) {
    const TempFolder temp;
    const std::u16string file = temp.subfolder(u"missing") + u"game.ini";
    EXPECT_FALSE(profileWriteString(file, "s", "k", "v"));
    EXPECT_FALSE(temp.exists(u"missing"));
    EXPECT_EQ(profileReadString(file, "s", "k", kMissing), kMissing);
}

}  // namespace
}  // namespace corvane
