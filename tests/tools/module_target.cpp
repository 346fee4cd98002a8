// A native process to search by its module: a table in its own image points
// at objects in memory the kernel places. It prints where the table lies from the start of
// its image and where the objects are, then waits for the end of its input.
// Run twice, the image and the heap lie elsewhere each time.

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>

// The start of the image's lowest mapping, which the linker provides.
extern "C" const char __executable_start;

namespace {

constexpr int kSlots = 3;

struct Object {
    std::int32_t id;
    std::int32_t padding[15];
};

// Read only by the searching process: volatile keeps the stores.
volatile std::uintptr_t moduleTable[kSlots] = {};

}  // namespace

int main() {
    // Mapped by the kernel rather than taken from an allocator that may keep
    // its heap at a fixed place: the objects move with every start.
    void* block = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return 1;
    for (int i = 0; i < kSlots; ++i) {
        auto* object = static_cast<Object*>(block) + i;
        object->id = 2000 + i;
        moduleTable[i] = reinterpret_cast<std::uintptr_t>(object);
    }
    const auto base = reinterpret_cast<std::uintptr_t>(&__executable_start);
    std::printf("base=%llX\n", static_cast<unsigned long long>(base));
    std::printf("moduleTable=%llX\n",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&moduleTable[0]) - base));
    for (int i = 0; i < kSlots; ++i) std::printf("object%d=%llX\n", i, static_cast<unsigned long long>(moduleTable[i]));
    std::printf("ready\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
