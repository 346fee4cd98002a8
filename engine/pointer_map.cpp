#include "engine/pointer_map.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <thread>

#include "engine/block_pool.h"
#include "engine/elapsed_time.h"
#include "engine/radix_sort.h"

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

namespace {

// Buckets of the first sort step: few enough that dealing the pointers out
// writes to a cache's worth of places, many enough that each bucket sorts in
// the cache.
constexpr std::size_t kBuckets = 4096;
// Items of the sort's scratch: a bucket larger than this is split in place.
constexpr std::size_t kScratchItems = std::size_t{1} << 18;
// Slot indices and ranks are 32-bit: a process with more pointers than that
// has them past this many left out of the map.
constexpr std::size_t kMaxPointers = 0xFFFFFFFF;

}  // namespace

void PointerMap::clear() {
    size_ = 0;
    slotLow_.clear();
    slotHigh_.clear();
    links_.reset();
    valueHigh_.clear();
    statics_.clear();
}

std::size_t PointerMap::memoryBytes() const {
    return slotLow_.memoryBytes() + (links_ ? size_ * sizeof(Link) : 0) + slotHigh_.memoryBytes() +
           valueHigh_.memoryBytes() + statics_.capacity() * sizeof(StaticPointer);
}

// What one reading thread gathers from its share of the regions, in address
// order; the shares follow each other.
struct PointerMap::Share {
    std::vector<MemoryRegion> regions;
    ChunkedArray<std::uint64_t, kChunk / 2> places;
    ChunkedArray<std::uint32_t, kChunk> slotLow;
    HighHalves slotHigh;
    std::vector<std::uint64_t> bucketSizes;
    std::vector<StaticPointer> statics;
    std::size_t size = 0;
    bool read = false;
    std::exception_ptr failure;
};

namespace {

// Cuts the regions in two of about equal bytes, the cut on a chunk's bound
// within its region, so the two shares make the reads one reading would.
std::vector<std::vector<MemoryRegion>> splitInTwo(const std::vector<MemoryRegion>& regions, std::uint64_t total,
                                                  std::size_t chunkBytes) {
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

}  // namespace

bool PointerMap::build(MemoryReader& reader, const std::vector<MemoryRegion>& regions,
                       const std::vector<ModuleImage>& statics, const std::atomic<bool>& stop,
                       PointerScanProgress& progress, std::size_t chunkBytes) {
    clear();
    std::vector<MemoryRegion> readable;
    for (const MemoryRegion& region : regions)
        if (region.size != 0) readable.push_back(region);
    // Where each region starts in the readable memory laid end to end: a
    // value's place there picks its bucket, so buckets fill evenly however
    // sparse the address space is, and places sort as the values do.
    std::vector<std::uint64_t> placeOfRegion(readable.size());
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < readable.size(); ++i) {
        placeOfRegion[i] = total;
        total += readable[i].size;
    }
    unsigned shift = 0;
    while (total > 0 && ((total - 1) >> shift) >= kBuckets && shift < 32) ++shift;
    const std::size_t buckets = total == 0 ? 1 : static_cast<std::size_t>(((total - 1) >> shift) + 1);
    progress.bytesTotal = total;

    progress.phase = PointerScanProgress::Mapping;
    auto start = std::chrono::steady_clock::now();
    // Reading and testing the words takes most of a scan: two threads share
    // the regions when there are two cores.
    std::vector<std::vector<MemoryRegion>> split;
    if (std::thread::hardware_concurrency() >= 2 && total >= 2 * chunkBytes)
        split = splitInTwo(readable, total, chunkBytes);
    else
        split.push_back(readable);
    std::vector<Share> shares(split.size());
    const RegionBounds bounds(readable);
    const auto gather = [&](Share& share) {
        try {
            share.bucketSizes.assign(buckets, 0);
            RegionBounds own = bounds;
            std::size_t image = 0;
            const std::size_t most = kMaxPointers / shares.size();
            share.read = readPointerWords(
                reader, share.regions, own, stop, progress, chunkBytes,
                [&](std::uint64_t slot, std::uint64_t value, std::size_t region) {
                    // Slots come in address order, and so do the images.
                    while (image < statics.size() && statics[image].end() <= slot) ++image;
                    if (image < statics.size() && slot >= statics[image].start) {
                        share.statics.push_back({value, slot, static_cast<std::uint32_t>(image)});
                        return;
                    }
                    if (share.size == most) return;
                    const std::uint64_t place = placeOfRegion[region] + (value - readable[region].start);
                    ++share.bucketSizes[static_cast<std::size_t>(place >> shift)];
                    share.places.push_back(place);
                    share.slotHigh.note(share.size, slot);
                    share.slotLow.push_back(static_cast<std::uint32_t>(slot));
                    if ((++share.size & 0xFFFF) == 0) progress.pointers.fetch_add(0x10000, std::memory_order_relaxed);
                });
        } catch (...) {
            share.failure = std::current_exception();
        }
    };
    for (std::size_t i = 0; i < shares.size(); ++i) shares[i].regions = std::move(split[i]);
    {
        std::vector<std::thread> helpers;
        for (std::size_t i = 1; i < shares.size(); ++i) helpers.emplace_back(gather, std::ref(shares[i]));
        gather(shares[0]);
        for (std::thread& helper : helpers) helper.join();
    }
    bool read = true;
    for (Share& share : shares) {
        if (share.failure) std::rethrow_exception(share.failure);
        read = read && share.read;
    }
    mapMs = millisecondsSince(start);
    if (!read) {
        clear();
        return false;
    }
    // A region cut in two was read as two.
    progress.regionsRead = readable.size();

    progress.phase = PointerScanProgress::Sorting;
    start = std::chrono::steady_clock::now();
    std::vector<std::uint64_t> bucketSizes(buckets, 0);
    for (Share& share : shares) {
        for (std::size_t b = 0; b < buckets; ++b) bucketSizes[b] += share.bucketSizes[b];
        statics_.insert(statics_.end(), share.statics.begin(), share.statics.end());
        std::vector<StaticPointer>().swap(share.statics);
        slotHigh_.append(share.slotHigh, size_);
        if (slotLow_.empty()) {
            slotLow_ = std::move(share.slotLow);
        } else {
            for (std::size_t i = 0; i < share.slotLow.size();) {
                const auto piece = share.slotLow.piece(i);
                for (std::size_t k = 0; k < piece.count; ++k) slotLow_.push_back(piece.data[k]);
                i += piece.count;
            }
            share.slotLow.clear();
        }
        size_ += share.size;
    }
    progress.pointers = size_ + statics_.size();
    std::sort(statics_.begin(), statics_.end(),
              [](const StaticPointer& a, const StaticPointer& b) { return a.value < b.value; });
    const bool sorted = sortByValue(shares, bucketSizes, shift, readable, placeOfRegion, stop);
    sortMs = millisecondsSince(start);
    if (!sorted) clear();
    return sorted;
}

// Deals the places out to their buckets in the value order's array, sorts
// each bucket, and turns places back into values.
bool PointerMap::sortByValue(std::vector<Share>& shares, const std::vector<std::uint64_t>& bucketSizes, unsigned shift,
                             const std::vector<MemoryRegion>& regions, const std::vector<std::uint64_t>& placeOfRegion,
                             const std::atomic<bool>& stop) {
    links_.reset(new Link[size_]);
    std::vector<std::uint64_t> bucketStart(bucketSizes.size() + 1, 0);
    std::size_t largest = 0;
    for (std::size_t b = 0; b < bucketSizes.size(); ++b) {
        bucketStart[b + 1] = bucketStart[b] + bucketSizes[b];
        largest = std::max(largest, static_cast<std::size_t>(bucketSizes[b]));
    }
    std::size_t atMost = slotLow_.memoryBytes() + size_ * sizeof(Link);
    for (const Share& share : shares) atMost += share.places.memoryBytes();
    {
        std::vector<std::uint64_t> next(bucketStart.begin(), bucketStart.end() - 1);
        const std::uint64_t lowMask = (std::uint64_t{1} << shift) - 1;
        std::size_t first = 0;
        for (Share& share : shares) {
            for (std::size_t index = 0; index < share.size;) {
                if (stop.load(std::memory_order_relaxed)) return false;
                const auto piece = share.places.piece(index);
                for (std::size_t i = 0; i < piece.count; ++i) {
                    const std::uint64_t place = piece.data[i];
                    links_[next[static_cast<std::size_t>(place >> shift)]++] = {
                        static_cast<std::uint32_t>(place & lowMask), static_cast<std::uint32_t>(first + index + i)};
                }
                index += piece.count;
            }
            first += share.size;
            share.places.clear();
        }
    }
    // The pool would keep the places' pages for the next array of its
    // chunks; the levels want plain arrays, so they go back now.
    BlockPool::releaseKept();

    std::vector<Link> scratch(std::min(largest, kScratchItems));
    buildPeakBytes = atMost + scratch.capacity() * sizeof(Link);
    const auto low = [](const Link& link) { return std::uint64_t{link.valueLow}; };
    for (std::size_t b = 0; b < bucketSizes.size(); ++b) {
        if (stop.load(std::memory_order_relaxed)) return false;
        const std::size_t first = static_cast<std::size_t>(bucketStart[b]);
        if (!radixSortInBoundedRoom(links_.get() + first, static_cast<std::size_t>(bucketSizes[b]), shift, low,
                                    scratch.data(), scratch.size(), &stop))
            return false;
    }
    std::vector<Link>().swap(scratch);

    std::size_t region = 0;
    for (std::size_t b = 0; b < bucketSizes.size(); ++b) {
        if ((b & 0xFF) == 0 && stop.load(std::memory_order_relaxed)) return false;
        const std::uint64_t base = std::uint64_t{b} << shift;
        for (std::size_t rank = static_cast<std::size_t>(bucketStart[b]); rank < bucketStart[b + 1]; ++rank) {
            Link& link = links_[rank];
            const std::uint64_t place = base | link.valueLow;
            while (region + 1 < regions.size() && placeOfRegion[region + 1] <= place) ++region;
            const std::uint64_t value = regions[region].start + (place - placeOfRegion[region]);
            link.valueLow = static_cast<std::uint32_t>(value);
            valueHigh_.note(rank, value);
        }
    }
    buildPeakBytes = std::max(buildPeakBytes, memoryBytes());
    return true;
}

}  // namespace corvane
