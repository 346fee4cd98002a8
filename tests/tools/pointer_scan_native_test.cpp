// The pointer scan against a real process: its paths against the plain
// reference search, with chains planted from the image's .bss and random
// objects pointing at each other around them.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "engine/target/native/process_reader.h"
#include "engine/pointers/pointer_scan.h"
#include "tests/support/reference_pointer_paths.h"
#include "tests/tools/native_child.h"

namespace corvane {
namespace {

std::string describe(const std::set<std::string>& paths) {
    std::string text;
    std::size_t shown = 0;
    for (const std::string& path : paths) {
        if (++shown > 40) return text + "  ...\n";
        text += "  " + path + "\n";
    }
    return text.empty() ? "  (none)\n" : text;
}

TEST(PointerScanNative, FindsWhatThePlainSearchFindsAndNothingElse) {
    test::NativeChild target(CORVANE_POINTER_TARGET_PATH);
    ASSERT_GT(target.pid(), 0);
    LinuxProcessReader reader(target.pid());
    ASSERT_EQ(reader.openTarget(), 0u);
    const std::uint64_t value = target.value("value");
    ASSERT_NE(value, 0u);

    const struct {
        unsigned depth;
        std::int64_t minOffset;
        std::int64_t maxOffset;
    } cases[] = {{6, 0, 0x100}, {4, -0x40, 0x80}, {6, 0, 0x40}};
    for (const auto& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth) + ", offsets " + std::to_string(c.minOffset) + " to " +
                     std::to_string(c.maxOffset));
        PointerScanSettings settings;
        settings.address = value;
        settings.depth = c.depth;
        settings.minOffset = c.minOffset;
        settings.maxOffset = c.maxOffset;
        settings.limit = 10000000;
        PointerScan scan(reader, reader);
        std::set<std::string> found;
        const PointerScanReport report =
            scan.run(settings, [&](const PointerPath& path) { found.insert(pointerPathText(path)); });
        EXPECT_EQ(report.paths, found.size()) << "a path written twice";
        EXPECT_FALSE(report.totalIsLowerBound);
        // Every level swept by two threads: the same paths.
        PointerScan twoThreads(reader, reader);
        twoThreads.twoThreadsFrom = 0;
        std::set<std::string> foundByTwo;
        const PointerScanReport byTwo =
            twoThreads.run(settings, [&](const PointerPath& path) { foundByTwo.insert(pointerPathText(path)); });
        EXPECT_EQ(foundByTwo, found);
        EXPECT_EQ(byTwo.total, report.total);

        const auto reference = test::referencePointerPaths(reader, reader, value, c.depth, c.minOffset, c.maxOffset);
        ASSERT_TRUE(reference.complete);
        std::set<std::string> extra;
        std::set_difference(found.begin(), found.end(), reference.all.begin(), reference.all.end(),
                            std::inserter(extra, extra.end()));
        EXPECT_TRUE(extra.empty()) << "outside the definition:\n" << describe(extra);
        std::set<std::string> missed;
        std::set_difference(reference.pointing.begin(), reference.pointing.end(), found.begin(), found.end(),
                            std::inserter(missed, missed.end()));
        EXPECT_TRUE(missed.empty()) << "missed:\n" << describe(missed);
        EXPECT_GT(found.size(), 0u);
    }

    // Every planted chain is among them: its root lies in the .bss past the
    // file's mappings, and it has as many levels as planted.
    PointerScanSettings settings;
    settings.address = value;
    settings.depth = 6;
    settings.maxOffset = 0x100;
    PointerScan scan(reader, reader);
    std::vector<std::string> found;
    scan.run(settings, [&](const PointerPath& path) { found.push_back(pointerPathText(path)); });
    for (unsigned depth = 1; depth <= 6; ++depth) {
        const std::string root =
            "pointer_target+" + test::hexText(target.value("table") + 8 * (target.value("rootSlot") + depth)) + "]";
        const bool planted = std::any_of(found.begin(), found.end(), [&](const std::string& path) {
            return path.starts_with(root) && static_cast<unsigned>(std::count(path.begin(), path.end(), ']')) == depth;
        });
        EXPECT_TRUE(planted) << "no chain of " << depth << " levels from " << root;
    }
}

// A static slot may lie in any mapping of a module: its first, its read-only
// data after relocation, its writable data, its .bss past the file. For each
// such mapping of the target's own image and of libstdc++ (whose name holds
// "+"), a word in it that points into readable memory is found by a scan of
// one level for what it holds.
TEST(PointerScanNative, AStaticSlotInEveryKindOfMappingOfAModule) {
    test::NativeChild target(CORVANE_POINTER_TARGET_PATH);
    ASSERT_GT(target.pid(), 0);
    LinuxProcessReader reader(target.pid());
    ASSERT_EQ(reader.openTarget(), 0u);
    const std::vector<MemoryRegion> regions = reader.readableRegions();
    const auto readable = [&](std::uint64_t address) {
        return std::any_of(regions.begin(), regions.end(),
                           [&](const MemoryRegion& r) { return address >= r.start && address < r.end(); });
    };
    unsigned tried = 0;
    for (const ModuleImage& image : reader.moduleImages()) {
        if (image.name != "pointer_target" && !image.name.starts_with("libstdc++")) continue;
        for (const MemoryRegion& region : regions) {
            if (region.start < image.start || region.end() > image.end()) continue;
            // The last word of the mapping that points into readable memory:
            // the end of a mapping is where a slot was once left out.
            std::uint64_t slot = 0;
            std::uint64_t value = 0;
            for (std::uint64_t at = region.end() - 8; at >= region.start && slot == 0; at -= 8) {
                std::uint64_t word = 0;
                if (readPointer(reader, at, word) && readable(word)) {
                    slot = at;
                    value = word;
                }
            }
            if (slot == 0) continue;
            const std::string expected = image.name + "+" + test::hexText(slot - image.start) + "]0";
            SCOPED_TRACE(expected);
            PointerScanSettings settings;
            settings.address = value;
            settings.depth = 1;
            settings.maxOffset = 0;
            settings.limit = 100000;
            PointerScan scan(reader, reader);
            bool found = false;
            scan.run(settings, [&](const PointerPath& path) { found = found || pointerPathText(path) == expected; });
            EXPECT_TRUE(found);
            ++tried;
        }
    }
    // Both images' relocated data, writable data and .bss at the least.
    EXPECT_GE(tried, 5u);
}

}  // namespace
}  // namespace corvane
