#include "engine/kit/stop_flag.h"
#include "engine/target/span_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/text/hex_text.h"
#include "engine/search/traversal.h"
#include "tests/support/fake_target.h"
#include "tests/support/reference_traversal.h"

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

// Random pointer webs over pages with holes: whatever the layout, the windowed
// traversal finds exactly the candidates of single reads, in the same order,
// with far fewer read calls.
// Runs served from a window hold the same bytes as single reads, item after
// item in the row's direction; items on unreadable pages come one at a time.
TEST(SpanReader, RunsOfAWindowServeEveryItemAsItsOwnReadWould) {
    FakeTarget target;
    target.map(0x500000, 40 * kPageSize);
    for (std::uint64_t k = 0; k < 40 * kPageSize / 4; ++k)
        target.writeValue<std::uint32_t>(0x500000 + 4 * k, static_cast<std::uint32_t>(k));
    target.unmap(0x507000, kPageSize);
    struct Row {
        std::uint64_t first;
        std::int64_t step;
        std::uint64_t count;
    };
    const Row rows[] = {{0x500000, 4, 40000},
                        {0x500000 + 4 * 39999, -4, 40000},
                        {0x500002, 12, 13000},
                        {0x527FF0, -20, 8000},
                        {0x500000, 4, 1}};
    for (const Row& row : rows) {
        SpanReader span(target);
        span.beginRow(row.first, row.step, row.count, 4);
        std::uint64_t longest = 0;
        std::uint64_t address = row.first;
        for (std::uint64_t k = 0; k < row.count;) {
            std::uint64_t items = 0;
            const unsigned char* bytes = span.viewRun(address, row.step, row.count - k, items);
            ASSERT_GE(items, 1u);
            ASSERT_LE(items, row.count - k);
            longest = std::max(longest, items);
            for (std::uint64_t i = 0; i < items; ++i) {
                const std::uint64_t item = address + i * static_cast<std::uint64_t>(row.step);
                std::uint32_t single = 0;
                const bool readable = target.read(item, &single, sizeof single);
                ASSERT_EQ(bytes != nullptr, readable) << std::hex << "item at " << item;
                if (!readable) continue;
                std::uint32_t served = 0;
                std::memcpy(&served, bytes + static_cast<std::ptrdiff_t>(i) * row.step, sizeof served);
                EXPECT_EQ(served, single) << std::hex << "item at " << item;
            }
            k += items;
            address += items * static_cast<std::uint64_t>(row.step);
        }
        // Whole windows come in long runs; a row of one item in one.
        EXPECT_GE(longest, std::min<std::uint64_t>(row.count, 1000)) << std::hex << "row at " << row.first;
    }
}

TEST(SpanReaderDifferential, WindowedTraversalMatchesSingleReads) {
    std::mt19937_64 random(20261207);
    std::uint64_t windowedCalls = 0;
    std::uint64_t singleCalls = 0;
    for (int round = 0; round < 60; ++round) {
        const unsigned width = round % 2 == 0 ? 8 : 4;
        FakeTarget target(width);
        test::RandomWeb::fill(target, random, width);
        const std::vector<StructureRow> rows = test::RandomWeb::rows(random, 4, 1, 2);

        target.resetCounters();
        const auto expected = test::ReferenceTraversal(target, rows).run();
        singleCalls += target.readCalls();

        target.resetCounters();
        StopFlag stop;
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
