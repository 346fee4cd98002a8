#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/chunked_array.h"
#include "engine/memory_reader.h"
#include "engine/memory_regions.h"

namespace corvane {

// Bytes per read call when the whole of the target is read: few calls (they
// cost ~100 µs each under Wine) and a stop still answered within a few ms.
inline constexpr std::size_t kPointerScanChunk = std::size_t{1} << 20;

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
                      const std::atomic<bool>& stop, PointerScanProgress& progress, std::size_t chunkBytes,
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
            if (stop.load(std::memory_order_relaxed)) return false;
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

// One word of the target that points into readable memory.
struct PointerPair {
    std::uint64_t value = 0;
    std::uint64_t slot = 0;
};

// Every pointer of the target as (value, slot), sorted by value: the words
// are dealt into buckets by where they point as they are read, and each
// bucket is radix sorted on its own, so the sort needs a bucket's room
// beside the map rather than a second map.
class PointerMap {
public:
    static constexpr std::size_t kChunk = std::size_t{1} << 16;
    static constexpr std::size_t kBuckets = 4096;

    // False when `stop` was raised; the map is then empty.
    bool build(MemoryReader& reader, const std::vector<MemoryRegion>& regions, const std::atomic<bool>& stop,
               PointerScanProgress& progress, std::size_t chunkBytes = kPointerScanChunk);

    std::size_t size() const { return pairs_.size(); }
    const PointerPair& operator[](std::size_t rank) const { return pairs_[rank]; }
    std::size_t memoryBytes() const { return pairs_.memoryBytes(); }

    // How long the last build spent reading and sorting.
    std::uint32_t mapMs = 0;
    std::uint32_t sortMs = 0;

private:
    ChunkedArray<PointerPair, kChunk> pairs_;
};

// Sorts by key(item), least significant byte first, skipping the bytes all
// keys share. `scratch` is resized as needed. A raised `stop` is answered
// every million items; the order is then not to be relied on.
template <typename T, typename Key>
bool radixSort(std::vector<T>& items, std::vector<T>& scratch, Key key, const std::atomic<bool>* stop = nullptr) {
    if (items.size() < 2) return true;
    const auto stopped = [stop](std::size_t i) {
        return (i & 0xFFFFF) == 0 && stop != nullptr && stop->load(std::memory_order_relaxed);
    };
    std::uint64_t differing = 0;
    const std::uint64_t first = key(items.front());
    for (const T& item : items) differing |= key(item) ^ first;
    scratch.resize(items.size());
    for (unsigned shift = 0; shift < 64; shift += 8) {
        if (((differing >> shift) & 0xFF) == 0) continue;
        std::size_t counts[256] = {};
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (stopped(i)) return false;
            ++counts[(key(items[i]) >> shift) & 0xFF];
        }
        std::size_t sum = 0;
        for (std::size_t& count : counts) {
            const std::size_t here = count;
            count = sum;
            sum += here;
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (stopped(i)) return false;
            scratch[counts[(key(items[i]) >> shift) & 0xFF]++] = items[i];
        }
        items.swap(scratch);
    }
    return true;
}

}  // namespace corvane
