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

// A section is there exactly when the service's reads find it: its name
// trimmed of blanks, ASCII letters in either case, two-byte characters exact
// (癆 is B0 41 and 癮 B0 61: folding the trail byte as a letter would make
// them one name).
TEST(Profile, SectionsAreThereExactlyWhenTheReadsFindThem) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"sections.ini");
    temp.writeBytes(u"sections.ini", "[\xB0\x41]\r\nk=1\r\n  [ Game.exe\t]\r\nk=2\r\n");
    struct Case {
        std::string_view name;
        bool there;
    };
    const Case cases[] = {
        {"\xB0\x41", true},  {"\xB0\x61", false}, {" \xB0\x41 ", true}, {"GAME.EXE", true},
        {"game.exe ", true}, {"game", false},     {"", false},          {"\xB0", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(profileHasSection(file, c.name), c.there) << "[" << c.name << "]";
        EXPECT_EQ(profileReadString(file, c.name, "k", kMissing) != kMissing, c.there) << "[" << c.name << "]";
    }
    EXPECT_FALSE(profileHasSection(temp.path(u"none.ini"), "Game.exe"));
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

struct BreakCase {
    std::string_view value;
    std::string_view stored;
};

// A line break written as it stands would end the key line early: the key
// would keep the part before it and the rest would stay as a stray line.
TEST(Profile, LineBreaksInValuesAreNotWritten) {
    const BreakCase cases[] = {
        {"\r10]20]", "10]20]"},   {"10]\r20]", "10]20]"},
        {"10]20]\r", "10]20]"},   {"\n10]20]", "10]20]"},
        {"10]\n20]", "10]20]"},   {"10]20]\n", "10]20]"},
        {"\r\n10]20]", "10]20]"}, {"10]\r\n20]", "10]20]"},
        {"10]20]\r\n", "10]20]"}, {"\xC4\xE3\r\n\xBA\xC3", "\xC4\xE3\xBA\xC3"},  // 你好 split by a break
    };
    for (const BreakCase& c : cases) {
        const TempFolder temp;
        const std::u16string file = temp.path(u"b.ini");
        const SettingsRecord record{std::string(c.value), "2", "", "", std::string(c.value), ""};
        writeSettingsRecord(file, "s", record);
        const SettingsRecord read = readSettingsRecord(file, "s");
        EXPECT_EQ(read.structureText, c.stored) << c.value;
        EXPECT_EQ(read.value1, c.stored) << c.value;
        const std::string stored(c.stored);
        EXPECT_EQ(temp.readBytes(u"b.ini"), "[s]\r\n" + std::string(kStructureKey) + "=" + stored + "\r\n" +
                                                std::string(kTypeKey) + "=2\r\n" + std::string(kValue1Key) + "=" +
                                                stored + "\r\n")
            << c.value;
    }
}

TEST(Profile, ValueOfLineBreaksAloneRemovesTheKey) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"b.ini");
    profileWriteString(file, "s", "k", "1");
    profileWriteString(file, "s", "z", "2");
    profileWriteString(file, "s", "k", "\r\n");
    EXPECT_EQ(profileReadString(file, "s", "k", kMissing), kMissing);
    EXPECT_EQ(temp.readBytes(u"b.ini"), "[s]\r\nz=2\r\n");
}

TEST(Profile, LineBreaksInNamesAreNotWrittenEither) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"b.ini");
    profileWriteString(file, "ga\r\nme", "k\n", "1");
    EXPECT_EQ(temp.readBytes(u"b.ini"), "[game]\r\nk=1\r\n");
    EXPECT_EQ(profileReadString(file, "ga\r\nme", "k\n", kMissing), "1");
    EXPECT_EQ(profileReadString(file, "game", "k", kMissing), "1");
}

// Files written before the fix hold the tail of a broken value as a line of
// its own; it is no key and must not disturb the keys around it.
TEST(Profile, StrayLineOfAnOlderFileIsIgnored) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"Config.ini");
    const std::string structure(kStructureKey);
    const std::string type(kTypeKey);
    temp.writeBytes(u"Config.ini", "[game.exe]\r\n" + structure + "=10]\r\n20*3*8]\r\n" + type + "=2\r\n");
    EXPECT_EQ(profileReadString(file, "game.exe", kStructureKey, kMissing), "10]");
    EXPECT_EQ(profileReadString(file, "game.exe", kTypeKey, kMissing), "2");
    EXPECT_EQ(listSectionNames(file), std::vector<std::string>{"game.exe"});
    profileWriteString(file, "game.exe", kStructureKey, "10]20*3*8]");
    EXPECT_EQ(profileReadString(file, "game.exe", kStructureKey, kMissing), "10]20*3*8]");
    EXPECT_EQ(profileReadString(file, "game.exe", kTypeKey, kMissing), "2");
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
