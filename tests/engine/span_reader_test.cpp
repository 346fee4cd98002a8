#include "engine/span_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/hex_text.h"
#include "engine/traversal.h"
#include "tests/support/fake_target.h"

namespace corvane {
namespace {

using test::FakeTarget;

TEST(SpanReader, ACompactRowOfPointersIsOneRead) {
    FakeTarget target;
    for (std::uint64_t k = 0; k < 1000; ++k) target.writePointer(0x500000 + 8 * k, k);
    SpanReader span(target);
    span.beginRow(0x500000, 8, 1000, 8);
    for (std::uint64_t k = 0; k < 1000; ++k) {
        std::uint64_t value = ~0ull;
        ASSERT_TRUE(span.read(0x500000 + 8 * k, &value));
        EXPECT_EQ(value, k);
    }
    EXPECT_EQ(target.readCalls(), 1u);
}

TEST(SpanReader, DescendingRowsAreReadInWindowsToo) {
    FakeTarget target;
    for (std::uint64_t k = 0; k < 40000; ++k)
        target.writeValue<std::uint32_t>(0x500000 + 4 * k, static_cast<std::uint32_t>(k));
    SpanReader span(target);
    const std::uint64_t first = 0x500000 + 4 * 39999;
    span.beginRow(first, -4, 40000, 4);
    for (std::uint64_t k = 0; k < 40000; ++k) {
        std::uint32_t value = 0;
        ASSERT_TRUE(span.read(first - 4 * k, &value));
        EXPECT_EQ(value, 39999 - k);
    }
    // 160000 bytes in windows of 64 KiB.
    EXPECT_LE(target.readCalls(), 4u);
}

TEST(SpanReader, ItemsOnUnreadablePagesFailAndTheirNeighboursDoNot) {
    FakeTarget target;
    target.map(0x500000, 4 * kPageSize);
    target.writePointer(0x500FFC, 0x1111);  // straddles into the page unmapped next
    target.unmap(0x501000, kPageSize);
    SpanReader span(target);
    span.beginRow(0x500000, 4, 4 * kPageSize / 4 - 1, 8);
    std::uint64_t value = 0;
    EXPECT_TRUE(span.read(0x500FF8, &value));
    EXPECT_FALSE(span.read(0x500FFC, &value));
    EXPECT_FALSE(span.read(0x501000, &value));
    EXPECT_FALSE(span.read(0x501FFC, &value));
    EXPECT_TRUE(span.read(0x502000, &value));
}

TEST(SpanReader, StepsWiderThanAPageAreReadOneByOne) {
    FakeTarget target;
    target.map(0x500000, 16 * kPageSize);
    SpanReader span(target);
    span.beginRow(0x500000, 2 * kPageSize, 8, 8);
    std::uint64_t value = 0;
    for (std::uint64_t k = 0; k < 8; ++k) ASSERT_TRUE(span.read(0x500000 + 2 * kPageSize * k, &value));
    EXPECT_EQ(target.readCalls(), 8u);
}

// The traversal exactly as specified, one read per pointer and the path kept
// as text: the reference the windowed reads must match.
class ReferenceTraversal {
public:
    ReferenceTraversal(MemoryReader& reader, std::vector<StructureRow> rows)
        : reader_(reader), rows_(std::move(rows)), bases_(rows_.size() + 1, 0) {}

    std::vector<std::pair<std::string, std::uint64_t>> run() {
        if (!rows_.empty()) traverse(0, "");
        return leaves_;
    }

private:
    void traverse(std::size_t depth, const std::string& saved) {
        const StructureRow& row = rows_[depth];
        const bool last = depth + 1 == rows_.size();
        auto step = [&](std::int64_t offset) {
            std::string path = saved;
            appendHex(path, static_cast<std::uint64_t>(offset));
            const std::uint64_t address = bases_[depth] + static_cast<std::uint64_t>(offset);
            if (last) {
                leaves_.emplace_back(path, address);
                return;
            }
            path += ']';
            std::uint64_t pointer = 0;
            if (readPointer(reader_, address, pointer) && isFollowablePointer(pointer, reader_.pointerWidth())) {
                bases_[depth + 1] = pointer;
                traverse(depth + 1, path);
            }
        };
        if (row.count <= 0) return step(row.startOffset);
        for (std::int64_t k = 0; k < row.count; ++k) {
            const auto offset =
                static_cast<std::int64_t>(static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(row.increment) +
                                          static_cast<std::uint64_t>(row.startOffset));
            if (offset < 0) return;
            step(offset);
        }
    }

    MemoryReader& reader_;
    std::vector<StructureRow> rows_;
    std::vector<std::uint64_t> bases_;
    std::vector<std::pair<std::string, std::uint64_t>> leaves_;
};

// Random pointer webs over pages with holes: whatever the layout, the windowed
// traversal finds exactly the candidates of single reads, in the same order,
// with far fewer read calls.
TEST(SpanReaderDifferential, WindowedTraversalMatchesSingleReads) {
    std::mt19937_64 random(20261207);
    std::uint64_t windowedCalls = 0;
    std::uint64_t singleCalls = 0;
    for (int round = 0; round < 60; ++round) {
        const unsigned width = round % 2 == 0 ? 8 : 4;
        FakeTarget target(width);
        const std::uint64_t regionBase = 0x10000000;
        const std::uint64_t regionPages = 48;
        target.map(regionBase, regionPages * kPageSize);
        // Fill with pointers into the region, sometimes misaligned, plus junk.
        for (std::uint64_t a = regionBase; a < regionBase + regionPages * kPageSize; a += 4) {
            const auto roll = random() % 10;
            std::uint64_t value;
            if (roll < 6)
                value = regionBase + random() % (regionPages * kPageSize);
            else if (roll == 6)
                value = 0x7F7F7F7F;
            else if (roll == 7)
                value = 0xFFFFFFFF;
            else
                value = random() % 0x500000;
            target.writeValue<std::uint32_t>(a, static_cast<std::uint32_t>(value));
            if (width == 8 && a % 8 == 0 && roll < 6) target.writePointer(a, value);
        }
        // Holes: unreadable pages inside the spans.
        for (int hole = 0; hole < 6; ++hole) target.unmap(regionBase + (random() % regionPages) * kPageSize, kPageSize);

        std::vector<StructureRow> rows;
        const auto depth = 1 + random() % 3;
        for (std::uint64_t level = 0; level <= depth; ++level) {
            StructureRow row;
            if (level == 0)
                row.startOffset = static_cast<std::int64_t>(regionBase + random() % (regionPages * kPageSize));
            else
                row.startOffset = static_cast<std::int64_t>(random() % 0x3000);
            row.count = static_cast<std::int32_t>(random() % 40) - 3;
            const std::int64_t increments[] = {4, 8, 8, 12, 0, -4, -8, 0x1800, 2};
            row.increment = increments[random() % std::size(increments)];
            rows.push_back(row);
        }

        target.resetCounters();
        const auto expected = ReferenceTraversal(target, rows).run();
        singleCalls += target.readCalls();

        target.resetCounters();
        std::atomic<std::int32_t> stop{0};
        CandidateStore store;
        Traversal(target, stop, store).run(rows);
        windowedCalls += target.readCalls();

        ASSERT_EQ(store.candidateCount(), expected.size()) << "round " << round;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(store.pathText(i), expected[i].first) << "round " << round << " leaf " << i;
            ASSERT_EQ(store.address(i), expected[i].second) << "round " << round << " leaf " << i;
        }
    }
    EXPECT_LT(windowedCalls * 3, singleCalls) << windowedCalls << " vs " << singleCalls;
}

}  // namespace
}  // namespace corvane
