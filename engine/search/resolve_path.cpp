#include "engine/search/resolve_path.h"

namespace corvane {
namespace {

bool walk(MemoryReader& reader, std::uint64_t start, const std::vector<std::int64_t>& offsets, std::size_t size,
          unsigned char* buffer, std::uint64_t& address) {
    std::uint64_t base = start;
    for (std::size_t level = 0; level + 1 < offsets.size(); ++level) {
        if (!readPointer(reader, base + static_cast<std::uint64_t>(offsets[level]), base)) return false;
    }
    const std::uint64_t leaf = base + static_cast<std::uint64_t>(offsets.back());
    if (!reader.read(leaf, buffer, size)) return false;
    address = leaf;
    return true;
}

}  // namespace

bool resolvePath(MemoryReader& reader, const PathTable& paths, std::uint32_t parent, std::int64_t leafOffset,
                 std::size_t size, unsigned char* buffer, std::uint64_t& address, std::vector<std::int64_t>& scratch,
                 const ModuleBases* modules) {
    std::uint64_t start = 0;
    if (const std::uint32_t root = paths.rootOf(parent); root != kNoPathNode) {
        const std::optional<std::uint64_t> base = modules != nullptr ? modules->base(root) : std::nullopt;
        if (!base) return false;
        start = *base;
    }
    paths.offsets(parent, leafOffset, scratch);
    return walk(reader, start, scratch, size, buffer, address);
}

bool resolvePath(MemoryReader& reader, std::string_view pathText, std::size_t size, unsigned char* buffer,
                 std::uint64_t& address, ModuleLookup* modules) {
    std::vector<std::int64_t> offsets;
    std::string module;
    if (!parsePathText(pathText, offsets, module)) return false;
    std::uint64_t start = 0;
    if (!module.empty()) {
        const std::optional<std::uint64_t> base = modules != nullptr ? modules->moduleBase(module) : std::nullopt;
        if (!base) return false;
        start = *base;
    }
    return walk(reader, start, offsets, size, buffer, address);
}

}  // namespace corvane
