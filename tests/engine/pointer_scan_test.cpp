// The pointer scan on the fake target: each rule of what a path is, the
// limit and the count, the stop, and the rescan after the target changed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>
#include <thread>
#include <set>
#include <string>
#include <vector>

#include "engine/pointers/pointer_rescan.h"
#include "engine/pointers/pointer_scan.h"
#include "engine/search/resolve_path.h"
#include "engine/search/search_engine.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/reference_pointer_paths.h"
#include "tests/support/test_sink.h"

namespace corvane {
namespace {

using test::FakeTarget;

constexpr std::uint64_t kGame = 0x400000;
constexpr std::uint64_t kLib = 0x7000000;
constexpr std::uint64_t kHeap = 0x10000000;

struct Scanned {
    std::vector<std::string> paths;
    PointerScanReport report;
};

Scanned scan(FakeTarget& target, const PointerScanSettings& settings) {
    PointerScan scanner(target, target);
    Scanned out;
    out.report = scanner.run(settings, [&](const PointerPath& path) { out.paths.push_back(pointerPathText(path)); });
    return out;
}

std::set<std::string> asSet(const std::vector<std::string>& paths) { return {paths.begin(), paths.end()}; }

std::string describe(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) text += "  " + path + "\n";
    return text.empty() ? "  (none)\n" : text;
}

// A module image of two pages and a heap page, as most cases need them.
class PointerScanTest : public ::testing::Test {
protected:
    PointerScanTest() {
        target.loadModule("game.exe", kGame, 0x2000);
        target.map(kGame, 0x2000);
        target.map(kHeap, 0x4000);
    }

    // The scan's paths, checked against the plain reference search first.
    std::vector<std::string> paths(const PointerScanSettings& settings) {
        const Scanned found = scan(target, settings);
        const auto reference = test::referencePointerPaths(target, target, settings.address, settings.depth,
                                                           settings.minOffset, settings.maxOffset, settings.modules);
        const std::set<std::string> got = asSet(found.paths);
        EXPECT_TRUE(std::includes(reference.all.begin(), reference.all.end(), got.begin(), got.end()))
            << "the scan wrote a path outside the definition:\n"
            << describe(found.paths);
        EXPECT_TRUE(std::includes(got.begin(), got.end(), reference.pointing.begin(), reference.pointing.end()))
            << "the scan missed a path; it wrote:\n"
            << describe(found.paths);
        return found.paths;
    }

    FakeTarget target;
};

TEST_F(PointerScanTest, FindsAStaticPointerToTheObjectAndItsTextWalksToTheAddress) {
    target.writePointer(kGame + 0x1A8, kHeap + 0x100);
    PointerScanSettings settings;
    settings.address = kHeap + 0x118;
    const auto found = paths(settings);
    ASSERT_EQ(found, std::vector<std::string>{"game.exe+1A8]18"});

    unsigned char byte = 0;
    std::uint64_t address = 0;
    ASSERT_TRUE(resolvePath(target, found[0], 1, &byte, address, &target));
    EXPECT_EQ(address, settings.address);
}

TEST_F(PointerScanTest, OnlyAlignedSlotsCount) {
    for (unsigned width : {8u, 4u}) {
        FakeTarget narrow(width);
        narrow.loadModule("game.exe", kGame, 0x1000);
        narrow.map(kGame, 0x1000);
        narrow.map(kHeap, 0x1000);
        const auto put = [&](std::uint64_t at, std::uint64_t value) {
            if (width == 8)
                narrow.writeValue<std::uint64_t>(at, value);
            else
                narrow.writeValue<std::uint32_t>(at, static_cast<std::uint32_t>(value));
        };
        put(kGame + 0x10, kHeap);              // aligned
        put(kGame + 0x20 + width / 2, kHeap);  // half a pointer off
        PointerScanSettings settings;
        settings.address = kHeap + 8;
        const Scanned found = scan(narrow, settings);
        EXPECT_EQ(found.paths, std::vector<std::string>{"game.exe+10]8"}) << "width " << width;
    }
}

TEST_F(PointerScanTest, StaticsAreTheChosenModulesImages) {
    // game.exe's slot points at the object; lib.dll's slot points just
    // below game.exe's, so through it lib.dll reaches the object too.
    target.loadModule("lib.dll", kLib, 0x1000);
    target.map(kLib, 0x1000);
    target.writePointer(kGame + 0x100, kHeap + 0x40);
    target.writePointer(kLib + 0x200, kGame + 0xF8);
    PointerScanSettings settings;
    settings.address = kHeap + 0x50;

    const struct {
        std::vector<std::string> modules;
        std::vector<std::string> expected;
    } cases[] = {
        // Every image is static: the path stops at game.exe's slot.
        {{}, {"game.exe+100]10"}},
        // game.exe is ordinary memory now, a level under lib.dll's slot.
        {{"LIB.DLL"}, {"lib.dll+200]8]10"}},
        {{"game.exe"}, {"game.exe+100]10"}},
        {{"other.dll"}, {}},
    };
    for (const auto& c : cases) {
        settings.modules = c.modules;
        EXPECT_EQ(paths(settings), c.expected) << "modules " << (c.modules.empty() ? "(all)" : c.modules[0]);
    }
}

TEST_F(PointerScanTest, ASlotPastTheImageIsNoStatic) {
    // The image ends at +0x2000; the page after it is mapped but belongs to
    // no module, so its pointer is an ordinary level with nothing above.
    target.map(kGame + 0x2000, 0x1000);
    target.writePointer(kGame + 0x2008, kHeap);
    target.writePointer(kGame + 0x1FF8, kHeap);
    PointerScanSettings settings;
    settings.address = kHeap + 0x20;
    EXPECT_EQ(paths(settings), std::vector<std::string>{"game.exe+1FF8]20"});
}

TEST_F(PointerScanTest, NegativeOffsetsNeedANegativeMinimum) {
    // The static points into the middle of the object, past the value.
    target.writePointer(kGame + 0x100, kHeap + 0x80);
    PointerScanSettings settings;
    settings.address = kHeap + 0x60;
    EXPECT_EQ(paths(settings), std::vector<std::string>{});
    settings.minOffset = -0x20;
    const auto found = paths(settings);
    ASSERT_EQ(found, std::vector<std::string>{"game.exe+100]FFFFFFFFFFFFFFE0"});
    unsigned char byte = 0;
    std::uint64_t address = 0;
    ASSERT_TRUE(resolvePath(target, found[0], 1, &byte, address, &target));
    EXPECT_EQ(address, settings.address);
    settings.minOffset = -0x1F;
    EXPECT_EQ(paths(settings), std::vector<std::string>{});
}

TEST_F(PointerScanTest, AnOffsetOnePastTheMaximumBreaksThePath) {
    target.writePointer(kGame + 0x100, kHeap);
    target.writePointer(kHeap + 0x1000, kHeap + 0x2000);
    target.writePointer(kGame + 0x108, kHeap + 0x3000 - 0x1001);
    PointerScanSettings settings;
    settings.address = kHeap + 0x3000;
    // kHeap + 0x2000 + 0x1000 reaches the address; kHeap + 0x1FFF does not.
    EXPECT_EQ(paths(settings), std::vector<std::string>{"game.exe+100]1000]1000"});
    settings.maxOffset = 0x1001;
    EXPECT_EQ(asSet(paths(settings)), (std::set<std::string>{"game.exe+100]1000]1000", "game.exe+108]1001"}));
    settings.maxOffset = 0xFFF;
    EXPECT_EQ(paths(settings), std::vector<std::string>{});
}

TEST_F(PointerScanTest, APathLongerThanTheDepthIsNotFound) {
    // game.exe+100 -> A, A+8 -> B, B+8 -> C, C+8 -> D, the value at D+10.
    const std::uint64_t objects[] = {kHeap, kHeap + 0x1000, kHeap + 0x2000, kHeap + 0x3000};
    target.writePointer(kGame + 0x100, objects[0]);
    for (int i = 0; i < 3; ++i) target.writePointer(objects[i] + 8, objects[i + 1]);
    PointerScanSettings settings;
    settings.address = objects[3] + 0x10;
    settings.maxOffset = 0x10;
    for (unsigned depth = 1; depth <= 5; ++depth) {
        settings.depth = depth;
        const auto found = paths(settings);
        if (depth < 4)
            EXPECT_EQ(found, std::vector<std::string>{}) << "depth " << depth;
        else
            EXPECT_EQ(found, std::vector<std::string>{"game.exe+100]8]8]8]10"}) << "depth " << depth;
    }
}

TEST_F(PointerScanTest, ALoopGivesNoPathThatMeetsASlotTwice) {
    // A and B point at each other; a static points at A, the value is in A.
    const std::uint64_t a = kHeap;
    const std::uint64_t b = kHeap + 0x1000;
    target.writePointer(kGame + 0x100, a);
    target.writePointer(a + 0x8, b);
    target.writePointer(b + 0x8, a);
    PointerScanSettings settings;
    settings.address = a + 0x20;
    settings.maxOffset = 0x20;
    settings.depth = 8;
    const auto found = paths(settings);
    // Shortest first, and past the loop once: A+8 -> B, B+8 -> A.
    EXPECT_EQ(found, (std::vector<std::string>{"game.exe+100]20", "game.exe+100]8]8]20"})) << describe(found);
}

TEST_F(PointerScanTest, TheLimitKeepsTheShortestAndTellsTheCount) {
    // Ten statics point at the object, and through a heap slot ten more.
    for (std::uint64_t i = 0; i < 10; ++i) target.writePointer(kGame + 0x100 + 8 * i, kHeap);
    for (std::uint64_t i = 0; i < 10; ++i) target.writePointer(kGame + 0x800 + 8 * i, kHeap + 0x1000);
    target.writePointer(kHeap + 0x1000, kHeap);
    PointerScanSettings settings;
    settings.address = kHeap + 0x10;
    settings.depth = 2;
    settings.maxOffset = 0x100;

    const Scanned all = scan(target, settings);
    EXPECT_EQ(all.paths.size(), 20u);
    EXPECT_EQ(all.report.total, 20u);
    EXPECT_FALSE(all.report.totalIsLowerBound);
    for (std::size_t i = 1; i < all.paths.size(); ++i)
        EXPECT_LE(std::count(all.paths[i - 1].begin(), all.paths[i - 1].end(), ']'),
                  std::count(all.paths[i].begin(), all.paths[i].end(), ']'))
            << describe(all.paths);

    const struct {
        std::uint64_t limit;
        std::uint64_t total;
        bool lowerBound;
    } cases[] = {
        {3, 10, true},    // stopped in the first level: at least its ten
        {10, 20, false},  // both levels built before the eleventh: the count is exact
        {15, 20, false},
        {20, 20, false},
    };
    for (const auto& c : cases) {
        settings.limit = c.limit;
        const Scanned some = scan(target, settings);
        EXPECT_EQ(some.paths.size(), std::min<std::uint64_t>(c.limit, 20)) << "limit " << c.limit;
        EXPECT_TRUE(std::equal(some.paths.begin(), some.paths.end(), all.paths.begin())) << "limit " << c.limit;
        EXPECT_EQ(some.report.total, c.total) << "limit " << c.limit;
        EXPECT_EQ(some.report.totalIsLowerBound, c.lowerBound) << "limit " << c.limit;
    }
}

TEST_F(PointerScanTest, FiguresCountRegionsBytesAndPointers) {
    target.writePointer(kGame + 0x100, kHeap);
    target.writePointer(kHeap + 0x100, kGame);
    PointerScanSettings settings;
    settings.address = kHeap;
    const Scanned found = scan(target, settings);
    EXPECT_EQ(found.report.regions, 2u);  // the image, the heap
    EXPECT_EQ(found.report.bytes, 0x6000u);
    EXPECT_EQ(found.report.pointers, 2u);
    EXPECT_EQ(found.report.paths, 1u);
}

TEST_F(PointerScanTest, AStopAnswersInEveryPhaseAndKeepsThePathsWritten) {
    for (std::uint64_t i = 0; i < 300; ++i) target.writePointer(kGame + 8 * i, kHeap);
    PointerScanSettings settings;
    settings.address = kHeap;

    PointerScan whileReading(target, target);
    target.onRead = [&] { whileReading.stop.raise(); };
    const PointerScanReport read = whileReading.run(settings, [](const PointerPath&) {});
    EXPECT_TRUE(read.stopped);
    EXPECT_EQ(read.paths, 0u);
    target.onRead = nullptr;

    PointerScan whileWriting(target, target);
    std::vector<std::string> written;
    const PointerScanReport paths = whileWriting.run(settings, [&](const PointerPath& path) {
        written.push_back(pointerPathText(path));
        if (written.size() == 5) whileWriting.stop.raise();
    });
    EXPECT_TRUE(paths.stopped);
    EXPECT_EQ(paths.paths, written.size());
    EXPECT_LT(written.size(), 300u);
    EXPECT_GE(written.size(), 5u);
}

TEST_F(PointerScanTest, RescanKeepsThePathsThatStillLead) {
    // Two objects each reached from a static; the value is in the first.
    target.loadModule("lib.dll", kLib, 0x1000);
    target.map(kLib, 0x1000);
    target.writePointer(kGame + 0x100, kHeap);
    target.writePointer(kHeap + 0x8, kHeap + 0x2000);
    target.writePointer(kLib + 0x10, kHeap + 0x2000);
    PointerScanSettings settings;
    settings.address = kHeap + 0x2010;
    const auto found = paths(settings);
    ASSERT_EQ(asSet(found), (std::set<std::string>{"lib.dll+10]10", "game.exe+100]8]10"}));

    const auto rescan = [&](std::uint64_t address, const std::vector<std::string>& texts) {
        std::vector<PointerPath> paths;
        for (const std::string& text : texts) paths.push_back(parsePointerPath(text).value());
        std::vector<PointerPath> kept;
        const StopFlag stop;
        const PointerRescanReport report = rescanPaths(target, &target, address, paths, stop, kept);
        EXPECT_EQ(report.kept + report.dropped, texts.size());
        std::vector<std::string> keptTexts;
        for (const PointerPath& path : kept) keptTexts.push_back(pointerPathText(path));
        return std::make_pair(keptTexts, report.missingModules);
    };
    // Unchanged: both kept, in their order.
    EXPECT_EQ(rescan(settings.address, found).first, found);

    // "Restarted": the object is elsewhere; game.exe's chain follows it, lib.dll's pointer still points at the old
    // place.
    target.writePointer(kHeap + 0x8, kHeap + 0x3000);
    EXPECT_EQ(rescan(kHeap + 0x3010, found).first, std::vector<std::string>{"game.exe+100]8]10"});

    // And lib.dll not loaded: its paths go, and it is named.
    target.writePointer(kLib + 0x10, kHeap + 0x3000);
    target.unloadModule("lib.dll");
    const auto [kept, missing] = rescan(kHeap + 0x3010, found);
    EXPECT_EQ(kept, std::vector<std::string>{"game.exe+100]8]10"});
    EXPECT_EQ(missing, std::vector<std::string>{"lib.dll"});
}

TEST_F(PointerScanTest, TwoThreadsFindWhatOneFindsInAHeapOfLinks) {
    // Objects of 0x40 bytes linking to each other at random, statics
    // pointing into them: broad levels, loops and shared slots.
    std::mt19937_64 random(23);
    target.map(kHeap, 0x40000);
    const auto object = [&] { return kHeap + 0x40 * (random() % 0x1000); };
    for (int i = 0; i < 40000; ++i) target.writePointer(object() + 8 * (random() % 8), object() + 8 * (random() % 8));
    for (std::uint64_t i = 0; i < 64; ++i) target.writePointer(kGame + 8 * i, object());
    PointerScanSettings settings;
    settings.address = object() + 0x10;
    // Objects far off, between and past which the sweeps of the statics
    // leap over the heap's slots: the first of each leads to the address,
    // the last to the first of the one before.
    std::uint64_t staticSlot = kGame + 0x400;
    std::uint64_t before = kHeap;
    for (const std::uint64_t far : {kHeap - 0x200000, kHeap + 0x400000, kHeap + 0x900000}) {
        target.map(far, 0x1000);
        for (std::uint64_t i = 0; i < 8; ++i) {
            target.writePointer(far + 0x100 * i, i == 0 ? settings.address - 0x10 : i == 7 ? before : object());
            target.writePointer(staticSlot, far + 0x100 * i);
            staticSlot += 8;
        }
        before = far;
    }
    settings.depth = 4;
    settings.maxOffset = 0x80;
    settings.minOffset = -0x20;
    settings.limit = 10000000;
    const std::vector<std::string> byOne = paths(settings);
    ASSERT_FALSE(byOne.empty());
    PointerScan twoThreads(target, target);
    twoThreads.twoThreadsFrom = 0;
    std::vector<std::string> byTwo;
    const PointerScanReport report =
        twoThreads.run(settings, [&](const PointerPath& path) { byTwo.push_back(pointerPathText(path)); });
    EXPECT_EQ(asSet(byTwo), asSet(byOne));
    EXPECT_EQ(report.paths, byOne.size());
    // And the same count of paths in all, each half's counts read in place.
    settings.limit = 10;
    const Scanned limited = scan(target, settings);
    PointerScan limitedByTwo(target, target);
    limitedByTwo.twoThreadsFrom = 0;
    const PointerScanReport counted = limitedByTwo.run(settings, [](const PointerPath&) {});
    EXPECT_EQ(counted.total, limited.report.total);
    EXPECT_EQ(counted.totalIsLowerBound, limited.report.totalIsLowerBound);
}

TEST(PointerScanWorker, NoSearchStartsWhileItRuns) {
    FakeTarget target;
    test::TestSink sink;
    const FakeTextCodec codec;
    SearchEngine engine(target, sink, codec);
    std::mutex gate;
    std::unique_lock hold(gate);
    ASSERT_TRUE(engine.startPointerScan([&] { const std::lock_guard wait(gate); }));
    EXPECT_FALSE(engine.busyCheck());
    EXPECT_FALSE(engine.startReformat());
    EXPECT_FALSE(engine.startPointerScan([] {}));
    hold.unlock();
    for (int i = 0; i < 1000 && !engine.busyCheck(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(engine.busyCheck());
}

}  // namespace
}  // namespace corvane
