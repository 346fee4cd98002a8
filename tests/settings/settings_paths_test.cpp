#include "settings/settings_paths.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "tests/settings/temp_folder.h"

namespace corvane {
namespace {

struct TitleCase {
    std::string_view text;
    std::string_view title;
};

TEST(FileTitle, DropsTheFolderAndTheLastExtension) {
    const TitleCase cases[] = {
        {"game.exe", "game"},
        {"System", ""},  // no dot: no title
        {"C:\\dir\\a.b.ini", "a.b"},
        {"dir/x.ini", "x"},
        {"C:game.exe", "game"},
        {"dir.v2\\game", ""},  // a dot in the folder does not count
        {".ini", ""},
        {"a.", "a"},
        {"", ""},
        {"\xD3\xCE\xCF\xB7.exe", "\xD3\xCE\xCF\xB7"},  // 游戏.exe
        // 乗 is 81 5C: its second byte is "\" but no separator.
        {"\x81\x5C.exe", "\x81\x5C"},
        {"dir\\\x81\x5C"
         "a.exe",
         "\x81\x5C"
         "a"},
    };
    for (const TitleCase& c : cases) EXPECT_EQ(fileTitle(c.text), c.title) << c.text;
}

TEST(IsBlank, EmptyOrSpacesOnly) {
    for (const std::string_view text : {"", " ", "    "}) EXPECT_TRUE(isBlank(text)) << '"' << text << '"';
    for (const std::string_view text : {"a", " a ", "\t", "\xA1\xA1"}) EXPECT_FALSE(isBlank(text)) << text;
}

TEST(SettingsFolder, BesideTheExecutable) {
    EXPECT_EQ(settingsFolder(u"C:\\Tools\\corvane.exe"), u"C:\\Tools\\遍历配置\\");
    EXPECT_EQ(settingsFolder(u"C:corvane.exe"), u"C:遍历配置\\");
    EXPECT_EQ(settingsFolder(u"/opt/corvane/corvane"), u"/opt/corvane/遍历配置/");
    EXPECT_EQ(configFilePath(u"C:\\Tools\\遍历配置\\"), u"C:\\Tools\\遍历配置\\Config.ini");
}

TEST(SettingsFolder, IsCreatedOnce) {
    const TempFolder temp;
    const std::u16string folder = settingsFolder(temp.path(u"corvane.exe"));
    EXPECT_TRUE(createSettingsFolder(folder));
    EXPECT_TRUE(temp.exists(u"遍历配置"));
    EXPECT_FALSE(createSettingsFolder(folder));  // there already
}

struct CheckCase {
    std::string_view title;
    FileTitleError error;
};

TEST(SettingsFilePath, RefusesTitlesThatLeaveTheFolderOrNameNoPlainFile) {
    const CheckCase cases[] = {
        {"game", FileTitleError::None},
        {"a.b", FileTitleError::None},
        {"a b", FileTitleError::None},
        {"\x81\x5C", FileTitleError::None},  // 乗: a trail byte "\" is no separator
        {"", FileTitleError::Blank},
        {"   ", FileTitleError::Blank},
        {"..", FileTitleError::ParentReference},
        {"a..b", FileTitleError::ParentReference},
        {"..\\x", FileTitleError::PathSeparator},
        {"a\\b", FileTitleError::PathSeparator},
        {"a/b", FileTitleError::PathSeparator},
        {"C:x", FileTitleError::ForbiddenCharacter},
        {"a*b", FileTitleError::ForbiddenCharacter},
        {"a?b", FileTitleError::ForbiddenCharacter},
        {"a<b>", FileTitleError::ForbiddenCharacter},
        {"a|b", FileTitleError::ForbiddenCharacter},
        {"a\"b", FileTitleError::ForbiddenCharacter},
        {"a\tb", FileTitleError::ForbiddenCharacter},
        {"CON", FileTitleError::ReservedName},
        {"nul.x", FileTitleError::ReservedName},
        {"Lpt1", FileTitleError::ReservedName},
        {"COM0", FileTitleError::ReservedName},
        {"lpt0", FileTitleError::ReservedName},
        {"com9.txt", FileTitleError::ReservedName},
        {"CONIN$", FileTitleError::ReservedName},
        {"conout$", FileTitleError::ReservedName},
        {"CON.txt", FileTitleError::ReservedName},
        {"Con .txt", FileTitleError::ReservedName},
        {"aux.a.b", FileTitleError::ReservedName},
        {"CONSOLE", FileTitleError::None},
        {"COM10", FileTitleError::None},
        {"CONIN", FileTitleError::None},
        {"CONIN$1", FileTitleError::None},
        {"xCON", FileTitleError::None},
        {"a.CON", FileTitleError::None},
        {"LPT", FileTitleError::None},
        {"a.", FileTitleError::TrailingDotOrSpace},
        {"a ", FileTitleError::TrailingDotOrSpace},
        {"a. ", FileTitleError::TrailingDotOrSpace},
        {" a", FileTitleError::None},
        {".a", FileTitleError::None},
        {"\xC4", FileTitleError::NotCodePage936},  // a lead byte alone
    };
    for (const CheckCase& c : cases) {
        EXPECT_EQ(checkFileTitle(c.title), c.error) << c.title;
        EXPECT_EQ(settingsFilePath(u"F\\", c.title).has_value(), c.error == FileTitleError::None) << c.title;
    }
}

struct DeviceCase {
    std::u16string_view name;
    bool device;
};

// The superscript digits have no code page 936 form, so no typed title holds
// them; the test on the wide name still has to know them.
TEST(WindowsDeviceName, SuperscriptDigitsCountAsDigits) {
    const DeviceCase cases[] = {
        {u"COM\u00B9", true},  {u"com\u00B2.ini", true}, {u"LPT\u00B3", true},
        {u"COM\u2074", false}, {u"LPT\uFF11", false},  // superscript 4, fullwidth 1
        {u"NUL", true},        {u"NUL ", true},          {u"", false},
    };
    for (const DeviceCase& c : cases) {
        EXPECT_EQ(isWindowsDeviceName(c.name), c.device) << std::string(c.name.begin(), c.name.end());
    }
}

TEST(FileTitleErrorMessage, EveryRefusalHasAReasonOfItsOwn) {
    const FileTitleError errors[] = {FileTitleError::Blank,
                                     FileTitleError::NotCodePage936,
                                     FileTitleError::PathSeparator,
                                     FileTitleError::ParentReference,
                                     FileTitleError::ForbiddenCharacter,
                                     FileTitleError::ReservedName,
                                     FileTitleError::TrailingDotOrSpace};
    std::set<std::u16string_view> messages;
    for (const FileTitleError error : errors) {
        EXPECT_FALSE(fileTitleErrorMessage(error).empty()) << static_cast<int>(error);
        messages.insert(fileTitleErrorMessage(error));
    }
    EXPECT_EQ(messages.size(), std::size(errors));
    EXPECT_EQ(fileTitleErrorMessage(FileTitleError::None), u"");
}

TEST(SettingsFilePath, WidensTheTitleFromCodePage936) {
    EXPECT_EQ(settingsFilePath(u"C:\\遍历配置\\", "\xD3\xCE\xCF\xB7"), u"C:\\遍历配置\\游戏.ini");
    EXPECT_EQ(settingsFilePath(u"C:\\遍历配置\\", "Config"), configFilePath(u"C:\\遍历配置\\"));
}

}  // namespace
}  // namespace corvane
