#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/target/memory_reader.h"
#include "engine/target/module_lookup.h"
#include "engine/search/path_table.h"

namespace corvane {

// Walks a path again from scratch: the first offset is an absolute address
// (or counts from its module's base), each further level reads a pointer of
// the target's width and adds the next offset, and the value's `size` bytes
// are read at the leaf. The pointers met on the way are not tested for
// plausibility; only the reads must succeed. A path under a module that
// `modules` does not know fails. `scratch` is reused between calls to spare
// allocations.
bool resolvePath(MemoryReader& reader, const PathTable& paths, std::uint32_t parent, std::int64_t leafOffset,
                 std::size_t size, unsigned char* buffer, std::uint64_t& address, std::vector<std::int64_t>& scratch,
                 const ModuleBases* modules = nullptr);

// The same for an offset-path text such as 1400A2B30]18]0 or
// game.exe+1A2B0]10; an empty or malformed text fails, and so does a module
// path when `modules` is null or has no such module loaded.
bool resolvePath(MemoryReader& reader, std::string_view pathText, std::size_t size, unsigned char* buffer,
                 std::uint64_t& address, ModuleLookup* modules = nullptr);

}  // namespace corvane
