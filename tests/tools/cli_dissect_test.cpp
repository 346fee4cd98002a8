// corvane-cli dissect natively, against the dissection test program: the
// kinds it prints scored against the program's declared layout, the fields
// that tell its foes from its friends, paths and structures as the place to
// look, and the structures made there searched again by corvane-cli first.

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/dissect/dissect_view.h"
#include "engine/target/native/process_reader.h"
#include "engine/text/text_codec.h"
#include "tests/tools/dissect_sample.h"
#include "tests/tools/native_child.h"
#include "tools/cli/dissect_command.h"

namespace corvane {
namespace {

using Line = std::vector<std::string>;

std::vector<Line> fieldLines(const std::string& out) {
    std::vector<Line> lines;
    std::istringstream in(out);
    for (std::string text; std::getline(in, text);) {
        Line cells;
        std::istringstream row(text);
        for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
        lines.push_back(cells);
    }
    return lines;
}

test::ProgramRun dissect(const test::NativeChild& target, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"dissect", "--pid", std::to_string(target.pid())});
    return test::runProgram(CORVANE_CLI_PATH, arguments);
}

std::string entityList(const test::NativeChild& target, std::size_t from) {
    std::string list;
    for (std::size_t i = from; i < sample::kEntities; ++i)
        list += (list.empty() ? "" : ",") + test::hexText(target.value("entities") + i * sizeof(sample::Entity));
    return list;
}

// The kind of a declared field as a line shows it: the kind, or one side of "low/high".
std::string shownKind(const std::map<std::uint32_t, std::string>& kinds, std::uint32_t offset) {
    const auto found = kinds.find(offset & ~7u);
    if (found == kinds.end()) return "missing";
    const std::size_t slash = found->second.find('/');
    if (slash == std::string::npos) return found->second;
    return offset % 8 == 0 ? found->second.substr(0, slash) : found->second.substr(slash + 1);
}

TEST(DissectOptions, ArgumentsToOptionsOrAReason) {
    const struct {
        std::vector<std::string> args;
        bool usable;
    } cases[] = {
        {{"--pid", "7", "--address", "1A2B0"}, true},
        {{"--pid", "7", "--structure", "game.exe+10]8]", "--offset", "-40", "--size", "10000"}, true},
        {{"--pid", "7", "--address", "10", "--compare", "20,30", "--groups", "AB-"}, true},
        {{"--pid", "7"}, false},
        {{"--address", "10"}, false},
        {{"--pid", "7", "--address", "10", "--structure", "10]"}, false},
        {{"--pid", "7", "--address", "xyz"}, false},
        {{"--pid", "7", "--address", "10", "--size", "10001"}, false},
        {{"--pid", "7", "--address", "10", "--size", "0"}, false},
        {{"--pid", "7", "--address", "10", "--compare", "20,,30"}, false},
        {{"--pid", "7", "--address", "10", "--compare", "20", "--groups", "AC"}, false},
        {{"--pid", "7", "--address", "10", "--groups", "AB"}, false},
        {{"--pid", "7", "--address"}, false},
        {{"--pid", "7", "--address", "10", "--depth", "3"}, false},
    };
    for (const auto& c : cases) {
        DissectOptions options;
        std::string joined;
        for (const std::string& arg : c.args) joined += arg + " ";
        EXPECT_EQ(parseDissectOptions(c.args, options).empty(), c.usable) << joined;
    }
    DissectOptions options;
    ASSERT_EQ(parseDissectOptions({"--pid", "7", "--address", "10", "--offset", "-40", "--size", "20", "--compare",
                                   "20,0x30", "--groups", "AB-"},
                                  options),
              "");
    EXPECT_EQ(options.offset, -0x40);
    EXPECT_EQ(options.size, 0x20);
    EXPECT_EQ(options.compare, (std::vector<std::uint64_t>{0x20, 0x30}));
    EXPECT_EQ(options.groups, "AB-");
}

class CliDissectTest : public ::testing::Test {
protected:
    test::NativeChild target{CORVANE_DISSECT_TARGET_PATH};
};

TEST_F(CliDissectTest, KindsPrintedMatchTheDeclaredLayout) {
    ASSERT_NE(target.value("records"), 0u);
    int declared = 0;
    int right = 0;
    for (std::size_t i = 0; i < sample::kRecords; ++i) {
        const test::ProgramRun run = dissect(
            target, {"--address", test::hexText(target.value("records") + i * sizeof(sample::Record)), "--size", "C0"});
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        std::map<std::uint32_t, std::string> kinds;
        for (const Line& line : fieldLines(run.out)) {
            ASSERT_EQ(line.size(), 4u);
            EXPECT_EQ(line[3], "same");
            kinds[static_cast<std::uint32_t>(std::stoul(line[0], nullptr, 16))] = line[1];
        }
        ASSERT_EQ(kinds.size(), sizeof(sample::Record) / 8);
        for (const sample::DeclaredField& field : sample::kRecordLayout) {
            if (std::string(field.kind) == "flag") continue;
            ++declared;
            if (shownKind(kinds, field.offset) == field.kind) ++right;
        }
    }
    std::printf("record fields guessed right: %d of %d\n", right, declared);
    EXPECT_GE(100.0 * right / declared, 95.0);
}

TEST_F(CliDissectTest, GroupsKeepTheFieldsThatTellFoesFromFriends) {
    std::string groups;
    for (bool foe : sample::kFoe) groups += foe ? 'B' : 'A';
    const test::ProgramRun run = dissect(target, {"--address", test::hexText(target.value("entities")), "--size", "60",
                                                  "--compare", entityList(target, 1), "--groups", groups});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    std::vector<std::string> offsets;
    for (const Line& line : fieldLines(run.out)) {
        ASSERT_EQ(line.size(), 2 + sample::kEntities + 1);
        EXPECT_EQ(line.back(), "differ");
        offsets.push_back(line[0]);
    }
    EXPECT_EQ(offsets, (std::vector<std::string>{"30", "38", "40"}));

    // Without groups every field is listed, each instance's value in its column.
    const test::ProgramRun all = dissect(target, {"--address", test::hexText(target.value("entities")), "--size", "60",
                                                  "--compare", entityList(target, 1)});
    const std::vector<Line> lines = fieldLines(all.out);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[8][0], "40");
    EXPECT_EQ(lines[8][1], "double");
    for (std::size_t i = 0; i < sample::kEntities; ++i) EXPECT_EQ(lines[8][2 + i], sample::kFoe[i] ? "0.75" : "0.25");
    EXPECT_EQ(lines[9].back(), "same");
}

TEST_F(CliDissectTest, AStructureOrAPathIsWhereToLook) {
    LinuxProcessReader reader(target.pid());
    const auto base = reader.moduleBase("dissect_target");
    ASSERT_TRUE(base);
    const std::string world = "dissect_target+" + test::hexText(target.value("world") - *base);
    // The first entity through the world's pointer to it, from a negative offset on.
    const std::string entities = "dissect_target+" + test::hexText(target.value("world") + 0x10 - *base);
    for (const std::string& where : {entities + "]0]", entities + "]0"}) {
        SCOPED_TRACE(where);
        const test::ProgramRun run = dissect(target, {"--structure", where, "--offset", "-8", "--size", "18"});
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        const std::vector<Line> lines = fieldLines(run.out);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0][0], "-8");
        EXPECT_EQ(lines[1][0], "0");
        EXPECT_EQ(lines[1][1], "pointer");
        EXPECT_EQ(lines[1][2], world);
    }
    const test::ProgramRun many = dissect(target, {"--structure", world + "]10*8*96]"});
    EXPECT_EQ(many.exitCode, 2);
    EXPECT_NE(many.errors.find("more than one leaf"), std::string::npos);
    const test::ProgramRun nowhere = dissect(target, {"--structure", "nosuch.so+10]0]"});
    EXPECT_EQ(nowhere.exitCode, 4);
    const test::ProgramRun wrongGroups = dissect(target, {"--address", "1000", "--compare", "2000", "--groups", "AAB"});
    EXPECT_EQ(wrongGroups.exitCode, 2);
}

// The structures the view writes, searched by the command line's first search.
TEST_F(CliDissectTest, StructuresMadeFromAFieldAreFoundByAFirstSearch) {
    LinuxProcessReader reader(target.pid());
    ASSERT_EQ(reader.openTarget(), 0u);
    const auto base = reader.moduleBase("dissect_target");
    ASSERT_TRUE(base);
    const std::string world = "dissect_target+" + test::hexText(target.value("world") - *base);
    DissectView view(reader, &reader, &reader, systemTextCodec());
    ASSERT_EQ(view.open(world), PathProblem::None);
    view.setRange(0, sizeof(sample::World));
    view.refresh(0);
    ASSERT_TRUE(view.follow(2));
    view.setRange(0, sizeof(sample::Entity));
    for (std::size_t i = 1; i < sample::kEntities; ++i)
        view.addInstance(target.value("entities") + i * sizeof(sample::Entity));
    view.refresh(1);
    const MadeStructure made = view.makeStructure(8);  // aggression
    const std::string worldEntities =
        "dissect_target+" + test::hexText(target.value("world") + 0x10 - *base) + "]40*8*96]";
    EXPECT_EQ(made.text, worldEntities);
    EXPECT_EQ(made.type, ValueType::Double);
    const test::ProgramRun first =
        test::runProgram(CORVANE_CLI_PATH, {"first", "--pid", std::to_string(target.pid()), "--structure", made.text,
                                            "--type", "double", "--condition", "eq", "--value1", "0.75"});
    ASSERT_EQ(first.exitCode, 0) << first.errors;
    std::size_t found = 0;
    for (const Line& line : fieldLines(first.out)) found += line.size() >= 2 && line[1] == "0.75" ? 1u : 0u;
    EXPECT_EQ(found, 3u) << first.out;
}

}  // namespace
}  // namespace corvane
