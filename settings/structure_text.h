#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/search/structure_row.h"
#include "settings/line_breaks.h"

namespace corvane {

// The one-line form of the structure rows, as the 结构 key and the structure
// text box hold it: each row "start]" when its count reads as 0, else
// "start*count*increment]". Code page 936 bytes.
using StructureText = std::string;

// The three cell texts of one row of the structure list, kept as typed; they
// are read as numbers only when a search starts.
struct StructureRowText {
    std::string start;
    std::string count;
    std::string increment;

    bool operator==(const StructureRowText&) const = default;
};

// Splits the text at every "]", skipping empty pieces, and each piece at
// every "*": start, count ("0" when the piece has no second part), increment
// ("4" when it has no third part); further parts are ignored. A text with no
// piece at all still gives one row: empty start, count "0", increment "4".
// CR and LF are dropped first, wherever the text comes from.
std::vector<StructureRowText> parseStructureText(std::string_view text);

// The inverse direction: no rows give the empty text. Each cell is written
// without line breaks and without a lead byte left over at its end. A row
// whose count reads as 0 is written "start]", or "*0]" when its start is
// empty, so that it still stands as a row.
//
// The round trip parseStructureText(rebuildStructureText(rows)) == rows holds
// for every non-empty list of rows the list can hold in canonical form:
//  - every cell isUsableStructureCell (no "]" or "*" character, no line
//    break) and ends in a whole character (no lead byte left over);
//  - a row whose count reads as 0 has the count "0" and the increment "4",
//    the cells the parser gives such a row (a row (10, 0, 8) comes back as
//    (10, 0, 4), which the search walks the same), except a row starting
//    at the memory word, whose increment is its step even with a count of
//    0: it keeps the long form when its increment does not read as 4.
// Rows outside that set come back in that canonical form.
StructureText rebuildStructureText(std::span<const StructureRowText> rows);

// Whether a typed cell keeps its place in the structure text: a "]" or "*"
// character would cut it into further cells or rows, a line break is dropped.
bool isUsableStructureCell(std::string_view cell);
// Whether the window may take a typed start offset: usable and not empty. An
// empty start reads as offset 0, which is almost never what was meant.
bool isUsableStartCell(std::string_view start);

// The rows as the traversal walks them, read with the structure list's cell
// readings.
StructureRow structureRowFromText(const StructureRowText& row);
std::vector<StructureRow> structureRowsFromTexts(std::span<const StructureRowText> rows);

// The structure as a search walks it: when `module` is not empty, row 0's
// offsets count from that module's load address; with `memory`, row 0 is
// every writable address of the target, stepped by its increment.
struct Structure {
    std::string module;
    std::vector<StructureRow> rows;
    bool memory = false;
};

enum class StructureProblem : std::uint8_t {
    None,
    BadModule,         // row 0 in the module form, but no usable name or offset
    ModuleInLaterRow,  // only row 0 may name a module
    MemoryInLaterRow,  // only row 0 may span the memory
};

// Reads the rows as structureRowsFromTexts does, row 0's start in either
// form (a plain hexadecimal start reads exactly as it does there). On a
// problem `out` is left as it was.
StructureProblem structureFromTexts(std::span<const StructureRowText> rows, Structure& out);

}  // namespace corvane
