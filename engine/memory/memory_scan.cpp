#include "engine/memory/memory_scan.h"

#include <algorithm>
#include <utility>

namespace corvane {
namespace {

// [begin, end) failed to read as one piece: its halves are tried.
void readPieces(MemoryReader& reader, std::uint64_t begin, std::uint64_t end, unsigned char* out,
                const std::function<void(std::uint64_t)>& lost) {
    const std::uint64_t pages = (pageOf(end - 1) - pageOf(begin)) / kPageSize + 1;
    if (pages == 1) return lost(pageOf(begin));
    const std::uint64_t split = pageOf(begin) + pages / 2 * kPageSize;
    for (const auto& [from, to] : {std::pair{begin, split}, std::pair{split, end}})
        if (!reader.read(from, out + (from - begin), static_cast<std::size_t>(to - from)))
            readPieces(reader, from, to, out + (from - begin), lost);
}

}  // namespace

bool readByHalves(MemoryReader& reader, std::uint64_t begin, std::uint64_t end, unsigned char* out,
                  const std::function<void(std::uint64_t page)>& lost) {
    if (reader.read(begin, out, static_cast<std::size_t>(end - begin))) return true;
    // The halves may all read after all: the target changes as it runs.
    bool whole = true;
    readPieces(reader, begin, end, out, [&](std::uint64_t page) {
        whole = false;
        lost(page);
    });
    return whole;
}

MemoryRowScan::MemoryRowScan(MemoryReader& reader, std::vector<MemoryRegion> regions, std::uint64_t step,
                             std::size_t itemSize, std::uint64_t reach)
    : reader_(reader), regions_(std::move(regions)), step_(step == 0 ? 1 : step), itemSize_(itemSize), reach_(reach) {}

bool MemoryRowScan::next() {
    while (region_ < regions_.size()) {
        const MemoryRegion& region = regions_[region_];
        if (!started_) {
            cursor_ = region.start;
            started_ = true;
        }
        const std::uint64_t valuesEnd = region_ + 1 == regions_.size() && reach_ > region.end() ? reach_ : region.end();
        // The last address whose value ends inside the region.
        if (cursor_ >= region.end() || valuesEnd - region.start < itemSize_ || cursor_ > valuesEnd - itemSize_) {
            ++region_;
            started_ = false;
            continue;
        }
        const std::uint64_t last = std::min(valuesEnd - itemSize_, region.end() - 1);
        // The chunk's addresses run to kReadChunkBytes past its start; its bytes
        // run on to where the last value ends.
        const std::uint64_t limit = std::min(last, cursor_ + kReadChunkBytes - 1);
        count_ = (limit - cursor_) / step_ + 1;
        first_ = cursor_;
        begin_ = cursor_;
        end_ = first_ + (count_ - 1) * step_ + itemSize_;
        cursor_ = first_ + count_ * step_;
        looked_ += count_;
        buffer_.resize(static_cast<std::size_t>(end_ - begin_));
        pageOk_.clear();
        whole_ = readByHalves(reader_, begin_, end_, buffer_.data(), [this](std::uint64_t page) {
            if (pageOk_.empty())
                pageOk_.assign(static_cast<std::size_t>((pageOf(end_ - 1) - pageOf(begin_)) / kPageSize + 1), true);
            pageOk_[static_cast<std::size_t>((page - pageOf(begin_)) / kPageSize)] = false;
        });
        return true;
    }
    return false;
}

bool MemoryRowScan::pageRead(std::uint64_t address) const {
    return whole_ || pageOk_[static_cast<std::size_t>((pageOf(address) - pageOf(begin_)) / kPageSize)];
}

bool MemoryRowScan::readable(std::uint64_t address) const {
    if (whole_) return true;
    for (std::uint64_t page = pageOf(address); page <= pageOf(address + itemSize_ - 1); page += kPageSize)
        if (!pageRead(page)) return false;
    return true;
}

std::uint64_t rowChunkStride(std::uint64_t step) {
    if (step == 0) step = 1;
    // A whole chunk's addresses, as next() counts them.
    return ((kReadChunkBytes - 1) / step + 1) * step;
}

std::vector<RowShare> rowShares(const std::vector<MemoryRegion>& regions, std::uint64_t step, bool inTwo) {
    std::uint64_t total = 0;
    for (const MemoryRegion& region : regions) total += region.size;
    const std::uint64_t stride = rowChunkStride(step);
    if (!inTwo || total < 2 * stride) return {{regions, 0}};
    std::vector<std::vector<MemoryRegion>> halves = splitInTwo(regions, total, stride);
    if (halves[1].empty()) return {{regions, 0}};
    std::vector<RowShare> shares(2);
    // A region cut in two comes out as two pieces: the first one's values
    // run on to the region's end, the second's.
    if (halves[0].size() + halves[1].size() > regions.size()) shares[0].reach = halves[1].front().end();
    shares[0].regions = std::move(halves[0]);
    shares[1].regions = std::move(halves[1]);
    return shares;
}

}  // namespace corvane
