#include "engine/candidate_store.h"

#include <stdexcept>

#include "engine/hex_text.h"

namespace corvane {

void CandidateStore::reset(std::vector<StructureRow> rows) {
    rows_ = std::move(rows);
    entries_.clear();
    nodes_.clear();
}

std::uint32_t CandidateStore::addNode(std::uint32_t parent, std::uint32_t index) {
    if (nodes_.size() >= kNoPathNode) throw std::length_error("too many pointer paths");
    nodes_.push_back({parent, index});
    return static_cast<std::uint32_t>(nodes_.size() - 1);
}

void CandidateStore::appendCandidate(std::uint32_t parent, std::uint32_t index,
                                     std::uint64_t address) {
    entries_.push_back({address, parent, index});
}

std::int64_t CandidateStore::rowOffset(const StructureRow& row, std::uint32_t index) {
    if (row.count <= 0) return row.startOffset;
    // Signed arithmetic of the traversal, computed without overflow traps.
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(row.increment) * index +
                                     static_cast<std::uint64_t>(row.startOffset));
}

std::vector<std::int64_t> CandidateStore::pathOffsets(std::size_t i) const {
    const CandidateEntry& leaf = entries_[i];
    std::vector<std::int64_t> offsets(rows_.size());
    std::size_t level = rows_.size() - 1;
    offsets[level] = rowOffset(rows_[level], leaf.index);
    for (std::uint32_t node = leaf.parent; node != kNoPathNode; node = nodes_[node].parent) {
        --level;
        offsets[level] = rowOffset(rows_[level], nodes_[node].index);
    }
    return offsets;
}

void CandidateStore::appendPathText(std::size_t i, std::string& out) const {
    bool first = true;
    for (std::int64_t offset : pathOffsets(i)) {
        if (!first) out.push_back(']');
        first = false;
        appendHex(out, static_cast<std::uint64_t>(offset));
    }
}

std::string CandidateStore::pathText(std::size_t i) const {
    std::string text;
    appendPathText(i, text);
    return text;
}

}  // namespace corvane
