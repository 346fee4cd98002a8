#include "engine/pointers/run_map.h"

#include <algorithm>

#include "engine/kit/both_cores.h"

namespace corvane {

RunMap outlineRun(MemoryReader& reader, RegionLookup& lookup, std::uint64_t address, PointerScanProgress& progress) {
    RunMap map;
    map.width = reader.pointerWidth();
    map.address = address;
    for (const MemoryRegion& region : lookup.readableRegions())
        if (region.size != 0) map.regions.push_back(region);
    map.images = lookup.moduleImages();
    std::sort(map.images.begin(), map.images.end(),
              [](const ModuleImage& a, const ModuleImage& b) { return a.start < b.start; });
    std::uint64_t total = 0;
    for (const MemoryRegion& region : map.regions) total += region.size;
    progress.bytesTotal = total;
    progress.phase = PointerScanProgress::Mapping;
    return map;
}

std::vector<std::vector<MemoryRegion>> readingShares(const MemoryReader& reader,
                                                     const std::vector<MemoryRegion>& regions, std::size_t chunkBytes) {
    std::uint64_t total = 0;
    for (const MemoryRegion& region : regions) total += region.size;
    // Cut within a region too: a target's heap is often most of its memory,
    // and whole regions would leave the second thread the crumbs.
    if (reader.readsInParallel() && twoCores() && total >= 2 * std::uint64_t{chunkBytes})
        return splitInTwo(regions, total, chunkBytes);
    return {regions};
}

bool captureRunMap(MemoryReader& reader, RegionLookup& lookup, std::uint64_t address, const StopFlag& stop,
                   PointerScanProgress& progress, RunMap& map, std::size_t chunkBytes) {
    map = outlineRun(reader, lookup, address, progress);
    // Each share's slots follow the one's before.
    struct Half {
        std::vector<MemoryRegion> regions;
        std::vector<std::uint64_t> slots;
        std::vector<std::uint64_t> words;
        bool read = false;
    };
    std::vector<Half> halves;
    for (std::vector<MemoryRegion>& share : readingShares(reader, map.regions, chunkBytes))
        halves.push_back({std::move(share), {}, {}, false});
    const RegionBounds bounds(map.regions);
    const auto gather = [&](Half& half) {
        RegionBounds own = bounds;
        half.read = readPointerWords(reader, half.regions, own, stop, progress, chunkBytes,
                                     [&](std::uint64_t slot, std::uint64_t word, std::size_t) {
                                         half.slots.push_back(slot);
                                         half.words.push_back(word);
                                     });
    };
    eachShare(halves, gather);
    for (Half& half : halves) {
        if (!half.read) {
            map = RunMap{};
            return false;
        }
        map.slots.insert(map.slots.end(), half.slots.begin(), half.slots.end());
        map.words.insert(map.words.end(), half.words.begin(), half.words.end());
    }
    progress.pointers = map.slots.size();
    progress.phase = PointerScanProgress::Done;
    return true;
}

}  // namespace corvane
