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
        {{"pointers", "--map", "a.map", "--address", "10"}, "needs --pid"},
        {{"pointers", "--map", "a.map", "--pid", "1"}, "needs --address"},
        {{"pointers", "--map", "a.map@12G"}, "FILE@HEX"},
        {{"pointers", "--map", "a.map", "--last-offsets", "2C,x"}, "--last-offsets must be"},
        {{"pointermap", "--pid", "1", "--address", "10"}, "needs --out"},
        {{"pointermap", "--pid", "1", "--address", "10", "--out", "x", "--depth", "3"}, "no scan options"},
    };
    for (const auto& c : cases) {
        const test::ProgramRun run = runCli(c.arguments);
        EXPECT_EQ(run.exitCode, 2) << c.says;
        EXPECT_NE(run.errors.find(c.says), std::string::npos) << run.errors;
    }
    const test::ProgramRun help = runCli({"--help"});
    EXPECT_NE(help.out.find("corvane-cli pointers --pid PID --in FILE --address HEX"), std::string::npos);
}

// The session of the README: a map of each of two runs, then a third run
// live, compared with both maps. The paths through the runs' own random
// links go; the planted chains stay, and a kept one finds the value.
TEST(CliPointers, MapsOfTwoRunsComparedWithTheLiveThird) {
    const auto temp = [](const std::string& name) {
        return (std::filesystem::temp_directory_path() / (name + std::to_string(getpid()))).string();
    };
    std::vector<std::string> maps;
    for (const char* seed : {"1", "2"}) {
        test::NativeChild target(CORVANE_POINTER_TARGET_PATH, seed);
        ASSERT_GT(target.pid(), 0);
        maps.push_back(temp(std::string("corvane_run") + seed + "_") + ".map");
        const test::ProgramRun saved = runCli({"pointermap", "--pid", std::to_string(target.pid()), "--address",
                                               foundInMemory(target), "--out", maps.back()});
        ASSERT_EQ(saved.exitCode, 0) << saved.errors;
        EXPECT_NE(saved.errors.find("pointer map: "), std::string::npos) << saved.errors;
        EXPECT_TRUE(std::filesystem::exists(maps.back()));
    }
    test::NativeChild target(CORVANE_POINTER_TARGET_PATH, "3");
    ASSERT_GT(target.pid(), 0);
    const std::vector<std::string> scanOptions = {"--depth", "6", "--max-offset", "40"};
    std::vector<std::string> arguments = {
        "pointers",           "--map", maps[0], "--map", maps[1], "--pid", std::to_string(target.pid()), "--address",
        foundInMemory(target)};
    arguments.insert(arguments.end(), scanOptions.begin(), scanOptions.end());
    const test::ProgramRun compared = runCli(arguments);
    ASSERT_EQ(compared.exitCode, 0) << compared.errors;
    const std::vector<std::string> kept = lines(compared.out);
    for (const std::string& root : plantedRoots(target)) EXPECT_TRUE(hasRoot(kept, root)) << root;
    EXPECT_NE(compared.errors.find("runs: 3 (2 maps and the live target)"), std::string::npos) << compared.errors;

    // Fewer than the live run alone has.
    std::vector<std::string> live = {"pointers", "--pid", std::to_string(target.pid()), "--address",
                                     test::hexText(target.value("value"))};
    live.insert(live.end(), scanOptions.begin(), scanOptions.end());
    const test::ProgramRun alone = runCli(live);
    ASSERT_EQ(alone.exitCode, 0) << alone.errors;
    const std::vector<std::string> aloneFound = lines(alone.out);
    EXPECT_LT(kept.size(), aloneFound.size());
    for (const std::string& path : kept)
        EXPECT_NE(std::find(aloneFound.begin(), aloneFound.end(), path), aloneFound.end()) << path;

    // The last offsets keep the paths that end with them.
    std::vector<std::string> ending = arguments;
    ending.insert(ending.end(), {"--last-offsets", "8"});
    const test::ProgramRun ended = runCli(ending);
    ASSERT_EQ(ended.exitCode, 0) << ended.errors;
    std::vector<std::string> expected;
    for (const std::string& path : kept)
        if (path.ends_with("]8")) expected.push_back(path);
    std::vector<std::string> endedFound = lines(ended.out);
    std::sort(expected.begin(), expected.end());
    std::sort(endedFound.begin(), endedFound.end());
    EXPECT_EQ(endedFound, expected);

    // A kept path of the planted chain of two levels, as a structure, finds the value.
    const std::string root = plantedRoots(target)[1];
    const auto chain = std::find_if(kept.begin(), kept.end(), [&](const std::string& p) {
        return p.starts_with(root) && std::count(p.begin(), p.end(), ']') == 2;
    });
    ASSERT_NE(chain, kept.end());
    const test::ProgramRun first =
        runCli({"first", "--pid", std::to_string(target.pid()), "--structure", *chain + "]", "--type", "long"});
    EXPECT_EQ(first.out, *chain + "\t31337\t" + test::hexText(target.value("value")) + "\n") << first.errors;
    for (const std::string& map : maps) std::filesystem::remove(map);
}

// Files given in the wrong place, or damaged: one line naming the file and
// what it is, exit code 2.
TEST(CliPointers, FilesThatAreNotWhatTheOptionTakes) {
    test::NativeChild target(CORVANE_POINTER_TARGET_PATH, "1");
    ASSERT_GT(target.pid(), 0);
    const std::string pid = std::to_string(target.pid());
    const std::string address = test::hexText(target.value("value"));
    const std::string base = (std::filesystem::temp_directory_path() / ("corvane_wrong_" + pid)).string();
    const std::string map = base + ".map";
    ASSERT_EQ(runCli({"pointermap", "--pid", pid, "--address", address, "--out", map}).exitCode, 0);
    const std::string bytes = readFile(map);
    const std::string results = base + ".results";
    std::ofstream(results, std::ios::binary) << "7F0010]8\t31337\t7F0018\n";
    const std::string paths = base + ".paths";
    std::ofstream(paths, std::ios::binary) << "pointer_target+4080]8\n";
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(base + name, std::ios::binary) << text;
        return base + name;
    };
    std::string otherVersion = bytes;
    otherVersion[16] = 9;
    std::string flipped = bytes;
    flipped[bytes.size() / 2] = static_cast<char>(flipped[bytes.size() / 2] ^ 0x20);
    const struct {
        std::vector<std::string> arguments;
        std::string file;
        const char* says;
    } cases[] = {
        {{"--in", results, "--pid", pid, "--address", address}, results, "a results file, not a paths file"},
        {{"--in", map, "--pid", pid, "--address", address}, map, "a pointer map, not a paths file"},
        {{"--in", write(".snap", "CORVANE-SNAPSHOT\1\0\0\0"), "--pid", pid, "--address", address},
         base + ".snap",
         "a snapshot file, not a paths file"},
        {{"--in", write(".bad1", "pointer_target+10]8\n]]]]+++\n"), "--pid", pid, "--address", address},
         base + ".bad1",
         "line 2 is not a path"},
        {{"--in", write(".bad2", "pointer_target+10]8]111112222233333444445\n"), "--pid", pid, "--address", address},
         base + ".bad2",
         "line 1 is not a path"},
        {{"--map", paths}, paths, "a paths file, not a pointer map"},
        {{"--map", results}, results, "a results file, not a pointer map"},
        {{"--map", write(".cut", bytes.substr(0, 40))}, base + ".cut", "cut short"},
        {{"--map", write(".cut2", bytes.substr(0, bytes.size() - 100))}, base + ".cut2", "cut short"},
        {{"--map", write(".flip", flipped)}, base + ".flip", "damaged"},
        {{"--map", write(".ver", otherVersion)}, base + ".ver", "version 9"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"pointers"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const test::ProgramRun run = runCli(arguments);
        EXPECT_EQ(run.exitCode, 2) << c.says << ": " << run.errors;
        EXPECT_NE(run.errors.find(c.file + ": "), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find(c.says), std::string::npos) << run.errors;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    for (const char* name : {".map", ".results", ".paths", ".snap", ".bad1", ".bad2", ".cut", ".cut2", ".flip", ".ver"})
        std::filesystem::remove(base + name);
}

}  // namespace
}  // namespace corvane
