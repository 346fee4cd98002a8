// A native process to scan for pointers: amid objects that point at each
// other at random, chains of 1 to 6 levels lead from a table deep in its
// .bss (past the image's file mappings) to one value. It prints where the
// value is, where the table lies from the start of its image and where each
// chain starts, then waits for the end of its input. The objects lie in
// memory the kernel places, so each start has them elsewhere; the random
// links come from the seed given as the first argument (0 when absent).

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" const char __executable_start;

namespace {

constexpr std::size_t kObjectSize = 64;
constexpr std::size_t kObjects = 8192;
constexpr int kChains = 6;
// The chains' roots sit this far into the table, well past any page the
// image's file mapping could hold.
constexpr std::size_t kRootSlot = 4096;

volatile std::uintptr_t table[8192];

std::uint64_t next(std::uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// The random links follow the seed; the chains are the same in every start.
std::uint64_t linkState = 0x9E3779B97F4A7C15ull;
std::uint64_t chainState = 0x2545F4914F6CDD1Dull;
std::uint64_t next() { return next(linkState); }

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) linkState ^= std::strtoull(argv[1], nullptr, 10) * 0x100000001B3ull;
    auto* block = static_cast<unsigned char*>(
        mmap(nullptr, kObjects * kObjectSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (block == MAP_FAILED) return 1;
    const auto object = [&](std::size_t index) {
        return reinterpret_cast<std::uintptr_t>(block + index * kObjectSize);
    };
    const auto put = [&](std::uintptr_t at, std::uintptr_t value) {
        std::memcpy(reinterpret_cast<void*>(at), &value, 8);
    };

    // Words that point nowhere (odd, small), and one object in four with a
    // link to a random object, at a random word of it.
    for (std::size_t i = 0; i < kObjects; ++i)
        for (std::size_t word = 0; word < kObjectSize / 8; ++word) put(object(i) + 8 * word, (next() % 1000) * 2 + 1);
    for (std::size_t i = 0; i < kObjects; i += 4)
        put(object(i) + 8 * (next() % 8), object(next() % kObjects) + 8 * (next() % 8));

    // The value, in an object of its own, and the chains: table[kRootSlot + d]
    // -> object, +offset -> object ... -> the value. Their objects are the
    // last ones, out of reach of the random links' choice below kObjects - 64.
    const std::uintptr_t value = object(kObjects - 1) + 0x18;
    put(value, 31337);
    std::size_t spare = kObjects - 64;
    for (int depth = 1; depth <= kChains; ++depth) {
        std::uintptr_t slot = reinterpret_cast<std::uintptr_t>(&table[kRootSlot + static_cast<std::size_t>(depth)]);
        for (int level = 1; level < depth; ++level) {
            const std::uintptr_t next_object = object(spare++);
            const std::uintptr_t next_slot = next_object + 8 * (1 + next(chainState) % 6);
            put(slot, next_object);
            slot = next_slot;
        }
        put(slot, value - 0x18 + 8 * static_cast<std::uintptr_t>(depth % 3));
    }

    // Statics that follow the seed, into the chains' objects: their paths
    // lead to the value in one start and not in the next.
    for (std::size_t i = 0; i < 32; ++i)
        table[kRootSlot + 100 + i] = object(kObjects - 1 - next() % 64) + 8 * (next() % 8);

    const auto base = reinterpret_cast<std::uintptr_t>(&__executable_start);
    std::printf("value=%llX\n", static_cast<unsigned long long>(value));
    std::printf("table=%llX\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&table[0]) - base));
    std::printf("rootSlot=%llX\n", static_cast<unsigned long long>(kRootSlot));
    std::printf("ready\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
