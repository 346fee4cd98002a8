#include "settings/structure_text.h"

#include "settings/gbk_chars.h"

namespace corvane {

std::vector<StructureRowText> parseStructureText(std::string_view text) {
    std::vector<StructureRowText> rows;
    splitGbk(text, ']', [&rows](std::string_view piece) {
        if (piece.empty()) return;
        StructureRowText row{{}, "0", "4"};
        std::size_t part = 0;
        splitGbk(piece, '*', [&row, &part](std::string_view value) {
            if (part == 0)
                row.start = value;
            else if (part == 1)
                row.count = value;
            else if (part == 2)
                row.increment = value;
            ++part;
        });
        rows.push_back(std::move(row));
    });
    // The structure list is never left without a row to edit.
    if (rows.empty()) rows.push_back({"", "0", "4"});
    return rows;
}

StructureText rebuildStructureText(std::span<const StructureRowText> rows) {
    StructureText text;
    for (const StructureRowText& row : rows) {
        text += row.start;
        // The short form is written exactly when the search would read the
        // count as 0, so dropping the increment never changes what is walked.
        if (parseCountCell(row.count) != 0) {
            text += '*';
            text += row.count;
            text += '*';
            text += row.increment;
        }
        text += ']';
    }
    return text;
}

StructureRow structureRowFromText(const StructureRowText& row) {
    return structureRowFromCells(row.start, row.count, row.increment);
}

std::vector<StructureRow> structureRowsFromTexts(std::span<const StructureRowText> rows) {
    std::vector<StructureRow> out;
    out.reserve(rows.size());
    for (const StructureRowText& row : rows) out.push_back(structureRowFromText(row));
    return out;
}

}  // namespace corvane
