#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/kit/chunked_array.h"
#include "engine/pointers/high_halves.h"
#include "engine/target/memory_reader.h"
#include "engine/target/memory_regions.h"
#include "engine/pointers/sampled_search.h"
#include "engine/kit/stop_flag.h"

namespace corvane {

// How far a pointer scan has come, for a progress line or a dialog; written by
// the scanning thread, read by anyone.
struct PointerScanProgress {
    enum Phase : int { Idle, Mapping, Sorting, Levels, Paths, Done };
    std::atomic<int> phase{Idle};
    std::atomic<std::uint64_t> bytesTotal{0};
    std::atomic<std::uint64_t> bytesRead{0};
    std::atomic<std::uint64_t> regionsRead{0};
    std::atomic<std::uint64_t> pointers{0};
    std::atomic<std::uint64_t> level{0};
    std::atomic<std::uint64_t> paths{0};
};

// Which readable region holds an address. Most words of a process are no
// pointers and fail the first test; a pointer usually lies in the region of
// the one before, so that is tried before the binary search.
class RegionBounds {
public:
    explicit RegionBounds(const std::vector<MemoryRegion>& regions);

    // The region's index, or -1.
    std::ptrdiff_t find(std::uint64_t address) {
        if (address < low_ || address >= high_) return -1;
        if (address >= starts_[last_] && address < ends_[last_]) return static_cast<std::ptrdiff_t>(last_);
        const auto it = std::upper_bound(starts_.begin(), starts_.end(), address);
        if (it == starts_.begin()) return -1;
        const auto index = static_cast<std::size_t>(it - starts_.begin()) - 1;
        if (address >= ends_[index]) return -1;
        last_ = index;
        return static_cast<std::ptrdiff_t>(index);
    }
    std::uint64_t start(std::size_t index) const { return starts_[index]; }
    std::size_t size() const { return starts_.size(); }

private:
    std::vector<std::uint64_t> starts_;
    std::vector<std::uint64_t> ends_;
    std::uint64_t low_ = 0;
    std::uint64_t high_ = 0;
    std::size_t last_ = 0;
};

// Reads every region once, `chunkBytes` at a time, and hands each aligned word
// that points into one of the regions to onPointer(slot, value, regionIndex).
// A chunk that fails whole (the region changed since it was listed) is read
// again page by page. False when `stop` was raised.
template <typename OnPointer>
bool readPointerWords(MemoryReader& reader, const std::vector<MemoryRegion>& regions, RegionBounds& bounds,
                      const StopFlag& stop, PointerScanProgress& progress, std::size_t chunkBytes,
                      OnPointer&& onPointer) {
    const unsigned width = reader.pointerWidth();
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[chunkBytes]);
    const auto scan = [&](std::uint64_t address, std::size_t size) {
        const unsigned char* bytes = buffer.get();
        if (width == 8) {
            for (std::size_t at = 0; at + 8 <= size; at += 8) {
                std::uint64_t value;
                std::memcpy(&value, bytes + at, 8);
                const std::ptrdiff_t region = bounds.find(value);
                if (region >= 0) onPointer(address + at, value, static_cast<std::size_t>(region));
            }
        } else {
            for (std::size_t at = 0; at + 4 <= size; at += 4) {
                std::uint32_t value;
                std::memcpy(&value, bytes + at, 4);
                const std::ptrdiff_t region = bounds.find(value);
                if (region >= 0) onPointer(address + at, std::uint64_t{value}, static_cast<std::size_t>(region));
            }
        }
    };
    for (const MemoryRegion& region : regions) {
        for (std::uint64_t at = region.start; at < region.end(); at += chunkBytes) {
            if (stop.raised()) return false;
            const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, region.end() - at));
            if (reader.read(at, buffer.get(), size)) {
                scan(at, size);
            } else {
                for (std::size_t page = 0; page < size; page += kPageSize) {
                    const auto pageSize = std::min<std::size_t>(kPageSize, size - page);
                    if (!reader.read(at + page, buffer.get(), pageSize)) continue;
                    scan(at + page, pageSize);
                }
            }
            progress.bytesRead.fetch_add(size, std::memory_order_relaxed);
        }
        progress.regionsRead.fetch_add(1, std::memory_order_relaxed);
    }
    return true;
}

// Cuts the regions in two of about equal bytes, the cut on a chunk's bound
// within its region, so the two shares make the reads one reading would.
std::vector<std::vector<MemoryRegion>> splitInTwo(const std::vector<MemoryRegion>& regions, std::uint64_t total,
                                                  std::size_t chunkBytes);

// A word in a static slot, kept apart from the map: only a path's first
// slot is static, so these are few and swept on their own.
struct StaticPointer {
    std::uint64_t value = 0;
    std::uint64_t slot = 0;
    std::uint32_t image = 0;  // in the statics the map was built with
};

// Every pointer of the target outside the static images, in two orders: by
// value (rank) for the sweeps from the address back, and by slot (index), the
// order they were read in, for the levels' members and the paths' descent.
// Addresses are kept as 32-bit low halves beside their few high halves, so a
// pointer costs 12 bytes: its slot's low half in slot order, its value's low
// half and slot index in value order.
class PointerMap {
public:
    // `statics` in address order: the images whose slots are static. False
    // when `stop` was raised; the map is then empty.
    bool build(MemoryReader& reader, const std::vector<MemoryRegion>& regions, const std::vector<ModuleImage>& statics,
               const StopFlag& stop, PointerScanProgress& progress, std::size_t chunkBytes = kReadChunkBytes);

    std::size_t size() const { return size_; }

    std::uint64_t value(std::size_t rank) const { return valueHigh_.at(rank) | links_[rank].valueLow; }
    std::uint32_t slotIndex(std::size_t rank) const { return links_[rank].slot; }
    // The first rank whose value is at least `value`.
    std::size_t firstValueAtLeast(std::uint64_t value) const {
        return sampledLowerBound(valueSample_, kSampleEvery, size_, value,
                                 [this](std::size_t rank) { return this->value(rank); });
    }

    std::uint64_t slot(std::size_t index) const { return slotHigh_.at(index) | slotLow_[index]; }
    std::size_t firstSlotAtLeast(std::uint64_t slot) const {
        return sampledLowerBound(slotSample_, kSampleEvery, size_, slot,
                                 [this](std::size_t index) { return this->slot(index); });
    }

    // The words in static slots, by value.
    const std::vector<StaticPointer>& statics() const { return statics_; }

    // Values by rank, or slots by index, for a walk that goes forward.
    class ValueWalker {
    public:
        explicit ValueWalker(const PointerMap& map) : map_(&map), high_(map.valueHigh_) {}
        std::uint64_t operator()(std::size_t rank) { return high_.at(rank) | map_->links_[rank].valueLow; }

    private:
        const PointerMap* map_;
        HighHalves::Walker high_;
    };
    class SlotWalker {
    public:
        explicit SlotWalker(const PointerMap& map) : map_(&map), high_(map.slotHigh_) {}
        std::uint64_t operator()(std::size_t index) { return high_.at(index) | map_->slotLow_[index]; }

    private:
        const PointerMap* map_;
        HighHalves::Walker high_;
    };

    std::size_t memoryBytes() const;
    // The most the build held at once.
    std::size_t buildPeakBytes = 0;
    // How long the last build spent reading and sorting.
    std::uint32_t mapMs = 0;
    std::uint32_t sortMs = 0;

private:
    struct Link {
        std::uint32_t valueLow;
        std::uint32_t slot;
    };
    static constexpr std::size_t kChunk = std::size_t{1} << 16;
    static constexpr std::size_t kSampleEvery = 256;

    struct Share;

    void clear();
    bool sortByValue(std::vector<Share>& shares, const std::vector<std::uint64_t>& bucketSizes, unsigned shift,
                     const std::vector<MemoryRegion>& regions, const std::vector<std::uint64_t>& placeOfRegion,
                     const StopFlag& stop);

    std::size_t size_ = 0;
    ChunkedArray<std::uint32_t, kChunk> slotLow_;
    HighHalves slotHigh_;
    // The slot at every kSampleEvery-th index, and the value at every
    // kSampleEvery-th rank, for the searches.
    std::vector<std::uint64_t> slotSample_;
    std::vector<std::uint64_t> valueSample_;
    std::unique_ptr<Link[]> links_;
    HighHalves valueHigh_;
    std::vector<StaticPointer> statics_;
};

}  // namespace corvane
