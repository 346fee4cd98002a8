#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ios>
#include <memory>
#include <sstream>
#include <streambuf>

#include "engine/text/hex_text.h"
#include "engine/search/path_table.h"
#include "engine/search/result_store.h"
#include "engine/search/search_engine.h"
#include "engine/search/search_passes.h"
#include "engine/values/stored_value.h"
#include "engine/text/text_codec.h"
#include "engine/text/utf8_encode.h"
#include "settings/settings_record.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_settings.h"
#include "engine/files/results_file.h"
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

// 癆 (B0 41) and 癮 (B0 61) differ in a trail byte that is an ASCII letter:
// only a lookup that reads the names as characters tells them apart.
TEST_F(CliSettingsTest, ASectionIsFoundAsTheSettingsReaderFindsIt) {
    {
        std::ofstream out(folder_ / "saved.ini", std::ios::binary);
        out << "[\xB0\x41]\r\n\xBD\xE1\xB9\xB9=10]\r\n[ spaced ]\r\n\xBD\xE1\xB9\xB9=20]\r\n";
    }
    const std::string saved = (folder_ / "saved.ini").string();
    struct Case {
        std::string name;
        std::int64_t start;  // of the structure read, or -1: no such section
    };
    const Case cases[] = {{"\xB0\x41", 0x10}, {"\xB0\x61", -1}, {"spaced", 0x20}, {"SPACED", 0x20}, {"space", -1}};
    for (const Case& c : cases) {
        CliOptions options;
        ASSERT_EQ(parseCliOptions({"first", "--pid", "1", "--settings", saved, "--name", c.name}, options), "");
        CliSettings settings;
        const std::string problem = resolveCliSettings(options, settings);
        if (c.start < 0) {
            EXPECT_NE(problem.find("holds no section named " + c.name), std::string::npos) << c.name << ": " << problem;
            continue;
        }
        ASSERT_EQ(problem, "") << c.name;
        ASSERT_EQ(settings.rows.size(), 1u) << c.name;
        EXPECT_EQ(settings.rows[0].startOffset, c.start) << c.name;
    }
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

// The file as the results' own cell texts make it: what writeResults gives
// for results whose values need no escape.
std::string cellLines(const ResultStore& results) {
    std::string text;
    for (std::size_t row = 0; row < results.count(); ++row) {
        for (int column = 0; column < 3; ++column) {
            results.appendCellText(row, column, text);
            text.push_back(column < 2 ? '\t' : '\n');
        }
    }
    return text;
}

std::string written(const ResultStore& results) {
    std::ostringstream out;
    writeResults(out, results, systemTextCodec());
    return out.str();
}

StoredValue numberOf(ValueType type, std::uint8_t baseMode, std::uint64_t raw) {
    unsigned char bytes[8];
    std::memcpy(bytes, &raw, sizeof bytes);
    return StoredValue::number(type, baseMode, bytes);
}

// Numbers of every kind, base and width beside each other, so that each line
// changes how the one before formatted its number, under paths that move
// to a sibling, up, down, across modules, and addresses and leaves around
// eight and sixteen digits, so that each changes how the one before wrote its
// columns: the lines are the cell texts.
TEST(ResultsFile, WrittenLinesAreTheCellTextsWhateverTheLineBeforeWrote) {
    struct NumberCase {
        ValueType type;
        std::uint8_t baseMode;
        std::uint64_t raw;
    };
    const NumberCase numbers[] = {
        {ValueType::Long, 0, 0xFFFFFFFF},  // -1
        {ValueType::Long, 1, 0xFFFFFFFF},
        {ValueType::Long, 0, 0x7FFFFFFF},
        {ValueType::Long, 0, 0x80000000},
        {ValueType::Byte, 0, 0xFF},
        {ValueType::Byte, 1, 0x0A},
        {ValueType::Short, 0, 0x8000},
        {ValueType::Short, 1, 0xBEEF},
        {ValueType::Int64, 0, 0x8000000000000000},
        {ValueType::Int64, 1, 0xFFFFFFFFFFFFFFFF},
        {ValueType::Int64, 0, 0xFFFFFFFFFFFFFFFF},
        {ValueType::Single, 0, 0x3FC00000},  // 1.5
        {ValueType::Single, 1, 0x7F800000},  // inf
        {ValueType::Double, 0, 0x3FB999999999999A},
        {ValueType::Double, 1, 0xFFF8000000000000},  // nan
        {ValueType::Double, 0, 0x7E37E43C8800759C},  // 1e300
        {ValueType::Long, 0, 0},
    };
    const std::uint64_t hexes[] = {0,           0xF,          0x10,        0xFFFFFFFF,         0x100000000,
                                   0x123456789, 0x1234567890, 0x123456780, 0xFFFFFFFFFFFFFFFF, 0x8000000000000000};
    auto paths = std::make_shared<PathTable>();
    const std::uint32_t game = paths->anchor("game.exe");
    const std::uint32_t a = paths->intern(kNoPathNode, 0x1400A2B30);
    const std::uint32_t a18 = paths->intern(a, 0x18);
    const std::uint32_t a20 = paths->intern(a, 0x20);
    const std::uint32_t a20c = paths->intern(a20, 0xC);
    const std::uint32_t g = paths->intern(game, 0x1A2B0);
    const std::uint32_t g10 = paths->intern(g, 0x10);
    const std::uint32_t other = paths->intern(paths->anchor("other.dll"), 0x1A2B0);
    const std::uint32_t parents[] = {a18, a18, a20, a20c, a, kNoPathNode, a20c, g10, g, game, other, g10, a18};
    ResultEntries entries;
    std::size_t i = 0;
    for (const NumberCase& number : numbers) {
        for (std::uint64_t hex : hexes) {
            ResultEntry& entry = entries.emplace_back();
            entry.parent = parents[i % std::size(parents)];
            entry.leafOffset = static_cast<std::int64_t>(hexes[(i * 7) % std::size(hexes)]);
            entry.address = hex;
            entry.value = numberOf(number.type, number.baseMode, number.raw);
            ++i;
        }
    }
    ResultStore results;
    results.replace(paths, std::move(entries));
    EXPECT_EQ(written(results), cellLines(results));
}

// Texts that are plain ASCII go to the file as they are; any other text
// the way the escapes and the code page make it, in any order.
TEST(ResultsFile, PlainAndEscapedValueTextsSideBySide) {
    struct TextCase {
        std::string value;
        std::string column;
    };
    const TextCase cases[] = {
        {"abc", "abc"},
        {"", ""},
        {"a\tb\\c\r\n", "a\\tb\\\\c\\r\\n"},
        {"longer than eight bytes", "longer than eight bytes"},
        {"\xC4\xE3\xBA\xC3", "\xE4\xBD\xA0\xE5\xA5\xBD"},
        {"x", "x"},
        {"\xFF", "\\xFF"},
        {"a\\x41", "a\\\\x41"},
        {"\x81", "\\x81"},
        {"12345678", "12345678"},
    };
    auto paths = std::make_shared<PathTable>();
    const std::uint32_t parent = paths->intern(kNoPathNode, 0x10);
    ResultEntries entries;
    std::string expected;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        ResultEntry& entry = entries.emplace_back();
        entry.parent = parent;
        entry.leafOffset = static_cast<std::int64_t>(4 * i);
        entry.address = 0x7F0000 + i;
        entry.value = StoredValue::text(cases[i].value);
        std::string line = "10]";
        appendHex(line, 4 * i);
        line += "\t" + cases[i].column + "\t";
        appendHex(line, 0x7F0000 + i);
        expected += line + "\n";
    }
    ResultStore results;
    results.replace(paths, std::move(entries));
    const std::string text = written(results);
    EXPECT_EQ(text, expected);

    std::istringstream in(text);
    ResultStore back;
    std::string error;
    ASSERT_TRUE(readResults(in, back, systemTextCodec(), error)) << error;
    ASSERT_EQ(back.count(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(back.valueText(i), cases[i].value) << i;
}

// The store PathTable::intern makes of the paths, line by line: the nodes
// every way of reading the file must come to.
struct InternedPaths {
    std::vector<PathNode> nodes;
    std::vector<std::uint32_t> parents;
    std::vector<std::int64_t> leaves;
    std::vector<std::string> texts;
};

InternedPaths internedPaths(const std::vector<std::string>& lines) {
    PathTable table;
    InternedPaths interned;
    for (const std::string& line : lines) {
        std::vector<std::int64_t> offsets;
        std::string module;
        EXPECT_TRUE(parsePathText(line.substr(0, line.find('\t')), offsets, module)) << line;
        if (offsets.empty()) continue;
        std::uint32_t parent = module.empty() ? kNoPathNode : table.anchor(module);
        for (std::size_t level = 0; level + 1 < offsets.size(); ++level) parent = table.intern(parent, offsets[level]);
        interned.parents.push_back(parent);
        interned.leaves.push_back(offsets.back());
        table.appendPathText(parent, offsets.back(), interned.texts.emplace_back());
    }
    for (std::size_t i = 0; i < table.size(); ++i) interned.nodes.push_back(table.node(static_cast<std::uint32_t>(i)));
    return interned;
}

InternedPaths readPaths(const ResultStore& results) {
    InternedPaths read;
    const auto paths = results.paths();
    for (std::size_t i = 0; i < paths->size(); ++i) read.nodes.push_back(paths->node(static_cast<std::uint32_t>(i)));
    std::vector<ResultSnapshot> rows;
    const std::size_t count = results.snapshot(true, 0, results.count(), rows, false);
    for (std::size_t i = 0; i < count; ++i) {
        read.parents.push_back(rows[i].parent);
        read.leaves.push_back(rows[i].leafOffset);
    }
    return read;
}

void expectSamePaths(const InternedPaths& read, const InternedPaths& interned, const std::string& what) {
    ASSERT_EQ(read.nodes.size(), interned.nodes.size()) << what;
    for (std::size_t i = 0; i < read.nodes.size(); ++i) {
        EXPECT_EQ(read.nodes[i].offset, interned.nodes[i].offset) << what << " node " << i;
        EXPECT_EQ(read.nodes[i].parent, interned.nodes[i].parent) << what << " node " << i;
    }
    EXPECT_EQ(read.parents, interned.parents) << what;
    EXPECT_EQ(read.leaves, interned.leaves) << what;
}

// Lines take the levels they share with the line before from it: whatever
// the paths in a row, the nodes are the ones interning every path gives,
// plain values or not.
TEST(ResultsFile, LevelsSharedWithTheLineBeforeGiveTheInternedNodes) {
    const std::vector<std::vector<std::string>> files = {
        // A shared start, then an earlier prefix again after another one.
        {"10]20]1\t1\t0", "10]28]2\t2\t0", "10]20]3\t3\t0", "10]28]30]4\t4\t0", "10]20]5\t5\t0"},
        // Texts that start alike but differ inside a level.
        {"10]1\t1\t0", "100]2\t2\t0", "10]3\t3\t0", "1]4\t4\t0", "10]5\t5\t0", "10\t6\t0", "10]0]7\t7\t0"},
        // Deeper and shallower paths after each other.
        {"10]20]30]1\t1\t0", "10]2\t2\t0", "10]20]3\t3\t0", "4\t4\t0", "10]20]30]5\t5\t0", "10]20]31]6\t6\t0"},
        // Modules beside each other, beside absolute paths with the same offsets.
        {"game.exe+10]1\t1\t0", "game.exe+18]2\t2\t0", "game.exf+10]3\t3\t0", "game.exe+10]4\t4\t0", "game.exe+5\t5\t0",
         "10]6\t6\t0", "game.exe+10]20]7\t7\t0", "GAME.exe+10]8\t8\t0", "game.exe+10]9\t9\t0"},
        // A module name whose double-byte character ends in "]".
        {"\x81]+10]1\t1\t0", "\x81]+18]2\t2\t0", "\x81]x+10]3\t3\t0", "\x81]+10]4\t4\t0"},
        // Offsets under one parent going down as well as up.
        {"20]1\t1\t0", "10]2\t2\t0", "20]3\t3\t0", "30]4\t4\t0", "10]5\t5\t0", "FFFFFFFFFFFFFFF8]6\t6\t0", "0]7\t7\t0"},
        // Values that are not plain, among plain ones under the same levels.
        {"10]20]1\t\\t\t0", "10]20]2\tA\t0", "10]28]3\t\xE4\xBD\xA0\t0", "10]28]4\tB\t0", "10]20]5\ta\tb\t0",
         "10]28]6\tC\r\t0", "10]20]7\t\\x41\t0"},
        // A leaf and a level of more than sixteen digits, which wrap.
        {"10]111111111111111112\t1\t0", "10]2\t2\t0", "10]111111111111111112]3\t3\t0", "10]4\t4\t0"},
    };
    for (const auto& lines : files) {
        std::string text;
        for (const std::string& line : lines) text += line + "\n";
        std::istringstream in(text);
        ResultStore results;
        std::string error;
        ASSERT_TRUE(readResults(in, results, systemTextCodec(), error)) << error << "\n" << text;
        ASSERT_EQ(results.count(), lines.size()) << text;
        expectSamePaths(readPaths(results), internedPaths(lines), text);
        const InternedPaths interned = internedPaths(lines);
        for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(results.pathText(i), interned.texts[i]) << text;
    }
}

// Far more results than fit in a block of the file either way: the writer
// takes the store in runs, formats them on two threads and writes them in
// order, and the reader takes the file in blocks whose ends cut lines; some
// rows were removed before, and a line feed may follow a carriage return.
TEST(ResultsFile, LargeFilesKeepEveryLineInOrder) {
    auto paths = std::make_shared<PathTable>();
    ResultEntries entries;
    const std::uint32_t module = paths->anchor("game.exe");
    std::uint32_t parent = kNoPathNode;
    for (std::uint32_t i = 0; i < 150000; ++i) {
        if (i % 1000 == 0) parent = paths->intern(i % 3000 == 0 ? module : kNoPathNode, 0x1400A2B30 + i);
        ResultEntry& entry = entries.emplace_back();
        // Every 7th result has a node of its own, as paths ending in "]0" do.
        entry.parent = i % 7 == 0 ? paths->intern(parent, 8 * i) : parent;
        entry.leafOffset = 4 * (i % 1000);
        entry.address = 0x7FF612340000 + 4ull * i;
        if (i % 5 == 0)
            entry.value = StoredValue::text(i % 10 == 0 ? "text" : "a longer text " + std::to_string(i));
        else
            entry.value = numberOf(i % 2 == 0 ? ValueType::Long : ValueType::Int64, i % 3 == 0 ? 1 : 0, 1000u * i);
    }
    ResultStore results;
    results.replace(paths, std::move(entries));
    for (std::size_t row : {0u, 5000u, 99999u, 100000u}) results.removeAt(row);

    const std::string text = written(results);
    ASSERT_EQ(text, cellLines(results));

    std::vector<std::string> lines;
    std::string crlf;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        crlf += lines.back();
        crlf += lines.size() % 3 == 0 ? "\r\n" : lines.size() % 3 == 1 ? "\n\n" : "\n";
        start = end + 1;
    }
    const InternedPaths interned = internedPaths(lines);
    crlf.pop_back();  // the last line without its line feed
    for (const std::string& file : {text, crlf}) {
        std::istringstream in(file);
        ResultStore back;
        std::string error;
        ASSERT_TRUE(readResults(in, back, systemTextCodec(), error)) << error;
        ASSERT_EQ(back.count(), results.count());
        EXPECT_EQ(written(back), text);
        expectSamePaths(readPaths(back), interned, "large file");
    }
}

// A line longer than a block of the file, a malformed line deep into a large
// file, whose number the error names, and the line after a long one.
TEST(ResultsFile, LongLinesAndErrorsFarIntoTheFile) {
    const std::string value(3 << 20, 'v');
    std::string text = "10]0\t" + value + "\t10\n10]4\t5\t14\n";
    {
        std::istringstream in(text);
        ResultStore results;
        std::string error;
        ASSERT_TRUE(readResults(in, results, systemTextCodec(), error)) << error;
        ASSERT_EQ(results.count(), 2u);
        EXPECT_EQ(results.valueText(0), value);
        EXPECT_EQ(results.pathText(1), "10]4");
        EXPECT_EQ(results.address(1), 0x14u);
    }
    const char* bad[] = {"10]4\t5\t\n", "10]4\t5\t12345678901234567\n", "10]]4\t5\t14\n", "10]4\t\\q\t14\n",
                         "10]4\t5\n"};
    for (const char* line : bad) {
        std::string file;
        for (int i = 0; i < 200000; ++i) file += "10]4\t5\t14\n";
        file += line;
        file += "10]4\t5\t14\n";
        std::istringstream in(file);
        ResultStore results;
        std::string error;
        EXPECT_FALSE(readResults(in, results, systemTextCodec(), error)) << line;
        EXPECT_EQ(error.rfind("line 200001:", 0), 0u) << error;
        EXPECT_FALSE(results.allocated());
    }
}

// A stream that refuses every write and throws for it.
class RefusingBuffer : public std::streambuf {
protected:
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
    int_type overflow(int_type) override { return traits_type::eof(); }
};

// What writing throws reaches the caller, from whichever thread wrote.
TEST(ResultsFile, AFailingStreamThrowsToTheWriter) {
    for (std::uint32_t count : {10u, 100000u}) {
        auto paths = std::make_shared<PathTable>();
        ResultEntries entries;
        for (std::uint32_t i = 0; i < count; ++i) {
            ResultEntry& entry = entries.emplace_back();
            entry.leafOffset = i;
            entry.value = numberOf(ValueType::Long, 0, i);
        }
        ResultStore results;
        results.replace(paths, std::move(entries));
        RefusingBuffer buffer;
        std::ostream out(&buffer);
        out.exceptions(std::ios::badbit);
        EXPECT_THROW(writeResults(out, results, systemTextCodec()), std::ios_base::failure) << count;
    }
}

}  // namespace
}  // namespace corvane
