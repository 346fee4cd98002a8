#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/search/search_engine.h"
#include "engine/search/spill_file.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/test_sink.h"

namespace corvane {
namespace {

using test::FakeTarget;
using test::TestSink;

// A next search over a snapshot that keeps more addresses than the budget's
// memory holds as results stays a snapshot: the memory taken again, the kept
// addresses marked. The search after it compares with the bytes that search
// saw, over the addresses it kept only.
class NarrowedSnapshot : public ::testing::Test {
protected:
    static constexpr std::uint64_t kBase = 0x70000000;
    // Past the budget's block, so that the first snapshot spills.
    static constexpr std::uint64_t kBytes = PagedStore::kBlockBytes + PagedStore::kBlockBytes / 2;
    // The last page stays zeros.
    static constexpr std::uint64_t kZeroPage = kBase + kBytes - kPageSize;

    // A second region of one page, zeros.
    static constexpr std::uint64_t kZeroRegion = kBase + 0x10000000;

    void SetUp() override {
        std::filesystem::create_directories(folder);
        target.map(kBase, kBytes);
        target.map(kZeroRegion, kPageSize);
        target.write(kBase, values(0).data(), kZeroPage - kBase);
        engine = std::make_unique<SearchEngine>(target, sink, codec);
        engine->setRegionLookup(&target);
        engine->setSnapshotBudget(PagedStore::kBlockBytes, spill);
    }
    void TearDown() override {
        engine.reset();
        EXPECT_FALSE(std::filesystem::exists(spill));
        EXPECT_FALSE(std::filesystem::exists(secondSpillPath(spill)));
        std::filesystem::remove_all(folder);
    }
    static std::int32_t valueAt(std::uint64_t address) { return static_cast<std::int32_t>(address / 4 % 1000 + 1); }
    // The values from kBase to the zero page, each `plus` more.
    static std::vector<std::int32_t> values(std::int32_t plus) {
        std::vector<std::int32_t> all;
        for (std::uint64_t at = kBase; at < kZeroPage; at += 4) all.push_back(valueAt(at) + plus);
        return all;
    }
    void search(SearchCondition condition, const char* value = "") {
        sink.set({ValueType::Long, 0, condition, value, ""});
        if (condition == SearchCondition::None)
            engine->runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
        else
            engine->runNextSearch();
    }
    std::set<std::uint64_t> results() const {
        std::set<std::uint64_t> listed;
        for (std::size_t i = 0; i < engine->results().count(); ++i) listed.insert(engine->results().address(i));
        return listed;
    }

    // A change before the wide step, the wide step, then a change after it
    // and a 保留改变了的数值*. Addresses: `early` changes before the wide
    // step, `back` changes before it and back after it, `late` changes after
    // it, and `woken` is a zero page's address that turns non-zero after it.
    struct Addresses {
        std::uint64_t early = kBase + 0x1000;
        std::uint64_t back = kBase + PagedStore::kBlockBytes + 0x2004;  // in the spilled part
        std::uint64_t late = kBase + 0x3008;
        std::uint64_t woken = kZeroPage + 0x10;
    };
    // What the step after the wide one keeps. `regions` are the snapshot's
    // after the wide step, and `marked` those of them that need their bits.
    std::set<std::uint64_t> wideStepThenChanged(SearchCondition wide, const char* value, std::uint64_t kept,
                                                std::size_t regions, std::size_t marked) {
        const Addresses a;
        search(SearchCondition::None);
        EXPECT_NE(engine->snapshot(), nullptr);
        EXPECT_TRUE(std::filesystem::exists(spill)) << "the first snapshot spills";
        target.writeValue<std::int32_t>(a.early, 5000);
        target.writeValue<std::int32_t>(a.back, 5001);

        search(wide, value);
        EXPECT_NE(engine->snapshot(), nullptr) << "more kept than the results may hold";
        if (engine->snapshot() == nullptr) return {};
        EXPECT_EQ(engine->results().count(), 0u);
        EXPECT_EQ(engine->snapshotAddresses(), kept);
        EXPECT_EQ(engine->snapshot()->addressCount(), kept);
        EXPECT_EQ(sink.statusText(StatusField::ValidData), std::to_string(kept));
        if (wide == SearchCondition::Unchanged) {
            EXPECT_TRUE(std::filesystem::exists(spill)) << "the snapshot keeps its bytes, and its file";
        } else {
            EXPECT_FALSE(std::filesystem::exists(spill)) << "the old snapshot's file goes with it";
            EXPECT_TRUE(std::filesystem::exists(secondSpillPath(spill)))
                << "the old one held the budget while the new one was taken";
        }
        EXPECT_LE(engine->snapshot()->store->memoryBytes(), PagedStore::kBlockBytes);
        EXPECT_EQ(engine->snapshot()->regions.size(), regions);
        EXPECT_EQ(std::count_if(engine->snapshot()->regions.begin(), engine->snapshot()->regions.end(),
                                [](const MemorySnapshot::Region& region) { return !region.keptAddresses.empty(); }),
                  static_cast<std::ptrdiff_t>(marked));

        target.writeValue<std::int32_t>(a.back, valueAt(a.back));
        target.writeValue<std::int32_t>(a.late, 6000);
        target.writeValue<std::int32_t>(a.woken, 7);
        search(SearchCondition::Changed);
        EXPECT_EQ(engine->snapshot(), nullptr);
        EXPECT_FALSE(std::filesystem::exists(spill)) << "narrowed to results, no file is left";
        EXPECT_FALSE(std::filesystem::exists(secondSpillPath(spill)));
        return results();
    }

    // A folder of each test's own: the test runner may run them side by side.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        (std::string("corvane-narrowed-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::filesystem::path spill = spillFilePath(folder, 4000000004u);
    const std::uint64_t addresses = (kBytes - 4) / 4 + 1 + kPageSize / 4;
    FakeTarget target;
    TestSink sink;
    FakeTextCodec codec;
    std::unique_ptr<SearchEngine> engine;
};

// The changed ones go; the zero pages' addresses stay, and one that turns
// non-zero is seen as changed. The zero region, all kept, needs no bits. The
// kept integers' bytes are the snapshot's: it is narrowed in place.
TEST_F(NarrowedSnapshot, UnchangedKeepsAllButTheChangedOnes) {
    const Addresses a;
    EXPECT_EQ(wideStepThenChanged(SearchCondition::Unchanged, "", addresses - 2, 2, 1),
              (std::set<std::uint64_t>{a.late, a.woken}));
}

// The zero pages' addresses go, the zero region with them; the changed ones
// stay with their new values: `early` has not changed since, `back` has.
TEST_F(NarrowedSnapshot, AValueConditionKeepsTheValuesItSaw) {
    const Addresses a;
    EXPECT_EQ(wideStepThenChanged(SearchCondition::AtLeast, "1", addresses - 2 * kPageSize / 4, 1, 1),
              (std::set<std::uint64_t>{a.back, a.late}));
}

// Narrowed in place twice: what the first step dropped stays dropped, in a
// chunk whose bytes are all the snapshot's again as well.
TEST_F(NarrowedSnapshot, TwoUnchangedStepsInARow) {
    search(SearchCondition::None);
    search(SearchCondition::Unchanged);
    ASSERT_NE(engine->snapshot(), nullptr);
    for (const MemorySnapshot::Region& region : engine->snapshot()->regions)
        EXPECT_TRUE(region.keptAddresses.empty()) << "all kept, no bits";
    EXPECT_EQ(engine->snapshotAddresses(), addresses);

    target.writeValue<std::int32_t>(kBase + 0x40, 9);
    search(SearchCondition::Unchanged);
    EXPECT_EQ(engine->snapshotAddresses(), addresses - 1);
    target.writeValue<std::int32_t>(kBase + 0x40, valueAt(kBase + 0x40));
    // In a chunk of its own: the first one's bytes are the snapshot's again.
    target.writeValue<std::int32_t>(kBase + 0x200004, 11);
    search(SearchCondition::Unchanged);
    EXPECT_EQ(engine->snapshotAddresses(), addresses - 2) << "what the step before dropped stays dropped";

    target.writeValue<std::int32_t>(kBase + 0x40, 12);
    target.writeValue<std::int32_t>(kBase + 0x200004, 13);
    target.writeValue<std::int32_t>(kBase + 0xC8, 14);
    search(SearchCondition::Changed);
    EXPECT_EQ(results(), std::set<std::uint64_t>{kBase + 0xC8});
}

// Taken again twice, the two file names take turns and the second keeps
// only what the first kept; 清空 takes whichever file is there.
TEST_F(NarrowedSnapshot, TwoValueStepsInARowAndThenClear) {
    search(SearchCondition::None);
    search(SearchCondition::AtLeast, "1");
    EXPECT_TRUE(std::filesystem::exists(secondSpillPath(spill)));
    const std::uint64_t kept = engine->snapshotAddresses();
    target.writeValue<std::int32_t>(kBase + 0x40, 0);
    search(SearchCondition::AtLeast, "1");
    EXPECT_EQ(engine->snapshotAddresses(), kept - 1);
    EXPECT_TRUE(std::filesystem::exists(spill));
    EXPECT_FALSE(std::filesystem::exists(secondSpillPath(spill)));
    target.writeValue<std::int32_t>(kBase + 0x40, 5);
    target.writeValue<std::int32_t>(kBase + 0x200004, 0);
    search(SearchCondition::AtLeast, "1");
    EXPECT_EQ(engine->snapshotAddresses(), kept - 2) << "what the step before dropped stays dropped";
    engine->clearSnapshot();
    EXPECT_EQ(engine->snapshot(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(spill)) << "after 清空";
}

// 保留没有改变的数值* that keeps few lists them, with their values: every
// non-zero value but three changes, and the zero pages' stay.
TEST_F(NarrowedSnapshot, AnUnchangedStepThatKeepsFewListsThem) {
    search(SearchCondition::None);
    const std::set<std::uint64_t> still = {kBase + 0x10, kBase + 0x200000, kZeroPage - 4};
    target.write(kBase, values(1).data(), kZeroPage - kBase);
    for (const std::uint64_t at : still) target.writeValue<std::int32_t>(at, valueAt(at));
    search(SearchCondition::Unchanged);
    EXPECT_EQ(engine->snapshot(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(spill));
    ASSERT_EQ(engine->results().count(), still.size() + 2 * kPageSize / 4);
    EXPECT_EQ(sink.statusText(StatusField::ValidData), std::to_string(engine->results().count()));
    std::set<std::uint64_t> listed;
    for (std::size_t i = 0; i < engine->results().count(); ++i) {
        const std::uint64_t address = engine->results().address(i);
        if (!still.contains(address)) continue;
        listed.insert(address);
        EXPECT_EQ(engine->results().valueText(i), std::to_string(valueAt(address))) << address;
    }
    EXPECT_EQ(listed, still);
}

}  // namespace
}  // namespace corvane
