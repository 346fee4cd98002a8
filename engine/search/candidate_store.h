#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/kit/chunked_array.h"
#include "engine/search/path_table.h"
#include "engine/search/structure_row.h"

namespace corvane {

// Growth step of the candidate store, in entries.
inline constexpr std::size_t CandidateChunk = 102400;

// A leaf of the traversal. The path is not held as text: `parent` names the
// path node above the leaf and `index` the leaf's k in the last row, so a
// candidate costs 16 bytes and its offset-path text is rendered on demand.
struct CandidateEntry {
    std::uint64_t address = 0;
    std::uint32_t parent = kNoPathNode;
    std::uint32_t index = 0;
};

// The leaves one traversal found, in depth-first order.
class CandidateStore {
public:
    // Drops every entry and node, releases all memory, and keeps `rows` to
    // tell the leaf offsets from.
    void reset(std::vector<StructureRow> rows);

    std::uint32_t addNode(std::uint32_t parent, std::int64_t offset) { return paths_->add(parent, offset); }
    void appendCandidate(std::uint32_t parent, std::uint32_t index, std::uint64_t address);

    std::size_t candidateCount() const { return entries_.size(); }
    std::size_t capacity() const { return entries_.capacity(); }
    const CandidateEntry& entry(std::size_t i) const { return entries_[i]; }
    std::uint64_t address(std::size_t i) const { return entries_[i].address; }
    const std::vector<StructureRow>& rows() const { return rows_; }

    // Offset of the k-th step of a row; rows of count 0 or less have one offset.
    static std::int64_t rowOffset(const StructureRow& row, std::uint32_t index) {
        if (row.count <= 0) return row.startOffset;
        // Signed arithmetic of the traversal, computed without overflow traps.
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(row.increment) * index +
                                         static_cast<std::uint64_t>(row.startOffset));
    }
    std::int64_t leafOffset(std::size_t i) const { return rowOffset(rows_.back(), entries_[i].index); }

    // The path nodes, shared with the results that outlive this store.
    const std::shared_ptr<PathTable>& paths() const { return paths_; }

    // Frees the entries below `i`, which a consumer reading the store in
    // order is done with; they must not be read again.
    void releaseBefore(std::size_t i) { entries_.releaseBefore(i); }

    // Appends candidate i's offset-path text, e.g. 1400A2B30]18]0.
    void appendPathText(std::size_t i, std::string& out) const;
    std::string pathText(std::size_t i) const;

    // The offsets of candidate i's path from the first row to the leaf.
    std::vector<std::int64_t> pathOffsets(std::size_t i) const;

    std::size_t memoryBytes() const { return entries_.memoryBytes() + paths_->memoryBytes(); }

private:
    std::vector<StructureRow> rows_;
    ChunkedArray<CandidateEntry, CandidateChunk> entries_;
    std::shared_ptr<PathTable> paths_ = std::make_shared<PathTable>();
};

}  // namespace corvane
