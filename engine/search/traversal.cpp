#include "engine/search/traversal.h"

#include <limits>

namespace corvane {

bool isFollowablePointer(std::uint64_t v, unsigned pointerWidth) {
    if (v <= 0x400FFF) return false;
    if (v == 0x7F7F7F7F) return false;
    if (v == 0xFFFFFFFF) return false;
    // 64-bit processes keep heaps and modules far above 8 GiB; the 8 GiB bound
    // only makes sense for 32-bit pointers.
    const std::uint64_t upper = pointerWidth == 8 ? kMaxUserAddress64 : kMaxPointer32;
    return v <= upper;
}

namespace {

// Number of leading k of a counted row whose offset k * increment + start
// stays non-negative: the traversal abandons a row at its first negative offset.
std::uint64_t nonNegativeSteps(const StructureRow& row) {
    const auto count = static_cast<std::uint64_t>(row.count);
    if (row.startOffset < 0) return 0;
    if (row.increment == 0) return count;
    const auto start = static_cast<std::uint64_t>(row.startOffset);
    std::uint64_t steps;
    if (row.increment > 0) {
        const auto room = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) - start;
        steps = room / static_cast<std::uint64_t>(row.increment) + 1;
    } else {
        steps = start / (0 - static_cast<std::uint64_t>(row.increment)) + 1;
    }
    return steps < count ? steps : count;
}

}  // namespace

Traversal::Traversal(MemoryReader& reader, const StopFlag& stopRequested, CandidateStore& store)
    : reader_(reader), stopRequested_(stopRequested), store_(store) {}

void Traversal::start(std::vector<StructureRow> rows) {
    if (prepare(std::move(rows))) traverse(0);
}

bool Traversal::prepare(std::vector<StructureRow> rows) {
    const std::size_t rowCount = rows.size();
    store_.reset(std::move(rows));
    levels_.clear();
    levels_.reserve(rowCount);
    for (std::size_t i = 0; i < rowCount; ++i) levels_.emplace_back(reader_);
    pointerWidth_ = reader_.pointerWidth();
    leafCount_ = 0;
    // No rows describe no address: nothing is read and nothing found.
    if (rowCount == 0) return false;
    rootNode_ = kNoPathNode;
    if (!module_.empty()) {
        rootNode_ = store_.paths()->anchor(module_);
        levels_[0].base = moduleBase_;
    }
    return true;
}

void Traversal::run(std::vector<StructureRow> rows) {
    filter_ = nullptr;
    results_ = nullptr;
    start(std::move(rows));
}

void Traversal::runFiltered(std::vector<StructureRow> rows, const ValueFilter& filter, ResultEntries& results,
                            TraversalProgress* progress) {
    filtered(filter, results, progress, [&] { start(std::move(rows)); });
}

void Traversal::filtered(const ValueFilter& filter, ResultEntries& results, TraversalProgress* progress,
                         const std::function<void()>& walk) {
    progress_ = progress;
    filter_ = &filter;
    results_ = &results;
    // Leaves one to a row are scattered over many rows but often share pages
    // (a field of each of many neighbouring objects): a page cache reads each
    // page once for all of them.
    leafCache_ = std::make_unique<PageCache>(reader_);
    scratch_.assign(filter.readSize(), 0);
    walk();
    publish();
    leafCache_.reset();
    progress_ = nullptr;
    filter_ = nullptr;
    results_ = nullptr;
}

void Traversal::traverse(std::size_t depth) {
    if (stopped()) return;
    const StructureRow& row = store_.rows()[depth];
    Level& level = levels_[depth];
    const bool lastLevel = depth + 1 == levels_.size();
    if (lastLevel && filter_ != nullptr) return filterLeafRow(depth);

    if (row.count <= 0) {
        const std::uint64_t address = level.base + static_cast<std::uint64_t>(row.startOffset);
        if (!lastLevel) level.span.beginRow(address, 0, 1, pointerWidth_);
        visit(depth, 0, address);
        return;
    }
    if (!lastLevel) {
        level.span.beginRow(level.base + static_cast<std::uint64_t>(row.startOffset), row.increment,
                            nonNegativeSteps(row), pointerWidth_);
    }
    for (std::int32_t k = 0; k < row.count; ++k) {
        if (stopped()) return;
        const auto index = static_cast<std::uint32_t>(k);
        const std::int64_t offset = CandidateStore::rowOffset(row, index);
        if (offset < 0) return;
        visit(depth, index, level.base + static_cast<std::uint64_t>(offset));
    }
}

void Traversal::visit(std::size_t depth, std::uint32_t index, std::uint64_t address) {
    Level& level = levels_[depth];
    level.index = index;
    level.node = kNoPathNode;
    if (depth + 1 == levels_.size()) {
        ++leafCount_;
        store_.appendCandidate(parentNode(depth), index, address);
        return;
    }
    unsigned char bytes[8];
    if (!level.span.read(address, bytes)) return;
    const std::uint64_t pointer = loadPointer(bytes, pointerWidth_);
    if (!isFollowablePointer(pointer, pointerWidth_)) return;
    levels_[depth + 1].base = pointer;
    traverse(depth + 1);
}

void Traversal::filterLeafRow(std::size_t depth) {
    const StructureRow& row = store_.rows()[depth];
    Level& level = levels_[depth];
    const std::size_t size = filter_->readSize();
    const auto start = static_cast<std::uint64_t>(row.startOffset);
    // Every leaf of the row hangs under the same node, stored with the first
    // leaf kept.
    std::uint32_t parent = kNoPathNode;
    bool parentKnown = false;
    ResultEntries& results = *results_;
    const ValueFilter& filter = *filter_;
    auto keep = [&](std::uint64_t k, std::uint64_t address, const unsigned char* bytes) {
        if (!parentKnown) {
            parent = parentNode(depth);
            parentKnown = true;
        }
        const auto serial = static_cast<std::uint32_t>(results.size());
        ResultEntry& entry = results.emplace_back();
        entry.address = address;
        entry.parent = parent;
        entry.serial = serial;
        entry.leafOffset = CandidateStore::rowOffset(row, static_cast<std::uint32_t>(k));
        filter.storeValue(bytes, entry.value);
    };
    if (row.count <= 0) {
        ++leafCount_;
        const std::uint64_t address = level.base + start;
        if (leafCache_->read(address, scratch_.data(), size) && filter_->matches(scratch_.data()))
            keep(0, address, scratch_.data());
        return;
    }
    // The offsets past the first negative one are abandoned, as a plain run
    // abandons them; the stop flag is tested before every leaf, as there.
    const std::uint64_t steps = nonNegativeSteps(row);
    const auto step = static_cast<std::uint64_t>(row.increment);
    std::uint64_t address = level.base + start;
    level.span.beginRow(address, row.increment, steps, size);
    // Published every so many leaves, so that a row of millions shows progress too.
    constexpr std::uint64_t kPublishEvery = 0xFFFF;
    if (level.span.windowed()) {
        // The leaves a window holds are tested in one run each; the stop
        // flag is tested before every run.
        for (std::uint64_t k = 0; k < steps;) {
            if (stopped()) return;
            std::uint64_t items = 0;
            const unsigned char* bytes = level.span.viewRun(address, row.increment, steps - k, items);
            for (std::uint64_t i = 0; bytes != nullptr && i < items; ++i) {
                auto at = [&](std::uint64_t n) { return bytes + static_cast<std::ptrdiff_t>(n) * row.increment; };
                i += filter.firstMatch(at(i), row.increment, static_cast<std::size_t>(items - i));
                if (i < items) keep(k + i, address + i * step, at(i));
            }
            k += items;
            address += items * step;
            leafCount_ += items;
            if (((leafCount_ - items) | kPublishEvery) != (leafCount_ | kPublishEvery)) publish();
        }
        publish();
        return;
    }
    for (std::uint64_t k = 0; k < steps; ++k, address += step) {
        if (stopped()) return;
        if ((k & kPublishEvery) == kPublishEvery) publish();
        ++leafCount_;
        if (leafCache_->read(address, scratch_.data(), size) && filter_->matches(scratch_.data()))
            keep(k, address, scratch_.data());
    }
}

// Interior path nodes are stored only once a leaf lies below them, so branches
// that end in unreadable or unfollowable pointers cost no memory.
std::uint32_t Traversal::parentNode(std::size_t depth) {
    std::uint32_t parent = rootNode_;
    for (std::size_t d = 0; d < depth; ++d) {
        Level& level = levels_[d];
        if (level.node == kNoPathNode) {
            const std::int64_t offset = d == 0 && memoryRow_ ? static_cast<std::int64_t>(memoryAddress_)
                                                             : CandidateStore::rowOffset(store_.rows()[d], level.index);
            level.node = store_.addNode(parent, offset);
        }
        parent = level.node;
    }
    return parent;
}

}  // namespace corvane
