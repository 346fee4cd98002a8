#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/kit/both_cores.h"
#include "engine/kit/stop_flag.h"
#include "engine/memory/memory_scan.h"
#include "engine/search/traversal.h"
#include "engine/values/value_compare.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"

namespace corvane {
namespace {

using test::FakeTarget;

constexpr std::uint64_t kBase = 0x10000000;
// The large region the cut falls in (2 MiB on, give or take a step); pages
// are lost from it inside chunks of each share, the chunks on either side of
// the cut among them.
constexpr std::uint64_t kLarge = kBase + 0x10000;
constexpr std::uint64_t kLargeSize = 0x20F0A1;

// Regions as a lister might give them: odd sizes and starts, neighbours that
// touch (a value across their border is not read), one too small for a
// value, and a large one cut between the threads; about 3 MiB in all.
std::vector<MemoryRegion> layout() {
    return {{kBase, 0x1234, true},
            {kBase + 0x1234, 0x1DCC, true},
            {kLarge, kLargeSize, true},
            {kLarge + kLargeSize, 0x5F, true},
            {kBase + 0x400000, 0x100003, true},
            {kBase + 0x600000, 3, true}};
}

// A filler byte with others among it, so that every kind finds some of its
// values everywhere, and zeros across the cut; a few of the listed pages are gone
// since.
void fillTarget(FakeTarget& target) {
    std::mt19937 random(24);
    const unsigned char rare[] = {0, 0, 1, 0x37, 0x7F, 0xFF};
    for (const MemoryRegion& region : layout()) {
        std::vector<unsigned char> bytes(region.size);
        for (unsigned char& byte : bytes) byte = random() % 16 == 0 ? rare[random() % std::size(rare)] : 0x11;
        target.write(region.start, bytes.data(), bytes.size());
    }
    const unsigned char zeros[32] = {};
    target.write(kLarge + 0x200000 - 16, zeros, sizeof zeros);
    // "7" as each text kind, at every alignment.
    for (std::uint64_t i = 0; i < 8; ++i) target.writeText(kBase + 0x2000 + 0x11 * i, std::string_view("7\0\0\0", 4));
    for (const std::uint64_t page : {kLarge + 0x80000, kLarge + 0x1F0000, kLarge + 0x201000, kBase + 0x480000})
        target.unmap(page, kPageSize);
}

// An entry's every field, its value's kind, bytes and text included.
using Kept =
    std::tuple<std::uint64_t, std::int64_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint64_t, std::string>;

Kept kept(const ResultEntry& entry) {
    return {entry.address,
            entry.leafOffset,
            entry.parent,
            entry.serial,
            entry.value.kindKey(),
            entry.value.raw(),
            std::string(entry.value.storedText())};
}

struct Scanned {
    std::vector<Kept> kept;  // the entries, then the compact results
    std::uint64_t looked = 0;
    std::uint64_t progressLeaves = 0;
    std::uint64_t progressResults = 0;
    std::size_t readingThreads = 0;
    std::uint64_t readCalls = 0;
};

Scanned scanWith(FakeTarget& target, bool parallel, const ValueFilter& filter, std::int64_t step, bool intoCompact) {
    target.parallelReads = parallel;
    target.resetCounters();
    std::mutex mutex;
    std::set<std::thread::id> readers;
    target.onRead = [&] {
        std::lock_guard lock(mutex);
        readers.insert(std::this_thread::get_id());
    };
    const StopFlag stop;
    CandidateStore store;
    Traversal traversal(target, stop, store);
    ResultEntries results;
    CompactResults compact;
    TraversalProgress progress;
    if (intoCompact)
        traversal.runFilteredOverMemory({{0, 0, step}}, layout(), filter, results, compact, &progress);
    else
        traversal.runFilteredOverMemory({{0, 0, step}}, layout(), filter, results, &progress);
    target.onRead = nullptr;
    Scanned scanned;
    for (std::size_t i = 0; i < results.size(); ++i) scanned.kept.push_back(kept(results[i]));
    for (std::size_t i = 0; i < compact.size(); ++i) scanned.kept.push_back(kept(compact[i].widened()));
    scanned.looked = traversal.leafCount();
    scanned.progressLeaves = progress.leaves;
    scanned.progressResults = progress.results;
    scanned.readingThreads = readers.size();
    scanned.readCalls = target.readCalls();
    return scanned;
}

// The two threads keep exactly what one keeps: the same entries in the same
// order with the same serials, and the same count of addresses looked at,
// into either list, for kinds whose values cross the cut, a lost page and
// the regions' ends.
TEST(MemoryRowShares, TwoThreadsKeepWhatOneKeeps) {
    FakeTarget target;
    fillTarget(target);
    FakeTextCodec codec;
    struct Case {
        ValueType type;
        std::uint8_t baseMode;
        SearchCondition condition;
        const char* value1;
        const char* value2;
        std::int64_t step;
    };
    // The float kinds exactly: floored, the filler's tiny values are all 0.
    const Case cases[] = {
        {ValueType::Byte, 0, SearchCondition::Equal, "1", "", 1},
        {ValueType::Short, 0, SearchCondition::Between, "1", "300", 3},
        {ValueType::Short, 1, SearchCondition::NotEqual, "1111", "", 8},
        {ValueType::Long, 0, SearchCondition::Equal, "0", "", 1},
        {ValueType::Long, 0, SearchCondition::AtLeast, "2130706432", "", 4},
        {ValueType::Int64, 0, SearchCondition::AtMost, "1229782938247303441", "", 8},
        {ValueType::Single, 1, SearchCondition::Equal, "0", "", 2},
        {ValueType::Double, 1, SearchCondition::Equal, "0", "", 1},
        {ValueType::AnsiText, kNoBaseMode, SearchCondition::Equal, "7", "", 1},
        {ValueType::Utf16Text, kNoBaseMode, SearchCondition::Equal, "7", "", 3},
    };
    for (const Case& c : cases) {
        const std::vector<RowShare> shares = rowShares(layout(), static_cast<std::uint64_t>(c.step), true);
        ASSERT_EQ(shares.size(), 2u);
        EXPECT_GT(shares[0].reach, shares[0].regions.back().end()) << "the cut lies inside a region";
        const ValueFilter filter(c.type, c.baseMode, c.condition, c.value1, c.value2, codec);
        // The cases take either list in turn: each is scanned twice already.
        {
            const bool intoCompact = (&c - cases) % 2 == 0;
            const std::string what = "kind " + std::to_string(static_cast<int>(c.type)) + ", step " +
                                     std::to_string(c.step) + (intoCompact ? ", compact" : ", entries");
            const Scanned one = scanWith(target, false, filter, c.step, intoCompact);
            const Scanned two = scanWith(target, true, filter, c.step, intoCompact);
            if (twoCores()) {
                EXPECT_EQ(two.readingThreads, 2u) << what;
            }
            // The cut lies on a chunk's bound: the threads read in as many calls.
            EXPECT_EQ(two.readCalls, one.readCalls) << what;
            EXPECT_FALSE(one.kept.empty()) << what;
            EXPECT_EQ(two.kept.size(), one.kept.size()) << what;
            EXPECT_TRUE(two.kept == one.kept) << what;
            EXPECT_EQ(two.looked, one.looked) << what;
            EXPECT_EQ(two.progressLeaves, one.looked) << what;
            EXPECT_EQ(two.progressResults, one.kept.size()) << what;
        }
    }
}

// A stop raised while both threads read ends each of them after the chunk
// it is reading.
TEST(MemoryRowShares, AStopIsHeardByBothThreads) {
    FakeTarget target;
    const std::uint64_t size = 32 * kReadChunkBytes;
    target.map(kBase, size);
    StopFlag stop;
    std::atomic<int> reads{0};
    target.onRead = [&] {
        if (reads.fetch_add(1) + 1 == 4) stop.raise();
    };
    CandidateStore store;
    FakeTextCodec codec;
    const ValueFilter filter(ValueType::Long, 0, SearchCondition::Equal, "0", "", codec);
    Traversal traversal(target, stop, store);
    ResultEntries results;
    CompactResults compact;
    traversal.runFilteredOverMemory({{0, 0, 4}}, {{kBase, size, true}}, filter, results, compact);
    EXPECT_LE(reads.load(), 5) << "a thread read on after the stop";
    EXPECT_LT(traversal.leafCount(), size / 4);
    EXPECT_EQ(compact.size(), traversal.leafCount()) << "every value read is 0";
}

}  // namespace
}  // namespace corvane
