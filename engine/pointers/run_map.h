#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/pointers/pointer_map.h"
#include "engine/target/memory_reader.h"
#include "engine/target/memory_regions.h"

namespace corvane {

// What one run of a target holds for a pointer scan, and nothing more: its
// pointer width, its module images and readable regions as a scan sees them,
// every slot whose word points into readable memory with that word, and the
// address of the value in that run. Saved as a pointer map, so that the
// paths valid in several runs can be found after the runs have ended.
struct RunMap {
    unsigned width = 8;
    std::uint64_t address = 0;
    std::vector<ModuleImage> images;    // in address order
    std::vector<MemoryRegion> regions;  // readable, in address order, none empty
    std::vector<std::uint64_t> slots;   // ascending, each aligned to the width
    std::vector<std::uint64_t> words;   // words[i] is held at slots[i]

    std::size_t size() const { return slots.size(); }
    bool operator==(const RunMap&) const = default;
};

// A run's map without its pointers: its width, the address, its images in
// address order and its readable regions, none empty. Sets the progress's
// total and its phase to Mapping.
RunMap outlineRun(MemoryReader& reader, RegionLookup& lookup, std::uint64_t address, PointerScanProgress& progress);

// The regions of a capture in the shares of its reading threads, in address
// order: two of about equal bytes when the reader gains by a second thread,
// else one.
std::vector<std::vector<MemoryRegion>> readingShares(const MemoryReader& reader,
                                                     const std::vector<MemoryRegion>& regions, std::size_t chunkBytes);

// Reads every readable region of the target once, as a scan's map does.
// False when `stop` was raised; `map` is then empty.
bool captureRunMap(MemoryReader& reader, RegionLookup& lookup, std::uint64_t address, const StopFlag& stop,
                   PointerScanProgress& progress, RunMap& map, std::size_t chunkBytes = kReadChunkBytes);

}  // namespace corvane
