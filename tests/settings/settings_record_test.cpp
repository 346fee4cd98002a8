#include "settings/settings_record.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "engine/text/text_codec.h"
#include "settings/profile.h"
#include "tests/settings/temp_folder.h"

namespace corvane {
namespace {

constexpr std::string_view kMissing = "<missing>";

TEST(SettingsKeys, AreTheCodePage936FormsOfTheirNames) {
    const TextCodec& codec = systemTextCodec();
    EXPECT_EQ(kStructureKey, codec.fromUtf16(u"结构", CodePage::Gbk));
    EXPECT_EQ(kTypeKey, codec.fromUtf16(u"类型", CodePage::Gbk));
    EXPECT_EQ(kBaseKey, codec.fromUtf16(u"进制", CodePage::Gbk));
    EXPECT_EQ(kConditionKey, codec.fromUtf16(u"条件", CodePage::Gbk));
    EXPECT_EQ(kValue1Key, codec.fromUtf16(u"数值1", CodePage::Gbk));
    EXPECT_EQ(kValue2Key, codec.fromUtf16(u"数值2", CodePage::Gbk));
}

struct IndexCase {
    std::string_view text;
    int index;
};

TEST(IndexFromText, LeadingNumberRoundedHalvesToEven) {
    const IndexCase cases[] = {
        {"2", 2},
        {"-1", -1},
        {"10", 10},
        {"", 0},
        {"abc", 0},
        {" 7", 7},
        {"8x", 8},
        {"&H3", 3},
        {"1.4", 1},
        {"2.5", 2},
        {"3.5", 4},
        {"-0.5", 0},
        {"2147483647", 2147483647},
        {"2147483648", -1},  // past int: selects nothing, like any index out of the list
        {"1e400", -1},
        {"nan", -1},
    };
    for (const IndexCase& c : cases) EXPECT_EQ(indexFromText(c.text), c.index) << c.text;
}

const SettingsRecord kFullRecord{"10]20*5*8]", "2", "1", "5", "100", "200"};

TEST(SettingsRecordFile, RoundTripsThroughANewFile) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"game.ini");
    EXPECT_TRUE(writeSettingsRecord(file, "game.exe", kFullRecord));
    EXPECT_EQ(readSettingsRecord(file, "game.exe"), kFullRecord);
}

TEST(SettingsRecordFile, AModuleStructureRoundTrips) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"Config.ini");
    const SettingsRecord record{"sample_target.exe+1A2B0*8*8]0]", "2", "0", "0", "", ""};
    EXPECT_TRUE(writeSettingsRecord(file, "sample_target.exe", record));
    EXPECT_TRUE(writeSettingsRecord(file, "other.exe", kFullRecord));
    EXPECT_EQ(readSettingsRecord(file, "SAMPLE_TARGET.EXE"), record);
    EXPECT_EQ(readSettingsRecord(file, "other.exe"), kFullRecord);
}

TEST(SettingsRecordFile, AMemoryStructureRoundTrips) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"Config.ini");
    const SettingsRecord record{"\xC4\xDA\xB4\xE6*0*8]10]", "2", "0", "1", "100", ""};
    EXPECT_TRUE(writeSettingsRecord(file, "sample_target.exe", record));
    EXPECT_EQ(readSettingsRecord(file, "sample_target.exe"), record);
}

TEST(SettingsRecordFile, KeysAreWrittenInTableOrder) {
    const TempFolder temp;
    writeSettingsRecord(temp.path(u"game.ini"), "game.exe", kFullRecord);
    const std::string bytes = temp.readBytes(u"game.ini");
    EXPECT_TRUE(bytes.starts_with("[game.exe]\r\n")) << bytes;
    std::size_t previous = 0;
    for (const std::string_view key : {kStructureKey, kTypeKey, kBaseKey, kConditionKey, kValue1Key, kValue2Key}) {
        const std::size_t at = bytes.find("\r\n" + std::string(key) + "=");
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at, previous) << key;
        previous = at;
    }
}

TEST(SettingsRecordFile, EmptyTextsRemoveTheirKeys) {
    const TempFolder temp;
    const std::u16string file = temp.path(u"game.ini");
    writeSettingsRecord(file, "s", kFullRecord);
    // A text type has no base list: its index is stored as -1.
    const SettingsRecord emptied{"", "7", "-1", "0", "", ""};
    writeSettingsRecord(file, "s", emptied);

    EXPECT_EQ(profileReadString(file, "s", kStructureKey, kMissing), kMissing);
    EXPECT_EQ(profileReadString(file, "s", kTypeKey, kMissing), "7");
    EXPECT_EQ(profileReadString(file, "s", kBaseKey, kMissing), "-1");
    EXPECT_EQ(profileReadString(file, "s", kConditionKey, kMissing), "0");
    EXPECT_EQ(profileReadString(file, "s", kValue1Key, kMissing), kMissing);
    EXPECT_EQ(profileReadString(file, "s", kValue2Key, kMissing), kMissing);
    EXPECT_EQ(readSettingsRecord(file, "s"), emptied);
}

TEST(SettingsRecordFile, MissingSectionOrFileReadsEmpty) {
    const TempFolder temp;
    writeSettingsRecord(temp.path(u"game.ini"), "a", kFullRecord);
    EXPECT_EQ(readSettingsRecord(temp.path(u"game.ini"), "b"), SettingsRecord{});
    EXPECT_EQ(readSettingsRecord(temp.path(u"none.ini"), "a"), SettingsRecord{});
    EXPECT_FALSE(temp.exists(u"none.ini"));
}

}  // namespace
}  // namespace corvane
