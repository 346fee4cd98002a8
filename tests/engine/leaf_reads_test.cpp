#include "engine/search/leaf_reads.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/fake_target.h"

namespace corvane {
namespace {

using test::FakeTarget;

// Address lists as the passes make them: rows at one step (rising and
// falling), steps that change, repeats, jumps past a page, and addresses at
// the top of the address space, with gaps in what is wanted.
std::vector<std::uint64_t> randomAddresses(std::mt19937_64& random, std::uint64_t base) {
    std::vector<std::uint64_t> addresses;
    const std::size_t n = 1 + random() % 400;
    std::uint64_t at = base + random() % 0x3000;
    std::int64_t step = static_cast<std::int64_t>(random() % 9) * 4 - 8;
    for (std::size_t i = 0; i < n; ++i) {
        switch (random() % 40) {
            case 0: step = static_cast<std::int64_t>(random() % 0x2400) - 0x1200; break;  // often past a page
            case 1: at = base + random() % 0x6000; break;
            case 2: at = ~std::uint64_t{0} - random() % 12; break;  // wraps
            case 3: step = static_cast<std::int64_t>(random() % 5) * 8; break;
            default: break;
        }
        addresses.push_back(at);
        at += static_cast<std::uint64_t>(step);
    }
    return addresses;
}

// Every value is served exactly when its own read succeeds, with the bytes
// that read gives, in order, and only for the wanted addresses; the target
// fails a read whole when any page under it is unmapped.
TEST(LeafReaderDifferential, EveryValueAsItsOwnReadAcrossUnreadablePages) {
    std::mt19937_64 random(20261208);
    std::size_t served = 0, failed = 0;
    for (int round = 0; round < 300; ++round) {
        FakeTarget target;
        const std::uint64_t base = 0x10000000;
        for (std::uint64_t page = 0; page < 7; ++page) {
            if (random() % 3 == 0) continue;  // left unmapped
            for (std::uint64_t offset = 0; offset < kPageSize; offset += 8)
                target.writeValue<std::uint64_t>(base + page * kPageSize + offset, random());
        }
        const std::size_t sizes[] = {1, 2, 4, 8, 256};
        const std::size_t size = sizes[random() % std::size(sizes)];
        const std::vector<std::uint64_t> addresses = randomAddresses(random, base);
        Flags wanted;
        wanted.assign(addresses.size(), false);
        for (std::size_t i = 0; i < addresses.size(); ++i) wanted[i] = random() % 6 != 0;

        LeafReader reader(target, size);
        std::vector<std::size_t> visited;
        reader.forEach(addresses.data(), wanted.data(), addresses.size(),
                       [&](std::size_t i, const unsigned char* bytes) {
                           visited.push_back(i);
                           std::vector<unsigned char> own(size);
                           const bool ok = target.read(addresses[i], own.data(), size);
                           SCOPED_TRACE("round " + std::to_string(round) + " size " + std::to_string(size) + " item " +
                                        std::to_string(i) + " at " + std::to_string(addresses[i]));
                           ASSERT_EQ(bytes != nullptr, ok);
                           if (ok) {
                               EXPECT_EQ(std::memcmp(bytes, own.data(), size), 0);
                               ++served;
                           } else {
                               ++failed;
                           }
                       });
        std::vector<std::size_t> expected;
        for (std::size_t i = 0; i < addresses.size(); ++i)
            if (wanted[i]) expected.push_back(i);
        ASSERT_EQ(visited, expected) << "round " << round;
    }
    EXPECT_GT(served, 10000u);
    EXPECT_GT(failed, 1000u);
}

// A row at one step is read in runs of at most kRunBytes, not value by value.
TEST(LeafReader, ARowAtOneStepIsReadInRuns) {
    FakeTarget target;
    const std::uint64_t base = 0x20000000;
    target.map(base, 4 * LeafReader::kRunBytes);
    std::vector<std::uint64_t> addresses;
    for (std::uint64_t k = 0; k < 4 * LeafReader::kRunBytes / 4; ++k) addresses.push_back(base + 4 * k);
    Flags wanted;
    wanted.assign(addresses.size(), true);
    LeafReader reader(target, 4);
    target.resetCounters();
    std::size_t served = 0;
    reader.forEach(addresses.data(), wanted.data(), addresses.size(),
                   [&](std::size_t, const unsigned char* bytes) { served += bytes != nullptr; });
    EXPECT_EQ(served, addresses.size());
    EXPECT_LE(target.readCalls(), 5u);
}

}  // namespace
}  // namespace corvane
