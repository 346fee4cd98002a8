#include "engine/pointer_map.h"

#include <chrono>

#include "engine/elapsed_time.h"

namespace corvane {

RegionBounds::RegionBounds(const std::vector<MemoryRegion>& regions) {
    for (const MemoryRegion& region : regions) {
        if (region.size == 0) continue;
        starts_.push_back(region.start);
        ends_.push_back(region.end());
    }
    if (starts_.empty()) {
        starts_.push_back(0);
        ends_.push_back(0);
        return;
    }
    low_ = starts_.front();
    high_ = ends_.back();
}

bool PointerMap::build(MemoryReader& reader, const std::vector<MemoryRegion>& regions, const std::atomic<bool>& stop,
                       PointerScanProgress& progress, std::size_t chunkBytes) {
    pairs_.clear();
    RegionBounds bounds(regions);
    // Where each region starts in the readable memory laid end to end: a
    // value's place there picks its bucket, so buckets fill evenly however
    // sparse the address space is.
    std::vector<std::uint64_t> before(bounds.size());
    std::uint64_t total = 0;
    std::size_t index = 0;
    for (const MemoryRegion& region : regions) {
        if (region.size == 0) continue;
        before[index++] = total;
        total += region.size;
    }
    unsigned shift = 0;
    while (total > 0 && ((total - 1) >> shift) >= kBuckets) ++shift;
    progress.bytesTotal = total;

    progress.phase = PointerScanProgress::Mapping;
    auto start = std::chrono::steady_clock::now();
    std::vector<ChunkedArray<PointerPair, 4096>> buckets(kBuckets);
    std::uint64_t count = 0;
    const bool read = readPointerWords(reader, regions, bounds, stop, progress, chunkBytes,
                                       [&](std::uint64_t slot, std::uint64_t value, std::size_t region) {
                                           const std::uint64_t place = before[region] + (value - bounds.start(region));
                                           buckets[static_cast<std::size_t>(place >> shift)].push_back({value, slot});
                                           if ((++count & 0xFFFF) == 0)
                                               progress.pointers.store(count, std::memory_order_relaxed);
                                       });
    progress.pointers = count;
    mapMs = millisecondsSince(start);
    if (!read) return false;
    start = std::chrono::steady_clock::now();

    progress.phase = PointerScanProgress::Sorting;
    std::vector<PointerPair> sorting;
    std::vector<PointerPair> scratch;
    for (auto& bucket : buckets) {
        if (stop.load(std::memory_order_relaxed)) {
            pairs_.clear();
            return false;
        }
        sorting.resize(bucket.size());
        for (std::size_t i = 0; i < bucket.size(); ++i) sorting[i] = bucket[i];
        bucket.clear();
        if (!radixSort(
                sorting, scratch, [](const PointerPair& pair) { return pair.value; }, &stop)) {
            pairs_.clear();
            return false;
        }
        for (const PointerPair& pair : sorting) pairs_.push_back(pair);
    }
    sortMs = millisecondsSince(start);
    return true;
}

}  // namespace corvane
