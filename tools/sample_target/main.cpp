// A process to search: lays out the structures of sample_layout.h at fixed
// addresses and the game heap of sample_heap.h anew (its seed from the
// time and the process id, or --seed HEX), prints where they are, then waits. Commands on standard input
// change its memory the way a running game would:
//   set32 ADDRESS VALUE     writes a long (address hexadecimal, value decimal)
//   setptr ADDRESS VALUE    writes a pointer (both hexadecimal)
// Every command is answered with "ok" or "error". End of input ends it.
// With --window it also shows a window of its own (sample_window.h) that tells
// what to search for and changes values on a click; the commands are then
// served on a second thread, and closing the window ends it too.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "tools/sample_target/sample_heap.h"
#include "tools/sample_target/sample_layout.h"
#include "tools/sample_target/sample_window.h"
#include "tools/sample_target/sample_writes.h"

namespace {

using namespace corvane::sample;

using Pointer = std::uintptr_t;

bool sawError = false;
// Written here and read only by the searching process: volatile keeps the
// stores that no code of this program reads back.
volatile Pointer moduleTable[kModuleSlots] = {};
// The window's thread reads and writes the same memory as the commands.
std::mutex memoryLock;

unsigned char* allocateAt(std::uint64_t address, std::size_t size) {
    void* block = VirtualAlloc(reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), size,
                               MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) {
        std::printf("error=cannot allocate %llX (%lu)\n", static_cast<unsigned long long>(address), GetLastError());
        sawError = true;
    }
    return static_cast<unsigned char*>(block);
}

void buildObject(unsigned char* object, unsigned number) {
    put<std::int32_t>(object, kIdOffset, static_cast<std::int32_t>(1000 + number));
    put<std::int32_t>(object, kNegativeOffset, kNegativeValue);
    put<Pointer>(object, kDataPointerOffset, reinterpret_cast<Pointer>(object + kDataOffset));
    put<float>(object, kSingleOffset, kSingleValue);
    put<float>(object, kBigSingleOffset, kBigSingleValue);
    put<double>(object, kDoubleOffset, kDoubleValue);
    put<std::uint8_t>(object, kByteOffset, kByteValue);
    put<std::uint16_t>(object, kShortOffset, 0xFFFF);
    put<std::uint64_t>(object, kInt64Offset, kInt64Value);
    std::memcpy(object + kAnsiOffset, kGbkText, sizeof kGbkText);
    std::memcpy(object + kUtf16Offset, kUtf16Text, sizeof kUtf16Text);
    std::memcpy(object + kUtf8Offset, kUtf8Text, sizeof kUtf8Text);
    for (unsigned j = 0; j < kDataCount; ++j) put<std::int32_t>(object, kDataOffset + 4 * j, dataValue(number, j));
}

void buildLarge(const Places& places, unsigned blockCount) {
    unsigned char* table = allocateAt(places.largeTable, blockCount * sizeof(Pointer));
    unsigned char* blocks = allocateAt(places.largeBlocks, std::size_t{blockCount} * kLargeBlockStride);
    if (table == nullptr || blocks == nullptr) return;
    for (unsigned i = 0; i < blockCount; ++i) {
        unsigned char* block = blocks + i * kLargeBlockStride;
        put<Pointer>(table, i * static_cast<unsigned>(sizeof(Pointer)), reinterpret_cast<Pointer>(block));
        for (unsigned j = 0; j < kLargeCount; ++j) put<std::int32_t>(block, 4 * j, largeValue(i, j));
    }
    std::printf("largeTable=%llX\n", static_cast<unsigned long long>(places.largeTable));
}

// The objects of the module table sit in a block the system places, a number
// of pages into it that changes with the process id: like objects on a heap,
// they are somewhere else after each start.
void buildModuleObjects() {
    constexpr unsigned kShifts = 8;
    auto* block = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, (kShifts + kModuleSlots) * 0x1000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (block == nullptr) {
        std::printf("error=cannot allocate the module objects (%lu)\n", GetLastError());
        sawError = true;
        return;
    }
    unsigned char* first = block + (GetCurrentProcessId() / 4 % kShifts) * 0x1000;
    for (unsigned i = 0; i < kModuleSlots; ++i) {
        unsigned char* object = first + i * 0x1000;
        buildObject(object, kModuleObjectFirst + i);
        moduleTable[i] = reinterpret_cast<Pointer>(object);
    }
    std::printf("moduleTable=%llX\n", static_cast<unsigned long long>(corvane::sample::moduleTableOffset()));
    std::printf("moduleObject0=%llX\n", static_cast<unsigned long long>(reinterpret_cast<Pointer>(first)));
}

void build(const Places& places, unsigned largeBlocks) {
    unsigned char* root = allocateAt(places.root, 0x1000);
    unsigned char* objects[3];
    for (unsigned i = 0; i < 3; ++i) objects[i] = allocateAt(places.objects[i], 0x1000);
    unsigned char* edge = allocateAt(places.edge, kEdgeRegionSize);
    if (sawError) return;
    Pointer slots[kRootSlots] = {};
    for (unsigned i = 0; i < 3; ++i) slots[kObjectSlot[i]] = reinterpret_cast<Pointer>(objects[i]);
    slots[1] = static_cast<Pointer>(kNullSlotValue);
    slots[2] = static_cast<Pointer>(kFillSlotValue);
    slots[3] = static_cast<Pointer>(places.unmapped);
    slots[5] = static_cast<Pointer>(kAllOnesSlotValue);
    slots[7] = static_cast<Pointer>(kLowSlotValue);
    std::memcpy(root, slots, sizeof slots);
    for (unsigned i = 0; i < 3; ++i) buildObject(objects[i], i);
    std::memset(edge + kEdgeFitOffset, 'e', 0xFF);
    std::memset(edge + kEdgeCrossOffset, 'x', 0x10);

    std::printf("pointerWidth=%u\n", static_cast<unsigned>(sizeof(Pointer)));
    std::printf("root=%llX\n", static_cast<unsigned long long>(places.root));
    for (unsigned i = 0; i < 3; ++i)
        std::printf("object%u=%llX\n", i, static_cast<unsigned long long>(places.objects[i]));
    std::printf("edge=%llX\n", static_cast<unsigned long long>(places.edge));
    buildModuleObjects();
    if (largeBlocks > 0) buildLarge(places, largeBlocks);
}

// The frames that laid the memory out leave copies of its addresses on the
// stack, where nothing overwrites them while the program waits: a pointer
// scan would find paths through them that outlast a restart, which a
// game's stack does not offer. Called from main, its frame covers theirs.
[[gnu::noinline]] void scrubStack() {
    volatile unsigned char frames[64 * 1024];
    for (volatile unsigned char& byte : frames) byte = 0;
}

std::uint32_t seedOfThisStart() {
    const std::uint64_t ticks = GetTickCount64();
    return static_cast<std::uint32_t>(ticks ^ (ticks >> 32)) * 2654435761u ^ GetCurrentProcessId();
}

bool runCommand(const char* line) {
    char verb[16] = {};
    unsigned long long address = 0;
    char value[32] = {};
    if (std::sscanf(line, "%15s %llx %31s", verb, &address, value) != 3) return false;
    void* where = reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
    const std::lock_guard<std::mutex> lock(memoryLock);
    if (std::strcmp(verb, "set32") == 0) {
        const auto number = static_cast<std::int32_t>(std::strtoll(value, nullptr, 10));
        std::memcpy(where, &number, sizeof number);
        return true;
    }
    if (std::strcmp(verb, "setptr") == 0) {
        const auto pointer = static_cast<Pointer>(std::strtoull(value, nullptr, 16));
        std::memcpy(where, &pointer, sizeof pointer);
        return true;
    }
    return false;
}

void serveCommands() {
    char line[256];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        std::printf("%s\n", runCommand(line) ? "ok" : "error");
        std::fflush(stdout);
    }
}

int runWithWindow(const Places& places) {
    const auto window = corvane::sample::SampleWindow::create(places, sizeof(Pointer), memoryLock);
    if (!window) {
        // No display: the commands still work, the window is simply missing.
        std::fprintf(stderr, "no window: %lu\n", GetLastError());
        serveCommands();
        return 0;
    }
    const HWND handle = window->handle();
    std::thread([handle] {
        try {
            serveCommands();
        } catch (...) {
            // Ends the window below like the end of input does.
        }
        PostMessageW(handle, WM_CLOSE, 0, 0);
    }).detach();
    window->runMessageLoop();
    std::fflush(stdout);
    // The command thread may sit inside the C runtime's stdin lock, which the
    // runtime's exit would wait on for ever; nothing is left to clean up.
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}

}  // namespace

std::uint64_t corvane::sample::moduleTableOffset() {
    return reinterpret_cast<Pointer>(&moduleTable[0]) - reinterpret_cast<Pointer>(GetModuleHandleW(nullptr));
}

int main(int argc, char** argv) {
    unsigned large = 0;
    bool window = false;
    std::uint32_t seed = seedOfThisStart();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
            seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 16));
        if (std::strcmp(argv[i], "--large") == 0) large = kLargeCount;
        if (std::strcmp(argv[i], "--huge") == 0) large = kHugeBlocks;
        if (std::strcmp(argv[i], "--window") == 0) window = true;
    }
    const Places& places = sizeof(Pointer) == 8 ? kPlaces64 : kPlaces32;
    build(places, large);
    if (!sawError && !buildHeap(seed)) sawError = true;
    scrubStack();
    std::printf("%s\n", sawError ? "failed" : "ready");
    std::fflush(stdout);
    if (sawError) return 1;

    if (window) return runWithWindow(places);
    serveCommands();
    return 0;
}
