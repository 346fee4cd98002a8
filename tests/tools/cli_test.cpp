#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "engine/search_engine.h"
#include "engine/search_passes.h"
#include "engine/text_codec.h"
#include "engine/utf8_encode.h"
#include "settings/settings_record.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_settings.h"
#include "tools/cli/results_file.h"
#include "tests/support/fake_target.h"
#include "tests/support/test_sink.h"

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
        {{"first", "--pid", "12", "--structure", "10]", "--type", "int"}, "--type must"},
        {{"first", "--pid", "12", "--structure", "10]", "--condition", "gt"}, "--condition must"},
        {{"--help"}, ""},
        {{"-h"}, ""},
        {{"help"}, ""},
        {{"--version"}, ""},
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

// Names as the window shows them arrive in code page 936, like every argument.
std::string gbk(const char* utf8) { return systemTextCodec().fromUtf16(decodeUtf8Text(utf8), CodePage::Gbk); }

TEST(CliOptions, TypesBasesAndConditionsByNumberOrName) {
    struct NameCase {
        const char* option;
        std::string value;
        int expected;
    };
    const NameCase cases[] = {
        {"--type", "0", 0},
        {"--type", "byte", 0},
        {"--type", gbk("字节"), 0},
        {"--type", "SHORT", 1},
        {"--type", gbk("长整型"), 2},
        {"--type", "int64", 3},
        {"--type", gbk("64位整型"), 3},
        {"--type", "float", 4},
        {"--type", "double", 5},
        {"--type", gbk("双精度"), 5},
        {"--type", "ansi", 6},
        {"--type", gbk("A字符"), 6},
        {"--type", "utf16", 7},
        {"--type", "utf8", 8},
        {"--type", "UTF-8", 8},
        {"--base", "hex", 1},
        {"--base", gbk("16进制"), 1},
        {"--base", gbk("忽略小数"), 0},
        {"--condition", "none", 0},
        {"--condition", gbk("不过滤"), 0},
        {"--condition", "ge", 1},
        {"--condition", "eq", 2},
        {"--condition", gbk("等于"), 2},
        {"--condition", "le", 3},
        {"--condition", "ne", 4},
        {"--condition", gbk("两者之间"), 5},
        {"--condition", "contains", 6},
        {"--condition", gbk("保留没有改变的数值*"), 7},
        {"--condition", gbk("保留没有改变的数值"), 7},
        {"--condition", "changed", 8},
        {"--condition", "increased", 9},
        {"--condition", "decreased", 10},
        {"--condition", "10", 10},
    };
    for (const auto& c : cases) {
        CliOptions options;
        ASSERT_EQ(parseCliOptions({"next", "--pid", "1", "--in", "r.txt", c.option, c.value}, options), "")
            << c.option << " " << c.value;
        const std::optional<int>& slot = std::string_view(c.option) == "--type"   ? options.type
                                         : std::string_view(c.option) == "--base" ? options.base
                                                                                  : options.condition;
        EXPECT_EQ(slot, c.expected) << c.option << " " << c.value;
    }
    CliOptions help;
    ASSERT_EQ(parseCliOptions({"-h", "whatever"}, help), "");
    EXPECT_EQ(help.command, "help");
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

    SettingsRecord record;
    record.structureText = "10]";
    ASSERT_TRUE(writeSettingsRecord(file_, "Game.exe", record));
    const std::string saved = (folder_ / "saved.ini").string();
    CliOptions present;
    ASSERT_EQ(parseCliOptions({"first", "--pid", "1", "--settings", saved, "--name", "game.EXE"}, present), "");
    EXPECT_EQ(resolveCliSettings(present, settings), "");
    CliOptions absent;
    ASSERT_EQ(parseCliOptions({"first", "--pid", "1", "--settings", saved, "--name", "other.exe"}, absent), "");
    const std::string problem = resolveCliSettings(absent, settings);
    EXPECT_NE(problem.find("no section named other.exe"), std::string::npos) << problem;

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

TEST(ResultsFile, ModulePathsRoundTripBesideAbsoluteOnes) {
    const std::string text =
        "game.exe+1A2B0]10]8\t1\t30001008\n"
        "game.exe+1A2B0]10]C\t2\t3000100C\n"
        "game.exe+1A2B8]10]8\t3\t30002008\n"
        "game.exe+1A2B0\t4\t14001A2B0\n"
        "game.exe+1A2B4\t5\t14001A2B4\n"
        "1A2B0]10]8\t6\t8\n"
        "engine.dll+0]8\t7\t40\n"
        "1A2B4\t8\t1A2B4\n";
    std::istringstream in(text);
    ResultStore results;
    std::string error;
    ASSERT_TRUE(readResults(in, results, systemTextCodec(), error)) << error;
    ASSERT_EQ(results.count(), 8u);
    EXPECT_EQ(results.pathText(0), "game.exe+1A2B0]10]8");
    EXPECT_EQ(results.pathText(3), "game.exe+1A2B0");
    EXPECT_EQ(results.pathText(5), "1A2B0]10]8");
    EXPECT_EQ(results.pathText(7), "1A2B4");
    EXPECT_EQ(results.address(2), 0x30002008u);
    const auto paths = results.paths();
    EXPECT_EQ(paths->anchors().size(), 2u);
    std::ostringstream out;
    writeResults(out, results, systemTextCodec());
    EXPECT_EQ(out.str(), text);
}

TEST(ResultsFile, MalformedModulePathsAreRefusedWhole) {
    const char* bad[] = {"game.exe+\t1\t0\n", "+10]8\t1\t0\n", "a*b+10\t1\t0\n", "game.exe+10]x.dll+8\t1\t0\n",
                         "game.exe+10]]8\t1\t0\n"};
    for (const char* line : bad) {
        std::istringstream in(std::string("game.exe+10]8\t5\t20\n") + line);
        ResultStore results;
        std::string error;
        EXPECT_FALSE(readResults(in, results, systemTextCodec(), error)) << line;
        EXPECT_EQ(error.rfind("line 2", 0), 0u) << error;
    }
}

TEST(ResultsFile, MalformedLinesAreRefusedWhole) {
    const char* bad[] = {"10\t1\n",      "10]\t1\t0\n",  "zz\t1\t0\n",    "10\t1\tXYZ\n",  "10\t1\t12345678901234567\n",
                         "10\ta\\\t0\n", "10\t\\q\t0\n", "10\t\\x4\t0\n", "10\t\\xZZ\t0\n"};
    for (const char* text : bad) {
        std::istringstream in(std::string("20\t5\t20\n") + text);
        ResultStore results;
        std::string error;
        EXPECT_FALSE(readResults(in, results, systemTextCodec(), error)) << text;
        EXPECT_EQ(error.rfind("line 2", 0), 0u) << error;
        EXPECT_FALSE(results.allocated());
    }
}

// Texts holding every byte from 1 to 255 (units for the UTF-16 kind), one
// result each: written and read back they are the same texts byte for byte,
// every line keeps its three columns, and a next search 保留没有改变的数值*
// after the file keeps exactly what it keeps without the file; for the ANSI
// and UTF-8 kinds that is every result.
TEST(ResultsFile, EveryByteOfATextSurvivesTheFileAndANextSearch) {
    const TextCodec& codec = systemTextCodec();
    for (ValueType kind : {ValueType::AnsiText, ValueType::Utf16Text, ValueType::Utf8Text}) {
        test::FakeTarget target;
        constexpr std::uint64_t kTexts = 0x10000000;
        for (unsigned b = 1; b <= 255; ++b) {
            const std::uint64_t at = kTexts + (b - 1) * 0x200;
            if (kind == ValueType::Utf16Text) {
                const char16_t units[] = {u'a', static_cast<char16_t>(b), u'\\', u'z', 0};
                target.write(at, units, sizeof units);
            } else {
                const unsigned char bytes[] = {'a', static_cast<unsigned char>(b), '\\', 'x', '4', '1', 0};
                target.write(at, bytes, sizeof bytes);
            }
        }
        // A valid code page 936 text next to them, and one cut in the middle of a character.
        target.writeText(kTexts + 255 * 0x200,
                         kind == ValueType::Utf8Text ? "\xE4\xBD\xA0\t\xE5\xA5\xBD" : "\xC4\xE3\t\xBA\xC3");
        target.writeText(kTexts + 256 * 0x200, "\xC4\\\xE3");
        target.map(kTexts, 258 * 0x200 + 0x100);

        test::TestSink sink;
        sink.set({kind, kNoBaseMode, SearchCondition::None, "", ""});
        SearchEngine engine(target, sink, codec);
        engine.runFirstSearch({{static_cast<std::int64_t>(kTexts), 257, 0x200}});
        ASSERT_EQ(engine.results().count(), 257u);

        std::stringstream file;
        writeResults(file, engine.results(), codec);
        std::string text = file.str();
        std::istringstream lines(text);
        std::string line;
        std::size_t count = 0;
        for (; std::getline(lines, line); ++count)
            ASSERT_EQ(std::count(line.begin(), line.end(), '\t'), 2) << static_cast<int>(kind) << " line " << count;
        EXPECT_EQ(count, 257u);

        ResultStore back;
        std::string error;
        ASSERT_TRUE(readResults(file, back, codec, error)) << error;
        ASSERT_EQ(back.count(), 257u);
        for (std::size_t i = 0; i < 257; ++i) {
            ASSERT_EQ(back.valueText(i), engine.results().valueText(i)) << static_cast<int>(kind) << " text " << i;
            ASSERT_EQ(back.pathText(i), engine.results().pathText(i));
        }

        const SearchSettings unchanged{kind, kNoBaseMode, SearchCondition::Unchanged, "", ""};
        runNextSearchPass(target, back, unchanged, codec);
        runNextSearchPass(target, engine.results(), unchanged, codec);
        ASSERT_EQ(back.count(), engine.results().count()) << static_cast<int>(kind);
        for (std::size_t i = 0; i < back.count(); ++i) EXPECT_EQ(back.valueText(i), engine.results().valueText(i));
        if (kind != ValueType::Utf16Text) {
            EXPECT_EQ(back.count(), 257u) << static_cast<int>(kind);
        }
    }
}

}  // namespace
}  // namespace corvane
