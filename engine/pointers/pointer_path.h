#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// One path of pointers from a module's static slot to a value: the slot at
// `start` from where the module is loaded, then a read and an offset per
// level. Offsets below zero (links into the middle of an object) are kept
// as the two's complement the additions wrap to.
struct PointerPath {
    std::string module;  // code page 936, as the target has it loaded
    std::uint64_t start = 0;
    std::vector<std::int64_t> offsets;

    bool operator==(const PointerPath&) const = default;
    auto operator<=>(const PointerPath&) const = default;
};

// MODULE+START]o1]…]ok in uppercase hexadecimal, as paths files, the command
// line and the pointer dialog show a path; a "]" more makes it a structure.
void appendPointerPathText(std::string& out, const PointerPath& path);
std::string pointerPathText(const PointerPath& path);

// The path a text of that form names: a module name that can stand in a
// path, then 1 to 16 hexadecimal digits of either case for the start and for
// each of at least one offset. Nothing for any other text.
std::optional<PointerPath> parsePointerPath(std::string_view text);

}  // namespace corvane
