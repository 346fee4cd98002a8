#include "engine/target/page_cache.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/fake_target.h"

namespace corvane {
namespace {

using test::FakeTarget;

// Scattered reads of every size, across page boundaries and into holes, give
// exactly what direct reads give.
TEST(PageCache, MatchesDirectReadsWhateverTheLayout) {
    std::mt19937_64 random(7);
    FakeTarget target;
    const std::uint64_t base = 0x20000000;
    for (std::uint64_t a = base; a < base + 64 * kPageSize; a += 8) target.writeValue(a, random());
    for (int hole = 0; hole < 8; ++hole) target.unmap(base + (random() % 64) * kPageSize, kPageSize);

    PageCache cache(target, 8);  // small, so pages are evicted and read again
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t address = base - 2 * kPageSize + random() % (68 * kPageSize);
        const std::size_t sizes[] = {1, 2, 4, 8, 256, 4096, 5000};
        const std::size_t size = sizes[random() % std::size(sizes)];
        std::vector<unsigned char> direct(size), cached(size);
        const bool directOk = target.read(address, direct.data(), size);
        const bool cachedOk = cache.read(address, cached.data(), size);
        ASSERT_EQ(cachedOk, directOk) << std::hex << address << " size " << std::dec << size;
        if (directOk) {
            ASSERT_EQ(cached, direct);
        }
    }
}

TEST(PageCache, ReadsEachPageOnceWhileItStaysCached) {
    FakeTarget target;
    target.map(0x20000000, 4 * kPageSize);
    PageCache cache(target, 16);
    target.resetCounters();
    std::uint32_t value = 0;
    for (int round = 0; round < 3; ++round)
        for (std::uint64_t a = 0x20000000; a < 0x20000000 + 4 * kPageSize; a += 4)
            ASSERT_TRUE(cache.read(a, &value, sizeof value));
    EXPECT_EQ(target.readCalls(), 4u);
    // An unreadable page is asked once too.
    EXPECT_FALSE(cache.read(0x30000000, &value, 4));
    EXPECT_FALSE(cache.read(0x30000010, &value, 4));
    EXPECT_EQ(target.readCalls(), 5u);
}

}  // namespace
}  // namespace corvane
