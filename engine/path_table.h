#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/chunked_array.h"

namespace corvane {

inline constexpr std::uint32_t kNoPathNode = 0xFFFFFFFF;

// One pointer level of a path: its offset, under the level above.
struct PathNode {
    std::int64_t offset = 0;
    std::uint32_t parent = kNoPathNode;
};

// The pointer levels of many paths as a tree: paths that share their first
// levels share their nodes. A path is its leaf offset under a node (or under
// kNoPathNode for a path of one level); the offset-path text is rendered from
// it when it is needed instead of being stored with every result.
class PathTable {
public:
    static constexpr std::size_t kChunk = 16384;

    std::uint32_t add(std::uint32_t parent, std::int64_t offset);
    // As add, but returns the existing node for a (parent, offset) pair
    // already interned; for paths that arrive as texts.
    std::uint32_t intern(std::uint32_t parent, std::int64_t offset);

    const PathNode& node(std::uint32_t index) const { return nodes_[index]; }
    std::size_t size() const { return nodes_.size(); }

    // The offsets from the first level to the leaf, into `out` (replaced).
    void offsets(std::uint32_t parent, std::int64_t leafOffset, std::vector<std::int64_t>& out) const;

    // Offsets in uppercase hexadecimal joined by "]", e.g. 1400A2B30]18]0.
    void appendPathText(std::uint32_t parent, std::int64_t leafOffset, std::string& out) const;

    std::size_t memoryBytes() const { return nodes_.memoryBytes(); }

private:
    ChunkedArray<PathNode, kChunk> nodes_;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> interned_;
};

// Splits an offset-path text into its offsets: each "]"-separated segment read
// as hexadecimal, exactly, modulo 2^64. False for an empty text or a segment
// that is empty or holds anything but hexadecimal digits.
bool parsePathText(std::string_view text, std::vector<std::int64_t>& offsets);

}  // namespace corvane
