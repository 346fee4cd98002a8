#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/hex_text.h"
#include "engine/search/path_table.h"
#include "engine/search/result_store.h"
#include "engine/text/text_codec.h"
#include "engine/files/number_columns.h"

namespace corvane {

// Lines of the results file: path, tab, value, tab, address.

// Levels texts are copied in steps of this many bytes, a fixed-size copy
// being a few instructions where a call to memcpy is many.
inline constexpr std::size_t kCopyStep = 16;

// The levels text of the last node asked for, kept level by level: a node
// beside the last one (the next pointer of the same block) renders only its
// own level, and the same node renders nothing.
class LevelsText {
public:
    // Its storage holds kCopyStep bytes more than the text: lines copy it in
    // whole steps.
    std::string_view of(const PathTable& paths, std::uint32_t parent) {
        if (parent == parent_) return {padded_.data(), text_.size()};
        path_.clear();
        for (std::uint32_t node = parent; node != kNoPathNode;
             node = paths.isAnchor(node) ? kNoPathNode : paths.node(node).parent)
            path_.push_back(node);
        // path_ runs from the node up to its root, levels_ from the root down.
        const std::size_t depth = path_.size();
        std::size_t kept = 0;
        while (kept < depth && kept < levels_.size() && levels_[kept].node == path_[depth - 1 - kept]) ++kept;
        levels_.resize(kept);
        text_.resize(kept == 0 ? 0 : levels_[kept - 1].end);
        for (std::size_t level = kept; level < depth; ++level) {
            const std::uint32_t node = path_[depth - 1 - level];
            if (paths.isAnchor(node)) {
                text_ += paths.moduleName(node);
                text_.push_back('+');
            } else {
                appendHex(text_, static_cast<std::uint64_t>(paths.node(node).offset));
                text_.push_back(']');
            }
            levels_.push_back({node, text_.size()});
        }
        parent_ = parent;
        padded_.assign(text_.begin(), text_.end());
        padded_.resize(text_.size() + kCopyStep);
        return {padded_.data(), text_.size()};
    }

private:
    struct Level {
        std::uint32_t node;
        std::size_t end;  // of its text in text_
    };
    std::uint32_t parent_ = kNoPathNode;
    std::string text_;
    std::vector<char> padded_ = std::vector<char>(kCopyStep);
    std::vector<Level> levels_;
    std::vector<std::uint32_t> path_;
};

// Formats results as lines of the file into a buffer of characters.
class LineFormatter {
public:
    LineFormatter(const PathTable& paths, const TextCodec& codec) : paths_(paths), codec_(codec) {}

    // Appends the lines of `count` results to `text` from `used` on, which
    // is advanced past them; `text` grows as needed. Each line starts with
    // `linePrefix`.
    void format(const ResultSnapshot* entries, std::size_t count, std::vector<char>& text, std::size_t& used,
                std::string_view linePrefix = {});

private:
    const PathTable& paths_;
    const TextCodec& codec_;
    LevelsText levels_;
    NumberText numbers_;
    HexColumn addresses_;
    std::string escaped_;
    std::u16string wide_;
};

}  // namespace corvane
