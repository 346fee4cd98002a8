#include "engine/search/structure_row.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

struct StartCase {
    const char* text;
    std::int64_t expected;
};

TEST(StructureRowCells, StartOffsetIsHexadecimalUpToTheFirstOtherCharacter) {
    const StartCase cases[] = {
        {"1400A2B30", 0x1400A2B30},
        {"ff", 0xFF},
        {"FFFFFFFFFFFFFFFF", -1},   // exactly 64 bits: the top bit makes it negative
        {"1FFFFFFFFFFFFFFFF", -1},  // one digit too many wraps
        {"10xyz", 0x10},
        {"", 0},
        {"xyz", 0},
        {" 10", 0},  // no blanks are skipped
        {"7FFFFFFFFFFFFFFF", 0x7FFFFFFFFFFFFFFF},
    };
    for (const auto& c : cases) EXPECT_EQ(parseStartOffsetCell(c.text), c.expected) << c.text;
}

struct CountCase {
    const char* text;
    std::int32_t expected;
};

TEST(StructureRowCells, CountReadsBasesSignsAndWraps) {
    const CountCase cases[] = {
        {"10", 10},
        {"  3", 3},
        {"-1", -1},
        {"+7", 7},
        {"&H10", 16},
        {"&hff", 255},
        {"&O17", 15},
        {"&o17", 15},
        {"&17", 15},  // a lone & means octal
        {"&B101", 5},
        {"&HFFFFFFFF", -1},  // the unsigned 32-bit result taken as signed
        {"4294967296", 0},   // one past 32 bits wraps to 0
        {"2147483648", -2147483647 - 1},
        {"12abc", 12},
        {"", 0},
        {"abc", 0},
        {"&", 0},
        {"&H-10", -16},  // a sign after the prefix
        {"&O+10", 8},
        {"&B-11", -3},
        {"-&H10", 0},  // a sign before the prefix: the prefix is no digit
        {"+&O10", 0},
        {"-&B1", 0},
        {" -&10", 0},
        {"&8", 0},  // 8 is no octal digit
    };
    for (const auto& c : cases) EXPECT_EQ(parseCountCell(c.text), c.expected) << c.text;
}

TEST(StructureRowCells, IncrementIsTheCountSignExtended) {
    EXPECT_EQ(parseIncrementCell("-8"), -8);
    EXPECT_EQ(parseIncrementCell("&HFFFFFFF8"), -8);
    EXPECT_EQ(parseIncrementCell("&H7FFFFFFF"), 0x7FFFFFFF);
    EXPECT_EQ(parseIncrementCell("&H-8"), -8);
    EXPECT_EQ(parseIncrementCell("-&H8"), 0);
    const StructureRow row = structureRowFromCells("10", "5", "-8");
    EXPECT_EQ(row.startOffset, 0x10);
    EXPECT_EQ(row.count, 5);
    EXPECT_EQ(row.increment, -8);
}

}  // namespace
}  // namespace corvane
