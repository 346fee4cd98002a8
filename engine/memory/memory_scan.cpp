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

}  // namespace corvane
