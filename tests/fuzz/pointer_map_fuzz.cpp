// The pointer map file: whatever bytes it holds, the reader takes a whole
// map or refuses with a reason, never reads out of bounds; a map it takes
// holds only slots inside its regions and words that point into them, and
// written again gives the same bytes' map back.

#include <string>

#include "engine/files/pointer_map_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace corvane::fuzz {
namespace {

bool inside(const RunMap& map, std::uint64_t address, std::uint64_t size) {
    for (const MemoryRegion& region : map.regions)
        if (address >= region.start && address - region.start + size <= region.size) return true;
    return false;
}

void checkBytes(const std::string& bytes) {
    RunMap map;
    std::string error;
    const bool taken = decodePointerMap(bytes, map, error);
    FUZZ_CHECK(taken == error.empty(), error);
    if (!taken) {
        FUZZ_CHECK(map == RunMap{}, "a refused map left something behind");
        return;
    }
    for (std::size_t i = 0; i < map.size(); ++i) {
        FUZZ_CHECK(inside(map, map.slots[i], map.width), "a slot outside every region");
        FUZZ_CHECK(inside(map, map.words[i], 1), "a word pointing outside every region");
        FUZZ_CHECK(i == 0 || map.slots[i - 1] < map.slots[i], "slots out of order");
    }
    RunMap again;
    FUZZ_CHECK(decodePointerMap(encodePointerMap(map), again, error), error);
    FUZZ_CHECK(again == map, "written again, another map");
}

// A map built from the input, made valid: it reads back as built.
void checkMapRoundTrip(Input& input) {
    RunMap map;
    map.width = input.flag() ? 8 : 4;
    map.address = input.integer(8);
    std::uint64_t at = input.integer(4) * 4096;
    const std::size_t regions = 1 + input.byte() % 4;
    for (std::size_t i = 0; i < regions; ++i) {
        at += (1u + input.byte() % 4u) * 4096u;
        const std::uint64_t size = (1u + input.byte() % 4u) * 4096u;
        map.regions.push_back({at, size, input.flag()});
        at += size;
    }
    map.images.push_back({input.text(12), map.regions.front().start, 4096});
    for (const MemoryRegion& region : map.regions) {
        for (std::uint64_t slot = region.start; slot < region.end() && !input.empty(); slot += map.width) {
            if (!input.flag()) continue;
            const MemoryRegion& into = map.regions[input.byte() % map.regions.size()];
            map.slots.push_back(slot);
            map.words.push_back(into.start + input.integer(2) % into.size);
        }
    }
    RunMap back;
    std::string error;
    const std::string bytes = encodePointerMap(map);
    FUZZ_CHECK(decodePointerMap(bytes, back, error), error);
    FUZZ_CHECK(back == map, "read back, another map");
    FUZZ_CHECK(bytes.size() <= 200 + 64 * map.images.size() + 17 * map.regions.size() + 8 * map.size(),
               "more than 8 bytes a pointer");

    // Cut anywhere between two reading threads, the same bytes.
    EncodedRunMap halves = encodeRunMap(RunMap{map.width, map.address, map.images, map.regions, {}, {}});
    halves.stretches.clear();
    // The address, read early from the input, picks the cut.
    const auto cut = static_cast<std::size_t>(map.address % (map.size() + 1));
    for (std::size_t i = 0; i < map.size(); ++i) {
        if (i == 0 || i == cut) halves.stretches.emplace_back(map.width);
        std::size_t region = 0;
        while (map.words[i] >= map.regions[region].end()) ++region;
        halves.stretches.back().add({map.slots[i], region, map.words[i] - map.regions[region].start});
    }
    FUZZ_CHECK(encodePointerMap(halves) == bytes, "encoded in two stretches, other bytes");
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane::fuzz;
    return fuzzDecodedOrBytes(data, size, checkMapRoundTrip, checkBytes);
}
