#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/kit/chunked_array.h"
#include "engine/target/module_lookup.h"

namespace corvane {

inline constexpr std::uint32_t kNoPathNode = 0xFFFFFFFF;
// The parent of a module anchor: a root that stands for a module's load
// address instead of a pointer level. Its offset is the module's number.
inline constexpr std::uint32_t kAnchorParent = 0xFFFFFFFE;

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
    // already interned; for paths that arrive as texts, a results file's
    // million lines among them. A search lists the levels under each node in
    // increasing offsets, so an offset above all those interned under its
    // parent is a new node, added without any lookup; only an offset that
    // could be an old one starts a hash index of every node up to then.
    std::uint32_t intern(std::uint32_t parent, std::int64_t offset);

    // The root of the paths whose first offset counts from the module's load
    // address; the same node for every use of one name.
    std::uint32_t anchor(std::string_view module);
    bool isAnchor(std::uint32_t index) const { return index != kNoPathNode && nodes_[index].parent == kAnchorParent; }
    const std::string& moduleName(std::uint32_t anchorNode) const {
        return modules_[static_cast<std::size_t>(nodes_[anchorNode].offset)];
    }
    const std::vector<std::uint32_t>& anchors() const { return anchors_; }
    // The anchor a path hangs from, or kNoPathNode for a path whose first
    // offset is an absolute address.
    std::uint32_t rootOf(std::uint32_t node) const;

    const PathNode& node(std::uint32_t index) const { return nodes_[index]; }
    std::size_t size() const { return nodes_.size(); }

    // The offsets from the first level to the leaf, into `out` (replaced);
    // an anchor is no offset.
    void offsets(std::uint32_t parent, std::int64_t leafOffset, std::vector<std::int64_t>& out) const;

    // Offsets in uppercase hexadecimal joined by "]", e.g. 1400A2B30]18]0;
    // under an anchor the first one follows its module, game.exe+1A2B0]10.
    void appendPathText(std::uint32_t parent, std::int64_t leafOffset, std::string& out) const;
    // What the path text of any leaf under `parent` holds before the leaf
    // offset: "1400A2B30]18]", "game.exe+", or nothing.
    void appendLevelsText(std::uint32_t parent, std::string& out) const;

    std::size_t memoryBytes() const { return nodes_.memoryBytes(); }

private:
    // What intern knows of the offsets under one node.
    struct Children {
        std::uint64_t highest = 0;  // the highest offset interned under it, as unsigned
        bool any = false;
    };
    struct Slot {
        std::uint32_t node = kNoPathNode;
        std::uint32_t tag = 0;  // the low half of the hash: most other nodes are skipped unread
    };
    Children& childrenOf(std::uint32_t parent);
    std::uint32_t findInterned(std::uint32_t parent, std::int64_t offset) const;
    void index(std::uint32_t node);
    void growIndex();

    ChunkedArray<PathNode, kChunk> nodes_;
    std::vector<std::string> modules_;
    std::vector<std::uint32_t> anchors_;
    // intern's knowledge: the offsets under each node, and once an offset
    // came out of order, a hash index of the nodes by parent and offset.
    Children rootChildren_;
    std::vector<Children> children_;
    bool indexing_ = false;
    std::vector<Slot> slots_;
    std::size_t indexed_ = 0;
    unsigned shift_ = 64;
};

// Splits an offset-path text into its offsets: each "]"-separated segment read
// as hexadecimal, exactly, modulo 2^64. False for an empty text or a segment
// that is empty or holds anything but hexadecimal digits.
bool parsePathText(std::string_view text, std::vector<std::int64_t>& offsets);
// The same, taking a first offset written after a module, game.exe+1A2B0]10:
// `module` receives the name, or the empty text for an absolute path.
bool parsePathText(std::string_view text, std::vector<std::int64_t>& offsets, std::string& module);

// Where the leaf offset of a path text starts: after its last "]", or after
// the "+" of a module when the path has one level; 0 when it has neither.
std::size_t pathLeafStart(std::string_view text);

// The bases of the modules a path table is anchored on, looked up once when
// a pass starts: every result of the pass sees the same base.
class ModuleBases {
public:
    ModuleBases() = default;
    ModuleBases(const PathTable& paths, ModuleLookup* lookup);

    // The base of an anchor node of the table, or nothing when its module
    // is not loaded (or nothing can look modules up).
    std::optional<std::uint64_t> base(std::uint32_t anchorNode) const;
    // The modules of the table that the target has not loaded, in the order
    // the table first met them.
    const std::vector<std::string>& missing() const { return missing_; }

private:
    std::vector<std::pair<std::uint32_t, std::optional<std::uint64_t>>> bases_;
    std::vector<std::string> missing_;
};

}  // namespace corvane
