#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/target/memory_reader.h"
#include "engine/target/module_lookup.h"

namespace corvane {

// How the view reached its base: a first offset (an absolute address, or
// counting from `module`'s load address) and, after each pointer read, the
// next offset. A bare address is a path of one offset.
struct DissectPath {
    std::string module;
    std::vector<std::int64_t> offsets;

    bool operator==(const DissectPath&) const = default;
    bool empty() const { return offsets.empty(); }
};

enum class PathProblem : std::uint8_t {
    None,
    Malformed,   // not an address, a path or a structure
    ManyLeaves,  // a structure row counts over more than one offset
};

// The address box as typed: a hexadecimal address ("0x" allowed), an
// offset-path text (game.exe+1A2B0]18]0) or a structure text whose rows each
// stand for one offset (game.exe+1A2B0]18]0], rows with a count of 1 or
// less). A row that counts over more offsets has more than one leaf.
PathProblem parseDissectPath(std::string_view text, DissectPath& path);

// The path's offset-path text: game.exe+1A2B0]18]0, offsets in uppercase
// hexadecimal (a negative one as its 64-bit two's complement).
std::string pathText(const DissectPath& path);

// The leaf address: the module's base plus the first offset, then for each
// further offset a pointer of the target's width read and the offset added.
std::optional<std::uint64_t> resolveDissectPath(MemoryReader& reader, const DissectPath& path, ModuleLookup* modules);

// The path to the object a pointer field at `fieldOffset` from the base
// points to: the last offset grows by the field's, and a new level starts at 0.
DissectPath followPath(const DissectPath& path, std::int64_t fieldOffset);

}  // namespace corvane
