#include "engine/dissect/dissect_path.h"

#include "engine/search/path_table.h"
#include "engine/search/structure_row.h"
#include "engine/text/hex_text.h"

namespace corvane {

PathProblem parseDissectPath(std::string_view text, DissectPath& path) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return PathProblem::Malformed;
    if (std::uint64_t address = 0; parseAddressHex(text, address)) {
        path = DissectPath{{}, {static_cast<std::int64_t>(address)}};
        return PathProblem::None;
    }
    // A structure's rows lose their counts when each stands for one offset,
    // and what is left is a path with a "]" after its leaf.
    std::string joined;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find(']', begin);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view row = text.substr(begin, end - begin);
        begin = end + 1;
        if (row.empty()) return PathProblem::Malformed;
        const std::size_t star = row.find('*');
        if (star != std::string_view::npos) {
            const std::string_view rest = row.substr(star + 1);
            const std::size_t secondStar = rest.find('*');
            if (parseCountCell(rest.substr(0, secondStar)) > 1) return PathProblem::ManyLeaves;
        }
        if (!joined.empty()) joined += ']';
        joined += row.substr(0, star);
    }
    DissectPath parsed;
    if (!parsePathText(joined, parsed.offsets, parsed.module)) return PathProblem::Malformed;
    path = std::move(parsed);
    return PathProblem::None;
}

std::string pathText(const DissectPath& path) {
    std::string text;
    if (!path.module.empty()) text = path.module + "+";
    for (std::size_t i = 0; i < path.offsets.size(); ++i) {
        if (i > 0) text += ']';
        appendHex(text, static_cast<std::uint64_t>(path.offsets[i]));
    }
    return text;
}

std::optional<std::uint64_t> resolveDissectPath(MemoryReader& reader, const DissectPath& path, ModuleLookup* modules) {
    if (path.empty()) return std::nullopt;
    std::uint64_t base = 0;
    if (!path.module.empty()) {
        const std::optional<std::uint64_t> loaded =
            modules != nullptr ? modules->moduleBase(path.module) : std::nullopt;
        if (!loaded) return std::nullopt;
        base = *loaded;
    }
    for (std::size_t level = 0; level + 1 < path.offsets.size(); ++level)
        if (!readPointer(reader, base + static_cast<std::uint64_t>(path.offsets[level]), base)) return std::nullopt;
    return base + static_cast<std::uint64_t>(path.offsets.back());
}

DissectPath followPath(const DissectPath& path, std::int64_t fieldOffset) {
    DissectPath next = path;
    next.offsets.back() += fieldOffset;
    next.offsets.push_back(0);
    return next;
}

}  // namespace corvane
