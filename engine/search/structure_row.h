#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// One pointer level of the structure: `count` offsets from `startOffset`,
// `increment` apart. A count of 0 or less stands for the start offset alone.
struct StructureRow {
    std::int64_t startOffset = 0;
    std::int32_t count = 0;
    std::int64_t increment = 0;
};

// A memory row steps by its increment, and by this many bytes when the
// increment is 0 or less.
inline constexpr std::int64_t kDefaultMemoryStep = 4;
inline std::uint64_t memoryRowStep(const StructureRow& row) {
    return static_cast<std::uint64_t>(row.increment > 0 ? row.increment : kDefaultMemoryStep);
}

// Readings of the three cells of a structure list row.
// Start offset: hexadecimal digits (either case) up to the first other
// character, wrapping at 64 bits; no digits give 0.
std::int64_t parseStartOffsetCell(std::string_view text);
// Count: blanks, an optional "&H"/"&O"/"&B" prefix (a lone "&" means octal),
// an optional sign, digits; wraps at 32 bits and is taken as signed.
std::int32_t parseCountCell(std::string_view text);
// Increment: read as the count, then sign-extended.
std::int64_t parseIncrementCell(std::string_view text);

// Whether a cell is read whole by the readers above, no character ignored:
// a start of 1 to 16 hexadecimal digits; a count or increment with digits
// and nothing after them. "xyz" and "10h" read as numbers all the same.
bool isWholeStartOffsetCell(std::string_view text);
bool isWholeCountCell(std::string_view text);

StructureRow structureRowFromCells(std::string_view start, std::string_view count, std::string_view increment);

// A first row's start offset cell: an offset as ever, MODULE+HEX (MODULE
// alone meaning +0), or the memory word, every writable address of the
// target. A cell holding "+" or "." is in the module form, so a plain
// hexadecimal cell reads exactly as it always has; the memory word holds
// neither and no hexadecimal digit before its end, so no old text that
// meant an offset is read as it.
struct StartCell {
    enum class Form : std::uint8_t { Offset, Module, Memory, Invalid };
    Form form = Form::Offset;
    std::string module;
    std::int64_t offset = 0;
};
bool isModuleStartCell(std::string_view cell);
// The memory word: "内存" (code page 936) or "memory" in any letter case,
// the whole cell.
bool isMemoryStartCell(std::string_view cell);
// The module form needs a writable name and, after "+", 1 to 16 hexadecimal
// digits; anything else in that form is Invalid.
StartCell parseStartCell(std::string_view cell);

}  // namespace corvane
