#include "ui/wait_indicator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace corvane {
namespace {

TEST(AdvanceDotAngle, SpeedDependsOnWhereTheDotIs) {
    struct Case {
        int from;
        int to;
    };
    const Case cases[] = {
        {0, 4},     {105, 109}, {109, 113},  // fast up to 109
        {110, 113}, {249, 252},              // slower from 110
        {250, 251}, {299, 300},              // slowest from 250
        {300, 305}, {355, 360},              // fastest from 300; exactly 360 stays
        {356, 1},   {358, 3},   {360, 5},    // past 360 wraps round
    };
    for (const Case& c : cases) EXPECT_EQ(advanceDotAngle(c.from), c.to) << "from " << c.from;
}

TEST(AdvanceDotAngle, EveryDotKeepsCirclingWithinOneTurn) {
    for (const int start : kDotStartAngles) {
        int angle = start;
        int wraps = 0;
        for (int frame = 0; frame < 2000; ++frame) {
            const int next = advanceDotAngle(angle);
            if (next < angle) ++wraps;
            angle = next;
            ASSERT_GE(angle, 1) << "start " << start << " frame " << frame;
            ASSERT_LE(angle, 360) << "start " << start << " frame " << frame;
        }
        // One turn takes 110/4 + 140/3 + 50 + 60/5 frames, about 137.
        EXPECT_GE(wraps, 13) << "start " << start;
        EXPECT_LE(wraps, 15) << "start " << start;
    }
}

TEST(DotCentre, CirclesClockwiseOnScreenAroundTheBoxCentre) {
    struct Case {
        int angle;
        LogicalPoint centre;
    };
    // Angles whose products do not land on a half, so rounding is unambiguous.
    const Case cases[] = {
        {0, {115, 60}}, {90, {60, 115}}, {180, {5, 60}},   {270, {60, 5}}, {360, {115, 60}},
        {45, {99, 99}}, {50, {95, 102}}, {100, {50, 114}}, {200, {8, 41}}, {250, {41, 8}},
    };
    for (const Case& c : cases) EXPECT_EQ(dotCentre(c.angle), c.centre) << "angle " << c.angle;
}

TEST(DotRectangle, TwelveWideFromFiveBeforeTheCentre) {
    EXPECT_EQ(dotRectangle(0), (PixelRect{110, 55, 12, 12}));
    EXPECT_EQ(dotRectangle(270), (PixelRect{55, 0, 12, 12}));
}

TEST(ScaleLogicalRect, ScalesEachPartAndRoundsToNearest) {
    struct Case {
        double scaleX;
        double scaleY;
        PixelRect expected;
    };
    const PixelRect line{10, 23, 100, 25};
    const Case cases[] = {
        {1.0, 1.0, {10, 23, 100, 25}},
        {2.0, 2.0, {20, 46, 200, 50}},
        {1.25, 1.25, {13, 29, 125, 31}},  // 12.5 and 28.75 and 31.25
        {1.5, 1.0, {15, 23, 150, 25}},    // the two directions scale apart
    };
    for (const Case& c : cases)
        EXPECT_EQ(scaleLogicalRect(line, c.scaleX, c.scaleY), c.expected) << c.scaleX << " x " << c.scaleY;
}

TEST(WaitBoxPlacement, CentredAcrossAndTwentyAboveTheMiddle) {
    struct Case {
        int width;
        int height;
        double scaleX;
        double scaleY;
        PixelRect expected;
    };
    const double dpi100 = 100.0 / 96.0;
    const Case cases[] = {
        {282, 260, 1.0, 1.0, {81, 50, 120, 120}},
        // Odd sizes: the halves are whole pixels before the offsets come off.
        {283, 261, 1.0, 1.0, {81, 50, 120, 120}},
        {564, 520, 2.0, 2.0, {162, 100, 240, 240}},
        {352, 325, 1.25, 1.25, {101, 62, 150, 150}},
        // 150 - 62.5 rounds up; 130 - 83.33 to 47.
        {300, 260, dpi100, dpi100, {88, 47, 125, 125}},
        // A window smaller than the box puts the box partly outside it.
        {50, 50, 1.0, 1.0, {-35, -55, 120, 120}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(waitBoxPlacement(c.width, c.height, c.scaleX, c.scaleY), c.expected)
            << c.width << " x " << c.height << " at " << c.scaleX;
}

TEST(StatusTotalText, UnsignedDecimal) {
    struct Case {
        std::uint64_t total;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0, L"0"},
        {1, L"1"},
        {50, L"50"},
        {std::uint64_t{1} << 63, L"9223372036854775808"},
        {std::numeric_limits<std::uint64_t>::max(), L"18446744073709551615"},
    };
    for (const Case& c : cases) EXPECT_EQ(statusTotalText(c.total), c.text);
}

TEST(ElapsedText, MillisecondsWithoutSpace) {
    EXPECT_EQ(elapsedText(0), L"0ms");
    EXPECT_EQ(elapsedText(1234), L"1234ms");
    EXPECT_EQ(elapsedText(std::numeric_limits<std::uint32_t>::max()), L"4294967295ms");
}

}  // namespace
}  // namespace corvane
