#include <gtest/gtest.h>

#include "engine/text/text_codec.h"
#include "engine/text/utf8_encode.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_settings.h"

namespace corvane {
namespace {

std::string gbk(const char* utf8) { return systemTextCodec().fromUtf16(decodeUtf8Text(utf8), CodePage::Gbk); }

// What the settings would run with, or why they are refused.
std::string resolved(std::vector<std::string> args, CliSettings* out = nullptr) {
    CliOptions options;
    const std::string usage = parseCliOptions(args, options);
    if (!usage.empty()) return "usage: " + usage;
    CliSettings settings;
    const std::string problem = resolveCliSettings(options, settings);
    if (out != nullptr) *out = settings;
    return problem;
}

std::vector<std::string> first(std::vector<std::string> more) {
    std::vector<std::string> args{"first", "--pid", "1", "--structure", "10]"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Values the window would have read as 0 or wrapped, beyond those the
// command line's own tests type, refused with what was wrong; the values
// that are right pass, and conditions without values leave them alone.
TEST(CliRefusals, ValuesOfTheKindAndBase) {
    struct Case {
        std::vector<std::string> args;
        std::string said;  // a part of the refusal, or "" for none
    };
    const Case cases[] = {
        {first({"--condition", "ge", "--value1", ""}), gbk("大于等于 (ge) needs --value1")},
        {first({"--type", "short", "--condition", "eq", "--value1", "40000"}), "-32768 to 32767"},
        {first({"--type", "short", "--base", "hex", "--condition", "eq", "--value1", "10000"}), "0 to FFFF"},
        {first({"--condition", "between", "--value1", "-5", "--value2", "5"}), ""},
        {first({"--condition", "between", "--value1", "5", "--value2", "5"}), ""},
        {first({"--type", "float", "--condition", "eq", "--value1", "1.5e3"}), ""},
        {first({"--type", "float", "--base", "1", "--condition", "eq", "--value1", "0.966"}), ""},
        {first({"--type", "float", "--condition", "eq", "--value1", "1e39"}), "out of range"},
        {first({"--type", "double", "--condition", "le", "--value1", "x"}), "is not a decimal number for"},
        {first({"--type", "ansi", "--condition", "contains", "--value1", "abc"}), ""},
        {first({"--type", "utf8", "--condition", "contains"}), "needs --value1"},
        // Conditions that take no value leave the values alone.
        {first({"--condition", "none", "--value1", "abc"}), ""},
        {{"next", "--pid", "1", "--in", "r.txt", "--condition", "changed", "--value1", "abc"}, ""},
        {{"next", "--pid", "1", "--in", "r.txt", "--condition", "ne", "--value1", "abc"}, "is not a decimal"},
        {{"reformat", "--pid", "1", "--in", "r.txt", "--type", "byte", "--condition", "eq"}, ""},
    };
    for (const Case& c : cases) {
        const std::string problem = resolved(c.args);
        if (c.said.empty()) {
            EXPECT_EQ(problem, "") << c.args.back();
        } else {
            EXPECT_NE(problem.find(c.said), std::string::npos) << problem << " lacks " << c.said;
        }
    }
}

// Hexadecimal values reach the engine as its reader takes them: "0x7A4F"
// would read as 0 after the "&H" put in front.
TEST(CliRefusals, HexadecimalValuesLoseTheirPrefix) {
    CliSettings settings;
    ASSERT_EQ(
        resolved(first({"--base", "hex", "--condition", "between", "--value1", "0x10", "--value2", "&H20"}), &settings),
        "");
    EXPECT_EQ(settings.search.value1, "10");
    EXPECT_EQ(settings.search.value2, "20");
    // Only a prefixed value was plainly meant as hexadecimal.
    EXPECT_EQ(resolved(first({"--condition", "eq", "--value1", "&H7A4F"})),
              gbk("--value1 &H7A4F is not a decimal whole number for 长整型 (long), -2147483648 to 2147483647 "
                  "(hexadecimal needs --base hex)"));
    EXPECT_EQ(resolved(first({"--condition", "eq", "--value1", "abc"})),
              gbk("--value1 abc is not a decimal whole number for 长整型 (long), -2147483648 to 2147483647"));
}

TEST(CliRefusals, StructureCellsNamingTheRow) {
    struct Case {
        std::string structure;
        std::string said;
    };
    const Case cases[] = {
        {"xyz]", "structure row 1 (xyz]): the start offset xyz is not hexadecimal"},
        {"ghij*2*8]", "structure row 1 (ghij*2*8]): the start offset ghij"},
        {"10]zz]", "structure row 2 (zz]): the start offset zz"},
        {"10*x*8]", "structure row 1 (10*x*8]): the count x is not a number"},
        {"10*2*8q]", "the increment 8q is not a number"},
        {"0x10]", "the start offset 0x10 is not hexadecimal"},
        {"*2*8]", "structure row 1 (*2*8]): the start offset is missing"},
        {"10*2*&H10]0]", ""},
        {gbk("内存*0*8]10]"), ""},
        {"memory]", ""},
        {"game.exe+1A2B0*3*8]0]", ""},
        {"game.exe+xyz]", "MODULE+HEX"},
    };
    for (const Case& c : cases) {
        const std::string problem = resolved({"first", "--pid", "1", "--structure", c.structure});
        if (c.said.empty()) {
            EXPECT_EQ(problem, "") << c.structure;
        } else {
            EXPECT_NE(problem.find(c.said), std::string::npos) << c.structure << ": " << problem;
        }
    }
}

TEST(CliRefusals, OptionEqualsValue) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> split;
    };
    const Case cases[] = {
        {{"first", "--pid=12", "--structure=10]"}, {"first", "--pid", "12", "--structure", "10]"}},
        {{"next", "--value1=", "--in", "a=b.txt"}, {"next", "--value1", "", "--in", "a=b.txt"}},
        {{"next", "--name", "--x=1", "--changes", "--cycles=2"},
         {"next", "--name", "--x=1", "--changes", "--cycles", "2"}},
        {{"first", "--value1=a=b"}, {"first", "--value1", "a=b"}},
        {{"--help"}, {"--help"}},
        {{"first", "-x=1"}, {"first", "-x=1"}},
    };
    for (const Case& c : cases) EXPECT_EQ(splitOptionValues(c.args), c.split) << c.args.back();
}

}  // namespace
}  // namespace corvane
