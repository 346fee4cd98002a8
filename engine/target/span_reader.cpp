#include "engine/target/span_reader.h"

#include <algorithm>
#include <cstring>

namespace corvane {

void SpanReader::beginRow(std::uint64_t first, std::int64_t step, std::uint64_t count, std::size_t itemSize) {
    itemSize_ = itemSize;
    windowBegin_ = windowEnd_ = 0;
    windowed_ = false;
    if (count < 2 || itemSize == 0) return;
    // Steps wider than a page would read bytes no item needs.
    const std::uint64_t magnitude = step < 0 ? 0 - static_cast<std::uint64_t>(step) : static_cast<std::uint64_t>(step);
    if (magnitude > kPageSize) return;
    const std::uint64_t extent = magnitude * (count - 1);
    ascending_ = step >= 0;
    const std::uint64_t low = ascending_ ? first : first - extent;
    const std::uint64_t high = ascending_ ? first + extent : first;
    // A row whose addresses wrap around the address space is read item by item.
    if (low > high || high + itemSize < high) return;
    spanBegin_ = low;
    spanEnd_ = high + itemSize;
    windowed_ = true;
}

bool SpanReader::read(std::uint64_t address, void* out) {
    if (!windowed_ || address < spanBegin_ || address + itemSize_ > spanEnd_)
        return reader_.read(address, out, itemSize_);
    const unsigned char* item = view(address);
    if (item == nullptr) return false;
    std::memcpy(out, item, itemSize_);
    return true;
}

const unsigned char* SpanReader::viewRun(std::uint64_t address, std::int64_t step, std::uint64_t remaining,
                                         std::uint64_t& items) {
    items = 1;
    const unsigned char* first = view(address);
    // A window read page by page serves its items one at a time.
    if (first == nullptr || !windowWhole_ || step == 0 || remaining < 2) return first;
    // Items after this one that end within the window, in the row's direction.
    const std::uint64_t magnitude = step < 0 ? 0 - static_cast<std::uint64_t>(step) : static_cast<std::uint64_t>(step);
    const std::uint64_t room = step > 0 ? windowEnd_ - (address + itemSize_) : address - windowBegin_;
    items = std::min(remaining, room / magnitude + 1);
    return first;
}

bool SpanReader::loadWindow(std::uint64_t address) {
    // The window runs from the item in the row's direction, ends on a page
    // boundary where it can, and never leaves the row's span: bytes outside
    // it could fail a read that no item needs.
    if (ascending_) {
        windowBegin_ = address;
        windowEnd_ = std::min(spanEnd_, pageOf(address) + kWindowBytes);
        windowEnd_ = std::max(windowEnd_, address + itemSize_);
    } else {
        windowEnd_ = address + itemSize_;
        const std::uint64_t top = pageOf(windowEnd_ - 1) + kPageSize;
        windowBegin_ = top - spanBegin_ > kWindowBytes ? top - kWindowBytes : spanBegin_;
        windowBegin_ = std::min(windowBegin_, address);
    }
    const std::size_t length = static_cast<std::size_t>(windowEnd_ - windowBegin_);
    buffer_.resize(length);
    windowWhole_ = reader_.read(windowBegin_, buffer_.data(), length);
    if (windowWhole_) return true;

    const std::uint64_t firstPage = pageOf(windowBegin_);
    pageOk_.assign(static_cast<std::size_t>((pageOf(windowEnd_ - 1) - firstPage) / kPageSize + 1), false);
    // A window on one page failed as that page's own read would.
    if (pageOk_.size() == 1) return true;
    for (std::size_t p = 0; p < pageOk_.size(); ++p) {
        const std::uint64_t pieceBegin = std::max(windowBegin_, firstPage + p * kPageSize);
        const std::uint64_t pieceEnd = std::min(windowEnd_, firstPage + (p + 1) * kPageSize);
        pageOk_[p] = reader_.read(pieceBegin, buffer_.data() + (pieceBegin - windowBegin_),
                                  static_cast<std::size_t>(pieceEnd - pieceBegin));
    }
    return true;
}

bool SpanReader::pagesReadable(std::uint64_t address) const {
    const std::uint64_t firstPage = pageOf(windowBegin_);
    const std::uint64_t last = pageOf(address + itemSize_ - 1);
    for (std::uint64_t page = pageOf(address); page <= last; page += kPageSize)
        if (!pageOk_[static_cast<std::size_t>((page - firstPage) / kPageSize)]) return false;
    return true;
}

}  // namespace corvane
