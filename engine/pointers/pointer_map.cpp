#include "engine/pointers/pointer_map.h"

#include <algorithm>
#include <chrono>

#include "engine/kit/block_pool.h"
#include "engine/kit/both_cores.h"
#include "engine/kit/elapsed_time.h"
#include "engine/pointers/radix_sort.h"

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
// A map of this many pointers read by one thread is still sorted by two.
constexpr std::size_t kTwoThreadSort = std::size_t{1} << 20;
// Slot indices and ranks are 32-bit: a process with more pointers than that
// has them past this many left out of the map.
constexpr std::size_t kMaxPointers = 0xFFFFFFFF;

}  // namespace

void PointerMap::clear() {
    size_ = 0;
    slotLow_.clear();
    slotHigh_.clear();
    slotSample_.clear();
    valueSample_.clear();
    links_.reset();
    valueHigh_.clear();
    statics_.clear();
}

std::size_t PointerMap::memoryBytes() const {
    return slotLow_.memoryBytes() + (slotSample_.capacity() + valueSample_.capacity()) * sizeof(std::uint64_t) +
           (links_ ? size_ * sizeof(Link) : 0) + slotHigh_.memoryBytes() + valueHigh_.memoryBytes() +
           statics_.capacity() * sizeof(StaticPointer);
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
};

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

namespace {

// Does `work` for each share, the two at once on two threads.
template <typename Share, typename Work>
void eachShare(std::vector<Share>& shares, const Work& work) {
    if (shares.size() == 2)
        runBoth([&] { work(shares[0]); }, [&] { work(shares[1]); });
    else
        for (Share& share : shares) work(share);
}

}  // namespace

bool PointerMap::build(MemoryReader& reader, const std::vector<MemoryRegion>& regions,
                       const std::vector<ModuleImage>& statics, const StopFlag& stop, PointerScanProgress& progress,
                       std::size_t chunkBytes) {
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
    // the regions when there are two cores and the reader gains by it.
    std::vector<std::vector<MemoryRegion>> split;
    if (reader.readsInParallel() && twoCores() && total >= 2 * chunkBytes)
        split = splitInTwo(readable, total, chunkBytes);
    else
        split.push_back(readable);
    std::vector<Share> shares(split.size());
    const RegionBounds bounds(readable);
    const auto gather = [&](Share& share) {
        {
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
        }
    };
    for (std::size_t i = 0; i < shares.size(); ++i) shares[i].regions = std::move(split[i]);
    eachShare(shares, gather);
    bool read = true;
    for (const Share& share : shares) read = read && share.read;
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
    slotSample_.reserve(size_ / kSampleEvery + 1);
    for (std::size_t index = 0; index < size_; index += kSampleEvery) slotSample_.push_back(slot(index));
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
                             const StopFlag& stop) {
    links_.reset(new Link[size_]);
    std::vector<std::uint64_t> bucketStart(bucketSizes.size() + 1, 0);
    std::size_t largest = 0;
    for (std::size_t b = 0; b < bucketSizes.size(); ++b) {
        bucketStart[b + 1] = bucketStart[b] + bucketSizes[b];
        largest = std::max(largest, static_cast<std::size_t>(bucketSizes[b]));
    }
    std::size_t atMost = slotLow_.memoryBytes() + size_ * sizeof(Link);
    for (const Share& share : shares) atMost += share.places.memoryBytes();

    // Each share deals its own places out, to its own part of each bucket:
    // its slots come after the share before's, and the sort below keeps that
    // order among equal values.
    std::vector<std::vector<std::uint64_t>> next(shares.size());
    std::vector<std::size_t> firstIndex(shares.size());
    for (std::size_t k = 0; k < shares.size(); ++k) {
        next[k].assign(bucketStart.begin(), bucketStart.end() - 1);
        for (std::size_t j = 0; j < k; ++j) {
            for (std::size_t b = 0; b < bucketSizes.size(); ++b) next[k][b] += shares[j].bucketSizes[b];
            firstIndex[k] += shares[j].size;
        }
    }
    const std::uint64_t lowMask = (std::uint64_t{1} << shift) - 1;
    eachShare(shares, [&](Share& share) {
        const auto k = static_cast<std::size_t>(&share - shares.data());
        std::vector<std::uint64_t>& at = next[k];
        for (std::size_t index = 0; index < share.size;) {
            if (stop.raised()) return;
            const auto piece = share.places.piece(index);
            const std::size_t first = firstIndex[k] + index;
            for (std::size_t i = 0; i < piece.count; ++i) {
                const std::uint64_t place = piece.data[i];
                links_[at[static_cast<std::size_t>(place >> shift)]++] = {static_cast<std::uint32_t>(place & lowMask),
                                                                          static_cast<std::uint32_t>(first + i)};
            }
            index += piece.count;
        }
    });
    for (Share& share : shares) share.places.clear();
    if (stop.raised()) return false;
    // The pool would keep the places' pages for the next array of its
    // chunks; the levels want plain arrays, so they go back now.
    BlockPool::releaseKept();

    // Sorts the buckets from `from` to `to` and turns their places back into
    // values, noting the values' high halves in `high`.
    const auto sortBuckets = [&](std::size_t from, std::size_t to, HighHalves& high, bool& done) {
        std::vector<Link> scratch(std::min(largest, kScratchItems));
        const auto low = [](const Link& link) { return std::uint64_t{link.valueLow}; };
        for (std::size_t b = from; b < to; ++b) {
            if (stop.raised()) return;
            if (!radixSortInBoundedRoom(links_.get() + bucketStart[b], static_cast<std::size_t>(bucketSizes[b]), shift,
                                        low, scratch.data(), scratch.size(), &stop))
                return;
        }
        std::vector<Link>().swap(scratch);
        const std::uint64_t firstPlace = std::uint64_t{from} << shift;
        auto region = static_cast<std::size_t>(
            std::upper_bound(placeOfRegion.begin(), placeOfRegion.end(), firstPlace) - placeOfRegion.begin());
        region = region == 0 ? 0 : region - 1;
        for (std::size_t b = from; b < to; ++b) {
            if ((b & 0xFF) == 0 && stop.raised()) return;
            const std::uint64_t base = std::uint64_t{b} << shift;
            for (auto rank = static_cast<std::size_t>(bucketStart[b]); rank < bucketStart[b + 1]; ++rank) {
                Link& link = links_[rank];
                const std::uint64_t place = base | link.valueLow;
                while (region + 1 < regions.size() && placeOfRegion[region + 1] <= place) ++region;
                const std::uint64_t value = regions[region].start + (place - placeOfRegion[region]);
                link.valueLow = static_cast<std::uint32_t>(value);
                high.note(rank, value);
            }
        }
        done = true;
    };
    const std::size_t scratchBytes = std::min(largest, kScratchItems) * sizeof(Link);
    const std::size_t buckets = bucketSizes.size();
    bool done = false;
    if (twoCores() && (shares.size() == 2 || size_ >= kTwoThreadSort)) {
        // Two threads, each about half the pointers.
        const auto middle = static_cast<std::size_t>(
            std::lower_bound(bucketStart.begin(), bucketStart.end() - 1, size_ / 2) - bucketStart.begin());
        buildPeakBytes = atMost + 2 * scratchBytes;
        HighHalves upper;
        bool upperDone = false;
        runBoth([&] { sortBuckets(0, middle, valueHigh_, done); },
                [&] { sortBuckets(middle, buckets, upper, upperDone); });
        valueHigh_.append(upper, 0);
        done = done && upperDone;
    } else {
        buildPeakBytes = atMost + scratchBytes;
        sortBuckets(0, buckets, valueHigh_, done);
    }
    if (!done) return false;
    valueSample_.reserve(size_ / kSampleEvery + 1);
    for (std::size_t rank = 0; rank < size_; rank += kSampleEvery) valueSample_.push_back(value(rank));
    buildPeakBytes = std::max(buildPeakBytes, memoryBytes());
    return true;
}

}  // namespace corvane
