#pragma once

// The sample target's game heap: objects that lie at other addresses, in
// another order, after every start, and one path of pointers from the
// program's statics to the player's gold that is the same in every run.
// Beside it lie paths that reach the gold in one run only, as they do in a
// real game, so that a pointer scan of one run finds many paths and a
// comparison of runs keeps the lasting one. A seed decides the layout: each
// start takes its own, or the one given with --seed. Shared by the sample
// target and the tests that compare its runs.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace corvane::sample {

// The statics in the program's image: three pointers, printed as
// "heapStatics=OFFSET" from the image's start, and a table of entities,
// "entityTable=OFFSET".
inline constexpr unsigned kHeapStatics = 3;
inline constexpr unsigned kWorldStatic = 0;  // the world
inline constexpr unsigned kCacheStatic = 1;  // a cache of stats, one field used
inline constexpr unsigned kNodesStatic = 2;  // the first node of a chain to the stats
inline constexpr unsigned kEntitySlots = 8;

// Fields of the objects. The lasting path: world -> player -> stats -> gold.
inline constexpr unsigned kWorldPlayerOffset = 0x18;
inline constexpr unsigned kWorldFirstEntityOffset = 0x20;  // the entities as a list, in the table's order
inline constexpr unsigned kEntityIdOffset = 0x00;          // long: 2000 + entity number
inline constexpr unsigned kEntityStatsOffset = 0x30;
inline constexpr unsigned kEntityNextOffset = 0x38;
inline constexpr unsigned kStatsHealthOffset = 0x10;  // long: 100
inline constexpr unsigned kStatsGoldOffset = 0x2C;

// The player's gold, found by a search for the number; the other entities
// hold smaller sums.
inline constexpr std::int32_t kGold = 74123;
inline constexpr std::int32_t otherGold(unsigned entity) { return static_cast<std::int32_t>(300 + 25 * entity); }
inline constexpr std::int32_t kStatsHealth = 100;

// The arena: kHeapSlots slots of kHeapSlotSize bytes, a seeded number of
// pages (below kHeapShiftPages) into a block the system places. Each object
// takes a slot chosen by the seed.
inline constexpr unsigned kHeapSlotSize = 0x100;
inline constexpr unsigned kHeapSlots = 64;
inline constexpr unsigned kHeapShiftPages = 16;
inline constexpr unsigned kMaxNodes = 3;

// The seed's stream of numbers (splitmix64).
inline constexpr std::uint64_t nextRandom(std::uint64_t& state) {
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
// The seed's first number: the one-run paths take their choices from its
// bits, the slots and the shift from the numbers after it. Mixed, so that
// seeds alike in their low bits (100, 200, 300) still differ in each choice.
inline constexpr std::uint64_t seedBits(std::uint32_t seed) {
    std::uint64_t state = seed;
    return nextRandom(state);
}
inline constexpr unsigned playerIndex(std::uint32_t seed) {
    return static_cast<unsigned>(seedBits(seed) % kEntitySlots);
}
inline constexpr unsigned cacheOffset(std::uint32_t seed) {
    return 8 * (1 + static_cast<unsigned>((seedBits(seed) >> 8) % 15));
}
inline constexpr unsigned nodeCount(std::uint32_t seed) {
    return 1 + static_cast<unsigned>((seedBits(seed) >> 16) % kMaxNodes);
}
inline constexpr unsigned nodeNextOffset(std::uint32_t seed) {
    return 8 * (2 + static_cast<unsigned>((seedBits(seed) >> 24) % 6));
}

// Parts of a path as a results file writes them: the static
// ("sample_target.exe+4E050") and each step after it ("]2C").
inline std::string staticText(const std::string& module, std::uint64_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "+%llX", static_cast<unsigned long long>(offset));
    return module + text;
}
inline std::string stepText(unsigned offset) {
    char text[16];
    std::snprintf(text, sizeof text, "]%X", offset);
    return text;
}

// The path that reaches the gold in every run (add "]" for a structure).
inline std::string lastingGoldPath(const std::string& module, std::uint64_t heapStatics, unsigned pointerWidth) {
    return staticText(module, heapStatics + kWorldStatic * pointerWidth) + stepText(kWorldPlayerOffset) +
           stepText(kEntityStatsOffset) + stepText(kStatsGoldOffset);
}

// The paths the seed plants to the gold of its run only: through the
// cache's seeded field, through a chain of a seeded number of nodes, and
// through the entity table's seeded slot of the player. (Stats hold no
// pointer, so a path of another run that reaches them leads nowhere.)
inline std::vector<std::string> oneRunGoldPaths(const std::string& module, std::uint64_t heapStatics,
                                                std::uint64_t entityTable, unsigned pointerWidth, std::uint32_t seed) {
    std::string nodes;
    for (unsigned i = 0; i < nodeCount(seed); ++i) nodes += stepText(nodeNextOffset(seed));
    const std::string gold = stepText(kStatsGoldOffset);
    return {
        staticText(module, heapStatics + kCacheStatic * pointerWidth) + stepText(cacheOffset(seed)) + gold,
        staticText(module, heapStatics + kNodesStatic * pointerWidth) + nodes + gold,
        staticText(module, entityTable + playerIndex(seed) * pointerWidth) + stepText(kEntityStatsOffset) + gold,
    };
}

// The sample target's side: lays the heap out for `seed` and prints its
// lines ("seed=", "heapStatics=", "entityTable=", "gold="); false after an
// "error=" line when the system gives no memory.
bool buildHeap(std::uint32_t seed);
// Where the heap's statics lie, from the start of the program's image.
std::uint64_t heapStaticsOffset();

}  // namespace corvane::sample
