#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "engine/text_codec.h"
#include "settings/settings_record.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_settings.h"
#include "tools/cli/results_file.h"

namespace corvane {
namespace {

struct UsageCase {
    std::vector<std::string> args;
    const char* problem;  // the start of the reason, or "" for usable arguments
};

TEST(CliOptions, UsableAndUnusableCommandLines) {
    const UsageCase cases[] = {
        {{"first", "--pid", "12", "--structure", "10]"}, ""},
        {{"first", "--pid", "12", "--settings", "a.ini", "--name", "x"}, ""},
        {{"next", "--pid", "12", "--in", "r.txt", "--condition", "10"}, ""},
        {{"monitor", "--pid", "12", "--in", "r.txt", "--cycles", "3"}, ""},
        {{"reformat", "--pid", "12", "--in", "r.txt", "--type", "0", "--base", "1"}, ""},
        {{}, "no command"},
        {{"search"}, "unknown command"},
        {{"first", "--structure", "10]"}, "--pid is required"},
        {{"first", "--pid", "0", "--structure", "10]"}, "--pid must"},
        {{"first", "--pid", "x", "--structure", "10]"}, "--pid must"},
        {{"first", "--pid", "12"}, "first needs --structure"},
        {{"first", "--pid", "12", "--structure"}, "option --structure needs a value"},
        {{"first", "--pid", "12", "--structure", "10]", "--type", "9"}, "--type must"},
        {{"first", "--pid", "12", "--structure", "10]", "--condition", "11"}, "--condition must"},
        {{"first", "--pid", "12", "--structure", "10]", "--colour", "1"}, "unknown option"},
        {{"next", "--pid", "12"}, "next needs --in"},
        {{"reformat", "--pid", "12", "--in", "r.txt"}, "reformat needs --type"},
        {{"monitor", "--pid", "12", "--in", "r.txt", "--cycles", "0"}, "--cycles must"},
        {{"first", "--pid", "12", "--settings", "a.ini"}, "--settings and --name"},
    };
    for (const auto& c : cases) {
        CliOptions options;
        const std::string problem = parseCliOptions(c.args, options);
        if (*c.problem == '\0') {
            EXPECT_EQ(problem, "") << c.args.size();
        } else {
            EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << problem;
        }
    }
}

class CliSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("corvane_cli_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        file_ = (folder_ / "saved.ini").u16string();
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path folder_;
    std::u16string file_;
};

TEST_F(CliSettingsTest, SettingsSectionsAndOverrides) {
    SettingsRecord record;
    record.structureText = "10]20*5*8]";
    record.typeIndex = "4";
    record.baseIndex = "1";
    record.conditionIndex = "5";
    record.value1 = "1.5";
    record.value2 = "2.5";
    ASSERT_TRUE(writeSettingsRecord(file_, "game", record));

    CliOptions options;
    ASSERT_EQ(parseCliOptions({"first", "--pid", "1", "--settings", (folder_ / "saved.ini").string(), "--name", "game",
                               "--value2", "9"},
                              options),
              "");
    CliSettings settings;
    ASSERT_EQ(resolveCliSettings(options, settings), "");
    EXPECT_EQ(settings.search.type, ValueType::Single);
    EXPECT_EQ(settings.search.baseMode, 1);
    EXPECT_EQ(settings.search.condition, SearchCondition::Between);
    EXPECT_EQ(settings.search.value1, "1.5");
    EXPECT_EQ(settings.search.value2, "9");
    ASSERT_EQ(settings.rows.size(), 2u);
    EXPECT_EQ(settings.rows[1].startOffset, 0x20);
    EXPECT_EQ(settings.rows[1].count, 5);
    EXPECT_EQ(settings.rows[1].increment, 8);
}

TEST_F(CliSettingsTest, DefaultsAndTextTypesWithoutABase) {
    CliOptions options;
    ASSERT_EQ(parseCliOptions({"first", "--pid", "1", "--structure", "10]"}, options), "");
    CliSettings settings;
    ASSERT_EQ(resolveCliSettings(options, settings), "");
    EXPECT_EQ(settings.search.type, ValueType::Long);
    EXPECT_EQ(settings.search.baseMode, 0);
    EXPECT_EQ(settings.search.condition, SearchCondition::None);

    CliOptions text;
    ASSERT_EQ(parseCliOptions({"first", "--pid", "1", "--structure", "10]", "--type", "6", "--base", "1"}, text), "");
    ASSERT_EQ(resolveCliSettings(text, settings), "");
    EXPECT_EQ(settings.search.baseMode, kNoBaseMode);

    CliOptions missing;
    ASSERT_EQ(
        parseCliOptions({"first", "--pid", "1", "--settings", (folder_ / "none.ini").string(), "--name", "x"}, missing),
        "");
    EXPECT_NE(resolveCliSettings(missing, settings), "");
}

TEST(ResultsFile, RoundTripKeepsPathsTextsAndAddresses) {
    std::istringstream in(
        "1400A2B30]18]0\t1000\t1400B0000\n"
        "10\t\xE4\xBD\xA0\xE5\xA5\xBD"
        "ABC\t10\r\n"
        "\n"
        "FFFFFFFFFFFFFFF8]8\t-1\t0\n");
    ResultStore results;
    std::string error;
    ASSERT_TRUE(readResults(in, results, systemTextCodec(), error)) << error;
    ASSERT_EQ(results.count(), 3u);
    EXPECT_EQ(results.pathText(0), "1400A2B30]18]0");
    EXPECT_EQ(results.valueText(1),
              "\xC4\xE3\xBA\xC3"
              "ABC");  // code page 936 inside
    EXPECT_EQ(results.address(0), 0x1400B0000u);
    EXPECT_EQ(results.pathText(2), "FFFFFFFFFFFFFFF8]8");

    std::ostringstream out;
    writeResults(out, results, systemTextCodec());
    EXPECT_EQ(out.str(),
              "1400A2B30]18]0\t1000\t1400B0000\n"
              "10\t\xE4\xBD\xA0\xE5\xA5\xBD"
              "ABC\t10\n"
              "FFFFFFFFFFFFFFF8]8\t-1\t0\n");
}

TEST(ResultsFile, MalformedLinesAreRefusedWhole) {
    const char* bad[] = {"10\t1\n", "10]\t1\t0\n", "zz\t1\t0\n", "10\t1\tXYZ\n", "10\t1\t12345678901234567\n"};
    for (const char* text : bad) {
        std::istringstream in(std::string("20\t5\t20\n") + text);
        ResultStore results;
        std::string error;
        EXPECT_FALSE(readResults(in, results, systemTextCodec(), error)) << text;
        EXPECT_EQ(error.rfind("line 2", 0), 0u) << error;
        EXPECT_FALSE(results.allocated());
    }
}

}  // namespace
}  // namespace corvane
