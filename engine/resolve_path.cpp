#include "engine/resolve_path.h"

namespace corvane {
namespace {

bool walk(MemoryReader& reader, const std::vector<std::int64_t>& offsets, std::size_t size, unsigned char* buffer,
          std::uint64_t& address) {
    std::uint64_t base = 0;
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
                 std::size_t size, unsigned char* buffer, std::uint64_t& address, std::vector<std::int64_t>& scratch) {
    paths.offsets(parent, leafOffset, scratch);
    return walk(reader, scratch, size, buffer, address);
}

bool resolvePath(MemoryReader& reader, std::string_view pathText, std::size_t size, unsigned char* buffer,
                 std::uint64_t& address) {
    std::vector<std::int64_t> offsets;
    return parsePathText(pathText, offsets) && walk(reader, offsets, size, buffer, address);
}

}  // namespace corvane
