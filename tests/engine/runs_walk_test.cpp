// The walk of several runs' maps held against the plain reference of each
// run: its paths must be exactly those every run's reference finds. Runs
// are fake targets that share chains of offsets at addresses of their own,
// hold noise that differs, memory that is alike in every run, many pointers
// to one place, and modules some runs have not loaded.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "engine/pointers/run_map.h"
#include "engine/pointers/runs_walk.h"
#include "engine/text/hex_text.h"
#include "tests/support/fake_target.h"
#include "tests/support/reference_pointer_paths.h"

namespace corvane {
namespace {

using test::FakeTarget;

constexpr std::uint64_t kGame = 0x400000;
constexpr std::uint64_t kShared = 0x7000000;  // alike in every run
constexpr std::uint64_t kHeapSize = 0x4000;

struct Scenario {
    const char* name;
    unsigned runs;
    unsigned depth;
    std::int64_t minOffset;
    std::int64_t maxOffset;
    bool moveModules;   // each run loads its modules elsewhere
    bool crowdAtValue;  // many pointers hold the value's object
    unsigned noise;     // random pointers per run
    std::vector<std::int64_t> lastOffsets;
};

std::uint64_t nextRandom(std::uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// One run: the chains game+10 → +8 → +18 → value+20 and game+30 → +0 →
// value-8 at heap places of this run's own, the alike region's chain, and
// noise from this run's seed.
struct FakeRun {
    FakeTarget target;
    std::uint64_t value = 0;
};

void layOut(FakeRun& run, const Scenario& scenario, unsigned index) {
    FakeTarget& t = run.target;
    std::uint64_t state = 0x2545F4914F6CDD1Dull * (index + 1);
    const std::uint64_t game = kGame + (scenario.moveModules ? index * 0x100000 : 0);
    const std::uint64_t heap = 0x10000000 + index * 0x1000000;
    t.map(game, 0x1000);
    t.loadModule("game.exe", game, 0x1000);
    t.map(heap, kHeapSize);
    t.map(kShared, 0x1000);
    if (index == 0) {
        // A module only the first run has.
        t.map(0x600000, 0x1000);
        t.loadModule("extra.dll", 0x600000, 0x1000);
        t.writePointer(0x600000 + 0x40, heap + 0x100);
    }
    const auto object = [&](unsigned k) -> std::uint64_t {
        return heap + ((k * 0x1F0 + index * 0x88) % (kHeapSize - 0x100)) / 8 * 8;
    };
    for (unsigned k = 0; k < scenario.noise; ++k) {
        const std::uint64_t slot = heap + (nextRandom(state) % (kHeapSize / 8)) * 8;
        t.writePointer(slot, heap + (nextRandom(state) % (kHeapSize / 8)) * 8);
    }
    // The chains go over the noise.
    const std::uint64_t a = object(1);
    const std::uint64_t b = object(2);
    const std::uint64_t c = object(3);
    run.value = object(4) + 0x20;
    t.writePointer(game + 0x10, a);
    t.writePointer(a + 0x8, b);
    t.writePointer(b + 0x18, run.value - 0x20);
    t.writePointer(game + 0x30, c);
    t.writePointer(c, run.value + 8);
    // Memory alike in every run: a static leads into it, and it leads on.
    t.writePointer(game + 0x50, kShared + 0x100);
    t.writePointer(kShared + 0x108, kShared + 0x200);
    t.writePointer(kShared + 0x210, run.value - 0x10);
    t.writePointer(kShared + 0x300, kShared + 0x100);  // a loop
    if (scenario.crowdAtValue) {
        // Many words alike: some on paths from the statics, some not.
        for (unsigned k = 0; k < 8; ++k) {
            t.writePointer(game + 0x200 + 8 * k, object(10 + k));
            t.writePointer(object(10 + k) + 0x10, run.value - 0x20);
        }
        for (unsigned k = 0; k < 24; ++k) t.writePointer(heap + kHeapSize - 0x200 + 8 * k, run.value - 0x20);
    }
    // Noise in the statics too.
    for (unsigned k = 0; k < 6; ++k)
        t.writePointer(game + 0x400 + 8 * (nextRandom(state) % 0x80), heap + (nextRandom(state) % (kHeapSize / 8)) * 8);
}

std::set<std::string> intersection(const std::vector<std::set<std::string>>& sets) {
    std::set<std::string> common = sets.front();
    for (std::size_t i = 1; i < sets.size(); ++i) {
        std::set<std::string> both;
        std::set_intersection(common.begin(), common.end(), sets[i].begin(), sets[i].end(),
                              std::inserter(both, both.end()));
        common.swap(both);
    }
    return common;
}

std::string endingOf(const std::vector<std::int64_t>& lasts) {
    std::string tail;
    for (const std::int64_t offset : lasts) {
        tail += ']';
        appendHex(tail, static_cast<std::uint64_t>(offset));
    }
    return tail;
}

TEST(RunsWalk, FindsExactlyThePathsOfEveryRunsReference) {
    const Scenario scenarios[] = {
        {"two runs, modules in place", 2, 4, 0, 0x40, false, false, 120, {}},
        {"three runs, modules moved", 3, 5, 0, 0x40, true, false, 200, {}},
        {"negative offsets", 2, 4, -0x18, 0x30, false, false, 150, {}},
        {"many pointers at the value's object", 3, 4, 0, 0x40, true, true, 100, {}},
        {"the same run twice", 1, 4, 0, 0x40, false, true, 150, {}},
        {"last offsets", 3, 5, -0x10, 0x40, false, true, 200, {0x18, 0x20}},
        {"a single last offset", 2, 4, -0x10, 0x40, true, false, 150, {-0x8}},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const unsigned count = std::max(scenario.runs, 2u);
        std::vector<FakeRun> runs(count);
        std::vector<RunMap> maps(count);
        std::vector<std::set<std::string>> references;
        for (unsigned i = 0; i < count; ++i) {
            // "The same run twice" walks one run's map beside itself.
            const unsigned seed = scenario.runs == 1 ? 0 : i;
            layOut(runs[i], scenario, seed);
            const test::ReferencePaths reference = test::referencePointerPaths(
                runs[i].target, runs[i].target, runs[i].value, scenario.depth, scenario.minOffset, scenario.maxOffset);
            ASSERT_TRUE(reference.complete);
            references.push_back(reference.pointing);
            PointerScanProgress progress;
            ASSERT_TRUE(captureRunMap(runs[i].target, runs[i].target, runs[i].value, StopFlag(), progress, maps[i]));
        }
        std::set<std::string> expected = intersection(references);
        if (!scenario.lastOffsets.empty())
            std::erase_if(expected, [&](const std::string& p) { return !p.ends_with(endingOf(scenario.lastOffsets)); });
        ASSERT_FALSE(expected.empty()) << "the runs share no path: the scenario tests nothing";

        PointerScanSettings settings;
        settings.depth = scenario.depth;
        settings.minOffset = scenario.minOffset;
        settings.maxOffset = scenario.maxOffset;
        settings.limit = 1000000;
        settings.lastOffsets = scenario.lastOffsets;
        const auto walk = [&](auto&& runsGiven) {
            std::set<std::string> found;
            std::vector<std::size_t> lengths;
            PointerScanProgress progress;
            const PointerScanReport report = walkRuns(std::forward<decltype(runsGiven)>(runsGiven), settings,
                                                      StopFlag(), progress, [&](const PointerPath& path) {
                                                          EXPECT_TRUE(found.insert(pointerPathText(path)).second)
                                                              << "written twice: " << pointerPathText(path);
                                                          lengths.push_back(path.offsets.size());
                                                      });
            EXPECT_TRUE(std::is_sorted(lengths.begin(), lengths.end())) << "not shortest first";
            EXPECT_EQ(report.paths, found.size());
            EXPECT_FALSE(report.stopped);
            return found;
        };
        std::vector<const RunMap*> pointers;
        for (const RunMap& map : maps) pointers.push_back(&map);
        EXPECT_EQ(walk(pointers), expected);
        std::reverse(pointers.begin(), pointers.end());
        EXPECT_EQ(walk(pointers), expected) << "another order of the runs";
        // Letting the maps go as they are indexed changes nothing.
        EXPECT_EQ(walk(std::vector<RunMap>(maps)), expected);
        // One run alone, let go once read, is that run's scan.
        std::set<std::string> first = references.front();
        if (!scenario.lastOffsets.empty())
            std::erase_if(first, [&](const std::string& p) { return !p.ends_with(endingOf(scenario.lastOffsets)); });
        EXPECT_EQ(walk(std::vector<RunMap>{maps.front()}), first);
    }
}

TEST(RunsWalk, AModuleOneRunLacksHasNoStaticsThere) {
    Scenario scenario{"", 2, 3, 0, 0x40, false, false, 0, {}};
    std::vector<FakeRun> runs(2);
    std::vector<RunMap> maps(2);
    for (unsigned i = 0; i < 2; ++i) {
        layOut(runs[i], scenario, i);
        PointerScanProgress progress;
        ASSERT_TRUE(captureRunMap(runs[i].target, runs[i].target, runs[i].value, StopFlag(), progress, maps[i]));
    }
    // The first run's extra.dll+40 leads into its heap: alone, it makes
    // paths of that run; beside a run without the module, none.
    PointerScanSettings settings;
    settings.depth = 3;
    settings.maxOffset = 0x40;
    settings.modules = {"extra.dll"};
    std::size_t alone = 0;
    std::size_t both = 0;
    PointerScanProgress progress;
    // In the first run the object extra.dll+40 holds lies at the first
    // object's place, from which +8 leads on down.
    runs[0].target.writePointer(0x600000 + 0x40, runs[0].value - 0x20 - 0x18);
    PointerScanProgress again;
    ASSERT_TRUE(captureRunMap(runs[0].target, runs[0].target, runs[0].value, StopFlag(), again, maps[0]));
    walkRuns(std::vector<const RunMap*>{&maps[0]}, settings, StopFlag(), progress,
             [&](const PointerPath&) { ++alone; });
    walkRuns(std::vector<const RunMap*>{&maps[0], &maps[1]}, settings, StopFlag(), progress,
             [&](const PointerPath& path) {
                 ADD_FAILURE() << pointerPathText(path);
                 ++both;
             });
    EXPECT_GT(alone, 0u);
    EXPECT_EQ(both, 0u);
}

TEST(RunsWalk, AStopRaisedBeforeKeepsNothingAndSaysSo) {
    Scenario scenario{"", 2, 4, 0, 0x40, false, true, 100, {}};
    std::vector<FakeRun> runs(2);
    std::vector<RunMap> maps(2);
    for (unsigned i = 0; i < 2; ++i) {
        layOut(runs[i], scenario, i);
        PointerScanProgress progress;
        ASSERT_TRUE(captureRunMap(runs[i].target, runs[i].target, runs[i].value, StopFlag(), progress, maps[i]));
    }
    StopFlag stop;
    stop.raise();
    PointerScanProgress progress;
    std::size_t written = 0;
    const PointerScanReport report =
        walkRuns(std::move(maps), PointerScanSettings{}, stop, progress, [&](const PointerPath&) { ++written; });
    EXPECT_TRUE(report.stopped);
    EXPECT_TRUE(report.totalIsLowerBound);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(progress.phase.load(), PointerScanProgress::Done);
}

}  // namespace
}  // namespace corvane
