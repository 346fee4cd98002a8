#include <cstddef>

#include "engine/kit/both_cores.h"
#include "engine/memory/memory_scan.h"
#include "engine/search/address_results.h"
#include "engine/search/traversal.h"

namespace corvane {

void Traversal::runFilteredOverMemory(std::vector<StructureRow> rows, std::vector<MemoryRegion> regions,
                                      const ValueFilter& filter, ResultEntries& results, TraversalProgress* progress) {
    filtered(filter, results, progress, [&] {
        if (!prepare(std::move(rows))) return;
        memoryRow_ = true;
        scanMemoryRow(std::move(regions));
        memoryRow_ = false;
    });
}

void Traversal::runFilteredOverMemory(std::vector<StructureRow> rows, std::vector<MemoryRegion> regions,
                                      const ValueFilter& filter, ResultEntries& results, CompactResults& compact,
                                      TraversalProgress* progress) {
    compactResults_ = &compact;
    runFilteredOverMemory(std::move(rows), std::move(regions), filter, results, progress);
    compactResults_ = nullptr;
}

void Traversal::scanMemoryRow(std::vector<MemoryRegion> regions) {
    if (levels_.size() == 1) return scanMemoryRowAlone(std::move(regions));
    const std::uint64_t step = memoryRowStep(store_.rows()[0]);
    MemoryRowScan scan(reader_, std::move(regions), step, pointerWidth_);
    while (!stopped() && scan.next()) {
        std::uint64_t address = scan.first();
        const unsigned char* bytes = scan.bytes();
        const std::uint64_t count = scan.count();
        const bool whole = scan.whole();
        for (std::uint64_t k = 0; k < count && !stopped(); ++k, address += step, bytes += step) {
            if (!whole && !scan.readable(address)) continue;
            const std::uint64_t pointer = loadPointer(bytes, pointerWidth_);
            if (!isFollowablePointer(pointer, pointerWidth_)) continue;
            Level& level = levels_[0];
            level.index = 0;
            level.node = kNoPathNode;
            memoryAddress_ = address;
            levels_[1].base = pointer;
            traverse(1);
        }
        leafCount_ = scan.looked();
        publish();
    }
    leafCount_ = scan.looked();
}

namespace {

// What one thread keeps of its share. The first share's results go straight
// to the list; a second share's wait here until both are done and then follow
// them.
struct ShareResults {
    RowShare share;
    ResultEntries entries;
    CompactResults compact;
    std::uint64_t looked = 0;
};

}  // namespace

void Traversal::scanMemoryRowAlone(std::vector<MemoryRegion> regions) {
    const std::uint64_t step = memoryRowStep(store_.rows()[0]);
    CompactResults* const compact =
        rootNode_ == kNoPathNode && !isTextType(filter_->type()) ? compactResults_ : nullptr;
    // Reading and testing take the whole scan: two threads share the
    // regions when there are two cores and the reader gains by it.
    std::vector<ShareResults> shares;
    for (RowShare& share : rowShares(regions, step, reader_.readsInParallel() && twoCores()))
        shares.push_back({std::move(share), {}, {}, 0});
    std::vector<MemoryRegion>().swap(regions);
    // The shares add to what is published from here.
    publish();
    eachShare(shares, [&](ShareResults& share) {
        const bool first = &share == shares.data();
        CompactResults* into = compact;
        if (compact != nullptr && !first) into = &share.compact;
        share.looked = scanRowShare(share.share, step, first ? *results_ : share.entries, into);
    });
    leafCount_ = 0;
    for (ShareResults& share : shares) {
        leafCount_ += share.looked;
        if (&share == shares.data()) continue;
        appendRenumbered(*results_, share.entries);
        if (compact != nullptr) appendRenumbered(*compact, share.compact);
    }
}

std::uint64_t Traversal::scanRowShare(const RowShare& share, std::uint64_t step, ResultEntries& results,
                                      CompactResults* compact) const {
    const ValueFilter& filter = *filter_;
    MemoryRowScan scan(reader_, share.regions, step, filter.readSize(), share.reach);
    std::size_t published = results.size() + (compact != nullptr ? compact->size() : 0);
    while (!stopped() && scan.next()) {
        const std::uint64_t address = scan.first();
        const unsigned char* bytes = scan.bytes();
        const std::uint64_t count = scan.count();
        const bool whole = scan.whole();
        // A row alone is the whole search: its values are tested where they
        // lie in the chunk, and a kept one's path is its address. The filter
        // tests a run of values at once, its kind and condition decided once
        // per run rather than once per value.
        for (std::uint64_t k = 0; k < count; ++k) {
            k += filter.firstMatch(bytes + k * step, static_cast<std::ptrdiff_t>(step),
                                   static_cast<std::size_t>(count - k));
            if (k == count || !(whole || scan.readable(address + k * step))) continue;
            if (compact != nullptr)
                appendAddressResult(*compact, address + k * step, filter, bytes + k * step);
            else
                appendAddressResult(results, address + k * step, filter, bytes + k * step, rootNode_);
        }
        if (progress_ != nullptr) {
            const std::size_t kept = results.size() + (compact != nullptr ? compact->size() : 0);
            progress_->leaves.fetch_add(count, std::memory_order_relaxed);
            progress_->results.fetch_add(kept - published, std::memory_order_relaxed);
            published = kept;
        }
    }
    return scan.looked();
}

}  // namespace corvane
