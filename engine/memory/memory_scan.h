#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/target/memory_reader.h"
#include "engine/target/memory_regions.h"

namespace corvane {

// Reads [begin, end) of the target into `out`. Where that fails as one
// read, its halves are tried, down to single pages, so that a range with
// one bad page costs about twice the log of its pages in calls, not one per
// page; `lost(page)` is told of every page that could not be read, in order.
// False when anything was lost.
bool readByHalves(MemoryReader& reader, std::uint64_t begin, std::uint64_t end, unsigned char* out,
                  const std::function<void(std::uint64_t page)>& lost);

// The addresses of a memory row: every address of the regions, stepped by
// `step` from each region's start, whose value lies wholly inside its region
// (a value spanning two regions is not read). The regions are read a chunk
// at a time, in few large calls; where a chunk cannot be read whole, it is
// split until the pages that fail are found, so that a bad page loses only
// the values on it.
class MemoryRowScan {
public:
    // `reach`, when past the last region's end, is where that region's
    // values may end: the first of two shares cut inside a region (see
    // rowShares) reads the values across the cut as the whole region would.
    MemoryRowScan(MemoryReader& reader, std::vector<MemoryRegion> regions, std::uint64_t step, std::size_t itemSize,
                  std::uint64_t reach = 0);

    // Reads the next chunk of addresses; false once every region is done.
    bool next();

    // The chunk's addresses: `count()` of them from `first()`, `step` apart;
    // the value of the one at `first() + k * step` is at `bytes() + k * step`.
    std::uint64_t first() const { return first_; }
    std::uint64_t count() const { return count_; }
    const unsigned char* bytes() const { return buffer_.data() + (first_ - begin_); }
    // True when the whole chunk was read; otherwise ask `readable`.
    bool whole() const { return whole_; }
    bool readable(std::uint64_t address) const;
    // The region the chunk belongs to, by index into the regions.
    std::size_t region() const { return region_; }
    const std::vector<MemoryRegion>& regions() const { return regions_; }

    // Every address the scan stepped over so far, read or not.
    std::uint64_t looked() const { return looked_; }

private:
    bool pageRead(std::uint64_t address) const;

    MemoryReader& reader_;
    std::vector<MemoryRegion> regions_;
    std::uint64_t step_;
    std::size_t itemSize_;
    std::uint64_t reach_;
    std::size_t region_ = 0;
    std::uint64_t cursor_ = 0;  // where the next chunk's addresses start
    bool started_ = false;
    std::uint64_t begin_ = 0;
    std::uint64_t end_ = 0;
    std::uint64_t first_ = 0;
    std::uint64_t count_ = 0;
    bool whole_ = true;
    std::vector<unsigned char> buffer_;
    std::vector<bool> pageOk_;  // per page from begin_'s page, when not whole
    std::uint64_t looked_ = 0;
};

// The bytes from one chunk's first address to the next one's within a
// region, for a memory row stepped by `step`.
std::uint64_t rowChunkStride(std::uint64_t step);

// One thread's part of a memory row: its regions, and the `reach` its scan
// is made with.
struct RowShare {
    std::vector<MemoryRegion> regions;
    std::uint64_t reach = 0;
};

// The regions of a memory row in two shares of about equal bytes when
// `inTwo` and there is enough to share, else in one. The cut lies on a
// chunk's bound, so that the shares' scans, one after the other, read in
// the same calls and look at the same addresses as one scan of them all.
std::vector<RowShare> rowShares(const std::vector<MemoryRegion>& regions, std::uint64_t step, bool inTwo);

}  // namespace corvane
