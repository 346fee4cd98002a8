#include "engine/search/result_store.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/kit/block_pool.h"
#include "engine/search/path_table.h"

namespace corvane {
namespace {

void fill(ResultStore& store, std::size_t n) {
    auto paths = std::make_shared<PathTable>();
    const std::uint32_t node = paths->add(kNoPathNode, 0x1400A2B30);
    ResultEntries entries;
    for (std::size_t i = 0; i < n; ++i) {
        ResultEntry entry;
        entry.parent = node;
        entry.leafOffset = static_cast<std::int64_t>(4 * i);
        entry.address = 255 * i;
        entry.value = StoredValue::text(std::to_string(i));
        entries.push_back(std::move(entry));
    }
    store.replace(paths, std::move(entries));
}

TEST(ResultStore, CellTextsOfTheThreeColumns) {
    ResultStore store;
    fill(store, 3);
    const char* expected[3][3] = {{"1400A2B30]0", "0", "0"}, {"1400A2B30]4", "1", "FF"}, {"1400A2B30]8", "2", "1FE"}};
    for (std::size_t row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            std::string text;
            ASSERT_TRUE(store.appendCellText(row, column, text));
            EXPECT_EQ(text, expected[row][column]);
        }
    std::string text;
    EXPECT_FALSE(store.appendCellText(3, 0, text));
    EXPECT_FALSE(store.appendCellText(0, 3, text));
}

TEST(ResultStore, RemoveAndClear) {
    ResultStore store;
    fill(store, 5);
    store.removeAt(4);
    EXPECT_EQ(store.count(), 4u);
    store.removeAt(1);
    EXPECT_EQ(store.valueText(1), "2");
    store.removeAt(10);  // no such row
    EXPECT_EQ(store.count(), 3u);
    store.clear();
    EXPECT_EQ(store.count(), 0u);
    EXPECT_FALSE(store.allocated());
    EXPECT_EQ(store.pathText(0), "");
}

TEST(ResultStore, RemovingFromAStoreWithoutResultsUnallocatesIt) {
    ResultStore store;
    fill(store, 1);
    store.removeAt(0);
    EXPECT_EQ(store.count(), 0u);
    EXPECT_TRUE(store.allocated());  // the terminator alone is left
    store.removeAt(0);
    EXPECT_FALSE(store.allocated());
    fill(store, 0);
    EXPECT_TRUE(store.allocated());
    store.removeAt(3);
    EXPECT_FALSE(store.allocated());
}

TEST(ResultStore, MemoryFollowsTheResultsHeld) {
    // Small stores cost what they hold, not a whole chunk; large ones no more
    // than their entries plus the unused end of one chunk.
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{17}, kResultChunk + 5, 3 * kResultChunk / 2}) {
        ResultStore store;
        fill(store, n);
        EXPECT_LE(store.memoryBytes(), n * sizeof(ResultEntry) + 4096) << n;
        EXPECT_EQ(store.count(), n);
        if (n > 0) {
            EXPECT_EQ(store.valueText(n - 1), std::to_string(n - 1));
        }
    }
}

struct Counted {
    static inline int alive = 0;
    int value = 0;
    explicit Counted(int v = 0) : value(v) { ++alive; }
    Counted(Counted&& other) noexcept : value(other.value) { ++alive; }
    Counted& operator=(Counted&& other) noexcept {
        value = other.value;
        return *this;
    }
    ~Counted() { --alive; }
};

TEST(ChunkedArray, ConstructsOnlyWhatItHoldsAndKeepsItThroughGrowth) {
    {
        ChunkedArray<Counted, 64> array;
        array.push_back(Counted(0));
        EXPECT_EQ(array.capacity(), 16u);  // a small array is small
        for (int i = 1; i < 200; ++i) array.push_back(Counted(i));
        EXPECT_EQ(Counted::alive, 200);
        EXPECT_EQ(array.capacity(), 256u);  // whole chunks once it has grown past one
        for (int i = 0; i < 200; ++i) ASSERT_EQ(array[static_cast<std::size_t>(i)].value, i);
        array.truncate(70);
        EXPECT_EQ(Counted::alive, 70);
        array.shrinkToFit();
        EXPECT_EQ(array.capacity(), 70u);
        EXPECT_EQ(array[69].value, 69);
        array.push_back(Counted(7));
        EXPECT_EQ(array[70].value, 7);
        array.releaseBefore(64);
        EXPECT_EQ(Counted::alive, 7);
        ChunkedArray<Counted, 64> moved = std::move(array);
        EXPECT_EQ(moved.size(), 71u);
        EXPECT_EQ(moved[70].value, 7);
        EXPECT_EQ(array.size(), 0u);
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(BlockPool, AnArrayAfterAnotherReusesItsWholeChunksUpToTheBound) {
    using Array = ChunkedArray<std::uint64_t, 1024>;
    constexpr std::size_t kChunkBytes = 1024 * sizeof(std::uint64_t);
    BlockPool::releaseKept();
    {
        Array array;
        for (std::uint64_t i = 0; i < 3000; ++i) array.push_back(i);
    }
    // Three whole chunks were let go; the small first ones were not pooled.
    EXPECT_EQ(BlockPool::keptBytes(), 3 * kChunkBytes);
    {
        Array next;
        for (std::uint64_t i = 0; i < 1500; ++i) next.push_back(i * 3);
        EXPECT_EQ(BlockPool::keptBytes(), 1 * kChunkBytes);
        for (std::uint64_t i = 0; i < 1500; ++i) ASSERT_EQ(next[i], i * 3);
    }
    EXPECT_EQ(BlockPool::keptBytes(), 3 * kChunkBytes);
    // A block the bound cannot hold goes back to the system at once.
    void* large = BlockPool::take(BlockPool::kKeptBytes);
    BlockPool::give(large, BlockPool::kKeptBytes);
    EXPECT_EQ(BlockPool::keptBytes(), 3 * kChunkBytes);
    BlockPool::releaseKept();
    EXPECT_EQ(BlockPool::keptBytes(), 0u);
}

TEST(ResultStore, UpdatesFindTheirEntryAfterRowsInFrontWereRemoved) {
    ResultStore store;
    fill(store, 6);
    ResultBatch batch;
    ASSERT_EQ(store.takeBatch(true, 0, 10, batch), 6u);
    store.removeAt(0);
    store.removeAt(2);  // the entry numbered 3
    std::vector<std::size_t> visited;
    store.updateBatch(batch, [&](std::size_t i, ResultEntry& entry) {
        visited.push_back(i);
        entry.address = 1000 + i;
        entry.value = StoredValue::text("new" + std::to_string(i));
        return i != 5;
    });
    EXPECT_EQ(visited, (std::vector<std::size_t>{1, 2, 4, 5}));
    store.compact();
    ASSERT_EQ(store.count(), 3u);
    EXPECT_EQ(store.valueText(0), "new1");
    EXPECT_EQ(store.valueText(1), "new2");
    EXPECT_EQ(store.valueText(2), "new4");
    EXPECT_EQ(store.address(2), 1004u);
}

// Batches that cross a chunk's end, with rows removed between taking a
// batch and writing it back: every entry still there is visited once, in
// order, and no removed one is.
TEST(ResultStore, BatchesAcrossChunksVisitExactlyTheEntriesStillThere) {
    std::mt19937 random(7);
    ResultStore store;
    const std::size_t total = kResultChunk + 3000;
    fill(store, total);
    std::vector<bool> present(total, true);
    ResultBatch batch;
    bool fromStart = true;
    std::uint32_t last = 0;
    std::size_t batches = 0;
    while (store.takeBatch(fromStart, last, 1500 + random() % 3000, batch) > 0) {
        ++batches;
        for (int removals = static_cast<int>(random() % 4); removals > 0; --removals) {
            const std::size_t row = random() % store.count();
            present[std::stoul(store.valueText(row))] = false;
            store.removeAt(row);
        }
        std::vector<std::uint32_t> visited;
        store.updateBatch(batch, [&](std::size_t i, ResultEntry& entry) {
            EXPECT_EQ(entry.serial, batch.serials[i]);
            visited.push_back(entry.serial);
            return true;
        });
        std::vector<std::uint32_t> expected;
        for (std::size_t i = 0; i < batch.count; ++i)
            if (present[batch.serials[i]]) expected.push_back(batch.serials[i]);
        ASSERT_EQ(visited, expected) << "batch " << batches;
        fromStart = false;
        last = batch.serials[batch.count - 1];
    }
    EXPECT_GT(batches, 15u);
}

// compact() starts at the first entry dropped; rows removed in front of it
// after the update must not make it skip one.
TEST(ResultStore, CompactFindsEveryDroppedEntryAfterRowsInFrontWereRemoved) {
    for (std::size_t removed : {0u, 2u, 3u, 5u}) {
        SCOPED_TRACE("removed row " + std::to_string(removed));
        ResultStore store;
        fill(store, 8);
        ResultBatch batch;
        ASSERT_EQ(store.takeBatch(true, 0, 8, batch), 8u);
        // Entries 3 and 6 go.
        store.updateBatch(batch, [](std::size_t i, ResultEntry&) { return i != 3 && i != 6; });
        store.removeAt(removed);
        store.compact();
        std::vector<std::string> left;
        for (std::size_t row = 0; row < store.count(); ++row) left.push_back(store.valueText(row));
        std::vector<std::string> expected;
        for (int i = 0; i < 8; ++i)
            if (i != 3 && i != 6 && static_cast<std::size_t>(i) != removed) expected.push_back(std::to_string(i));
        EXPECT_EQ(left, expected);
        EXPECT_TRUE(store.allocated());
    }
}

// Drops in runs longer than a word of marks and scattered ones, compacted
// from the marks (no row removed) and from the entries (a row removed), with
// numbers only and with long texts among the values.
TEST(ResultStore, CompactKeepsExactlyTheEntriesNotDropped) {
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        const bool removes = round % 2 == 1;
        const bool longTexts = round % 4 >= 2;
        SCOPED_TRACE("round " + std::to_string(round));
        auto paths = std::make_shared<PathTable>();
        const std::uint32_t node = paths->add(kNoPathNode, 0x1000);
        const std::size_t n = 1 + random() % 700;
        ResultEntries entries;
        for (std::size_t i = 0; i < n; ++i) {
            ResultEntry& entry = entries.emplace_back();
            entry.parent = node;
            entry.leafOffset = static_cast<std::int64_t>(i);
            if (longTexts && i % 3 == 0) {
                entry.value = StoredValue::text("a long text number " + std::to_string(i));
            } else {
                const std::uint64_t raw = i;
                entry.value = StoredValue::number(ValueType::Int64, 0, reinterpret_cast<const unsigned char*>(&raw));
            }
        }
        ResultStore store;
        store.replace(paths, std::move(entries));
        std::vector<bool> dropped(n);
        std::size_t at = 0;
        while (at < n) {
            const std::size_t run = random() % 3 == 0 ? 64 + random() % 130 : 1 + random() % 5;
            const bool drop = random() % 2 == 0;
            for (std::size_t i = at; i < std::min(n, at + run); ++i) dropped[i] = drop;
            at += run;
        }
        ResultBatch batch;
        ASSERT_EQ(store.takeBatch(true, 0, n, batch), n);
        store.updateBatch(batch, [&](std::size_t i, ResultEntry&) { return !dropped[i]; });
        std::size_t removed = n;
        if (removes) {
            removed = random() % n;
            store.removeAt(removed);
        }
        store.compact();
        std::vector<std::int64_t> left, expected;
        for (std::size_t row = 0; row < store.count(); ++row) {
            const std::string path = store.pathText(row);
            left.push_back(static_cast<std::int64_t>(std::stoull(path.substr(path.find(']') + 1), nullptr, 16)));
        }
        for (std::size_t i = 0; i < n; ++i)
            if (!dropped[i] && i != removed) expected.push_back(static_cast<std::int64_t>(i));
        ASSERT_EQ(left, expected);
    }
}

TEST(ResultStore, BatchesContinueAfterTheLastEntryTakenAndSkipDroppedOnes) {
    ResultStore store;
    fill(store, 10);
    ResultBatch batch;
    ASSERT_EQ(store.takeBatch(true, 0, 4, batch), 4u);
    store.updateBatch(batch, [](std::size_t i, ResultEntry&) { return i != 0; });
    ASSERT_EQ(store.takeBatch(true, 0, 4, batch), 4u);
    EXPECT_EQ(batch.serials[0], 1u);  // the dropped entry waits for compact() but is not taken again
    ASSERT_EQ(store.takeBatch(false, batch.serials[3], 100, batch), 5u);
    EXPECT_EQ(batch.serials[0], 5u);
    EXPECT_EQ(batch.serials[4], 9u);
}

TEST(ResultStore, SnapshotsContinueAfterTheLastEntryTaken) {
    ResultStore store;
    fill(store, 10);
    std::vector<ResultSnapshot> batch;
    ASSERT_EQ(store.snapshot(true, 0, 4, batch), 4u);
    const std::uint32_t last = batch[3].serial;
    store.removeAt(0);
    store.removeAt(0);
    ASSERT_EQ(store.snapshot(false, last, 4, batch), 4u);
    EXPECT_EQ(batch[0].value.text(), "4");
}

// A store lets go of its values without visiting them only while no long
// text lives: the count must follow every way a long text is made and freed
// (a store cleared while one lives frees it; LeakSanitizer would tell).
TEST(StoredValue, LongTextsAreCountedWhileTheyLive) {
    const std::size_t before = StoredValue::liveLongTexts();
    {
        StoredValue a = StoredValue::text("a text longer than eight bytes");
        EXPECT_EQ(StoredValue::liveLongTexts(), before + 1);
        StoredValue b = a.clone();
        EXPECT_EQ(StoredValue::liveLongTexts(), before + 2);
        StoredValue c = std::move(a);
        EXPECT_EQ(StoredValue::liveLongTexts(), before + 2);
        c = StoredValue::text("short");
        EXPECT_EQ(StoredValue::liveLongTexts(), before + 1);
        const unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        b.setNumber(ValueType::Int64, 0, bytes);
        EXPECT_EQ(StoredValue::liveLongTexts(), before);
        c = StoredValue::text("another long text");
        ResultStore store;
        fill(store, 3);
        auto paths = store.paths();
        ResultEntries entries;
        entries.emplace_back().value = std::move(c);
        store.replace(paths, std::move(entries));
        EXPECT_EQ(StoredValue::liveLongTexts(), before + 1);
        store.clear();
        EXPECT_EQ(StoredValue::liveLongTexts(), before);
    }
    EXPECT_EQ(StoredValue::liveLongTexts(), before);
}

TEST(ResultStore, ANumberOfEightBytesAndItsTextCostFortyBytes) {
    EXPECT_LE(sizeof(ResultEntry), 40u);
    EXPECT_EQ(sizeof(StoredValue), 16u);
}

struct PathCase {
    const char* text;
    bool ok;
    std::vector<std::int64_t> offsets;
};

TEST(PathText, ParsesExactOffsets) {
    const PathCase cases[] = {
        {"1400A2B30]18]0", true, {0x1400A2B30, 0x18, 0}},
        {"10", true, {0x10}},
        {"FFFFFFFFFFFFFFF8]8", true, {-8, 8}},
        {"7FFFFFFFFFFFFFFF", true, {0x7FFFFFFFFFFFFFFF}},  // exact beyond double precision
        {"", false, {}},
        {"10]", false, {}},
        {"]10", false, {}},
        {"1G", false, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::int64_t> offsets;
        EXPECT_EQ(parsePathText(c.text, offsets), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(offsets, c.offsets) << c.text;
        }
    }
}

TEST(PathTable, InternSharesLevelsAndRendersTexts) {
    PathTable paths;
    const std::uint32_t a = paths.intern(kNoPathNode, 0x1000);
    const std::uint32_t b = paths.intern(a, 0x18);
    EXPECT_EQ(paths.intern(kNoPathNode, 0x1000), a);
    EXPECT_EQ(paths.intern(a, 0x18), b);
    EXPECT_NE(paths.intern(a, 0x20), b);
    std::string text;
    paths.appendPathText(b, 0xABC, text);
    EXPECT_EQ(text, "1000]18]ABC");
    text.clear();
    paths.appendPathText(kNoPathNode, 0, text);
    EXPECT_EQ(text, "0");
}

}  // namespace
}  // namespace corvane
