// The pointer scan's map and the pieces it is built of, each held against a
// plain way of doing the same: the radix sort against std::sort, the packed
// addresses' search against a search of whole words, the region bounds
// against a walk of the regions, and the map against the words themselves.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/pointers/high_halves.h"
#include "engine/pointers/pointer_map.h"
#include "engine/pointers/radix_sort.h"
#include "engine/pointers/sampled_search.h"
#include "tests/support/fake_target.h"

namespace corvane {
namespace {

using test::FakeTarget;

struct Item {
    std::uint32_t key;
    std::uint32_t tag;
};

std::vector<std::uint32_t> keysOf(const std::vector<Item>& items) {
    std::vector<std::uint32_t> keys;
    for (const Item& item : items) keys.push_back(item.key);
    return keys;
}

TEST(RadixSort, OrdersAsStdSortDoesAndKeepsEveryItem) {
    std::mt19937_64 random(17);
    const auto uniform = [&](std::uint32_t below) { return static_cast<std::uint32_t>(random() % below); };
    const struct {
        const char* name;
        std::size_t count;
        unsigned bits;
        std::size_t scratch;  // room for this many items
        std::function<std::uint32_t(std::size_t)> key;
    } cases[] = {
        {"random 32-bit keys", 200000, 32, 1 << 18, [&](std::size_t) { return static_cast<std::uint32_t>(random()); }},
        {"random 19-bit keys", 100000, 19, 1 << 18, [&](std::size_t) { return uniform(1 << 19); }},
        {"few items, compared", 100, 32, 1 << 18, [&](std::size_t) { return static_cast<std::uint32_t>(random()); }},
        {"every key equal", 50000, 32, 1 << 18, [](std::size_t) { return 0xABCDu; }},
        {"descending", 50000, 20, 1 << 18, [](std::size_t i) { return static_cast<std::uint32_t>(100000 - i); }},
        {"scratch smaller than the items: split in place", 300000, 32, 4096,
         [&](std::size_t) { return static_cast<std::uint32_t>(random()); }},
        {"split in place, most keys in one top byte", 300000, 24, 1000,
         [&](std::size_t i) { return i % 10 == 0 ? uniform(1 << 24) : 0x120000u | uniform(1 << 8); }},
        {"split in place, every key equal", 100000, 32, 1000, [](std::size_t) { return 7u; }},
        {"keys differing only in their top bit", 50000, 32, 1 << 18,
         [&](std::size_t) { return (random() & 1) ? 0x80000000u : 0u; }},
    };
    for (const auto& c : cases) {
        std::vector<Item> items(c.count);
        for (std::size_t i = 0; i < c.count; ++i) items[i] = {c.key(i), static_cast<std::uint32_t>(i)};
        std::vector<Item> expected = items;
        std::stable_sort(expected.begin(), expected.end(), [](const Item& a, const Item& b) { return a.key < b.key; });
        std::vector<Item> scratch(std::min(c.scratch, c.count));
        ASSERT_TRUE(radixSortInBoundedRoom(
            items.data(), items.size(), c.bits, [](const Item& item) { return std::uint64_t{item.key}; },
            scratch.data(), scratch.size()))
            << c.name;
        EXPECT_EQ(keysOf(items), keysOf(expected)) << c.name;
        // The same items, none lost or doubled: each tag once.
        std::vector<bool> met(c.count);
        for (const Item& item : items) met[item.tag] = true;
        EXPECT_EQ(std::count(met.begin(), met.end(), true), static_cast<std::ptrdiff_t>(c.count)) << c.name;
    }
}

TEST(RadixSort, AnswersAStop) {
    std::vector<Item> items(3000000);
    std::mt19937 random(5);
    for (Item& item : items) item = {static_cast<std::uint32_t>(random()), 0};
    std::vector<Item> scratch(1000);
    StopFlag stop;
    stop.raise();
    EXPECT_FALSE(radixSortInBoundedRoom(
        items.data(), items.size(), 32, [](const Item& item) { return std::uint64_t{item.key}; }, scratch.data(),
        scratch.size(), &stop));
}

TEST(HighHalves, KeepAndSearchAddressesAsWholeWordsDo) {
    // Addresses across several 4 GiB windows, some windows skipped.
    std::vector<std::uint64_t> whole;
    std::mt19937_64 random(3);
    for (const std::uint64_t window : {0x0ull, 0x1ull, 0x7F12ull, 0x7F13ull, 0x7FFFull})
        for (int i = 0; i < 500; ++i) whole.push_back((window << 32) | static_cast<std::uint32_t>(random()));
    whole.push_back(0x7FFFFFFFFFFFull);
    std::sort(whole.begin(), whole.end());
    HighHalves halves;
    std::vector<std::uint32_t> lows;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        halves.note(i, whole[i]);
        lows.push_back(static_cast<std::uint32_t>(whole[i]));
    }
    HighHalves::Walker walker(halves);
    for (std::size_t i = 0; i < whole.size(); ++i) {
        ASSERT_EQ(halves.at(i) | lows[i], whole[i]) << "index " << i;
        ASSERT_EQ(walker.at(i) | lows[i], whole[i]) << "walked to index " << i;
    }
    std::vector<std::uint64_t> probes = {0,
                                         1,
                                         0x100000000ull,
                                         0x200000000ull,
                                         0x7F1300000000ull,
                                         0x7F1400000000ull,
                                         0x7FFFFFFFFFFFull,
                                         0x800000000000ull,
                                         ~0ull};
    for (int i = 0; i < 300; ++i) probes.push_back(whole[random() % whole.size()] + (random() % 3) - 1);
    // Searched through samples of every 1st, 7th and 256th address.
    for (const std::size_t every : {std::size_t{1}, std::size_t{7}, std::size_t{256}}) {
        std::vector<std::uint64_t> sample;
        for (std::size_t i = 0; i < whole.size(); i += every) sample.push_back(whole[i]);
        for (const std::uint64_t probe : probes) {
            const auto expected =
                static_cast<std::size_t>(std::lower_bound(whole.begin(), whole.end(), probe) - whole.begin());
            EXPECT_EQ(sampledLowerBound(sample, every, whole.size(), probe,
                                        [&](std::size_t i) { return halves.at(i) | lows[i]; }),
                      expected)
                << std::hex << "probe 0x" << probe << std::dec << ", sample of every " << every;
        }
    }
}

TEST(RegionBounds, FindsTheRegionAsAWalkOfTheRegionsDoes) {
    const std::vector<MemoryRegion> regions = {
        {0x10000, 0x1000}, {0x11000, 0x3000}, {0x20000, 0x1000}, {0x7F0000000000, 0x10000}, {0x7FFF00000000, 0x1000}};
    RegionBounds bounds(regions);
    std::vector<std::uint64_t> probes;
    for (const MemoryRegion& r : regions)
        for (const std::uint64_t at : {r.start - 1, r.start, r.start + 1, r.end() - 1, r.end(), r.end() + 1})
            probes.push_back(at);
    probes.push_back(0);
    probes.push_back(~0ull);
    // Twice over, in two orders: the region of the word before is tried first.
    for (int round = 0; round < 2; ++round) {
        for (const std::uint64_t probe : probes) {
            std::ptrdiff_t expected = -1;
            for (std::size_t i = 0; i < regions.size(); ++i)
                if (probe >= regions[i].start && probe < regions[i].end()) expected = static_cast<std::ptrdiff_t>(i);
            EXPECT_EQ(bounds.find(probe), expected) << std::hex << "probe 0x" << probe;
        }
        std::reverse(probes.begin(), probes.end());
    }
}

// Holds a map built from the fake target against its words, read one by one.
void expectMapHoldsEveryPointer(FakeTarget& target, const std::vector<ModuleImage>& statics, const std::string& what) {
    SCOPED_TRACE(what);
    const std::vector<MemoryRegion> regions = target.readableRegions();
    const unsigned width = target.pointerWidth();
    struct Word {
        std::uint64_t slot;
        std::uint64_t value;
    };
    std::vector<Word> words;
    std::vector<Word> inStatics;
    for (const MemoryRegion& region : regions)
        for (std::uint64_t at = region.start; at + width <= region.end(); at += width) {
            std::uint64_t value = 0;
            target.read(at, &value, width);
            const bool pointing = std::any_of(regions.begin(), regions.end(), [&](const MemoryRegion& r) {
                return value >= r.start && value < r.end();
            });
            if (!pointing) continue;
            const bool isStatic = std::any_of(statics.begin(), statics.end(), [&](const ModuleImage& image) {
                return at >= image.start && at < image.end();
            });
            (isStatic ? inStatics : words).push_back({at, value});
        }

    PointerMap map;
    const StopFlag stop;
    PointerScanProgress progress;
    // Small chunks, so that a word's region is often met again after a read.
    ASSERT_TRUE(map.build(target, regions, statics, stop, progress, 0x2000));
    ASSERT_EQ(map.size(), words.size());
    ASSERT_EQ(map.statics().size(), inStatics.size());
    for (std::size_t i = 0; i < words.size(); ++i) ASSERT_EQ(map.slot(i), words[i].slot) << "slot index " << i;
    // Each slot once in value order, with its own word's value.
    std::vector<bool> ranked(words.size());
    for (std::size_t rank = 0; rank < map.size(); ++rank) {
        const std::uint32_t index = map.slotIndex(rank);
        ASSERT_LT(index, words.size()) << "rank " << rank;
        EXPECT_FALSE(ranked[index]) << "slot index " << index << " twice";
        ranked[index] = true;
        ASSERT_EQ(map.value(rank), words[index].value) << "rank " << rank;
    }
    for (std::size_t rank = 1; rank < map.size(); ++rank)
        ASSERT_LE(map.value(rank - 1), map.value(rank)) << "rank " << rank;
    for (std::size_t i = 1; i < map.statics().size(); ++i)
        ASSERT_LE(map.statics()[i - 1].value, map.statics()[i].value);
    for (const StaticPointer& pointer : map.statics()) {
        const auto it =
            std::find_if(inStatics.begin(), inStatics.end(), [&](const Word& w) { return w.slot == pointer.slot; });
        ASSERT_NE(it, inStatics.end()) << std::hex << "slot 0x" << pointer.slot;
        EXPECT_EQ(pointer.value, it->value);
        EXPECT_TRUE(pointer.slot >= statics[pointer.image].start && pointer.slot < statics[pointer.image].end());
    }
    std::vector<std::uint64_t> values;
    for (const Word& w : words) values.push_back(w.value);
    std::sort(values.begin(), values.end());
    for (const Word& w : words)
        for (const std::uint64_t probe : {w.value - 1, w.value, w.value + 1, w.slot - 1, w.slot, w.slot + 1}) {
            EXPECT_EQ(map.firstValueAtLeast(probe),
                      static_cast<std::size_t>(std::lower_bound(values.begin(), values.end(), probe) - values.begin()))
                << std::hex << "value 0x" << probe;
            const auto slotAt = std::lower_bound(words.begin(), words.end(), probe,
                                                 [](const Word& word, std::uint64_t at) { return word.slot < at; });
            EXPECT_EQ(map.firstSlotAtLeast(probe), static_cast<std::size_t>(slotAt - words.begin()))
                << std::hex << "slot 0x" << probe;
        }
}

TEST(PointerMap, HoldsEveryWordThatPointsIntoReadableMemoryInBothOrders) {
    constexpr std::uint64_t kImage = 0x400000;
    constexpr std::uint64_t kHeap = 0x7F0000000000;
    constexpr std::uint64_t kFar = 0x7FFF00001000;  // another 4 GiB window
    FakeTarget target;
    target.loadModule("game.exe", kImage, 0x3000);
    target.map(kImage, 0x3000);
    target.map(kHeap, 0x8000);
    target.map(kHeap + 0xFFFF0000, 0x20000);  // across a 4 GiB boundary
    target.map(kFar, 0x2000);
    std::mt19937_64 random(11);
    const std::vector<MemoryRegion> regions = target.readableRegions();
    const auto anywhere = [&] {
        const MemoryRegion& r = regions[random() % regions.size()];
        return r.start + random() % r.size;
    };
    for (int i = 0; i < 4000; ++i) {
        const std::uint64_t slot = anywhere() & ~std::uint64_t{7};
        // Pointers anywhere, many to the same few places, and words that
        // point just outside a region.
        const int kind = static_cast<int>(random() % 4);
        const std::uint64_t value = kind == 0   ? anywhere()
                                    : kind == 1 ? kHeap + 0x40 * (random() % 4)
                                    : kind == 2 ? regions[random() % regions.size()].end()
                                                : regions[random() % regions.size()].start - 1;
        target.writePointer(slot, value);
    }
    expectMapHoldsEveryPointer(target, {}, "no statics");
    expectMapHoldsEveryPointer(target, target.moduleImages(), "the image's slots static");
}

TEST(PointerMap, HoldsA32BitTargetsPointers) {
    FakeTarget target(4);
    target.loadModule("game.exe", 0x400000, 0x1000);
    target.map(0x400000, 0x1000);
    target.map(0x10000000, 0x4000);
    for (std::uint32_t i = 0; i < 200; ++i) {
        const std::uint32_t value = 0x10000000 + i * 52;
        target.write(0x10000000 + i * 4 * 7, &value, 4);
        target.write(0x400000 + i * 4, &value, 4);
    }
    expectMapHoldsEveryPointer(target, target.moduleImages(), "4-byte pointers");
}

}  // namespace
}  // namespace corvane
