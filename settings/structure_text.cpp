#include "settings/structure_text.h"

#include "engine/search/structure_row.h"
#include "engine/target/module_lookup.h"
#include "settings/gbk_chars.h"
#include "settings/line_breaks.h"

namespace corvane {
namespace {

bool holdsSeparator(std::string_view cell) {
    bool found = false;
    for (std::size_t pos = 0; pos < cell.size() && !found; pos += gbkCharLength(cell, pos)) {
        found = gbkCharLength(cell, pos) == 1 && (cell[pos] == ']' || cell[pos] == '*');
    }
    return found;
}

// The cell as the text can carry it: no line breaks, and no lead byte left
// over at its end, which would pair with the "]" written after it (5D is a
// trail byte) and merge two rows into one.
std::string cleanCell(std::string_view cell) {
    std::string text = removeLineBreaks(cell);
    std::size_t pos = 0;
    std::size_t last = 0;
    while (pos < text.size()) {
        last = pos;
        pos += gbkCharLength(text, pos);
    }
    if (!text.empty() && last + 1 == text.size() && isGbkLeadByte(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    return text;
}

}  // namespace

bool isUsableStructureCell(std::string_view cell) { return !holdsSeparator(cell) && !holdsLineBreak(cell); }

bool isUsableStartCell(std::string_view start) { return !start.empty() && isUsableStructureCell(start); }

std::vector<StructureRowText> parseStructureText(std::string_view typed) {
    // The grammar has no line breaks; a pasted text or a file written before
    // values were kept to one line may still hold them.
    const std::string text = removeLineBreaks(typed);
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
        const std::string start = cleanCell(row.start);
        const std::string count = cleanCell(row.count);
        // The short form is written exactly when the search would read the
        // count as 0, so dropping the increment never changes what is walked.
        // An empty start has no short form: a bare "]" is an empty piece,
        // which adds no row, and the structure would lose a level.
        // A memory row steps by its increment whatever its count, so only
        // the default step may be dropped.
        const bool keepsStep = isMemoryStartCell(start) && parseIncrementCell(cleanCell(row.increment)) != kDefaultMemoryStep;
        if (parseCountCell(count) != 0 || keepsStep) {
            text += start;
            text += '*';
            text += count;
            text += '*';
            text += cleanCell(row.increment);
        } else if (start.empty()) {
            text += "*0";
        } else {
            text += start;
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

StructureProblem structureFromTexts(std::span<const StructureRowText> rows, Structure& out) {
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (isModuleStartCell(rows[i].start)) return StructureProblem::ModuleInLaterRow;
        if (isMemoryStartCell(rows[i].start)) return StructureProblem::MemoryInLaterRow;
    }
    Structure structure;
    structure.rows = structureRowsFromTexts(rows);
    if (!rows.empty()) {
        const StartCell start = parseStartCell(rows[0].start);
        if (start.form == StartCell::Form::Invalid) return StructureProblem::BadModule;
        structure.module = start.module;
        structure.memory = start.form == StartCell::Form::Memory;
        structure.rows[0].startOffset = start.offset;
    }
    out = std::move(structure);
    return StructureProblem::None;
}

}  // namespace corvane
