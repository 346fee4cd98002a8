#include "engine/memory_scan.h"

#include <algorithm>
#include <utility>

namespace corvane {
namespace {

std::uint64_t pageOf(std::uint64_t address) { return address & ~(kPageSize - 1); }

}  // namespace

MemoryRowScan::MemoryRowScan(MemoryReader& reader, std::vector<MemoryRegion> regions, std::uint64_t step,
                             std::size_t itemSize)
    : reader_(reader), regions_(std::move(regions)), step_(step == 0 ? 1 : step), itemSize_(itemSize) {}

bool MemoryRowScan::next() {
    while (region_ < regions_.size()) {
        const MemoryRegion& region = regions_[region_];
        if (!started_) {
            cursor_ = region.start;
            started_ = true;
        }
        // The last address whose value ends inside the region.
        if (region.size < itemSize_ || cursor_ > region.end() - itemSize_) {
            ++region_;
            started_ = false;
            continue;
        }
        const std::uint64_t last = region.end() - itemSize_;
        // The chunk's addresses run to kChunkBytes past its start; its bytes
        // run on to where the last value ends.
        const std::uint64_t limit = std::min(last, cursor_ + kChunkBytes - 1);
        count_ = (limit - cursor_) / step_ + 1;
        first_ = cursor_;
        begin_ = cursor_;
        end_ = first_ + (count_ - 1) * step_ + itemSize_;
        cursor_ = first_ + count_ * step_;
        looked_ += count_;
        buffer_.resize(static_cast<std::size_t>(end_ - begin_));
        whole_ = reader_.read(begin_, buffer_.data(), buffer_.size());
        if (!whole_) {
            pageOk_.assign(static_cast<std::size_t>((pageOf(end_ - 1) - pageOf(begin_)) / kPageSize + 1), false);
            readPieces(begin_, end_);
        }
        return true;
    }
    return false;
}

// [begin, end) failed to read as one piece: its halves are tried, down to a
// page, so that a chunk with one bad page costs about twice the log of its
// pages in calls, not one per page.
void MemoryRowScan::readPieces(std::uint64_t begin, std::uint64_t end) {
    const std::uint64_t pages = (pageOf(end - 1) - pageOf(begin)) / kPageSize + 1;
    if (pages == 1) return;  // one page: it failed
    const std::uint64_t split = pageOf(begin) + pages / 2 * kPageSize;
    for (const auto& [from, to] : {std::pair{begin, split}, std::pair{split, end}}) {
        if (reader_.read(from, buffer_.data() + (from - begin_), static_cast<std::size_t>(to - from))) {
            const std::size_t firstPage = static_cast<std::size_t>((pageOf(from) - pageOf(begin_)) / kPageSize);
            const std::size_t lastPage = static_cast<std::size_t>((pageOf(to - 1) - pageOf(begin_)) / kPageSize);
            for (std::size_t page = firstPage; page <= lastPage; ++page) pageOk_[page] = true;
        } else {
            readPieces(from, to);
        }
    }
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

}  // namespace corvane
