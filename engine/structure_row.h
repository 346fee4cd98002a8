#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

// One pointer level of the structure: `count` offsets from `startOffset`,
// `increment` apart. A count of 0 or less stands for the start offset alone.
struct StructureRow {
    std::int64_t startOffset = 0;
    std::int32_t count = 0;
    std::int64_t increment = 0;
};

// Readings of the three cells of a structure list row.
// Start offset: hexadecimal digits (either case) up to the first other
// character, wrapping at 64 bits; no digits give 0.
std::int64_t parseStartOffsetCell(std::string_view text);
// Count: blanks, an optional "&H"/"&O"/"&B" prefix (a lone "&" means octal),
// an optional sign, digits; wraps at 32 bits and is taken as signed.
std::int32_t parseCountCell(std::string_view text);
// Increment: read as the count, then sign-extended.
std::int64_t parseIncrementCell(std::string_view text);

StructureRow structureRowFromCells(std::string_view start, std::string_view count, std::string_view increment);

}  // namespace corvane
