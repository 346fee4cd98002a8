// A native process to search all of: a block of its own memory holds a value
// planted at several alignments, and a "health" value the test changes by
// writing "set N" lines to its input. It prints where the block and the
// health value lie, then answers each line with "done" once the value is set.
// A second block, "spare", starts with a value in each of its 64 pages; the
// lines "poke OFFSET VALUE" (into the first block, hexadecimal offset),
// "shrink" (its second half unmapped) and "vanish" (all of it unmapped)
// change the memory as a game's does between two searches.

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

constexpr std::int32_t kPlanted = 0x5A5A1234;
constexpr std::size_t kBlockSize = 1 << 20;

}  // namespace

int main() {
    auto* block = static_cast<unsigned char*>(
        mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (block == MAP_FAILED) return 1;
    for (std::size_t offset : {0x100u, 0x1001u, 0x2002u, 0x3003u, 0x4FFEu, 0xFFFF8u})
        std::memcpy(block + offset, &kPlanted, sizeof kPlanted);
    // Read only by the searching process: volatile keeps the stores.
    auto* health = reinterpret_cast<volatile std::int32_t*>(block + 0x80000);
    *health = 1000;
    constexpr std::size_t kSpareSize = 64 * 4096;
    auto* spare = static_cast<unsigned char*>(
        mmap(nullptr, kSpareSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (spare == MAP_FAILED) return 1;
    for (std::size_t page = 0; page < 64; ++page) std::memcpy(spare + page * 4096 + 64, &kPlanted, sizeof kPlanted);
    std::printf("spare=%llX\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(spare)));
    std::printf("block=%llX\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(block)));
    std::printf("health=%llX\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(health)));
    std::printf("ready\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        if (std::strncmp(line, "set ", 4) == 0) *health = static_cast<std::int32_t>(std::atoi(line + 4));
        if (std::strncmp(line, "poke ", 5) == 0) {
            char* rest = nullptr;
            const unsigned long offset = std::strtoul(line + 5, &rest, 16);
            const auto value = static_cast<std::int32_t>(std::strtol(rest, nullptr, 10));
            if (offset + sizeof value <= kBlockSize) std::memcpy(block + offset, &value, sizeof value);
        }
        if (std::strncmp(line, "shrink", 6) == 0) munmap(spare + kSpareSize / 2, kSpareSize / 2);
        if (std::strncmp(line, "vanish", 6) == 0) munmap(spare, kSpareSize);
        std::printf("done\n");
        std::fflush(stdout);
    }
    return 0;
}
