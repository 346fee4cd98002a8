// corvane-cli natively, as a newcomer types it: every mistake gets one line
// saying what was wrong and the exit code the README lists, never results
// or silence with exit code 0.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/tools/native_child.h"

namespace corvane {
namespace {

struct MemoryTarget : test::NativeChild {
    MemoryTarget() : NativeChild(CORVANE_MEMORY_TARGET_PATH) {}
};

constexpr const char* kPid = "PID";  // stands for the target's process id

test::ProgramRun runCli(std::vector<std::string> arguments, pid_t pid) {
    for (std::string& argument : arguments) {
        const std::size_t at = argument.find(kPid);
        if (at != std::string::npos) argument.replace(at, 3, std::to_string(pid));
    }
    return test::runProgram(CORVANE_CLI_PATH, arguments);
}

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class CliRefusalsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() / ("corvane_refusals_" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
        paths_ = (folder_ / "paths.txt").string();
        std::ofstream(paths_) << "memory_target+4E050]8]0\nmemory_target+4E058]0\n";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    MemoryTarget target_;
    std::filesystem::path folder_;
    std::string paths_;
};

TEST_F(CliRefusalsTest, EveryMistakeIsOneLineWithItsExitCode) {
    ASSERT_GT(target_.pid(), 0);
    const std::string missingFolder = (folder_ / "none" / "r.txt").string();
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string said;
    };
    const Case cases[] = {
        {{"first", "--pid", kPid, "--structure", "内存]", "--condition", "eq", "--value1", "abc"},
         2,
         "--value1 abc is not a decimal whole number for 长整型 (long), -2147483648 to 2147483647"},
        {{"first", "--pid", kPid, "--structure", "内存]", "--condition", "eq", "--value1", "0x7A4F"},
         2,
         "hexadecimal needs --base hex"},
        {{"first", "--pid", kPid, "--structure", "内存]", "--condition", "eq"}, 2, "等于 (eq) needs --value1"},
        {{"first", "--pid", kPid, "--structure", "内存]", "--type", "byte", "--condition", "eq", "--value1", "300"},
         2,
         "--value1 300 is out of range: a decimal whole number for 字节 (byte), 0 to 255"},
        {{"first", "--pid", kPid, "--structure", "内存]", "--type", "byte", "--condition", "eq", "--value1", "-1"},
         2,
         "--value1 -1 is out of range"},
        {{"first", "--pid", kPid, "--structure", "内存]", "--condition", "between", "--value1", "5"},
         2,
         "两者之间 (between) needs --value2"},
        {{"first", "--pid", kPid, "--structure", "内存]", "--condition", "5", "--value1", "10", "--value2", "5"},
         2,
         "needs --value1 at most --value2: 10 is above 5"},
        {{"first", "--pid", kPid, "--structure", "xyz]"}, 2, "structure row 1 (xyz]): the start offset xyz"},
        {{"first", "--pid", kPid, "--structure", "10]ghij*2*8]"}, 2, "structure row 2 (ghij*2*8]): the start offset"},
        {{"first", "--pid", "2147483647", "--structure", "10]"}, 3, "cannot open process 2147483647: no such process"},
        {{"pointers", "--pid", "2147483647", "--address", "10"}, 3, "no such process"},
        {{"first", "--pid", kPid, "--structure", "10]", "--out", missingFolder},
         2,
         "cannot write " + missingFolder + ": no such folder"},
        {{"first", "--pid", kPid, "--structure", "10]", "--out", folder_.string()}, 2, "it is a folder"},
        {{"pointers", "--pid", kPid, "--address", "10", "--out", missingFolder}, 2, "no such folder"},
        {{"next", "--pid", kPid, "--in", folder_.string()}, 2, "is a folder, not a results file"},
        {{"next", "--pid", kPid, "--in", (folder_ / "nothing.txt").string()}, 2, "cannot read"},
        {{"monitor", "--pid", kPid, "--in", "PATHS", "--cycles", "1"},
         2,
         "is a pointer paths file, not a results file"},
        {{"pointers", "--pid", kPid, "--address", "10", "--modules", "nosuch.so"},
         4,
         "the target has not loaded nosuch.so: nothing to scan from"},
        {{"first", "--pid", kPid, "--structure", "nosuch.so+10]0]"}, 4, "no module nosuch.so"},
        {{"frist", "--pid", kPid}, 2, "unknown command 'frist'"},
        {{"first", "--pid", kPid, "--structure", "10]", "--colour", "red"}, 2, "unknown option --colour"},
        {{"first", "--pid=", "--structure=10]"}, 2, "--pid must be a process id"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        for (std::string& arg : args)
            if (arg == "PATHS") arg = paths_;
        const test::ProgramRun run = runCli(args, target_.pid());
        const std::string what = args[0] + " " + args.back();
        EXPECT_EQ(run.exitCode, c.exitCode) << what << "\n" << run.errors;
        EXPECT_EQ(run.out, "") << what;
        EXPECT_EQ(run.errors.rfind("corvane-cli: ", 0), 0u) << what << ":\n" << run.errors;
        EXPECT_NE(run.errors.find(c.said), std::string::npos) << what << ":\n" << run.errors;
        // One line says it; a mistake in the command line adds where the
        // help is, and a search that ran its figures.
        const std::size_t lines = c.exitCode == 2 && run.errors.ends_with("\ncorvane-cli --help for more\n") ? 2
                                  : c.exitCode == 4 && args[0] == "first"                               ? 2
                                                                                                         : 1;
        EXPECT_EQ(lineCount(run.errors), lines) << what << ":\n" << run.errors;
    }
}

// A process whose memory this user may not read: exit code 3, not 0 results.
TEST_F(CliRefusalsTest, AnUnreadableProcessIsExitCodeThree) {
    if (const int maps = open("/proc/1/maps", O_RDONLY | O_CLOEXEC); maps >= 0) {
        close(maps);
        GTEST_SKIP() << "this user may read process 1";
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"first", "--pid", "1", "--structure", "10]"},
          std::vector<std::string>{"first", "--pid", "1", "--structure", "memory]", "--condition", "eq", "--value1",
                                   "1"},
          std::vector<std::string>{"pointers", "--pid", "1", "--address", "10"}}) {
        const test::ProgramRun run = runCli(args, target_.pid());
        EXPECT_EQ(run.exitCode, 3) << args.back();
        EXPECT_EQ(run.errors, "corvane-cli: cannot open process 1: permission denied\n");
    }
}

// The options written --option=value find what the spaced ones find, and a
// module --modules names beside one not loaded is scanned, the other named.
TEST_F(CliRefusalsTest, OptionEqualsValueAndModulesPartlyLoaded) {
    const std::string planted = std::to_string(0x5A5A1234);
    const test::ProgramRun spaced =
        runCli({"first", "--pid", kPid, "--structure", "memory*0*1]", "--condition", "eq", "--value1", planted},
               target_.pid());
    const test::ProgramRun joined = runCli(
        {"first", "--pid=PID", "--structure=memory*0*1]", "--condition=eq", "--value1=" + planted}, target_.pid());
    EXPECT_EQ(spaced.exitCode, 0) << spaced.errors;
    EXPECT_GE(lineCount(spaced.out), 6u);
    EXPECT_EQ(joined.exitCode, 0) << joined.errors;
    EXPECT_EQ(joined.out, spaced.out);

    const test::ProgramRun scan =
        runCli({"pointers", "--pid", kPid, "--address", test::hexText(target_.value("health")), "--depth", "1",
                "--modules", "nosuch.so,memory_target"},
               target_.pid());
    EXPECT_EQ(scan.exitCode, 0) << scan.errors;
    EXPECT_NE(scan.errors.find("corvane-cli: the target has not loaded nosuch.so; the scan takes the others\n"),
              std::string::npos)
        << scan.errors;
}

}  // namespace
}  // namespace corvane
