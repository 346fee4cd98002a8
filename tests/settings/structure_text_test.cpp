#include "settings/structure_text.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/search/structure_row.h"
#include "engine/target/module_lookup.h"
#include "tests/settings/structure_row_text_printer.h"

namespace corvane {
namespace {

using Rows = std::vector<StructureRowText>;

struct ParseCase {
    std::string_view text;
    Rows rows;
};

TEST(ParseStructureText, SplitsRowsAtBracketsAndPartsAtStars) {
    const ParseCase cases[] = {
        {"10]20*5]30*6*8*9]", {{"10", "0", "4"}, {"20", "5", "4"}, {"30", "6", "8"}}},
        {"10*5*8]", {{"10", "5", "8"}}},                     // exactly three parts
        {"10", {{"10", "0", "4"}}},                          // last piece without "]" still counts
        {"]10]]20]", {{"10", "0", "4"}, {"20", "0", "4"}}},  // empty pieces add no row
        {"10*]", {{"10", "", "4"}}},                         // a second part, though empty, is the count
        {"10**]", {{"10", "", ""}}},
        {"*5*8]", {{"", "5", "8"}}},
        {"a b*x]", {{"a b", "x", "4"}}},  // texts are kept as typed
    };
    for (const ParseCase& c : cases) EXPECT_EQ(parseStructureText(c.text), c.rows) << c.text;
}

TEST(ParseStructureText, TextWithoutPiecesGivesOneEmptyRow) {
    for (const std::string_view text : {"]]", "]", ""}) {
        EXPECT_EQ(parseStructureText(text), (Rows{{"", "0", "4"}})) << text;
    }
}

TEST(ParseStructureText, DoubleByteCharacterEndingInBracketIsNotSplit) {
    // 乚 is 81 5D in code page 936; its second byte is "]".
    EXPECT_EQ(parseStructureText("\x81\x5D"
                                 "*2]"),
              (Rows{{"\x81\x5D", "2", "4"}}));
}

struct RebuildCase {
    Rows rows;
    std::string_view text;
};

TEST(RebuildStructureText, ShortFormExactlyWhenTheCountReadsAsZero) {
    const RebuildCase cases[] = {
        {{{"10", "0", "8"}}, "10]"},
        {{{"10", "5", "8"}}, "10*5*8]"},
        {{{"10", "1", "8"}}, "10*1*8]"},
        {{{"10", "-1", "8"}}, "10*-1*8]"},
        {{{"10", "", "8"}}, "10]"},
        {{{"10", "abc", "8"}}, "10]"},
        {{{"10", "&H0", "8"}}, "10]"},
        {{{"10", "&H10", "8"}}, "10*&H10*8]"},
        {{{"10", "4294967296", "8"}}, "10]"},  // the search reads it as 0 after wrapping at 32 bits
        {{{"10", "0", "4"}, {"20", "3", "8"}, {"", "0", "4"}}, "10]20*3*8]*0]"},
        {{}, ""},
    };
    for (const RebuildCase& c : cases) EXPECT_EQ(rebuildStructureText(c.rows), c.text) << c.text;
}

TEST(ParseStructureText, LineBreaksAreDroppedWhereverTheyStand) {
    const ParseCase cases[] = {
        {"10]\r\n20]", {{"10", "0", "4"}, {"20", "0", "4"}}},
        {"\n10]20]\r", {{"10", "0", "4"}, {"20", "0", "4"}}},
        {"1\r\n0*\n5*8]", {{"10", "5", "8"}}},  // inside a cell it is no separator either
        {"10\r]", {{"10", "0", "4"}}},
        {"\r\n", {{"", "0", "4"}}},
        {"\n]\r]", {{"", "0", "4"}}},
    };
    for (const ParseCase& c : cases) EXPECT_EQ(parseStructureText(c.text), c.rows) << c.text;
}

TEST(RemoveLineBreaks, RemovesCrAndLfOnly) {
    EXPECT_EQ(removeLineBreaks("\r\na\rb\nc\r\n"), "abc");
    EXPECT_EQ(removeLineBreaks("\t a \x81\x5D"), "\t a \x81\x5D");
    EXPECT_EQ(removeLineBreaks(u"\r\n游\n戏\r"), u"游戏");
}

TEST(RebuildStructureText, RowsThatWouldVanishOrMergeKeepTheirPlace) {
    const RebuildCase cases[] = {
        // A bare "]" adds no row: an empty start needs the long form.
        {{{"", "0", "4"}}, "*0]"},
        {{{"10", "0", "4"}, {"", "0", "4"}, {"20", "0", "4"}}, "10]*0]20]"},
        {{{"", "", "8"}}, "*0]"},
        {{{"", "3", "8"}}, "*3*8]"},
        // 81 before "]" would read as the character 81 5D.
        {{{"10\x81", "0", "4"}, {"20", "0", "4"}}, "10]20]"},
        {{{"10", "2", "8\x81"}, {"20", "0", "4"}}, "10*2*8]20]"},
        {{{"\x81", "0", "4"}}, "*0]"},  // nothing left of the start
        // Whole characters stay, 81 5D included, and so does a lead byte
        // that a non-trail byte follows.
        {{{"\x81\x5D", "0", "4"}}, "\x81\x5D]"},
        {{{"\x81\x81\x81", "0", "4"}}, "\x81\x81]"},
        {{{"\x81"
           "1",
           "0", "4"}},
         "\x81"
         "1]"},
        // A lead byte before a line break that is dropped is left over too.
        {{{"10\x81\r\n", "0", "4"}, {"20", "0", "4"}}, "10]20]"},
        {{{"1\n0", "2\r", "8"}}, "10*2*8]"},
    };
    for (const RebuildCase& c : cases) EXPECT_EQ(rebuildStructureText(c.rows), c.text) << c.text;
}

struct CellCase {
    std::string_view cell;
    bool usable;
    bool usableStart;
};

TEST(StructureCells, SeparatorsLineBreaksAndEmptyStartsAreRefused) {
    const CellCase cases[] = {
        {"10", true, true},         {"1400A2B30", true, true}, {"\x81\x5D", true, true},  // 乚: its "]" is a trail byte
        {"\x81\x2A", false, false},  // 2A is no trail byte: a "*" of its own
        {" ", true, true},          {"", true, false},         {"1]0", false, false},
        {"1*0", false, false},      {"10\r\n", false, false},  {"\n", false, false},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(isUsableStructureCell(c.cell), c.usable) << c.cell;
        EXPECT_EQ(isUsableStartCell(c.cell), c.usableStart) << c.cell;
    }
}

// Cells made of the pieces a user types or a file holds: digits, hex, signs
// and "&" prefixes, blanks, double-byte characters (including those whose
// trail byte is "]" or a letter), lone lead bytes, and nothing at all.
std::string randomCell(std::mt19937& random) {
    static const std::string_view kPieces[] = {
        "0",        "1",        "7",    "10",   "A",        "f",          "FF",       "1400A2B30", "-",
        "-8",       "&H",       "&h1",  "&O7",  "&B1",      "&",          " ",        "x",         "\xD3\xCE",
        "\x81\x5D", "\x81\x41", "\x81", "\xFE", "\x81\x81", "4294967296", "\xA1\xA1", "z9",
    };
    for (;;) {
        std::string cell;
        const auto pieces = std::uniform_int_distribution<int>(0, 3)(random);
        for (int i = 0; i < pieces; ++i) {
            cell += kPieces[std::uniform_int_distribution<std::size_t>(0, std::size(kPieces) - 1)(random)];
        }
        // 81 followed by 81 5D leaves a "]" of its own: no cell the list can
        // carry through the text.
        if (isUsableStructureCell(cell)) return cell;
    }
}

// What the list holds after the text is parsed back: the canonical form.
StructureRowText canonical(StructureRowText row) {
    for (std::string* cell : {&row.start, &row.count, &row.increment}) {
        *cell = removeLineBreaks(*cell);
        std::size_t pos = 0;
        std::size_t last = 0;
        while (pos < cell->size()) {
            last = pos;
            // A lead byte followed by a trail byte is one character.
            const auto lead = static_cast<unsigned char>((*cell)[pos]);
            const bool pair = pos + 1 < cell->size() && lead >= 0x81 && lead <= 0xFE &&
                              static_cast<unsigned char>((*cell)[pos + 1]) >= 0x40 && (*cell)[pos + 1] != 0x7F;
            pos += pair ? 2 : 1;
        }
        const auto back = cell->empty() ? 0u : static_cast<unsigned char>(cell->back());
        if (!cell->empty() && last + 1 == cell->size() && back >= 0x81 && back <= 0xFE) cell->pop_back();
    }
    // Built anew rather than assigned to: GCC 12 at -O3 warns falsely about
    // assigning a literal to these strings (-Wrestrict).
    // A memory row's increment is its step whatever its count.
    const bool keepsStep = isMemoryStartCell(row.start) && parseIncrementCell(row.increment) != kDefaultMemoryStep;
    if (parseCountCell(row.count) == 0 && !keepsStep) return StructureRowText{row.start, "0", "4"};
    return row;
}

TEST(RebuildStructureText, ParsingWhatWasWrittenGivesTheRowsBack) {
    std::mt19937 random(20240611);
    int canonicalLists = 0;
    for (int round = 0; round < 5000; ++round) {
        Rows rows(std::uniform_int_distribution<std::size_t>(1, 6)(random));
        for (StructureRowText& row : rows) {
            row = {randomCell(random), randomCell(random), randomCell(random)};
            // Most counts read as numbers, as typed counts do.
            if (std::bernoulli_distribution(0.6)(random)) row.count = std::to_string(random() % 5);
            if (std::bernoulli_distribution(0.1)(random)) row.start.insert(row.start.size() / 2, "\r\n");
            // Now and then the memory word, whose step stays with a count of 0.
            if (std::bernoulli_distribution(0.05)(random)) row.start = random() % 2 ? "\xC4\xDA\xB4\xE6" : "MeMory";
        }
        Rows expected;
        for (const StructureRowText& row : rows) expected.push_back(canonical(row));
        // For canonical rows this is the identity; others come back canonical.
        const StructureText text = rebuildStructureText(rows);
        ASSERT_EQ(parseStructureText(text), expected) << text;
        if (expected == rows) ++canonicalLists;
    }
    // The generator must reach the canonical set often, or the identity is
    // not being tested.
    EXPECT_GT(canonicalLists, 200);
}

TEST(RebuildStructureText, ZeroCountRowLosesItsIncrementOnTheWayBack) {
    const Rows rows{{"10", "0", "8"}};
    EXPECT_EQ(parseStructureText(rebuildStructureText(rows)), (Rows{{"10", "0", "4"}}));
}

TEST(RebuildStructureText, RowsWithCountsSurviveTheRoundTrip) {
    const Rows rows{{"1400A2B30", "0", "4"}, {"10", "3", "8"}, {"-8", "&H2", "-4"}};
    EXPECT_EQ(parseStructureText(rebuildStructureText(rows)), rows);
}

TEST(StructureRowsFromTexts, CellsAreReadAsTheSearchReadsThem) {
    const Rows rows{{"1A", "&H10", "-8"}, {"", "0", "4"}};
    const std::vector<StructureRow> read = structureRowsFromTexts(rows);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].startOffset, 0x1A);
    EXPECT_EQ(read[0].count, 16);
    EXPECT_EQ(read[0].increment, -8);
    EXPECT_EQ(read[1].startOffset, 0);
    EXPECT_EQ(read[1].count, 0);
    EXPECT_EQ(read[1].increment, 4);
}

TEST(StructureFromTexts, ModuleFormInTheFirstRowOnly) {
    struct Case {
        const char* text;
        StructureProblem problem;
        const char* module;
        std::int64_t start;
    };
    const Case cases[] = {
        {"game.exe+1A2B0*3*8]10]8]", StructureProblem::None, "game.exe", 0x1A2B0},
        {"game.exe]0]", StructureProblem::None, "game.exe", 0},
        {"ENGINE.dll+10]", StructureProblem::None, "ENGINE.dll", 0x10},
        {"110000000*8*8]0]", StructureProblem::None, "", 0x110000000},
        {"10]game.exe+8]", StructureProblem::ModuleInLaterRow, "", 0},
        {"game.exe+10]other.dll]", StructureProblem::ModuleInLaterRow, "", 0},
        {"game.exe+]", StructureProblem::BadModule, "", 0},
        {"+10]0]", StructureProblem::BadModule, "", 0},
        // libstdc++.so.6: the name ends at the last "+".
        {"a+b+10]", StructureProblem::None, "a+b", 0x10},
        {"10]\xC4\xDA\xB4\xE6]", StructureProblem::MemoryInLaterRow, "", 0},
        {"memory*0*8]Memory]", StructureProblem::MemoryInLaterRow, "", 0},
        {"\xC4\xDA\xB4\xE6+10]0]", StructureProblem::None, "\xC4\xDA\xB4\xE6", 0x10},
    };
    for (const Case& c : cases) {
        Structure structure{"before", {}, false};
        const Rows rows = parseStructureText(c.text);
        EXPECT_EQ(structureFromTexts(rows, structure), c.problem) << c.text;
        if (c.problem != StructureProblem::None) {
            EXPECT_EQ(structure.module, "before") << "a refused structure leaves the old one: " << c.text;
            continue;
        }
        EXPECT_EQ(structure.module, c.module) << c.text;
        ASSERT_EQ(structure.rows.size(), rows.size()) << c.text;
        EXPECT_EQ(structure.rows[0].startOffset, c.start) << c.text;
        // Apart from row 0's start the rows read as ever.
        const std::vector<StructureRow> plain = structureRowsFromTexts(rows);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(structure.rows[i].count, plain[i].count) << c.text;
            EXPECT_EQ(structure.rows[i].increment, plain[i].increment) << c.text;
            if (i > 0) {
                EXPECT_EQ(structure.rows[i].startOffset, plain[i].startOffset) << c.text;
            }
        }
        if (*c.module == '\0') {
            EXPECT_EQ(structure.rows[0].startOffset, plain[0].startOffset) << c.text;
        }
    }
}

TEST(StructureFromTexts, TheModuleFormSurvivesTheTextRoundTrip) {
    for (const char* text : {"game.exe+1A2B0*3*8]10]8]", "game.exe]", "\xD3\xCE\xCF\xB7.exe+10*2*4]0]"}) {
        const Rows rows = parseStructureText(text);
        EXPECT_EQ(rebuildStructureText(rows), text);
        EXPECT_EQ(parseStructureText(rebuildStructureText(rows)), rows);
    }
}

TEST(StructureFromTexts, TheMemoryWordStartsOnlyTheFirstRow) {
    struct Case {
        const char* text;
        std::size_t rows;
        std::int64_t step;  // row 0's increment
    };
    const Case cases[] = {
        {"\xC4\xDA\xB4\xE6]", 1, 4},        {"memory*0*8]", 1, 8},      {"MEMORY*0*1]", 1, 1},
        {"\xC4\xDA\xB4\xE6*0*8]10]", 2, 8}, {"memory*5*2]10]8]", 3, 2},
    };
    for (const Case& c : cases) {
        Structure structure;
        ASSERT_EQ(structureFromTexts(parseStructureText(c.text), structure), StructureProblem::None) << c.text;
        EXPECT_TRUE(structure.memory) << c.text;
        EXPECT_EQ(structure.module, "") << c.text;
        ASSERT_EQ(structure.rows.size(), c.rows) << c.text;
        EXPECT_EQ(structure.rows[0].increment, c.step) << c.text;
    }
    // Offsets and modules are no memory rows.
    for (const char* text : {"0]", "memory.dll+10]", "1A2B0*3*8]10]"}) {
        Structure structure;
        ASSERT_EQ(structureFromTexts(parseStructureText(text), structure), StructureProblem::None) << text;
        EXPECT_FALSE(structure.memory) << text;
    }
}

TEST(RebuildStructureText, AMemoryRowKeepsItsStepWithACountOfZero) {
    struct Case {
        Rows rows;
        const char* text;
    };
    const Case cases[] = {
        {{{"\xC4\xDA\xB4\xE6", "0", "4"}}, "\xC4\xDA\xB4\xE6]"},
        {{{"\xC4\xDA\xB4\xE6", "0", "8"}, {"10", "0", "4"}}, "\xC4\xDA\xB4\xE6*0*8]10]"},
        {{{"memory", "0", "1"}}, "memory*0*1]"},
        {{{"Memory", "3", "2"}}, "Memory*3*2]"},
    };
    for (const Case& c : cases) {
        const StructureText text = rebuildStructureText(c.rows);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(parseStructureText(text), c.rows) << text;
        Structure fromRows;
        Structure fromText;
        ASSERT_EQ(structureFromTexts(c.rows, fromRows), StructureProblem::None) << text;
        ASSERT_EQ(structureFromTexts(parseStructureText(text), fromText), StructureProblem::None) << text;
        EXPECT_EQ(fromText.memory, fromRows.memory) << text;
        EXPECT_EQ(fromText.rows[0].increment, fromRows.rows[0].increment) << text;
    }
}

}  // namespace
}  // namespace corvane
