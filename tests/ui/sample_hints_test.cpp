#include "tools/sample_target/sample_hints.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::sample {
namespace {

TEST(SampleHints, FirstLongOfEachObjectThroughTheRootTable) {
    EXPECT_EQ(objectFieldText(kPlaces64, 8, kIdOffset), L"110000000*8*8]0]");
    EXPECT_EQ(objectFieldText(kPlaces32, 4, kIdOffset), L"30000000*8*4]0]");
}

TEST(SampleHints, OffsetsAreUppercaseHexWithoutLeadingZeros) {
    EXPECT_EQ(objectFieldText(kPlaces64, 8, kUtf8Offset), L"110000000*8*8]C0]");
    EXPECT_EQ(objectFieldText(kPlaces64, 8, kHealthOffset), L"110000000*8*8]30]");
    EXPECT_EQ(hexText(0), L"0");
    EXPECT_EQ(hexText(0xFFFFFFFFFFFFFFFFull), L"FFFFFFFFFFFFFFFF");
}

TEST(SampleHints, EveryHintWalksTheRootTableWithThePointerWidth) {
    for (const unsigned width : {4u, 8u}) {
        const Places& places = width == 8 ? kPlaces64 : kPlaces32;
        const std::wstring root = rootRowText(places, width);
        const auto hints = searchHints(places, width);
        ASSERT_FALSE(hints.empty());
        for (const SearchHint& hint : hints) {
            EXPECT_EQ(hint.structureText.rfind(root, 0), 0u) << width << ": " << hint.structureText.size();
            EXPECT_EQ(hint.structureText.back(), L']');
            EXPECT_FALSE(hint.typeName.empty());
            EXPECT_FALSE(hint.finds.empty());
        }
    }
}

TEST(SampleHints, DataArrayIsReadThroughTheDataPointer) {
    bool found = false;
    for (const SearchHint& hint : searchHints(kPlaces64, 8))
        if (hint.structureText == L"110000000*8*8]8]0*16*4]") found = true;
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace corvane::sample
