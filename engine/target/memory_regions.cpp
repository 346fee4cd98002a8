#include "engine/target/memory_regions.h"

namespace corvane {

std::vector<MemoryRegion> writableRegions(const std::vector<MemoryRegion>& regions) {
    std::vector<MemoryRegion> out;
    for (const MemoryRegion& region : regions)
        if (region.writable && region.size > 0) out.push_back(region);
    return out;
}

std::vector<std::vector<MemoryRegion>> splitInTwo(const std::vector<MemoryRegion>& regions, std::uint64_t total,
                                                  std::uint64_t chunkBytes) {
    std::vector<std::vector<MemoryRegion>> shares(2);
    const std::uint64_t half = total / 2;
    std::uint64_t before = 0;
    for (const MemoryRegion& region : regions) {
        if (before + region.size <= half) {
            shares[0].push_back(region);
        } else if (before >= half) {
            shares[1].push_back(region);
        } else {
            const std::uint64_t cut = (half - before + chunkBytes - 1) / chunkBytes * chunkBytes;
            if (cut >= region.size) {
                shares[0].push_back(region);
            } else {
                shares[0].push_back({region.start, cut, region.writable});
                shares[1].push_back({region.start + cut, region.size - cut, region.writable});
            }
        }
        before += region.size;
    }
    return shares;
}

}  // namespace corvane
