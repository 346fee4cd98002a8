#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iterator>
#include <limits>
#include <memory>
#include <ostream>
#include <random>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/memory/memory_scan.h"
#include "engine/memory/prefault_ahead.h"
#include "engine/search/search_engine.h"
#include "engine/search/spill_file.h"
#include "engine/search/traversal.h"
#include "engine/values/value_compare.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/test_sink.h"

namespace corvane {
namespace {

using test::FakeTarget;
using test::TestSink;

constexpr std::int32_t kPlanted = 0x5A5A1234;

struct Found {
    std::uint64_t address;
    std::string path;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Found& found) {
    return out << std::hex << found.address << " " << found.path;
}

std::vector<Found> listed(const ResultStore& results) {
    std::vector<Found> found;
    for (std::size_t i = 0; i < results.count(); ++i) found.push_back({results.address(i), results.pathText(i)});
    return found;
}

std::string hex(std::uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

// The memory row written plainly: every address of every writable region
// read on its own, `step` apart from the region's start.
std::vector<Found> plainScan(FakeTarget& target, std::uint64_t step, const ValueFilter& filter) {
    std::vector<Found> found;
    std::vector<unsigned char> bytes(filter.readSize());
    for (const MemoryRegion& region : writableRegions(target.readableRegions()))
        for (std::uint64_t a = region.start; a + bytes.size() <= region.end(); a += step)
            if (target.read(a, bytes.data(), bytes.size()) && filter.matches(bytes.data()))
                found.push_back({a, hex(a)});
    return found;
}

// Writable pages with a read-only page inside, a hole, and values planted at
// every alignment, across page borders and across region ends.
class MemoryRowTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.setRegionLookup(&target);
        target.map(0x10000000, 0x3000);
        target.protect(0x10001000, 0x1000, false);
        target.map(0x10004000, 0x2000);
        for (std::uint64_t i = 0; i < 8; ++i) target.writeValue(0x10000100 + 17 * i, kPlanted);
        for (std::uint64_t i = 0; i < 8; ++i) target.writeValue(0x10004800 + 33 * i, kPlanted);
        target.writeValue(0x10000FFE, kPlanted);  // into the read-only page: another region
        target.writeValue(0x10001800, kPlanted);  // read-only
        target.writeValue(0x10002FFC, kPlanted);  // the last value of the region before the hole
        target.writeValue(0x10004FFD, kPlanted);  // across a page border inside a region
        target.write(0x10005FFE, &kPlanted, 2);   // its other half would lie past the last region
    }

    FirstSearchReport search(const std::string& condition1, std::vector<StructureRow> rows,
                             SearchCondition condition = SearchCondition::Equal, const std::string& value2 = "") {
        sink.set({ValueType::Long, 0, condition, condition1, value2});
        return engine.runFirstSearch(std::move(rows), {}, FirstRow::Memory);
    }

    FakeTarget target;
    TestSink sink;
    FakeTextCodec codec;
    SearchEngine engine{target, sink, codec};
};

TEST_F(MemoryRowTest, EveryStepAndAlignmentFindsWhatAPlainScanFinds) {
    const std::string value = std::to_string(kPlanted);
    for (const std::int64_t step : {1, 2, 4, 8}) {
        for (const SearchCondition condition : {SearchCondition::Equal, SearchCondition::Between}) {
            const std::string value2 = condition == SearchCondition::Between ? std::to_string(kPlanted + 1) : "";
            const FirstSearchReport report = search(value, {{0, 0, step}}, condition, value2);
            const ValueFilter filter(ValueType::Long, 0, condition, value, value2, codec);
            const std::vector<Found> expected = plainScan(target, static_cast<std::uint64_t>(step), filter);
            EXPECT_EQ(listed(engine.results()), expected) << "step " << step;
            EXPECT_FALSE(expected.empty());
            // 0x3000 and 0x2000 writable bytes less the read-only page.
            EXPECT_EQ(report.candidates, (0x1000 - 4) / step + 1 + (0x1000 - 4) / step + 1 + (0x2000 - 4) / step + 1)
                << "step " << step;
        }
    }
    // At step 1 all the values inside writable regions, none of the others.
    search(value, {{0, 0, 1}});
    std::vector<std::uint64_t> addresses;
    for (const Found& found : listed(engine.results())) addresses.push_back(found.address);
    std::vector<std::uint64_t> expected;
    for (std::uint64_t i = 0; i < 8; ++i) expected.push_back(0x10000100 + 17 * i);
    expected.push_back(0x10002FFC);
    for (std::uint64_t i = 0; i < 8; ++i) expected.push_back(0x10004800 + 33 * i);
    expected.push_back(0x10004FFD);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(addresses, expected);
}

// Every kind, base and condition a first search can narrow by, at every
// step: the row keeps exactly the addresses a plain scan keeps. The bytes
// around the planted values are random, so that the ordered conditions keep
// some of them too, NaNs and texts without an end included.
TEST_F(MemoryRowTest, EveryKindAndConditionFindsWhatAPlainScanFinds) {
    std::mt19937 random(16);
    const unsigned char background[] = {0, 0, 0, 1, 7, 8, 0x37, 0x7F, 0x80, 0xC0, 0xFF};
    for (const MemoryRegion& region : target.readableRegions()) {
        std::vector<unsigned char> bytes(region.size);
        for (unsigned char& byte : bytes) byte = background[random() % std::size(background)];
        target.write(region.start, bytes.data(), bytes.size());
    }
    // Seven as every kind, at every alignment, across a page border and
    // against a region's end.
    const float single = 7.0f;
    const double number = 7.0;
    std::uint64_t at = 0x10000040;
    for (int i = 0; i < 8; ++i, at += 0x41) {
        target.writeValue<std::int64_t>(at, 7);
        target.write(at + 0x10, &single, sizeof single);
        target.writeValue(at + 0x18, number);
        target.writeText(at + 0x20, std::string_view("7\0", 2));
        target.writeText(at + 0x28, std::string_view("7\0\0\0", 4));
    }
    // Floats at the bounds the conditions test, floored or not.
    const double edges[] = {6.9999,
                            7.0,
                            7.5,
                            7.9999,
                            8.0,
                            9.0,
                            9.9999,
                            10.0,
                            0.9999,
                            1.0,
                            1.9999,
                            2.0,
                            -0.0,
                            -0.5,
                            -1.0,
                            1e300,
                            -1e300,
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
    for (std::size_t i = 0; i < std::size(edges); ++i) {
        target.writeValue(0x10004100 + 13 * i, static_cast<float>(edges[i]));
        target.writeValue(0x10004400 + 13 * i, edges[i]);
    }
    target.writeValue(0x10004FFC, number);
    target.writeValue(0x10005FF8, number);
    struct Case {
        SearchCondition condition;
        const char* value1;
        const char* value2;
    };
    const Case cases[] = {{SearchCondition::Equal, "7", ""},    {SearchCondition::AtLeast, "7", ""},
                          {SearchCondition::AtMost, "1", ""},   {SearchCondition::NotEqual, "0", ""},
                          {SearchCondition::Between, "7", "9"}, {SearchCondition::Between, "9", "7"},
                          {SearchCondition::Contains, "7", ""}};
    for (std::uint8_t kind = 0; kind < kValueTypeCount; ++kind) {
        const auto type = static_cast<ValueType>(kind);
        for (const std::uint8_t base : {std::uint8_t{0}, std::uint8_t{1}}) {
            const std::uint8_t baseMode = isTextType(type) ? kNoBaseMode : base;
            for (const Case& c : cases) {
                // A number kind keeps every value with 包含字符: a snapshot, not results.
                if (c.condition == SearchCondition::Contains && !isTextType(type)) continue;
                const ValueFilter filter(type, baseMode, c.condition, c.value1, c.value2, codec);
                for (const std::int64_t step : {1, 2, 4, 8}) {
                    sink.set({type, baseMode, c.condition, c.value1, c.value2});
                    engine.runFirstSearch({{0, 0, step}}, {}, FirstRow::Memory);
                    const std::vector<Found> expected = plainScan(target, static_cast<std::uint64_t>(step), filter);
                    EXPECT_EQ(listed(engine.results()), expected)
                        << "type " << int{kind} << ", base " << int{baseMode} << ", condition "
                        << static_cast<int>(c.condition) << " " << c.value1 << " " << c.value2 << ", step " << step;
                    if (c.condition == SearchCondition::Equal && step == 1) {
                        EXPECT_GE(expected.size(), 8u) << "type " << int{kind} << ": the planted values";
                    }
                }
            }
        }
    }
}

TEST_F(MemoryRowTest, AResultShowsItsAddressAsItsPathAndGoesThroughTheNextSearch) {
    search(std::to_string(kPlanted), {{0, 0, 4}});
    // 0x10000100, 0x10000144 (17 * 4), 0x10002FFC, 0x10004800 and 0x10004884 (33 * 4).
    ASSERT_EQ(engine.results().count(), 5u);
    EXPECT_EQ(engine.results().pathText(0), "10000100");
    EXPECT_EQ(engine.results().valueText(0), std::to_string(kPlanted));
    target.writeValue<std::int32_t>(0x10000144, 7);
    sink.set({ValueType::Long, 0, SearchCondition::Equal, "7", ""});
    engine.runNextSearch();
    ASSERT_EQ(engine.results().count(), 1u);
    EXPECT_EQ(engine.results().pathText(0), "10000144");
    EXPECT_EQ(engine.results().address(0), 0x10000144u);
}

TEST_F(MemoryRowTest, LaterRowsWalkFromEveryWordInMemory) {
    // Three objects whose +10 holds the value, pointed at from aligned and
    // unaligned words; a pointer in the read-only page is not followed.
    const std::uint64_t objects[] = {0x20000000, 0x20000100, 0x20000200};
    for (std::uint64_t object : objects) target.writeValue<std::int32_t>(object + 0x10, 99);
    target.writePointer(0x10000200, objects[0]);
    target.writePointer(0x10004008, objects[1]);
    target.writePointer(0x10004014, objects[2]);  // not 8-aligned from the region's start
    target.writePointer(0x10001200, objects[2]);  // read-only
    target.writeValue<std::int32_t>(0x20000300 + 0x10, 98);
    target.writePointer(0x10005008, 0x20000300);  // a value that does not match
    search("99", {{0, 0, 8}, {0x10, 0, 4}});
    const std::vector<Found> expected = {
        {objects[0] + 0x10, "10000200]10"},
        {objects[1] + 0x10, "10004008]10"},
    };
    EXPECT_EQ(listed(engine.results()), expected);
    // At step 4 the unaligned one too.
    search("99", {{0, 0, 4}, {0x10, 0, 4}});
    EXPECT_EQ(listed(engine.results()).size(), 3u);
    // Three rows: the objects' +10 is a pointer in turn.
    target.writePointer(objects[0] + 0x18, 0x20000400);
    target.writeValue<std::int32_t>(0x20000400 + 4, 55);
    search("55", {{0, 0, 8}, {0x18, 0, 4}, {0, 4, 4}});
    EXPECT_EQ(listed(engine.results()), (std::vector<Found>{{0x20000404, "10000200]18]4"}}));
}

TEST_F(MemoryRowTest, WithoutARegionListNothingIsFound) {
    SearchEngine bare{target, sink, codec};
    sink.set({ValueType::Long, 0, SearchCondition::Equal, std::to_string(kPlanted), ""});
    const FirstSearchReport report = bare.runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
    EXPECT_EQ(report.results, 0u);
    EXPECT_EQ(report.candidates, 0u);
}

TEST_F(MemoryRowTest, AStopEndsTheScanAndKeepsNothing) {
    target.map(0x40000000, 8 * kReadChunkBytes);
    // Counted by both reading threads.
    std::atomic<int> reads{0};
    target.onRead = [&] {
        if (++reads == 3) engine.stopRequested.raise();
    };
    const FirstSearchReport report = search("0", {{0, 0, 4}});
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(engine.results().count(), 0u);
    EXPECT_LT(reads.load(), 6) << "the scan goes on after the stop";
}

// Regions as a lister might give them: adjacent but apart, and one that has
// lost a page since it was listed.
TEST(MemoryRowScan, ChunksAreLargeAndABadPageLosesOnlyItself) {
    FakeTarget target;
    const std::uint64_t base = 0x40000000;
    const std::uint64_t size = 4 * kReadChunkBytes;
    target.map(base, size);
    for (std::uint64_t a = base; a < base + size; a += 0x1000) target.writeValue<std::int32_t>(a + 0x10, 1);
    target.resetCounters();
    const StopFlag stop;
    CandidateStore store;
    FakeTextCodec codec;
    const ValueFilter filter(ValueType::Long, 0, SearchCondition::Equal, "1", "", codec);
    {
        Traversal traversal(target, stop, store);
        ResultEntries results;
        traversal.runFilteredOverMemory({{0, 0, 4}}, {{base, size, true}}, filter, results);
        EXPECT_EQ(results.size(), size / 0x1000);
        EXPECT_EQ(traversal.leafCount(), size / 4);
        EXPECT_EQ(target.readCalls(), size / kReadChunkBytes) << "one read call per chunk";
    }
    target.unmap(base + 0x123000, 0x1000);
    target.resetCounters();
    {
        Traversal traversal(target, stop, store);
        ResultEntries results;
        traversal.runFilteredOverMemory({{0, 0, 4}}, {{base, size, true}}, filter, results);
        EXPECT_EQ(results.size(), size / 0x1000 - 1);
        for (std::size_t i = 0; i < results.size(); ++i) EXPECT_NE(results[i].address, base + 0x123010);
        EXPECT_LT(target.readCalls(), 4 + 2 * 9) << "a bad page is found by halves, not page by page";
    }
    // Two adjacent regions: the value across their border is not read.
    target.writeValue(base + 0x2FFE, kPlanted);
    target.writeValue(base + 0x3002, kPlanted);
    const ValueFilter planted(ValueType::Long, 0, SearchCondition::Equal, std::to_string(kPlanted), "", codec);
    Traversal traversal(target, stop, store);
    ResultEntries results;
    traversal.runFilteredOverMemory({{0, 0, 2}}, {{base, 0x3000, true}, {base + 0x3000, 0x1000, true}}, planted,
                                    results);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].address, base + 0x3002);
}

TEST_F(MemoryRowTest, UnknownValuesAreKeptAsASnapshotAndNarrowedByChanges) {
    const FirstSearchReport report = search("", {{0, 0, 4}}, SearchCondition::None);
    const std::uint64_t addresses = (0x1000 - 4) / 4 + 1 + (0x1000 - 4) / 4 + 1 + (0x2000 - 4) / 4 + 1;
    EXPECT_EQ(report.results, 0u);
    EXPECT_EQ(report.snapshotAddresses, addresses);
    EXPECT_EQ(report.candidates, addresses);
    EXPECT_EQ(engine.results().count(), 0u);
    EXPECT_EQ(sink.status[StatusField::ValidData], std::to_string(addresses));
    ASSERT_NE(engine.snapshot(), nullptr);
    const std::uint64_t scanned = 0x4000;
    // Every page scanned holds a planted value: all are stored.
    EXPECT_EQ(engine.snapshot()->storedBytes(), scanned);
    EXPECT_LE(engine.snapshot()->memoryBytes(), PagedStore::kBlockBytes + scanned / 10) << "more than a block";

    // The value changes: the change conditions against the snapshot find it.
    target.writeValue<std::int32_t>(0x10004800, 50);
    sink.set({ValueType::Long, 0, SearchCondition::Changed, "", ""});
    engine.runNextSearch();
    EXPECT_EQ(engine.snapshot(), nullptr);
    EXPECT_EQ(engine.snapshotAddresses(), 0u);
    ASSERT_EQ(engine.results().count(), 1u);
    EXPECT_EQ(engine.results().pathText(0), "10004800");
    EXPECT_EQ(engine.results().valueText(0), "50");
    EXPECT_EQ(sink.status[StatusField::ValidData], "1");

    // From here the results go through the passes as any others.
    target.writeValue<std::int32_t>(0x10004800, 40);
    sink.set({ValueType::Long, 0, SearchCondition::Decreased, "", ""});
    engine.runNextSearch();
    EXPECT_EQ(engine.results().count(), 1u);
    sink.set({ValueType::Long, 0, SearchCondition::Increased, "", ""});
    engine.runNextSearch();
    EXPECT_EQ(engine.results().count(), 0u);
}

TEST_F(MemoryRowTest, EveryFirstSearchThatKeepsAllValuesKeepsASnapshot) {
    for (const SearchCondition condition :
         {SearchCondition::None, SearchCondition::Contains, SearchCondition::Changed, SearchCondition::Decreased}) {
        const FirstSearchReport report = search("1", {{0, 0, 4}}, condition);
        EXPECT_EQ(report.results, 0u) << static_cast<int>(condition);
        EXPECT_NE(engine.snapshot(), nullptr) << static_cast<int>(condition);
    }
    // A text that contains the value is a condition like any other.
    sink.set({ValueType::AnsiText, kNoBaseMode, SearchCondition::Contains, "Z", ""});
    target.writeText(0x10004400, "xyZ");
    engine.runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
    EXPECT_EQ(engine.snapshot(), nullptr);
    EXPECT_GT(engine.results().count(), 0u);
}

TEST_F(MemoryRowTest, EveryConditionNarrowsASnapshotAsAPlainComparisonWould) {
    // Words 0..N of the last region before and after a change.
    const std::uint64_t base = 0x10004000;
    for (std::uint64_t i = 0; i < 0x800; ++i)
        target.writeValue<std::int32_t>(base + 4 * i, static_cast<std::int32_t>(i % 7));
    struct Case {
        SearchCondition condition;
        const char* value1;
        const char* value2;
    };
    const Case cases[] = {
        {SearchCondition::Unchanged, "", ""}, {SearchCondition::Changed, "", ""},
        {SearchCondition::Increased, "", ""}, {SearchCondition::Decreased, "", ""},
        {SearchCondition::Equal, "3", ""},    {SearchCondition::Between, "2", "4"},
        {SearchCondition::AtLeast, "5", ""},  {SearchCondition::NotEqual, "0", ""},
    };
    for (const Case& c : cases) {
        for (std::uint64_t i = 0; i < 0x800; ++i)
            target.writeValue<std::int32_t>(base + 4 * i, static_cast<std::int32_t>(i % 7));
        search("", {{0, 0, 4}}, SearchCondition::None);
        ASSERT_NE(engine.snapshot(), nullptr);
        std::vector<std::int32_t> before(0x800);
        for (std::uint64_t i = 0; i < 0x800; ++i) {
            before[i] = static_cast<std::int32_t>(i % 7);
            target.writeValue<std::int32_t>(base + 4 * i, static_cast<std::int32_t>(i % 5));
        }
        sink.set({ValueType::Long, 0, c.condition, c.value1, c.value2});
        engine.runNextSearch();
        std::vector<std::uint64_t> expected;
        for (std::uint64_t i = 0; i < 0x800; ++i) {
            const auto now = static_cast<std::int32_t>(i % 5);
            bool keep = false;
            switch (c.condition) {
                case SearchCondition::Unchanged: keep = now == before[i]; break;
                case SearchCondition::Changed: keep = now != before[i]; break;
                case SearchCondition::Increased: keep = now > before[i]; break;
                case SearchCondition::Decreased: keep = now < before[i]; break;
                case SearchCondition::Equal: keep = now == 3; break;
                case SearchCondition::Between: keep = now >= 2 && now <= 4; break;
                case SearchCondition::AtLeast: keep = now >= 5; break;
                default: keep = now != 0; break;
            }
            if (keep) expected.push_back(base + 4 * i);
        }
        std::vector<std::uint64_t> kept;
        for (const Found& found : listed(engine.results()))
            if (found.address >= base && found.address < base + 0x2000) kept.push_back(found.address);
        EXPECT_EQ(kept, expected) << static_cast<int>(c.condition);
    }
}

TEST_F(MemoryRowTest, AStopDuringASnapshotKeepsNone) {
    target.map(0x40000000, 8 * kReadChunkBytes);
    // Counted by both reading threads.
    std::atomic<int> reads{0};
    target.onRead = [&] {
        if (++reads == 5) engine.stopRequested.raise();
    };
    const FirstSearchReport report = search("", {{0, 0, 4}}, SearchCondition::None);
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(engine.snapshot(), nullptr);
    EXPECT_EQ(report.snapshotAddresses, 0u);
    EXPECT_LT(reads, 8);
}

// A snapshot of many chunks, its last one short, with a page lost in the
// middle and runs of zero pages: every byte read is the target's, and the
// zero pages take no stored bytes.
TEST_F(MemoryRowTest, ASnapshotOfManyChunksHoldsEveryByteReadAndNoZeroPage) {
    const std::uint64_t base = 0x60000000;
    const std::uint64_t size = 6 * kReadChunkBytes + 0x3000 + 100;
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(1 + i % 251);
    // Zero pages alone, in a run across a chunk's border, and a page zero
    // but for its last byte.
    std::fill_n(bytes.begin() + 0x2000, 0x1000, 0);
    std::fill_n(bytes.begin() + kReadChunkBytes - 0x3000, 0x5000, 0);
    std::fill_n(bytes.begin() + 0x9000, 0xFFF, 0);
    target.map(base, size);
    target.write(base, bytes.data(), bytes.size());
    const std::uint64_t lost = base + 3 * kReadChunkBytes + 0x5000;
    target.unmap(lost, 0x1000);
    const StopFlag stop;
    const MemorySnapshot snapshot = takeMemorySnapshot(target, {{base, size, true}}, 4, 4, stop);
    ASSERT_EQ(snapshot.regions.size(), 1u);
    const MemorySnapshot::Region& region = snapshot.regions[0];
    ASSERT_EQ(region.size, size);
    std::uint64_t zeroPages = 0;
    for (std::uint64_t page = 0; page < region.pages(); ++page) {
        EXPECT_EQ(region.lost(page), base + page * kPageSize == lost) << page;
        zeroPages += region.zero(page);
    }
    EXPECT_EQ(zeroPages, 6u);
    EXPECT_TRUE(region.zero(2));
    EXPECT_FALSE(region.zero(9));
    EXPECT_EQ(snapshot.storedBytes(), size - 7 * kPageSize);
    std::vector<unsigned char> kept(size);
    snapshot.copyOut(0, base, base + size, kept.data());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (base + i - (base + i) % kPageSize != lost && kept[i] != bytes[i]) ++wrong;
    EXPECT_EQ(wrong, 0u);
    // Pieces across page and chunk borders come out as the whole does.
    for (const auto& [from, to] : {std::pair<std::uint64_t, std::uint64_t>{0x1FFE, 0x3003},
                                   {kReadChunkBytes - 0x3001, kReadChunkBytes + 0x2001},
                                   {size - 5000, size}}) {
        std::vector<unsigned char> piece(to - from);
        snapshot.copyOut(0, base + from, base + to, piece.data());
        EXPECT_TRUE(std::equal(piece.begin(), piece.end(), kept.begin() + static_cast<std::ptrdiff_t>(from))) << from;
    }
}

// A page is zero only if every byte is: one byte set anywhere, in a block
// or in the tail past the last whole block, makes it not.
TEST(AllZero, OneByteSetAnywhereMakesItNotZero) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{255}, std::size_t{256},
                                   std::size_t{300}, std::size_t{4096}}) {
        std::vector<unsigned char> bytes(size + 1, 0);
        const unsigned char* at = bytes.data() + 1;  // not aligned
        EXPECT_TRUE(allZero(at, size)) << size;
        std::size_t missed = 0;
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i + 1] = 0x80;
            missed += allZero(at, size);
            bytes[i + 1] = 0;
        }
        EXPECT_EQ(missed, 0u) << size;
        bytes[0] = 1;  // before the span
        EXPECT_TRUE(allZero(at, size)) << size;
    }
}

// Stored on a thread of its own while the next chunks are read, or on the
// reading thread, a snapshot of several regions is the same: each region's
// stored pages where it says they begin. A store that fails mid-way fails
// the snapshot either way, and the reading ends.
TEST_F(MemoryRowTest, ASnapshotStoredBesideItsReadingIsTheOneStoredAlone) {
    struct Part {
        std::uint64_t start;
        std::uint64_t size;
        bool zero;
    };
    const Part parts[] = {{0x60000000, 2 * kReadChunkBytes + 0x1000, false},
                          {0x61000000, 0x3000, true},
                          {0x62000000, kReadChunkBytes + 0x2000, false},
                          {0x63000000, 5 * kReadChunkBytes, false}};
    std::vector<MemoryRegion> regions;
    for (const Part& part : parts) {
        target.map(part.start, part.size);
        if (!part.zero) {
            std::vector<unsigned char> bytes(part.size);
            for (std::size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<unsigned char>(1 + (i * 7 + part.start / 0x1000000) % 253);
            target.write(part.start, bytes.data(), bytes.size());
        }
        regions.push_back({part.start, part.size, true});
    }
    target.unmap(0x62000000 + kReadChunkBytes, 0x1000);
    const StopFlag stop;
    const MemorySnapshot alone = takeMemorySnapshot(target, regions, 4, 4, stop, nullptr, false);
    const MemorySnapshot beside = takeMemorySnapshot(target, regions, 4, 4, stop, nullptr, true);
    EXPECT_TRUE(beside.sameAs(alone));
    ASSERT_EQ(beside.regions.size(), regions.size());
    EXPECT_EQ(beside.storedBytes(), alone.storedBytes());
    for (std::size_t r = 0; r < regions.size(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(beside.regions[r].storedFrom, alone.regions[r].storedFrom);
        std::vector<unsigned char> kept(regions[r].size);
        std::vector<unsigned char> now(regions[r].size);
        beside.copyOut(r, regions[r].start, regions[r].end(), kept.data());
        for (std::uint64_t page = 0; page < beside.regions[r].pages(); ++page) {
            const std::uint64_t at = regions[r].start + page * kPageSize;
            if (beside.regions[r].lost(page)) continue;
            ASSERT_TRUE(target.read(at, now.data() + page * kPageSize, kPageSize));
        }
        std::size_t wrong = 0;
        for (std::uint64_t page = 0; page < beside.regions[r].pages(); ++page)
            if (!beside.regions[r].lost(page))
                wrong += !std::equal(kept.begin() + static_cast<std::ptrdiff_t>(page * kPageSize),
                                     kept.begin() + static_cast<std::ptrdiff_t>((page + 1) * kPageSize),
                                     now.begin() + static_cast<std::ptrdiff_t>(page * kPageSize));
        EXPECT_EQ(wrong, 0u) << "pages kept wrong";
    }

    // A store that takes two runs, then fails.
    class FailingStore : public PagedStore {
    public:
        void append(const unsigned char* bytes, std::size_t size) override {
            if (++appends > 2) throw std::runtime_error("disk full");
            PagedStore::append(bytes, size);
        }
        int appends = 0;
    };
    for (const bool storingThread : {false, true}) {
        SCOPED_TRACE(storingThread ? "stored beside" : "stored alone");
        EXPECT_THROW(takeMemorySnapshot(target, regions, 4, 4, stop, std::make_unique<FailingStore>(), storingThread),
                     std::runtime_error);
    }
}

// A second snapshot fills the blocks of the first rather than fresh memory,
// and beyond its budget the pages go to a file that goes with the store.
TEST(PagedStore, ReusesSpareBlocksAndSpillsPastItsBudget) {
    std::vector<unsigned char> bytes(5 * PagedStore::kBlockBytes / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 13 + i / 4096);
    std::vector<PagedStore::Block> spare;
    std::vector<const unsigned char*> firstBlocks;
    {
        PagedStore first;
        first.append(bytes.data(), bytes.size());
        EXPECT_EQ(first.memoryBytes(), 3 * PagedStore::kBlockBytes);
        spare = first.takeBlocks();
        for (const PagedStore::Block& block : spare) firstBlocks.push_back(block.get());
    }
    const auto spill = std::filesystem::temp_directory_path() / "corvane_paged_store_test.tmp";
    {
        PagedStore second(std::move(spare), 2 * PagedStore::kBlockBytes, spill);
        // Appended in uneven pieces, across the budget's edge.
        for (std::size_t at = 0; at < bytes.size(); at += 300000)
            second.append(bytes.data() + at, std::min<std::size_t>(300000, bytes.size() - at));
        EXPECT_EQ(second.size(), bytes.size());
        EXPECT_EQ(second.memoryBytes(), 2 * PagedStore::kBlockBytes) << "the budget holds";
        EXPECT_EQ(second.spilledBytes(), bytes.size() - 2 * PagedStore::kBlockBytes);
        EXPECT_TRUE(std::filesystem::exists(spill));
        for (const auto& [from, size] : {std::pair<std::size_t, std::size_t>{0, 100},
                                         {PagedStore::kBlockBytes - 10, 20},
                                         {2 * PagedStore::kBlockBytes - 5000, 10000},
                                         {bytes.size() - 7, 7}}) {
            std::vector<unsigned char> out(size);
            second.read(from, out.data(), size);
            EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(from))) << from;
        }
        const std::vector<PagedStore::Block> again = second.takeBlocks();
        ASSERT_EQ(again.size(), 2u);
        for (const PagedStore::Block& block : again)
            EXPECT_NE(std::find(firstBlocks.begin(), firstBlocks.end(), block.get()), firstBlocks.end())
                << "a fresh block where a spare one was at hand";
    }
    EXPECT_FALSE(std::filesystem::exists(spill)) << "the file goes with the store";
    // Without a file to go to, a store over its budget says so.
    PagedStore bounded({}, PagedStore::kBlockBytes);
    EXPECT_THROW(bounded.append(bytes.data(), bytes.size()), std::runtime_error);
}

// A snapshot larger than its budget spills to its file; the session still
// comes down to one row, and the file goes with the snapshot: after 清空,
// after a new first search, and with the engine.
TEST(MemoryRowBudget, ASnapshotPastItsBudgetSpillsAndItsFileGoesWithIt) {
    const auto folder = std::filesystem::temp_directory_path();
    const auto spill = spillFilePath(folder, 4000000001u);
    FakeTarget target;
    TestSink sink;
    FakeTextCodec codec;
    const std::uint64_t base = 0x70000000;
    target.map(base, 3 * PagedStore::kBlockBytes);
    for (std::uint64_t at = 0; at < 3 * PagedStore::kBlockBytes; at += 64)
        target.writeValue<std::int32_t>(base + at, static_cast<std::int32_t>(at / 64 % 1000 + 1));
    auto engine = std::make_unique<SearchEngine>(target, sink, codec);
    engine->setRegionLookup(&target);
    engine->setSnapshotBudget(PagedStore::kBlockBytes, spill);
    const auto firstSearch = [&] {
        sink.set({ValueType::Long, 0, SearchCondition::None, "", ""});
        engine->runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
        ASSERT_NE(engine->snapshot(), nullptr);
        EXPECT_LE(engine->snapshot()->memoryBytes(), PagedStore::kBlockBytes + 4096) << "the budget holds";
        EXPECT_TRUE(std::filesystem::exists(spill));
    };
    firstSearch();
    // One value changes past the budget's block, one before it.
    const std::uint64_t late = base + 2 * PagedStore::kBlockBytes + 0x1234 * 4;
    target.writeValue<std::int32_t>(late, 5000);
    target.writeValue<std::int32_t>(base + 0x40, 6000);
    sink.set({ValueType::Long, 0, SearchCondition::Changed, "", ""});
    engine->runNextSearch();
    EXPECT_FALSE(std::filesystem::exists(spill)) << "narrowed, the snapshot and its file are gone";
    ASSERT_EQ(engine->results().count(), 2u);
    target.writeValue<std::int32_t>(late, 5001);
    sink.set({ValueType::Long, 0, SearchCondition::Increased, "", ""});
    engine->runNextSearch();
    ASSERT_EQ(engine->results().count(), 1u);
    EXPECT_EQ(engine->results().address(0), late);

    firstSearch();
    engine->clearSnapshot();
    EXPECT_EQ(engine->snapshot(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(spill)) << "after 清空";
    firstSearch();
    sink.set({ValueType::Long, 0, SearchCondition::Equal, "5001", ""});
    engine->runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
    EXPECT_FALSE(std::filesystem::exists(spill)) << "after a new first search";
    firstSearch();
    engine.reset();
    EXPECT_FALSE(std::filesystem::exists(spill)) << "after the program ends";
}

TEST(MemoryRowBudget, AtStartTheFilesOfProgramsGoneAreDeleted) {
    const auto folder = std::filesystem::temp_directory_path() / "corvane_spill_test";
    std::filesystem::create_directories(folder);
    const std::uint32_t gone = 4000000002u;
    const std::uint32_t running = 4000000003u;
    for (const std::uint32_t pid : {gone, running}) {
        std::ofstream(spillFilePath(folder, pid)) << "x";
        std::ofstream(secondSpillPath(spillFilePath(folder, pid))) << "x";
    }
    std::ofstream(folder / "corvane-snapshot-x1.tmp") << "not one of ours";
    std::ofstream(folder / "other.tmp") << "x";
    std::vector<std::uint32_t> asked;
    const std::size_t removed = removeStaleSpillFiles(folder, [&](std::uint32_t pid) {
        asked.push_back(pid);
        return pid == running;
    });
    EXPECT_EQ(removed, 2u);
    for (const auto& path : {spillFilePath(folder, gone), secondSpillPath(spillFilePath(folder, gone))})
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
    for (const auto& path : {spillFilePath(folder, running), secondSpillPath(spillFilePath(folder, running))})
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
    EXPECT_TRUE(std::filesystem::exists(folder / "corvane-snapshot-x1.tmp"));
    EXPECT_TRUE(std::filesystem::exists(folder / "other.tmp"));
    EXPECT_EQ(asked.size(), 4u);
    std::filesystem::remove_all(folder);
}

// The pages of fresh spans are faulted in by a second thread while the
// spans are filled: a span claimed by the filler is never written by the
// helper again, whether the filler runs ahead of it or behind it. The filler
// marks the very bytes the helper writes, on fresh pages, so that it keeps
// pace with the helper and overtakes it when it skips spans.
TEST(PrefaultAhead, NeverWritesASpanOnceItIsClaimed) {
    constexpr std::size_t kSpans = 64;
    constexpr std::size_t kSpanBytes = 64 * kPageSize + 100;
    auto marked = [](std::size_t at) { return at % kPageSize == 0 || at == kSpanBytes - 1; };
    for (const int pace : {0, 1, 2}) {
        const std::unique_ptr<unsigned char[]> memory(new unsigned char[kSpans * kSpanBytes]);
        std::vector<PrefaultAhead::Span> spans;
        for (std::size_t i = 0; i < kSpans; ++i) spans.push_back({memory.get() + i * kSpanBytes, kSpanBytes});
        const std::size_t stride = pace == 1 ? 3 : 1;
        std::size_t touched = 0;
        {
            PrefaultAhead prefault(spans);
            if (pace == 2) {
                // The filler starts late: the helper is well ahead of it.
                while (prefault.touchedSpans() < kSpans / 2) std::this_thread::yield();
            }
            for (std::size_t i = 0; i < kSpans; i += stride) {
                prefault.claim(i);
                for (std::size_t at = 0; at < kSpanBytes; ++at)
                    if (marked(at)) spans[i].data[at] = 0xCD;
            }
            touched = prefault.touchedSpans();
        }
        if (pace == 2) {
            EXPECT_GE(touched, kSpans / 2);
        }
        for (std::size_t i = 0; i < kSpans; i += stride) {
            std::size_t lost = 0;
            for (std::size_t at = 0; at < kSpanBytes; ++at) lost += marked(at) && spans[i].data[at] != 0xCD;
            EXPECT_EQ(lost, 0u) << "span " << i << " written after its claim, pace " << pace;
        }
    }
    // Nothing claimed: the helper ends when its owner goes.
    std::vector<unsigned char> memory(1 << 20);
    PrefaultAhead idle({{memory.data(), memory.size()}});
}

TEST_F(MemoryRowTest, APageLostToTheSnapshotKeepsNoChangeOnIt) {
    // A region listed whole whose middle page cannot be read.
    const StopFlag stop;
    target.map(0x50000000, 0x3000);
    target.unmap(0x50001000, 0x1000);
    const MemorySnapshot snapshot = takeMemorySnapshot(target, {{0x50000000, 0x3000, true}}, 4, 4, stop);
    ASSERT_EQ(snapshot.regions.size(), 1u);
    EXPECT_FALSE(snapshot.regions[0].lost(0));
    EXPECT_TRUE(snapshot.regions[0].lost(1));
    EXPECT_FALSE(snapshot.regions[0].lost(2));
    target.map(0x50001000, 0x1000);
    target.writeValue<std::int32_t>(0x50001010, 9);
    target.writeValue<std::int32_t>(0x50002010, 9);
    ResultEntries out;
    narrowMemorySnapshot(target, snapshot, {ValueType::Long, 0, SearchCondition::Changed, "", ""}, codec, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].address, 0x50002010u);
    out.clear();
    // A condition on the value alone does not need the old bytes.
    narrowMemorySnapshot(target, snapshot, {ValueType::Long, 0, SearchCondition::Equal, "9", ""}, codec, out);
    EXPECT_EQ(out.size(), 2u);
}

// The memory row tests integers by key ranges; they must keep exactly what
// the filter's own test keeps, in every kind, base and condition.
TEST(ValueFilterKeyRange, KeepsWhatMatchesKeeps) {
    FakeTextCodec codec;
    std::mt19937_64 random(16);
    const char* values[] = {"0",   "1",    "-1",     "100",   "-100",       "127",         "128",
                            "255", "7FFF", "&H8000", "65535", "2147483647", "-2147483648", "9223372036854775807",
                            "FF"};
    for (const ValueType type : {ValueType::Byte, ValueType::Short, ValueType::Long, ValueType::Int64}) {
        for (const std::uint8_t base : {std::uint8_t{0}, std::uint8_t{1}}) {
            for (int c = 0; c <= static_cast<int>(SearchCondition::Decreased); ++c) {
                const auto condition = static_cast<SearchCondition>(c);
                for (const char* value1 : values) {
                    const char* value2 = values[random() % std::size(values)];
                    const ValueFilter filter(type, base, condition, value1, value2, codec);
                    const auto range = filter.keyRange();
                    ASSERT_TRUE(range.has_value()) << static_cast<int>(type) << " " << c;
                    for (int trial = 0; trial < 200; ++trial) {
                        std::uint64_t raw = random();
                        // Near the bounds too, not only anywhere.
                        if (trial % 2 == 0) raw = (random() % 5) - 2 + (trial % 4 == 0 ? 0 : 0x80);
                        unsigned char bytes[8];
                        std::memcpy(bytes, &raw, 8);
                        std::uint64_t loaded = 0;
                        std::memcpy(&loaded, bytes, range->width);
                        const std::uint64_t key = (loaded << range->unused) ^ range->flip;
                        const bool byKeys = (key - range->low <= range->span) != range->outside;
                        EXPECT_EQ(byKeys, filter.matches(bytes))
                            << "type " << static_cast<int>(type) << " base " << int{base} << " condition " << c << " "
                            << value1 << " " << value2 << " raw " << std::hex << raw;
                    }
                }
            }
        }
    }
    const ValueFilter single(ValueType::Single, 0, SearchCondition::Equal, "1", "", codec);
    EXPECT_FALSE(single.keyRange().has_value());
}

}  // namespace
}  // namespace corvane
