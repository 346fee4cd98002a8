#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/structure_row.h"

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
std::vector<StructureRowText> parseStructureText(std::string_view text);

// The inverse direction: no rows give the empty text.
StructureText rebuildStructureText(std::span<const StructureRowText> rows);

// The rows as the traversal walks them, read with the structure list's cell
// readings.
StructureRow structureRowFromText(const StructureRowText& row);
std::vector<StructureRow> structureRowsFromTexts(std::span<const StructureRowText> rows);

}  // namespace corvane
