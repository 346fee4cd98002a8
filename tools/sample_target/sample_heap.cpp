// Lays out the game heap of sample_heap.h in the sample target.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <utility>

#include "tools/sample_target/sample_heap.h"
#include "tools/sample_target/sample_writes.h"

namespace corvane::sample {
namespace {

using Pointer = std::uintptr_t;

// Written here and read only by the searching process: volatile keeps the
// stores that no code of this program reads back.
volatile Pointer heapStatics[kHeapStatics] = {};
volatile Pointer entityTable[kEntitySlots] = {};

std::uint64_t imageOffset(const volatile Pointer* slot) {
    return reinterpret_cast<Pointer>(slot) - reinterpret_cast<Pointer>(GetModuleHandleW(nullptr));
}

Pointer address(const unsigned char* object) { return reinterpret_cast<Pointer>(object); }

}  // namespace

bool buildHeap(std::uint32_t seed) {
    constexpr unsigned kArenaPages = kHeapSlots * kHeapSlotSize / 0x1000;
    auto* block = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, (kHeapShiftPages + kArenaPages) * 0x1000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (block == nullptr) {
        std::printf("error=cannot allocate the heap (%lu)\n", GetLastError());
        return false;
    }
    std::uint64_t random = seedBits(seed);
    unsigned char* arena = block + static_cast<unsigned>(nextRandom(random) % kHeapShiftPages) * 0x1000;
    // The objects take the slots in a seeded order, so that both their
    // addresses and their order change from run to run.
    unsigned slots[kHeapSlots];
    for (unsigned i = 0; i < kHeapSlots; ++i) slots[i] = i;
    for (unsigned i = kHeapSlots - 1; i > 0; --i)
        std::swap(slots[i], slots[static_cast<unsigned>(nextRandom(random) % (i + 1))]);
    unsigned taken = 0;
    const auto place = [&] { return arena + slots[taken++] * kHeapSlotSize; };

    // Entity 0 is the player; the table (and the world's list) holds it at
    // its seeded index and the others in their order around it.
    unsigned char* world = place();
    unsigned char* entities[kEntitySlots];
    unsigned char* stats[kEntitySlots];
    for (unsigned i = 0; i < kEntitySlots; ++i) {
        entities[i] = place();
        stats[i] = place();
        put<std::int32_t>(entities[i], kEntityIdOffset, static_cast<std::int32_t>(2000 + i));
        put<Pointer>(entities[i], kEntityStatsOffset, address(stats[i]));
        put<std::int32_t>(stats[i], kStatsHealthOffset, kStatsHealth);
        put<std::int32_t>(stats[i], kStatsGoldOffset, i == 0 ? kGold : otherGold(i));
    }
    unsigned char* listed[kEntitySlots];
    for (unsigned at = 0, other = 1; at < kEntitySlots; ++at)
        listed[at] = at == playerIndex(seed) ? entities[0] : entities[other++];
    for (unsigned at = 0; at < kEntitySlots; ++at) {
        entityTable[at] = address(listed[at]);
        if (at + 1 < kEntitySlots) put<Pointer>(listed[at], kEntityNextOffset, address(listed[at + 1]));
    }
    put<Pointer>(world, kWorldPlayerOffset, address(entities[0]));
    put<Pointer>(world, kWorldFirstEntityOffset, address(listed[0]));

    unsigned char* cache = place();
    put<Pointer>(cache, cacheOffset(seed), address(stats[0]));

    unsigned char* nodes[kMaxNodes];
    for (unsigned i = 0; i < nodeCount(seed); ++i) nodes[i] = place();
    for (unsigned i = 0; i < nodeCount(seed); ++i)
        put<Pointer>(nodes[i], nodeNextOffset(seed), address(i + 1 < nodeCount(seed) ? nodes[i + 1] : stats[0]));

    heapStatics[kWorldStatic] = address(world);
    heapStatics[kCacheStatic] = address(cache);
    heapStatics[kNodesStatic] = address(nodes[0]);

    std::printf("seed=%X\n", seed);
    std::printf("heapStatics=%llX\n", static_cast<unsigned long long>(heapStaticsOffset()));
    std::printf("entityTable=%llX\n", static_cast<unsigned long long>(imageOffset(entityTable)));
    std::printf("gold=%llX\n", static_cast<unsigned long long>(address(stats[0] + kStatsGoldOffset)));
    return true;
}

std::uint64_t heapStaticsOffset() { return imageOffset(heapStatics); }

}  // namespace corvane::sample
