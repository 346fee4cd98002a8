#include "engine/target/memory_regions.h"

namespace corvane {

std::vector<MemoryRegion> writableRegions(const std::vector<MemoryRegion>& regions) {
    std::vector<MemoryRegion> out;
    for (const MemoryRegion& region : regions)
        if (region.writable && region.size > 0) out.push_back(region);
    return out;
}

}  // namespace corvane
