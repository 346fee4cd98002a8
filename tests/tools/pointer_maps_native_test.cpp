// Pointer maps of real runs: a test program restarted three times, each run
// laying its links out anew from another seed while its planted chains stay.
// The paths the walk of the runs' maps finds are held against the plain
// reference search of each run: the walk of one map equals the live scan,
// the walk of several equals the intersection of the runs' path sets.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "engine/files/pointer_map_file.h"
#include "engine/pointers/pointer_scan.h"
#include "engine/pointers/run_map.h"
#include "engine/pointers/runs_walk.h"
#include "engine/target/native/process_reader.h"
#include "tests/support/reference_pointer_paths.h"
#include "tests/tools/native_child.h"

namespace corvane {
namespace {

constexpr unsigned kDepth = 6;
constexpr std::int64_t kMinOffset = -0x10;
constexpr std::int64_t kMaxOffset = 0x40;

PointerScanSettings settings() {
    PointerScanSettings s;
    s.depth = kDepth;
    s.minOffset = kMinOffset;
    s.maxOffset = kMaxOffset;
    s.limit = 10000000;
    return s;
}

std::string describe(const std::set<std::string>& paths) {
    std::string text;
    std::size_t shown = 0;
    for (const std::string& path : paths) {
        if (++shown > 30) return text + "  ...\n";
        text += "  " + path + "\n";
    }
    return text.empty() ? "  (none)\n" : text;
}

std::set<std::string> intersection(const std::set<std::string>& a, const std::set<std::string>& b) {
    std::set<std::string> both;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::inserter(both, both.end()));
    return both;
}

std::set<std::string> walk(const std::vector<const RunMap*>& runs, PointerScanSettings s = settings()) {
    StopFlag stop;
    PointerScanProgress progress;
    std::set<std::string> found;
    std::size_t written = 0;
    const PointerScanReport report = walkRuns(runs, s, stop, progress, [&](const PointerPath& path) {
        found.insert(pointerPathText(path));
        ++written;
    });
    EXPECT_EQ(written, found.size()) << "a path written twice";
    EXPECT_EQ(report.paths, written);
    return found;
}

// One run of the program: its map, its live scan and its reference paths,
// taken while it runs.
struct TargetRun {
    RunMap map;
    std::set<std::string> scanned;
    std::set<std::string> reference;
    std::uint64_t table = 0;
    std::uint64_t rootSlot = 0;
};

TargetRun runOnce(const char* seed) {
    TargetRun run;
    test::NativeChild child(CORVANE_POINTER_TARGET_PATH, seed);
    EXPECT_GT(child.pid(), 0);
    LinuxProcessReader reader(child.pid());
    EXPECT_EQ(reader.openTarget(), 0u);
    const std::uint64_t value = child.value("value");
    run.table = child.value("table");
    run.rootSlot = child.value("rootSlot");
    StopFlag stop;
    PointerScanProgress progress;
    EXPECT_TRUE(captureRunMap(reader, reader, value, stop, progress, run.map));
    PointerScanSettings s = settings();
    s.address = value;
    PointerScan scan(reader, reader);
    scan.run(s, [&](const PointerPath& path) { run.scanned.insert(pointerPathText(path)); });
    const auto reference = test::referencePointerPaths(reader, reader, value, kDepth, kMinOffset, kMaxOffset);
    EXPECT_TRUE(reference.complete);
    run.reference = reference.pointing;
    return run;
}

TEST(PointerMapsNative, ComparisonsEqualTheIntersectionOfTheRunsPaths) {
    const TargetRun runs[] = {runOnce("1"), runOnce("2"), runOnce("3")};
    for (const TargetRun& run : runs) {
        ASSERT_GT(run.map.size(), 0u);
        EXPECT_EQ(run.scanned, run.reference) << "the live scan strays from the reference";
        // One map: the live scan's paths.
        const std::set<std::string> one = walk({&run.map});
        EXPECT_EQ(one, run.scanned) << "one map, missing or extra";
        // Saved and read back, the same map.
        RunMap read;
        std::string error;
        ASSERT_TRUE(decodePointerMap(encodePointerMap(run.map), read, error)) << error;
        EXPECT_EQ(read, run.map);
    }
    // The runs differ: some paths hold in one run only.
    EXPECT_NE(runs[0].reference, runs[1].reference);

    const std::set<std::string> two = intersection(runs[0].reference, runs[1].reference);
    const std::set<std::string> three = intersection(two, runs[2].reference);
    // A map and another run, as the live target joins the maps.
    const std::set<std::string> walkedTwo = walk({&runs[0].map, &runs[1].map});
    EXPECT_EQ(walkedTwo, two) << "two runs, walked:\n" << describe(walkedTwo) << "expected:\n" << describe(two);
    const std::set<std::string> walkedThree = walk({&runs[0].map, &runs[1].map, &runs[2].map});
    EXPECT_EQ(walkedThree, three) << "three runs, walked:\n"
                                  << describe(walkedThree) << "expected:\n"
                                  << describe(three);
    // The order of the runs does not matter.
    EXPECT_EQ(walk({&runs[2].map, &runs[0].map, &runs[1].map}), three);

    // Every planted chain is among them, from the table's slots that stay.
    for (unsigned depth = 1; depth <= kDepth; ++depth) {
        const std::string root =
            "pointer_target+" + test::hexText(runs[0].table + 8 * (runs[0].rootSlot + depth)) + "]";
        const bool planted = std::any_of(walkedThree.begin(), walkedThree.end(), [&](const std::string& path) {
            return path.starts_with(root) && static_cast<unsigned>(std::count(path.begin(), path.end(), ']')) == depth;
        });
        EXPECT_TRUE(planted) << "no chain of " << depth << " levels from " << root;
    }

    // The last offsets keep the paths that end with them, and only those.
    for (const std::vector<std::int64_t>& lasts :
         {std::vector<std::int64_t>{0x10}, std::vector<std::int64_t>{0x8, 0x18}, std::vector<std::int64_t>{-0x8}}) {
        PointerScanSettings s = settings();
        s.lastOffsets = lasts;
        std::string tail;
        for (const std::int64_t offset : lasts) tail += "]" + test::hexText(static_cast<std::uint64_t>(offset));
        std::set<std::string> expected;
        for (const std::string& path : three)
            if (path.ends_with(tail)) expected.insert(path);
        EXPECT_EQ(walk({&runs[0].map, &runs[1].map, &runs[2].map}, s), expected) << tail;
    }

    // The module filter holds for maps as for scans.
    PointerScanSettings onlyLibc = settings();
    onlyLibc.modules = {"libc.so.6"};
    for (const std::string& path : walk({&runs[0].map, &runs[1].map}, onlyLibc))
        EXPECT_TRUE(path.starts_with("libc.so.6+")) << path;
}

TEST(PointerMapsNative, AMapSavedWhileStoppedIsNotWritten) {
    test::NativeChild child(CORVANE_POINTER_TARGET_PATH, "4");
    ASSERT_GT(child.pid(), 0);
    LinuxProcessReader reader(child.pid());
    ASSERT_EQ(reader.openTarget(), 0u);
    StopFlag stop;
    PointerScanProgress progress;
    RunMap map;
    stop.raise();
    EXPECT_FALSE(captureRunMap(reader, reader, child.value("value"), stop, progress, map));
    EXPECT_EQ(map.size(), 0u);
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "corvane_stopped.map";
    std::filesystem::remove(file);
    stop.clear();
    ASSERT_TRUE(captureRunMap(reader, reader, child.value("value"), stop, progress, map));
    stop.raise();
    EXPECT_EQ(savePointerMap(file, map, stop), "stopped");
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".partial"));
    stop.clear();
    ASSERT_EQ(savePointerMap(file, map, stop), "");
    RunMap read;
    EXPECT_EQ(loadPointerMap(file, read), "");
    EXPECT_EQ(read, map);
    EXPECT_LE(std::filesystem::file_size(file), 8 * map.size() + 4096) << "more than 8 bytes a pointer";
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace corvane
