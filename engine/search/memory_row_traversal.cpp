#include <cstddef>

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
    const StructureRow& row = store_.rows()[0];
    const std::uint64_t step = memoryRowStep(row);
    const bool alone = levels_.size() == 1;
    const std::size_t size = alone ? filter_->readSize() : pointerWidth_;
    MemoryRowScan scan(reader_, std::move(regions), step, size);
    ResultEntries& results = *results_;
    const ValueFilter& filter = *filter_;
    CompactResults* const compact =
        alone && rootNode_ == kNoPathNode && !isTextType(filter.type()) ? compactResults_ : nullptr;
    while (!stopped() && scan.next()) {
        std::uint64_t address = scan.first();
        const unsigned char* bytes = scan.bytes();
        const std::uint64_t count = scan.count();
        const bool whole = scan.whole();
        if (alone) {
            // A row alone is the whole search: its values are tested where
            // they lie in the chunk, and a kept one's path is its address.
            auto keep = [&](std::uint64_t at, const unsigned char* value) {
                if (compact != nullptr)
                    appendAddressResult(*compact, at, filter, value);
                else
                    appendAddressResult(results, at, filter, value, rootNode_);
            };
            // The filter tests a run of values at once, its kind and
            // condition decided once per run rather than once per value.
            for (std::uint64_t k = 0; k < count; ++k) {
                k += filter.firstMatch(bytes + k * step, static_cast<std::ptrdiff_t>(step),
                                       static_cast<std::size_t>(count - k));
                if (k < count && (whole || scan.readable(address + k * step)))
                    keep(address + k * step, bytes + k * step);
            }
        } else {
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
        }
        leafCount_ = scan.looked();
        publish();
    }
    leafCount_ = scan.looked();
}

}  // namespace corvane
