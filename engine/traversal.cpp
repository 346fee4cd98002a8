#include "engine/traversal.h"

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

Traversal::Traversal(MemoryReader& reader, const std::atomic<std::int32_t>& stopRequested, CandidateStore& store)
    : reader_(reader), stopRequested_(stopRequested), store_(store) {}

void Traversal::run(std::vector<StructureRow> rows) {
    const std::size_t rowCount = rows.size();
    store_.reset(std::move(rows));
    levels_.clear();
    levels_.reserve(rowCount);
    for (std::size_t i = 0; i < rowCount; ++i) levels_.emplace_back(reader_);
    pointerWidth_ = reader_.pointerWidth();
    // No rows describe no address: nothing is read and nothing found.
    if (rowCount == 0) return;
    traverse(0);
}

void Traversal::traverse(std::size_t depth) {
    if (stopped()) return;
    const StructureRow& row = store_.rows()[depth];
    Level& level = levels_[depth];
    const bool lastLevel = depth + 1 == levels_.size();

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

// Interior path nodes are stored only once a leaf lies below them, so branches
// that end in unreadable or unfollowable pointers cost no memory.
std::uint32_t Traversal::parentNode(std::size_t depth) {
    std::uint32_t parent = kNoPathNode;
    for (std::size_t d = 0; d < depth; ++d) {
        Level& level = levels_[d];
        if (level.node == kNoPathNode)
            level.node = store_.addNode(parent, CandidateStore::rowOffset(store_.rows()[d], level.index));
        parent = level.node;
    }
    return parent;
}

}  // namespace corvane
