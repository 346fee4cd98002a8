// A map read straight into its file's encoded form: the file it makes holds
// exactly the map captureRunMap reads from the same target, in the same
// bytes the whole map's encoder writes, however the reading threads share
// the regions; and a stop while it is read leaves nothing.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/files/pointer_map_file.h"
#include "engine/pointers/encoded_run_map.h"
#include "tests/support/fake_target.h"

namespace corvane {
namespace {

using test::FakeTarget;

// Regions of one to five pages, two of them touching (they differ in being
// writable), a module over the first.
constexpr std::uint64_t kGame = 0x10000;    // 3 pages
constexpr std::uint64_t kData = 0x20000;    // 1 page
constexpr std::uint64_t kHeap = 0x40000;    // 5 pages
constexpr std::uint64_t kShared = 0x45000;  // 1 page, read-only, right after the heap
constexpr std::uint64_t kStack = 0x7F0000;  // 2 pages
constexpr std::uint64_t kHeapEnd = kHeap + 5 * kPageSize;

// Pointers every few words of [from, to), so that the halves' cut falls
// among them.
void heapRun(FakeTarget& target, std::uint64_t from, std::uint64_t to, std::uint64_t seed) {
    const std::uint64_t regions[] = {kGame, kData, kHeap, kStack};
    std::mt19937_64 random(seed);
    for (std::uint64_t slot = from; slot < to; slot += target.pointerWidth() * (1 + random() % 3))
        target.writePointer(slot, regions[random() % 4] + random() % kPageSize);
}

// The regions hold 12 pages; two threads cut them within the heap, 2 pages
// in for reads of one or two pages, 3 for reads of three.
enum class Where { Everywhere, FirstHalfOnly, SecondHalfOnly };

void layOut(FakeTarget& target, Where where) {
    target.loadModule("game.exe", kGame, 3 * kPageSize);
    target.map(kGame, 3 * kPageSize);
    target.map(kData, kPageSize);
    target.map(kHeap, 5 * kPageSize);
    target.map(kShared, kPageSize);
    target.protect(kShared, kPageSize, false);
    target.map(kStack, 2 * kPageSize);
    const unsigned width = target.pointerWidth();
    if (where != Where::SecondHalfOnly) {
        // Slots on the first and last word of regions, words on the first
        // and last byte of regions, and on a start that is another's end.
        target.writePointer(kGame, kHeap);
        target.writePointer(kGame + 3 * kPageSize - width, kStack + 2 * kPageSize - 1);
        target.writePointer(kData, kShared);
        target.writePointer(kData + kPageSize - width, kHeapEnd - 1);
        target.writePointer(kData + 8 * width, kGame);
        // Just outside a region: no pointers.
        target.writePointer(kData + 9 * width, kData + kPageSize);
        target.writePointer(kData + 10 * width, kHeap - 1);
        // Back to an earlier region after a later one, and far into one.
        target.writePointer(kGame + 0x100, kStack + 0x1234);
        target.writePointer(kGame + 0x100 + width, kGame + 0x2FF8);
        heapRun(target, kHeap, kHeap + 2 * kPageSize, 7);
    }
    if (where != Where::FirstHalfOnly) {
        heapRun(target, kHeap + 2 * kPageSize, kHeap + 4 * kPageSize, 8);
        target.writePointer(kHeapEnd - width, kShared + kPageSize - 1);
        target.writePointer(kShared, kHeapEnd - 1);
        target.writePointer(kShared + kPageSize - width, kData);
        target.writePointer(kStack, kShared + 0x10);
        target.writePointer(kStack + 2 * kPageSize - width, kGame);
    }
}

struct Case {
    const char* name;
    unsigned width;
    std::size_t chunkBytes;
    Where where;
    std::size_t stretches;  // how many threads read
};

const Case kCases[] = {
    {"one thread", 8, kReadChunkBytes, Where::Everywhere, 1},
    {"halves cut two pages into the heap", 8, kPageSize, Where::Everywhere, 2},
    {"halves cut three pages in, among the pointers", 8, 3 * kPageSize, Where::Everywhere, 2},
    {"32-bit, halves", 4, kPageSize, Where::Everywhere, 2},
    {"32-bit, one thread", 4, kReadChunkBytes, Where::Everywhere, 1},
    {"nothing in the first half", 8, kPageSize, Where::SecondHalfOnly, 2},
    {"nothing in the second half", 8, kPageSize, Where::FirstHalfOnly, 2},
};

TEST(EncodedRunMapTest, ItsFileHoldsTheMapCaptureRunMapReads) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        FakeTarget target(c.width);
        layOut(target, c.where);
        PointerScanProgress progress;
        RunMap expected;
        ASSERT_TRUE(captureRunMap(target, target, kHeap + 0x18, StopFlag(), progress, expected, c.chunkBytes));
        EncodedRunMap encoded;
        ASSERT_TRUE(captureEncodedRunMap(target, target, kHeap + 0x18, StopFlag(), progress, encoded, c.chunkBytes));
        ASSERT_EQ(encoded.stretches.size(), c.stretches);
        EXPECT_EQ(encoded.size(), expected.size());
        EXPECT_EQ(progress.pointers.load(), expected.size());

        const std::string bytes = encodePointerMap(encoded);
        EXPECT_EQ(bytes, encodePointerMap(expected));
        RunMap decoded;
        std::string error;
        ASSERT_TRUE(decodePointerMap(bytes, decoded, error)) << error;
        EXPECT_EQ(decoded, expected);
    }
}

TEST(EncodedRunMapTest, TheTargetHoldsWhatTheCasesAreAbout) {
    FakeTarget target;
    layOut(target, Where::Everywhere);
    RunMap map;
    PointerScanProgress progress;
    ASSERT_TRUE(captureRunMap(target, target, 0, StopFlag(), progress, map, kPageSize));
    const auto wordAt = [&map](std::uint64_t slot) -> std::int64_t {
        for (std::size_t i = 0; i < map.size(); ++i)
            if (map.slots[i] == slot) return static_cast<std::int64_t>(map.words[i]);
        return -1;
    };
    EXPECT_EQ(wordAt(kGame), static_cast<std::int64_t>(kHeap));
    EXPECT_EQ(wordAt(kData), static_cast<std::int64_t>(kShared));
    EXPECT_EQ(wordAt(kStack + 2 * kPageSize - 8), static_cast<std::int64_t>(kGame));
    EXPECT_EQ(wordAt(kData + 9 * 8), -1) << "a word just past a region";
    EXPECT_EQ(wordAt(kData + 10 * 8), -1) << "a word just before one";
    EXPECT_GT(map.size(), 1000u);
}

TEST(EncodedRunMapTest, ItsSavedFileLoadsAsTheMapAndNothingIsLeftBeside) {
    FakeTarget target;
    layOut(target, Where::Everywhere);
    PointerScanProgress progress;
    RunMap expected;
    ASSERT_TRUE(captureRunMap(target, target, kHeap, StopFlag(), progress, expected, kPageSize));
    EncodedRunMap encoded;
    ASSERT_TRUE(captureEncodedRunMap(target, target, kHeap, StopFlag(), progress, encoded, kPageSize));
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "corvane_encoded_map_test.map";
    std::filesystem::path partial = file;
    partial += ".partial";
    ASSERT_EQ(savePointerMap(file, encoded, StopFlag()), "");
    EXPECT_FALSE(std::filesystem::exists(partial));
    EXPECT_EQ(std::filesystem::file_size(file), encodePointerMap(encoded).size());
    RunMap loaded;
    EXPECT_EQ(loadPointerMap(file, loaded), "");
    EXPECT_EQ(loaded, expected);

    // A stop raised before the save leaves the old file as it was.
    StopFlag stop;
    stop.raise();
    EXPECT_EQ(savePointerMap(file, encodeRunMap(RunMap{}), stop), "stopped");
    EXPECT_EQ(loadPointerMap(file, loaded), "");
    EXPECT_EQ(loaded, expected);
    EXPECT_FALSE(std::filesystem::exists(partial));
    std::filesystem::remove(file);
}

TEST(EncodedRunMapTest, AStopWhileItIsReadLeavesAnEmptyMap) {
    for (const std::size_t chunkBytes : {std::size_t{kPageSize}, kReadChunkBytes}) {
        FakeTarget target;
        layOut(target, Where::Everywhere);
        StopFlag stop;
        std::atomic<int> reads{0};
        target.onRead = [&] {
            if (++reads == 2) stop.raise();
        };
        PointerScanProgress progress;
        EncodedRunMap encoded;
        EXPECT_FALSE(captureEncodedRunMap(target, target, kHeap, stop, progress, encoded, chunkBytes));
        EXPECT_EQ(encoded.size(), 0u);
        EXPECT_TRUE(encoded.stretches.empty());
        EXPECT_TRUE(encoded.outline.regions.empty());
    }
}

// Enough pointers to fill several blocks: the pieces join to the bytes
// written one entry after another.
TEST(EncodedPointersTest, PiecesAcrossBlocksJoinToTheEntriesInOrder) {
    EncodedPointers stretch(8);
    std::vector<unsigned char> expected;
    std::mt19937_64 random(3);
    MapEntry before;
    MapEntry first;
    std::uint64_t slot = 0x10000;
    for (std::size_t i = 0; i < 600000; ++i) {
        const MapEntry entry{slot, random() % 40, random() % (std::uint64_t{1} << (random() % 40))};
        stretch.add(entry);
        if (i == 0) {
            first = entry;
        } else {
            unsigned char bytes[kMaxEntryBytes];
            unsigned char* end = putMapEntry(bytes, before, entry, 8);
            expected.insert(expected.end(), bytes, end);
        }
        before = entry;
        slot += 8 * (1 + random() % 1000);
    }
    std::vector<unsigned char> joined;
    std::size_t pieces = 0;
    stretch.eachPiece([&](const unsigned char* bytes, std::size_t size) {
        joined.insert(joined.end(), bytes, bytes + size);
        ++pieces;
    });
    EXPECT_GE(pieces, 3u);
    EXPECT_EQ(joined, expected);
    EXPECT_EQ(stretch.restBytes(), expected.size());
    EXPECT_EQ(stretch.size(), 600000u);
    EXPECT_EQ(stretch.first().slot, first.slot);
    EXPECT_EQ(stretch.last().slot, before.slot);

    EncodedPointers moved = std::move(stretch);
    EXPECT_EQ(moved.restBytes(), expected.size());
    stretch.clear();
    EXPECT_EQ(stretch.size(), 0u);
}

TEST(EncodedPointersTest, AnEntryTakesItsDeltasAsTheFileSays) {
    const struct {
        MapEntry before;
        MapEntry entry;
        unsigned width;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {{}, {0x40, 0, 0}, 8, {8, 0, 0}},
        {{0x40, 3, 0}, {0x48, 2, 0x80}, 8, {1, 1, 0x80, 1}},  // a region back zigzags to 1
        {{0x40, 3, 0}, {0x44, 5, 0x7F}, 4, {1, 4, 0x7F}},
        {{0, 0, 0}, {0x4000, 0, 0x3FFF}, 8, {0x80, 0x10, 0, 0xFF, 0x7F}},
    };
    for (const auto& c : cases) {
        unsigned char bytes[kMaxEntryBytes];
        unsigned char* end = putMapEntry(bytes, c.before, c.entry, c.width);
        EXPECT_EQ(std::vector<unsigned char>(bytes, end), c.bytes);
    }
}

}  // namespace
}  // namespace corvane
