#include "engine/search/path_table.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

#include "engine/text/hex_text.h"
#include "engine/target/module_lookup.h"

namespace corvane {

std::uint32_t PathTable::add(std::uint32_t parent, std::int64_t offset) {
    if (nodes_.size() >= kNoPathNode) throw std::length_error("too many pointer paths");
    nodes_.push_back({offset, parent});
    return static_cast<std::uint32_t>(nodes_.size() - 1);
}

std::uint32_t PathTable::intern(std::uint32_t parent, std::int64_t offset) {
    const auto key = static_cast<std::uint64_t>(offset);
    Children& children = childrenOf(parent);
    if (!children.any || key > children.highest) {
        children.any = true;
        children.highest = key;
    } else {
        if (!indexing_) {
            indexing_ = true;
            for (std::size_t node = 0; node < nodes_.size(); ++node) {
                const auto at = static_cast<std::uint32_t>(node);
                if (!isAnchor(at)) index(at);
            }
        }
        if (const std::uint32_t found = findInterned(parent, offset); found != kNoPathNode) return found;
    }
    const std::uint32_t node = add(parent, offset);
    if (indexing_) index(node);
    return node;
}

namespace {

std::uint64_t hashOf(std::uint32_t parent, std::int64_t offset) {
    std::uint64_t hash = static_cast<std::uint64_t>(offset) + parent * 0x9E3779B97F4A7C15ull;
    hash ^= hash >> 32;
    hash *= 0xD6E8FEB86659FD93ull;
    return hash ^ (hash >> 32);
}

}  // namespace

PathTable::Children& PathTable::childrenOf(std::uint32_t parent) {
    if (parent == kNoPathNode) return rootChildren_;
    // Anchors and plain adds are not told here: the list grows as needed.
    if (children_.size() < nodes_.size()) children_.resize(nodes_.size());
    return children_[parent];
}

std::uint32_t PathTable::findInterned(std::uint32_t parent, std::int64_t offset) const {
    const std::uint64_t hash = hashOf(parent, offset);
    // The top bits of the hash pick the slot, the low ones are the tag.
    for (auto i = static_cast<std::size_t>(hash >> shift_);; i = (i + 1) & (slots_.size() - 1)) {
        const Slot& slot = slots_[i];
        if (slot.node == kNoPathNode) return kNoPathNode;
        if (slot.tag != static_cast<std::uint32_t>(hash)) continue;
        const PathNode& node = nodes_[slot.node];
        if (node.parent == parent && node.offset == offset) return slot.node;
    }
}

void PathTable::index(std::uint32_t at) {
    if (2 * (indexed_ + 1) > slots_.size()) growIndex();
    const PathNode& node = nodes_[at];
    const std::uint64_t hash = hashOf(node.parent, node.offset);
    auto i = static_cast<std::size_t>(hash >> shift_);
    while (slots_[i].node != kNoPathNode) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = {at, static_cast<std::uint32_t>(hash)};
    ++indexed_;
}

void PathTable::growIndex() {
    std::vector<Slot> old(slots_.empty() ? 1024 : 2 * slots_.size());
    old.swap(slots_);
    shift_ = static_cast<unsigned>(64 - std::countr_zero(slots_.size()));
    indexed_ = 0;
    for (const Slot& slot : old)
        if (slot.node != kNoPathNode) index(slot.node);
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
    // A trail byte of a module name's code page 936 characters may be "]":
    // only what follows the "+" is split.
    const std::size_t plus = moduleNameEnd(text);
    const std::size_t close = text.rfind(']');
    if (close != std::string_view::npos && (plus == std::string_view::npos || close > plus)) return close + 1;
    return plus == std::string_view::npos ? 0 : plus + 1;
}

bool parsePathText(std::string_view text, std::vector<std::int64_t>& offsets, std::string& module) {
    module.clear();
    const std::size_t plus = moduleNameEnd(text);
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

ModuleBases::ModuleBases(const PathTable& paths, ModuleLookup* lookup) {
    ModuleBaseCache cache(lookup);
    for (std::uint32_t anchor : paths.anchors()) bases_.emplace_back(anchor, cache.base(paths.moduleName(anchor)));
    missing_ = cache.missing();
}

std::optional<std::uint64_t> ModuleBases::base(std::uint32_t anchorNode) const {
    for (const auto& [anchor, base] : bases_)
        if (anchor == anchorNode) return base;
    return std::nullopt;
}

}  // namespace corvane
