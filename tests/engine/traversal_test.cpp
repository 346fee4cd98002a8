#include "engine/kit/stop_flag.h"
#include "engine/search/traversal.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/fake_target.h"

namespace corvane {
namespace {

using test::FakeTarget;

struct Leaf {
    std::string path;
    std::uint64_t address;
    bool operator==(const Leaf&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Leaf& leaf) {
    return os << leaf.path << " @" << std::hex << leaf.address;
}

class TraversalTest : public ::testing::Test {
protected:
    std::vector<Leaf> run(MemoryReader& reader, std::vector<StructureRow> rows) {
        Traversal traversal(reader, stop, store);
        traversal.run(std::move(rows));
        std::vector<Leaf> leaves;
        for (std::size_t i = 0; i < store.candidateCount(); ++i)
            leaves.push_back({store.pathText(i), store.address(i)});
        return leaves;
    }

    StopFlag stop;
    CandidateStore store;
};

TEST_F(TraversalTest, OneRowGivesItsOffsetsAsAddressesWithoutReading) {
    FakeTarget target;
    const auto leaves = run(target, {{0x1000, 3, 0x10}});
    const std::vector<Leaf> expected{{"1000", 0x1000}, {"1010", 0x1010}, {"1020", 0x1020}};
    EXPECT_EQ(leaves, expected);
    EXPECT_EQ(target.readCalls(), 0u);
}

TEST_F(TraversalTest, LeavesComeDepthFirstInPreOrder) {
    FakeTarget target;
    // A table of two pointers, each to a block whose two fields are pointers again.
    target.writePointer(0x500000, 0x600000);
    target.writePointer(0x500008, 0x700000);
    target.writePointer(0x600010, 0x610000);
    target.writePointer(0x600018, 0x620000);
    target.writePointer(0x700010, 0x710000);
    target.writePointer(0x700018, 0x720000);
    const auto leaves = run(target, {{0x500000, 2, 8}, {0x10, 2, 8}, {4, 0, 0}});
    const std::vector<Leaf> expected{
        {"500000]10]4", 0x610004}, {"500000]18]4", 0x620004}, {"500008]10]4", 0x710004}, {"500008]18]4", 0x720004}};
    EXPECT_EQ(leaves, expected);
}

TEST_F(TraversalTest, CountOfZeroOrLessIsTheStartOffsetAlone) {
    FakeTarget target;
    target.writePointer(0x1400A2B30, 0x800000);
    for (std::int32_t count : {0, -1, -100}) {
        const auto leaves = run(target, {{0x1400A2B30, count, 0x999}, {0x10, 3, 8}});
        const std::vector<Leaf> expected{
            {"1400A2B30]10", 0x800010}, {"1400A2B30]18", 0x800018}, {"1400A2B30]20", 0x800020}};
        EXPECT_EQ(leaves, expected) << count;
    }
}

TEST_F(TraversalTest, IncrementZeroRepeatsTheSameOffset) {
    FakeTarget target;
    const auto leaves = run(target, {{0x40, 3, 0}});
    const std::vector<Leaf> expected(3, Leaf{"40", 0x40});
    EXPECT_EQ(leaves, expected);
}

TEST_F(TraversalTest, NegativeIncrementEndsTheRowBeforeTheFirstNegativeOffset) {
    FakeTarget target;
    target.writePointer(0x500000, 0x900000);
    const auto leaves = run(target, {{0x500000, 0, 0}, {0x10, 5, -8}});
    const std::vector<Leaf> expected{{"500000]10", 0x900010}, {"500000]8", 0x900008}, {"500000]0", 0x900000}};
    EXPECT_EQ(leaves, expected);
}

TEST_F(TraversalTest, NegativeStartOffsetOfACountedRowGivesNothing) {
    FakeTarget target;
    EXPECT_TRUE(run(target, {{-8, 3, 8}}).empty());
}

TEST_F(TraversalTest, NegativeOffsetOfASingleRowIsUsedAndWrittenInTwosComplement) {
    FakeTarget target;
    target.writePointer(0x500000, 0x900000);
    const auto leaves = run(target, {{0x500000, 0, 0}, {-8, 0, 0}});
    const std::vector<Leaf> expected{{"500000]FFFFFFFFFFFFFFF8", 0x8FFFF8}};
    EXPECT_EQ(leaves, expected);
}

TEST_F(TraversalTest, EmptyStructureFindsNothing) {
    FakeTarget target;
    EXPECT_TRUE(run(target, {}).empty());
    EXPECT_EQ(store.candidateCount(), 0u);
}

TEST_F(TraversalTest, PathTextOfADepthTwoLeaf) {
    FakeTarget target;
    target.writePointer(0x1400A2B30, 0x10000000);
    target.writePointer(0x10000018, 0x20000000);
    const auto leaves = run(target, {{0x1400A2B30, 0, 0}, {0x18, 0, 0}, {0, 0, 0}});
    const std::vector<Leaf> expected{{"1400A2B30]18]0", 0x20000000}};
    EXPECT_EQ(leaves, expected);
}

TEST_F(TraversalTest, UnreadableAndUnfollowablePointersEndOnlyTheirBranch) {
    FakeTarget target;
    target.writePointer(0x500000, 0x600000);
    target.writePointer(0x500008, 0);            // null
    target.writePointer(0x500010, 0x7F7F7F7F);   // fill pattern
    target.writePointer(0x500018, 0x300000000);  // followable, but nothing is mapped there
    target.writePointer(0x500020, 0x610000);
    target.map(0x600000, 0x100);
    target.map(0x610000, 0x100);
    const auto leaves = run(target, {{0x500000, 5, 8}, {0x8, 0, 0}, {0, 0, 0}});
    EXPECT_TRUE(leaves.empty());  // the second level reads zeros: no pointer below

    target.writePointer(0x600008, 0x620000);
    target.writePointer(0x610008, 0x630000);
    const auto again = run(target, {{0x500000, 5, 8}, {0x8, 0, 0}, {0, 0, 0}});
    const std::vector<Leaf> expected{{"500000]8]0", 0x620000}, {"500020]8]0", 0x630000}};
    EXPECT_EQ(again, expected);
}

struct FollowCase {
    std::uint64_t pointer;
    unsigned width;
    bool followed;
};

TEST(FollowablePointer, BoundsAndMarkersAtBothWidths) {
    const FollowCase cases[] = {
        {0x401000, 8, true},
        {0x400FFF, 8, false},
        {0, 8, false},
        {0x7F7F7F7F, 8, false},
        {0xFFFFFFFF, 8, false},
        {0xFFFFFFFE, 8, true},
        {0x200000000, 8, true},
        {0x200000001, 8, true},  // 64-bit heaps live up here
        {0x7FF6A0001000, 8, true},
        {0x7FFFFFFEFFFF, 8, true},
        {0x7FFFFFFF0000, 8, false},
        {0xFFFF800000000000, 8, false},
        {0x401000, 4, true},
        {0x400FFF, 4, false},
        {0x7F7F7F7F, 4, false},
        {0xFFFFFFFF, 4, false},
        {0xFFFFFFFE, 4, true},
        {0x200000000, 4, true},
        {0x200000001, 4, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isFollowablePointer(c.pointer, c.width), c.followed) << std::hex << c.pointer << " width " << c.width;
}

TEST_F(TraversalTest, FourBytePointersArriveZeroExtended) {
    FakeTarget target(4);
    // The high four bytes next to each pointer are set: a width-8 read would see them.
    target.writeValue<std::uint32_t>(0x500000, 0xFFFFFFFE);
    target.writeValue<std::uint32_t>(0x500004, 0x12345678);
    target.writeValue<std::uint32_t>(0x500008, 0xFFFFFFFF);
    target.writeValue<std::uint32_t>(0x50000C, 0x12345678);
    target.writeValue<std::uint32_t>(0x500010, 0x00600000);
    target.writeValue<std::uint32_t>(0x500014, 0xABCDEF01);
    const auto leaves = run(target, {{0x500000, 3, 8}, {0x10, 0, 0}});
    const std::vector<Leaf> expected{{"500000]10", 0x10000000E}, {"500010]10", 0x600010}};
    EXPECT_EQ(leaves, expected);
}

TEST_F(TraversalTest, StopDuringTraversalAppendsNoFurtherLeaves) {
    FakeTarget target;
    // Steps wider than a page make one read per branch.
    for (std::uint64_t k = 0; k < 100; ++k) target.writePointer(0x500000 + 0x2000 * k, 0x600000);
    const std::vector<StructureRow> rows{{0x500000, 100, 0x2000}, {0, 10, 4}};
    int reads = 0;
    target.onRead = [&] {
        if (++reads == 5) stop.raise();
    };
    const auto leaves = run(target, rows);
    // Five pointers were read; the stop came with the fifth, before its leaves.
    EXPECT_EQ(leaves.size(), 40u);
    EXPECT_EQ(target.readCalls(), 5u);
}

TEST_F(TraversalTest, StopSetBeforeTheStartFindsNothing) {
    FakeTarget target;
    stop.raise();
    EXPECT_TRUE(run(target, {{0x1000, 10, 4}}).empty());
}

TEST_F(TraversalTest, CandidateStoreGrowsInChunksAndStaysCompact) {
    FakeTarget target;
    const auto leaves = run(target, {{0x1000, 250000, 4}});
    ASSERT_EQ(leaves.size(), 250000u);
    EXPECT_EQ(store.capacity(), 3 * CandidateChunk);
    EXPECT_EQ(leaves[123456].path, "79900");
    EXPECT_LE(store.memoryBytes(), 32 * store.capacity());
}

}  // namespace
}  // namespace corvane
