// corvane-cli natively against a process searched by its module: a first
// search from a settings section, then the process restarts (its image and
// heap elsewhere) and both a next search over the results file and a first
// search from the same settings find the values at their new addresses.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings_record.h"
#include "tests/support/spawned_process.h"

extern char** environ;

namespace corvane {
namespace {

constexpr int kSlots = 3;

using ModuleTarget = test::SpawnedTarget;
using CliRun = test::ProgramRun;

CliRun runCli(const std::vector<std::string>& arguments) { return test::runProgram(CORVANE_CLI_PATH, arguments); }

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

    auto target = std::make_unique<ModuleTarget>(CORVANE_MODULE_TARGET_PATH);
    ASSERT_GT(target->pid(), 0);
    const std::string structure = "module_target+" + hex(target->value("moduleTable")) + "*3*8]0]";
    ASSERT_TRUE(writeSettingsRecord(settings.u16string(), "module_target", {structure, "2", "0", "0", "", ""}));
    const std::vector<std::string> fromSettings{"--settings", settings.string(), "--name", "module_target"};

    auto first = std::vector<std::string>{"first", "--pid", std::to_string(target->pid()), "--out", results};
    first.insert(first.end(), fromSettings.begin(), fromSettings.end());
    const CliRun found = runCli(first);
    ASSERT_EQ(found.exitCode, 0) << found.errors;
    std::ifstream saved(results, std::ios::binary);
    std::stringstream content;
    content << saved.rdbuf();
    EXPECT_EQ(content.str(), tableLines(*target));
    const std::uint64_t oldObject = target->value("object0");
    const std::uint64_t oldBase = target->value("base");

    target = std::make_unique<ModuleTarget>(CORVANE_MODULE_TARGET_PATH);
    ASSERT_GT(target->pid(), 0);
    // Address space layout randomisation moves the image and the objects:
    // the old addresses mean nothing now.
    EXPECT_NE(target->value("base"), oldBase);
    EXPECT_NE(target->value("object0"), oldObject);
    const CliRun next = runCli({"next", "--pid", std::to_string(target->pid()), "--in", results});
    EXPECT_EQ(next.exitCode, 0) << next.errors;
    EXPECT_EQ(next.out, tableLines(*target));

    auto again = std::vector<std::string>{"first", "--pid", std::to_string(target->pid())};
    again.insert(again.end(), fromSettings.begin(), fromSettings.end());
    const CliRun refound = runCli(again);
    EXPECT_EQ(refound.exitCode, 0) << refound.errors;
    EXPECT_EQ(refound.out, tableLines(*target));

    const CliRun monitor =
        runCli({"monitor", "--pid", std::to_string(target->pid()), "--in", results, "--cycles", "1"});
    EXPECT_EQ(monitor.exitCode, 0) << monitor.errors;
    EXPECT_EQ(monitor.out, "# cycle 1\n" + tableLines(*target));

    const CliRun missing = runCli({"first", "--pid", std::to_string(target->pid()), "--structure", "nosuch.so+10]0]"});
    EXPECT_EQ(missing.exitCode, 4);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.errors.find("no module nosuch.so"), std::string::npos) << missing.errors;

    std::filesystem::remove(settings);
    std::filesystem::remove(results);
}

}  // namespace
}  // namespace corvane
