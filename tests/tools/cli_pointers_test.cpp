// corvane-cli pointers natively: a scan of a real process, a restart that
// puts its objects elsewhere and links them otherwise, a rescan that keeps the
// planted chains, and a first search through a kept path.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/search/path_table.h"
#include "tests/tools/native_child.h"

namespace corvane {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

test::ProgramRun runCli(const std::vector<std::string>& arguments) {
    return test::runProgram(CORVANE_CLI_PATH, arguments);
}

// The planted chains' roots: one path each, of 1 to 6 levels.
std::vector<std::string> plantedRoots(const test::NativeChild& target) {
    std::vector<std::string> roots;
    for (std::uint64_t depth = 1; depth <= 6; ++depth)
        roots.push_back("pointer_target+" +
                        test::hexText(target.value("table") + 8 * (target.value("rootSlot") + depth)) + "]");
    return roots;
}

bool hasRoot(const std::vector<std::string>& paths, const std::string& root) {
    return std::any_of(paths.begin(), paths.end(), [&](const std::string& p) { return p.starts_with(root); });
}

// Found as a newcomer finds it: all of memory for the value, which lists the
// target's field among its rows.
std::string foundInMemory(const test::NativeChild& target) {
    const test::ProgramRun first = runCli({"first", "--pid", std::to_string(target.pid()), "--structure", "内存]",
                                           "--type", "long", "--condition", "eq", "--value1", "31337"});
    const std::string address = test::hexText(target.value("value"));
    EXPECT_EQ(first.exitCode, 0) << first.errors;
    const std::vector<std::string> rows = lines(first.out);
    EXPECT_NE(std::find(rows.begin(), rows.end(), address + "\t31337\t" + address), rows.end()) << first.out;
    return address;
}

TEST(CliPointers, ScanRestartRescanAndSearchThroughAKeptPath) {
    const std::string file =
        (std::filesystem::temp_directory_path() / ("corvane_pointers_" + std::to_string(getpid()) + ".txt")).string();
    std::vector<std::string> scanned;
    {
        test::NativeChild target(CORVANE_POINTER_TARGET_PATH, "1");
        ASSERT_GT(target.pid(), 0);
        const test::ProgramRun scan =
            runCli({"pointers", "--pid", std::to_string(target.pid()), "--address", foundInMemory(target), "--depth",
                    "6", "--max-offset", "100", "--out", file});
        ASSERT_EQ(scan.exitCode, 0) << scan.errors;
        EXPECT_EQ(scan.out, "");
        for (const char* figure : {"regions: ", "pointers mapped: ", " written, ", " in all", "time: map "})
            EXPECT_NE(scan.errors.find(figure), std::string::npos) << figure << " not in:\n" << scan.errors;
        scanned = lines(readFile(file));
        for (const std::string& root : plantedRoots(target)) EXPECT_TRUE(hasRoot(scanned, root)) << root;
        // Shortest first.
        for (std::size_t i = 1; i < scanned.size(); ++i)
            EXPECT_LE(std::count(scanned[i - 1].begin(), scanned[i - 1].end(), ']'),
                      std::count(scanned[i].begin(), scanned[i].end(), ']'));

        // The limit: the first lines of the whole scan, and the count of all.
        const test::ProgramRun limited =
            runCli({"pointers", "--pid", std::to_string(target.pid()), "--address",
                    test::hexText(target.value("value")), "--depth", "6", "--max-offset", "100", "--limit", "3"});
        ASSERT_EQ(limited.exitCode, 0) << limited.errors;
        EXPECT_EQ(lines(limited.out), std::vector<std::string>(scanned.begin(), scanned.begin() + 3));
        // Its levels are not all built, so the count is a lower bound.
        EXPECT_NE(limited.errors.find("3 written, at least "), std::string::npos) << limited.errors;
    }

    // Restarted: the objects are elsewhere and linked otherwise; the chains
    // from the table are as before.
    test::NativeChild target(CORVANE_POINTER_TARGET_PATH, "2");
    ASSERT_GT(target.pid(), 0);
    const test::ProgramRun rescan =
        runCli({"pointers", "--pid", std::to_string(target.pid()), "--in", file, "--address", foundInMemory(target)});
    ASSERT_EQ(rescan.exitCode, 0) << rescan.errors;
    const std::vector<std::string> kept = lines(rescan.out);
    for (const std::string& root : plantedRoots(target)) EXPECT_TRUE(hasRoot(kept, root)) << root;
    EXPECT_LT(kept.size(), scanned.size()) << "paths through the old random links should have gone";
    for (const std::string& path : kept)
        EXPECT_NE(std::find(scanned.begin(), scanned.end(), path), scanned.end()) << path;
    EXPECT_NE(rescan.errors.find(std::to_string(kept.size()) + " of " + std::to_string(scanned.size()) + " kept"),
              std::string::npos)
        << rescan.errors;

    // The deepest kept path, as a structure, finds the value.
    const std::string path = *std::max_element(kept.begin(), kept.end(), [](const auto& a, const auto& b) {
        return std::count(a.begin(), a.end(), ']') < std::count(b.begin(), b.end(), ']');
    });
    const test::ProgramRun first =
        runCli({"first", "--pid", std::to_string(target.pid()), "--structure", path + "]", "--type", "long"});
    ASSERT_EQ(first.exitCode, 0) << first.errors;
    EXPECT_EQ(first.out, path + "\t31337\t" + test::hexText(target.value("value")) + "\n");

    // A module the target has not loaded drops its paths, and is said.
    std::ofstream(file, std::ios::binary) << "nosuch.so+10]8\n" << path << "\n";
    const test::ProgramRun missing = runCli({"pointers", "--pid", std::to_string(target.pid()), "--in", file,
                                             "--address", test::hexText(target.value("value"))});
    EXPECT_EQ(missing.exitCode, 4) << missing.errors;
    EXPECT_EQ(missing.out, path + "\n");
    EXPECT_NE(missing.errors.find("no module nosuch.so"), std::string::npos) << missing.errors;
    std::filesystem::remove(file);
}

TEST(CliPointers, CtrlCKeepsThePathsWrittenSoFarAsAWholeFile) {
    test::NativeChild target(CORVANE_POINTER_TARGET_PATH, "1");
    ASSERT_GT(target.pid(), 0);
    const std::string file =
        (std::filesystem::temp_directory_path() / ("corvane_pointers_stop_" + std::to_string(getpid()) + ".txt"))
            .string();
    const std::string errors = file + ".err";
    // Ten levels with offsets to 1000 through the random links: millions of
    // paths, far longer than the second it is given.
    const std::string pid = std::to_string(target.pid());
    const std::string address = test::hexText(target.value("value"));
    const char* argv[] = {CORVANE_CLI_PATH, "pointers",   "--pid", pid.c_str(),    "--address",
                          address.c_str(),  "--depth",    "10",    "--max-offset", "1000",
                          "--limit",        "1000000000", "--out", file.c_str(),   nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, CORVANE_CLI_PATH, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_TRUE(test::waitUntilCatchesInterrupt(child, std::chrono::milliseconds(1000)));
    ASSERT_EQ(kill(child, SIGINT), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string message = readFile(errors);
    ASSERT_TRUE(WIFEXITED(status)) << message;
    EXPECT_EQ(WEXITSTATUS(status), 0) << message;
    EXPECT_NE(message.find("(stopped)"), std::string::npos) << message;

    const std::string written = readFile(file);
    ASSERT_FALSE(written.empty()) << message;
    EXPECT_EQ(written.back(), '\n');
    const std::vector<std::string> paths = lines(written);
    EXPECT_NE(message.find(std::to_string(paths.size()) + " written"), std::string::npos) << message;
    std::vector<std::int64_t> offsets;
    std::string module;
    for (const std::string& path : paths) {
        ASSERT_TRUE(parsePathText(path, offsets, module)) << path;
        EXPECT_EQ(module, "pointer_target") << path;
    }
    std::filesystem::remove(file);
    std::filesystem::remove(errors);
}

TEST(CliPointers, UnusableCommandLines) {
    const struct {
        std::vector<std::string> arguments;
        const char* says;
    } cases[] = {
        {{"pointers", "--address", "1000"}, "--pid is required"},
        {{"pointers", "--pid", "1"}, "needs --address"},
        {{"pointers", "--pid", "1", "--address", "12G"}, "--address must be"},
        {{"pointers", "--pid", "1", "--address", "10", "--depth", "11"}, "--depth must be"},
        {{"pointers", "--pid", "1", "--address", "10", "--min-offset", "20", "--max-offset", "10"}, "above"},
        {{"pointers", "--pid", "1", "--address", "10", "--in", "x", "--depth", "3"}, "no scan options"},
        {{"pointers", "--pid", "1", "--address", "10", "--limit", "0"}, "--limit must be"},
    };
    for (const auto& c : cases) {
        const test::ProgramRun run = runCli(c.arguments);
        EXPECT_EQ(run.exitCode, 2) << c.says;
        EXPECT_NE(run.errors.find(c.says), std::string::npos) << run.errors;
    }
    const test::ProgramRun help = runCli({"--help"});
    EXPECT_NE(help.out.find("corvane-cli pointers --pid PID --in FILE --address HEX"), std::string::npos);
}

}  // namespace
}  // namespace corvane
