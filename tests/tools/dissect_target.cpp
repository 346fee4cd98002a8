// The program the dissection tests look into: it lays out the objects of
// dissect_sample.h in its own memory (the world in its data, the rest on the
// heap), prints where they stand as KEY=HEX lines and the declared layout
// of a record and an entity as "layout OBJECT OFFSET KIND" lines, then
// "ready". Each "tick" line it reads adds 1 to the first entity's score
// and is answered "ok"; it ends when its input does.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/tools/dissect_sample.h"

namespace {

using namespace corvane::sample;

// Zero-filled blocks that live as long as the program.
struct OwnMemory {
    std::uint64_t allocate(std::size_t bytes) {
        void* block = std::calloc(1, bytes);
        return reinterpret_cast<std::uintptr_t>(block);
    }
    void write(std::uint64_t address, const void* data, std::size_t size) {
        std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), data, size);
    }
};

World world;

void printKey(const char* key, std::uint64_t value) {
    std::printf("%s=%llX\n", key, static_cast<unsigned long long>(value));
}

}  // namespace

int main() {
    OwnMemory memory;
    const World built = build(memory, reinterpret_cast<std::uintptr_t>(&world));
    printKey("world", reinterpret_cast<std::uintptr_t>(&world));
    printKey("records", built.records);
    printKey("entities", built.entities);
    printKey("table", built.table);
    for (const DeclaredField& field : kRecordLayout) std::printf("layout record %X %s\n", field.offset, field.kind);
    for (const DeclaredField& field : kEntityLayout) std::printf("layout entity %X %s\n", field.offset, field.kind);
    std::printf("ready\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        if (std::strncmp(line, "tick", 4) == 0) {
            auto* first = reinterpret_cast<Entity*>(static_cast<std::uintptr_t>(built.entities));
            first->score += 1;
            std::printf("ok\n");
        } else {
            std::printf("?\n");
        }
        std::fflush(stdout);
    }
    return 0;
}
