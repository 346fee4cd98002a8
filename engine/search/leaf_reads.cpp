#include "engine/search/leaf_reads.h"

#include <algorithm>

namespace corvane {

NodeResolver::NodeResolver(MemoryReader& reader, const PathTable& paths, const ModuleBases* modules)
    : reader_(reader), paths_(paths), bases_(paths.size(), 0), states_(paths.size(), kUnknown) {
    // An anchor is known before the pass starts, so the climb below always
    // stops at it and never reads at its offset.
    for (std::uint32_t anchor : paths.anchors()) {
        const std::optional<std::uint64_t> base = modules != nullptr ? modules->base(anchor) : std::nullopt;
        states_[anchor] = base ? kResolved : kFailed;
        bases_[anchor] = base.value_or(0);
    }
}

bool NodeResolver::base(std::uint32_t node, std::uint64_t& out) {
    if (node == kNoPathNode) {
        out = 0;
        return true;
    }
    // Climb to the nearest level already known, then read down from it.
    pending_.clear();
    std::uint32_t at = node;
    while (at != kNoPathNode && states_[at] == kUnknown) {
        pending_.push_back(at);
        at = paths_.node(at).parent;
    }
    std::uint64_t pointer = 0;
    if (at != kNoPathNode) {
        if (states_[at] == kFailed) {
            for (std::uint32_t below : pending_) states_[below] = kFailed;
            return false;
        }
        pointer = bases_[at];
    }
    for (std::size_t i = pending_.size(); i-- > 0;) {
        const std::uint32_t level = pending_[i];
        if (!readPointer(reader_, pointer + static_cast<std::uint64_t>(paths_.node(level).offset), pointer)) {
            for (std::size_t j = i + 1; j-- > 0;) states_[pending_[j]] = kFailed;
            return false;
        }
        bases_[level] = pointer;
        states_[level] = kResolved;
    }
    out = bases_[node];
    return true;
}

LeafReader::LeafReader(MemoryReader& reader, std::size_t size)
    : reader_(reader), cache_(reader), size_(size), single_(size + kSlack, 0) {}

std::size_t LeafReader::runEnd(const std::uint64_t* addresses, const bool* wanted, std::size_t i, std::size_t n,
                               std::uint64_t& low, std::uint64_t& high) const {
    low = addresses[i];
    high = addresses[i];
    if (high + size_ < high) return i + 1;  // wraps: read alone, and fails
    int direction = 0;
    std::size_t j = i + 1;
    // Leaves of one row lie at one step from each other: a run of them is
    // found with one comparison per leaf, and the general walk below goes
    // on from where the step changes.
    if (j < n && wanted[j] && addresses[j] > high && addresses[j] - high <= kPageSize &&
        high <= ~std::uint64_t{0} - kRunBytes) {
        const std::uint64_t step = addresses[j] - high;
        // Leaves after i that keep the run within kRunBytes.
        const auto room = static_cast<std::size_t>((kRunBytes - size_) / step);
        const std::size_t stop = n - i - 1 > room ? i + 1 + room : n;
        std::uint64_t expected = high + step;
        while (j < stop && wanted[j] && addresses[j] == expected) {
            expected += step;
            ++j;
        }
        if (j > i + 1) {
            high = expected - step;
            direction = 1;
        }
    }
    for (; j < n && wanted[j]; ++j) {
        const std::uint64_t previous = addresses[j - 1];
        const std::uint64_t address = addresses[j];
        if (address + size_ < address) break;
        const int way = address > previous ? 1 : (address < previous ? -1 : 0);
        if (way != 0 && direction != 0 && way != direction) break;
        // Steps of at most a page leave no page inside the run that no value
        // needs, so a failed run costs only the reads of pages values lie on.
        const std::uint64_t gap = way >= 0 ? address - previous : previous - address;
        if (gap > kPageSize) break;
        const std::uint64_t newLow = std::min(low, address);
        const std::uint64_t newHigh = std::max(high, address);
        if (newHigh - newLow + size_ > kRunBytes) break;
        if (way != 0) direction = way;
        low = newLow;
        high = newHigh;
    }
    return j;
}

void LeafReader::loadRun(std::uint64_t low, std::uint64_t high) {
    const std::uint64_t stop = high + size_;
    const auto length = static_cast<std::size_t>(stop - low);
    buffer_.resize(length + kSlack);
    runBegin_ = low;
    runWhole_ = reader_.read(low, buffer_.data(), length);
    if (runWhole_) return;
    const std::uint64_t firstPage = pageOf(low);
    pageOk_.assign(static_cast<std::size_t>((pageOf(stop - 1) - firstPage) / kPageSize + 1), false);
    // A run on one page failed as that page's own read would.
    if (pageOk_.size() == 1) return;
    for (std::size_t p = 0; p < pageOk_.size(); ++p) {
        const std::uint64_t pieceBegin = std::max(low, firstPage + p * kPageSize);
        const std::uint64_t pieceEnd = std::min(stop, firstPage + (p + 1) * kPageSize);
        pageOk_[p] = reader_.read(pieceBegin, buffer_.data() + (pieceBegin - low),
                                  static_cast<std::size_t>(pieceEnd - pieceBegin));
    }
}

const unsigned char* LeafReader::itemOfPartialRun(std::uint64_t address) const {
    const std::uint64_t firstPage = pageOf(runBegin_);
    const std::uint64_t last = pageOf(address + size_ - 1);
    for (std::uint64_t page = pageOf(address); page <= last; page += kPageSize)
        if (!pageOk_[static_cast<std::size_t>((page - firstPage) / kPageSize)]) return nullptr;
    return buffer_.data() + (address - runBegin_);
}

}  // namespace corvane
