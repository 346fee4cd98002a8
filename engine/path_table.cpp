#include "engine/path_table.h"

#include <algorithm>
#include <stdexcept>

#include "engine/hex_text.h"
#include "engine/module_lookup.h"

namespace corvane {

std::uint32_t PathTable::add(std::uint32_t parent, std::int64_t offset) {
    if (nodes_.size() >= kNoPathNode) throw std::length_error("too many pointer paths");
    nodes_.push_back({offset, parent});
    return static_cast<std::uint32_t>(nodes_.size() - 1);
}

std::uint32_t PathTable::intern(std::uint32_t parent, std::int64_t offset) {
    const std::uint64_t key = static_cast<std::uint64_t>(offset) * 0x9E3779B97F4A7C15ull ^ parent;
    auto& bucket = interned_[key];
    for (std::uint32_t index : bucket) {
        const PathNode& existing = nodes_[index];
        if (existing.parent == parent && existing.offset == offset) return index;
    }
    const std::uint32_t index = add(parent, offset);
    bucket.push_back(index);
    return index;
}

std::uint32_t PathTable::anchor(std::string_view module) {
    for (std::uint32_t index : anchors_)
        if (moduleName(index) == module) return index;
    modules_.emplace_back(module);
    const std::uint32_t index = add(kAnchorParent, static_cast<std::int64_t>(modules_.size() - 1));
    anchors_.push_back(index);
    return index;
}

std::uint32_t PathTable::rootOf(std::uint32_t node) const {
    while (node != kNoPathNode && !isAnchor(node)) node = nodes_[node].parent;
    return node;
}

void PathTable::offsets(std::uint32_t parent, std::int64_t leafOffset, std::vector<std::int64_t>& out) const {
    out.clear();
    out.push_back(leafOffset);
    for (std::uint32_t node = parent; node != kNoPathNode && !isAnchor(node); node = nodes_[node].parent)
        out.push_back(nodes_[node].offset);
    std::reverse(out.begin(), out.end());
}

void PathTable::appendLevelsText(std::uint32_t parent, std::string& out) const {
    // Render the levels from the leaf upwards, then reverse them in place.
    const std::size_t start = out.size();
    std::uint32_t node = parent;
    for (; node != kNoPathNode && !isAnchor(node); node = nodes_[node].parent) {
        out.push_back(']');
        char digits[kMaxHexDigits];
        const std::size_t length = formatHex(static_cast<std::uint64_t>(nodes_[node].offset), digits);
        for (std::size_t i = length; i-- > 0;) out.push_back(digits[i]);
    }
    if (node != kNoPathNode) {
        out.push_back('+');
        const std::string& name = moduleName(node);
        out.append(name.rbegin(), name.rend());
    }
    std::reverse(out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
}

void PathTable::appendPathText(std::uint32_t parent, std::int64_t leafOffset, std::string& out) const {
    appendLevelsText(parent, out);
    appendHex(out, static_cast<std::uint64_t>(leafOffset));
}

std::size_t pathLeafStart(std::string_view text) {
    // A module name holds no "+", but a trail byte of its code page 936
    // characters may be "]": only what follows the "+" is split.
    const std::size_t plus = text.find('+');
    const std::size_t close = text.rfind(']');
    if (close != std::string_view::npos && (plus == std::string_view::npos || close > plus)) return close + 1;
    return plus == std::string_view::npos ? 0 : plus + 1;
}

bool parsePathText(std::string_view text, std::vector<std::int64_t>& offsets, std::string& module) {
    module.clear();
    const std::size_t plus = text.find('+');
    if (plus == std::string_view::npos) return parsePathText(text, offsets);
    const std::string_view name = text.substr(0, plus);
    offsets.clear();
    if (!isWritableModuleName(name) || !parsePathText(text.substr(plus + 1), offsets)) return false;
    module.assign(name);
    return true;
}

bool parsePathText(std::string_view text, std::vector<std::int64_t>& offsets) {
    offsets.clear();
    if (text.empty()) return false;
    std::uint64_t value = 0;
    bool digits = false;
    for (char c : text) {
        if (c == ']') {
            if (!digits) return false;
            offsets.push_back(static_cast<std::int64_t>(value));
            value = 0;
            digits = false;
            continue;
        }
        const int digit = hexDigitValue(c);
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
        digits = true;
    }
    if (!digits) return false;
    offsets.push_back(static_cast<std::int64_t>(value));
    return true;
}

}  // namespace corvane
