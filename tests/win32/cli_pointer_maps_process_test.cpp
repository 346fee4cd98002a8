// Pointer maps of three runs of the sample target, whose game heap lies
// elsewhere after every start: the paths valid in every run are the lasting
// one (and at most a few more), where one run alone has thousands; none of
// the paths its seed planted for one run survives, and a search through the
// lasting path finds the gold in the live run.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/win32/cli_run.h"
#include "tools/sample_target/sample_heap.h"
#include "tools/sample_target/sample_process.h"

namespace corvane {
namespace {

const std::string kModule = "sample_target.exe";
constexpr unsigned kPointerWidth = 8;

std::string hex(std::uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        all.push_back(line);
        at = end + 1;
    }
    return all;
}

bool holds(const std::vector<std::string>& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

// What a run leaves for the comparison: where its gold was, and the paths
// that reached it in that run only.
struct RunSeen {
    std::uint64_t gold = 0;
    std::uint64_t heapStatics = 0;
    std::vector<std::string> oneRunPaths;
};

RunSeen seen(const sample::SampleProcess& process, std::uint32_t seed) {
    RunSeen run;
    run.gold = process.value("gold");
    run.heapStatics = process.value("heapStatics");
    run.oneRunPaths =
        sample::oneRunGoldPaths(kModule, run.heapStatics, process.value("entityTable"), kPointerWidth, seed);
    return run;
}

TEST(CliPointerMapsProcess, ThreeRunsKeepTheLastingPathAndDropEveryOneRunPath) {
    const std::uint32_t seeds[] = {1, 2, 3};
    std::vector<RunSeen> runs;
    std::vector<std::wstring> maps;
    std::unique_ptr<sample::SampleProcess> live;
    for (const std::uint32_t seed : seeds) {
        live.reset();  // a restart: the run before has ended
        std::string why;
        live = sample::SampleProcess::start(false, false, why, false, seed);
        ASSERT_TRUE(live) << why;
        runs.push_back(seen(*live, seed));
        if (runs.size() == std::size(seeds)) break;  // the last run stays live
        maps.push_back(sample::builtProgramPath(L"cli_pointer_maps_run") + std::to_wstring(runs.size()) + L".map");
        const CliRun saved = runCli(L"pointermap --pid " + std::to_wstring(live->pid()) + L" --address " +
                                        wide(hex(runs.back().gold)) + L" --out \"" + maps.back() + L"\"",
                                    true);
        ASSERT_EQ(saved.exitCode, 0u) << saved.out;
        EXPECT_NE(saved.out.find("pointer map: "), std::string::npos) << saved.out;
    }
    const RunSeen& last = runs.back();
    for (std::size_t i = 0; i + 1 < runs.size(); ++i) {
        EXPECT_NE(runs[i].gold, last.gold) << "run " << i + 1 << " laid its heap out as the last did";
        EXPECT_EQ(runs[i].heapStatics, last.heapStatics) << "the statics lie in the image, the same in every run";
    }
    const std::string lasting = sample::lastingGoldPath(kModule, last.heapStatics, kPointerWidth);
    const std::wstring liveRun = L" --pid " + std::to_wstring(live->pid()) + L" --address " + wide(hex(last.gold));

    // One run alone: the lasting path among many, its own planted ones too.
    const CliRun single = runCli(L"pointers" + liveRun);
    ASSERT_EQ(single.exitCode, 0u);
    const std::vector<std::string> oneRun = lines(single.out);
    EXPECT_GT(oneRun.size(), 100u);
    EXPECT_TRUE(holds(oneRun, lasting)) << lasting;
    for (const std::string& path : last.oneRunPaths) EXPECT_TRUE(holds(oneRun, path)) << path;

    // The two maps and the live run: the lasting path, no path of one run.
    const std::wstring out = sample::builtProgramPath(L"cli_pointer_maps_lasting.txt");
    const CliRun compared = runCli(
        L"pointers --map \"" + maps[0] + L"\" --map \"" + maps[1] + L"\"" + liveRun + L" --out \"" + out + L"\"", true);
    ASSERT_EQ(compared.exitCode, 0u) << compared.out;
    EXPECT_NE(compared.out.find("runs: 3 (2 maps and the live target)"), std::string::npos) << compared.out;
    std::ifstream file(std::filesystem::path(out), std::ios::binary);
    const std::vector<std::string> kept =
        lines(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
    file.close();
    EXPECT_LE(kept.size(), 10u) << compared.out;
    EXPECT_TRUE(holds(kept, lasting)) << lasting << " not in:\n" << compared.out;
    for (const RunSeen& run : runs)
        for (const std::string& path : run.oneRunPaths) EXPECT_FALSE(holds(kept, path)) << path;
    for (const std::string& path : kept) EXPECT_TRUE(holds(oneRun, path)) << path << " is no path of the live run";

    // The lasting path as a structure finds the gold of the live run.
    const CliRun first =
        runCli(L"first --pid " + std::to_wstring(live->pid()) + L" --structure " + wide(lasting) + L"] --type long");
    EXPECT_EQ(first.exitCode, 0u);
    EXPECT_EQ(first.out, lasting + "\t" + std::to_string(sample::kGold) + "\t" + hex(last.gold) + "\n");
    DeleteFileW(out.c_str());
    for (const std::wstring& map : maps) DeleteFileW(map.c_str());
}

}  // namespace
}  // namespace corvane
