#include "settings/structure_text.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

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
        {{{"10", "0", "4"}, {"20", "3", "8"}, {"", "0", "4"}}, "10]20*3*8]]"},
        {{}, ""},
    };
    for (const RebuildCase& c : cases) EXPECT_EQ(rebuildStructureText(c.rows), c.text) << c.text;
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

}  // namespace
}  // namespace corvane
