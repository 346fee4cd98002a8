// corvane-cli natively against a process searched by its module: a first
// search from a settings section, then the process restarts (its image and
// heap elsewhere) and both a next search over the results file and a first
// search from the same settings find the values at their new addresses.

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings_record.h"
#include "tests/tools/native_child.h"

namespace corvane {
namespace {

constexpr int kSlots = 3;

// The target, with its input held open: it ends when the pipe closes.
struct ModuleTarget : test::NativeChild {
    ModuleTarget() : NativeChild(CORVANE_MODULE_TARGET_PATH) {}
};

test::ProgramRun runCli(const std::vector<std::string>& arguments) {
    return test::runProgram(CORVANE_CLI_PATH, arguments);
}

std::string hex(std::uint64_t value) { return test::hexText(value); }

// What the module table gives in `target`, as the results file holds it.
std::string tableLines(const ModuleTarget& target) {
    std::string lines;
    for (int i = 0; i < kSlots; ++i)
        lines += "module_target+" + hex(target.value("moduleTable") + 8 * static_cast<unsigned>(i)) + "]0\t" +
                 std::to_string(2000 + i) + "\t" + hex(target.value("object" + std::to_string(i))) + "\n";
    return lines;
}

TEST(CliModule, AModuleStructureFindsItsValuesAfterARestart) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string tag = std::to_string(getpid());
    const std::filesystem::path settings = folder / ("corvane_module_" + tag + ".ini");
    const std::string results = (folder / ("corvane_module_" + tag + ".txt")).string();

    auto target = std::make_unique<ModuleTarget>();
    ASSERT_GT(target->pid(), 0);
    const std::string structure = "module_target+" + hex(target->value("moduleTable")) + "*3*8]0]";
    ASSERT_TRUE(writeSettingsRecord(settings.u16string(), "module_target", {structure, "2", "0", "0", "", ""}));
    const std::vector<std::string> fromSettings{"--settings", settings.string(), "--name", "module_target"};

    auto first = std::vector<std::string>{"first", "--pid", std::to_string(target->pid()), "--out", results};
    first.insert(first.end(), fromSettings.begin(), fromSettings.end());
    const test::ProgramRun found = runCli(first);
    ASSERT_EQ(found.exitCode, 0) << found.errors;
    std::ifstream saved(results, std::ios::binary);
    std::stringstream content;
    content << saved.rdbuf();
    EXPECT_EQ(content.str(), tableLines(*target));
    const std::uint64_t oldObject = target->value("object0");
    const std::uint64_t oldBase = target->value("base");

    target = std::make_unique<ModuleTarget>();
    ASSERT_GT(target->pid(), 0);
    // Address space layout randomisation moves the image and the objects:
    // the old addresses mean nothing now.
    EXPECT_NE(target->value("base"), oldBase);
    EXPECT_NE(target->value("object0"), oldObject);
    const test::ProgramRun next = runCli({"next", "--pid", std::to_string(target->pid()), "--in", results});
    EXPECT_EQ(next.exitCode, 0) << next.errors;
    EXPECT_EQ(next.out, tableLines(*target));

    auto again = std::vector<std::string>{"first", "--pid", std::to_string(target->pid())};
    again.insert(again.end(), fromSettings.begin(), fromSettings.end());
    const test::ProgramRun refound = runCli(again);
    EXPECT_EQ(refound.exitCode, 0) << refound.errors;
    EXPECT_EQ(refound.out, tableLines(*target));

    const test::ProgramRun monitor =
        runCli({"monitor", "--pid", std::to_string(target->pid()), "--in", results, "--cycles", "1"});
    EXPECT_EQ(monitor.exitCode, 0) << monitor.errors;
    EXPECT_EQ(monitor.out, "# cycle 1\n" + tableLines(*target));

    const test::ProgramRun missing =
        runCli({"first", "--pid", std::to_string(target->pid()), "--structure", "nosuch.so+10]0]"});
    EXPECT_EQ(missing.exitCode, 4);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.errors.find("no module nosuch.so"), std::string::npos) << missing.errors;

    std::filesystem::remove(settings);
    std::filesystem::remove(results);
}

// monitor --changes prints only the rows whose value or address differ from
// the cycle before: the first cycle against the file, the next against the
// first. Each line is the results line led by the cycle's time.
TEST(CliModule, MonitorChangesPrintsOnlyTheRowsThatChanged) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string results = (folder / ("corvane_changes_" + std::to_string(getpid()) + ".txt")).string();
    const auto target = std::make_unique<ModuleTarget>();
    ASSERT_GT(target->pid(), 0);
    const std::string current = tableLines(*target);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < current.size();) {
        const std::size_t end = current.find('\n', at) + 1;
        lines.push_back(current.substr(at, end - at));
        at = end;
    }
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kSlots));
    // Row 1 listed with another value, row 2 at another address.
    std::string stale = lines[1];
    stale.replace(stale.find('\t') + 1, stale.rfind('\t') - stale.find('\t') - 1, "9999");
    std::string moved = lines[2];
    moved.replace(moved.rfind('\t') + 1, std::string::npos, "10\n");
    {
        std::ofstream file(results, std::ios::binary);
        file << lines[0] << stale << moved;
    }
    const std::string pid = std::to_string(target->pid());
    const test::ProgramRun changes = runCli({"monitor", "--pid", pid, "--in", results, "--cycles", "3", "--changes"});
    EXPECT_EQ(changes.exitCode, 0) << changes.errors;
    std::vector<std::string> printed;
    std::istringstream out(changes.out);
    for (std::string line; std::getline(out, line);) printed.push_back(line + "\n");
    ASSERT_EQ(printed.size(), 2u) << changes.out;
    for (std::size_t i = 0; i < printed.size(); ++i) {
        const std::size_t tab = printed[i].find('\t');
        ASSERT_NE(tab, std::string::npos) << printed[i];
        EXPECT_EQ(printed[i].find_first_not_of("0123456789"), tab) << "the cycle's time: " << printed[i];
        EXPECT_EQ(printed[i].substr(tab + 1), lines[i + 1]);
    }

    // Nothing changed since the file: nothing printed, every cycle.
    {
        std::ofstream file(results, std::ios::binary);
        file << current;
    }
    const test::ProgramRun still = runCli({"monitor", "--pid", pid, "--in", results, "--cycles", "2", "--changes"});
    EXPECT_EQ(still.exitCode, 0) << still.errors;
    EXPECT_EQ(still.out, "");
    std::filesystem::remove(results);
}

}  // namespace
}  // namespace corvane
