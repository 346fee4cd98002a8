#include <gtest/gtest.h>

#include "framework/anchor.h"
#include "framework/colors.h"
#include "framework/control_types.h"
#include "framework/fonts.h"
#include "framework/scaling.h"
#include "framework/window_text.h"

namespace corvane {
namespace {

TEST(Scaling, PositionsAndSizesFollowTheDpi) {
    const DpiScale at144 = scaleForDpi(144, 144);
    EXPECT_EQ(scaled(80, at144.x), 120);
    EXPECT_EQ(scaled(100, at144.x), 150);
    const DpiScale at192 = scaleForDpi(192, 192);
    EXPECT_EQ(scaled(695, at192.x), 1390);
    EXPECT_EQ(scaled(485, at192.y), 970);
    EXPECT_EQ(scaled(219, at192.x), 438);
    // The structure list's columns scale; the results list's stay in pixels.
    EXPECT_EQ(scaled(87, at192.x), 174);
    EXPECT_EQ(scaled(66, at192.x), 132);
    EXPECT_EQ(scaled(38, at192.x), 76);
    const DpiScale at96 = scaleForDpi(96, 96);
    EXPECT_EQ(scaled(473, at96.x), 473);
    EXPECT_EQ(scaled(1, scaleForDpi(120, 120).x), 1);  // 1.25 rounds to 1
    EXPECT_EQ(scaled(2, scaleForDpi(120, 120).x), 3);  // 2.5 rounds away from zero
    EXPECT_EQ(unscaled(150, at144.x), 100);
}

struct AnchorCase {
    AnchorCode code;
    Geometry expected;
};

TEST(Anchors, EveryCodeAfterTheClientGrowsBy100By50) {
    const Geometry g{10, 20, 100, 40};
    const AnchorMargins m = takeMargins(g, 400, 300);  // right 290, bottom 240, centre -190 / -130
    const AnchorCase cases[] = {
        {0, {10, 20, 100, 40}},    {1, {10, 20, 200, 40}},  {2, {110, 20, 100, 40}}, {3, {60, 20, 100, 40}},
        {4, {10, 20, 100, 90}},    {5, {10, 20, 200, 90}},  {6, {110, 20, 100, 90}}, {7, {10, 70, 100, 40}},
        {8, {10, 70, 200, 40}},    {9, {110, 70, 100, 40}}, {10, {60, 70, 100, 40}}, {11, {10, 155, 100, 40}},
        {12, {110, 155, 100, 40}}, {13, {60, 45, 100, 40}}, {99, {10, 20, 100, 40}},
    };
    for (const auto& c : cases) EXPECT_EQ(anchoredGeometry(c.code, g, m, 500, 350), c.expected) << c.code;
}

TEST(Anchors, StretchedSizesNeverGoBelowZero) {
    const Geometry g{10, 20, 100, 40};
    const AnchorMargins m = takeMargins(g, 400, 300);
    const Geometry shrunk = anchoredGeometry(5, g, m, 50, 60);
    EXPECT_EQ(shrunk.width, 0);
    EXPECT_EQ(shrunk.height, 0);
}

struct FontCase {
    const wchar_t* text;
    const wchar_t* face;
    int size;
    bool bold;
    bool italic;
};

TEST(FontSpecs, FieldsDefaultsAndBlanks) {
    const FontCase cases[] = {
        {L"Microsoft YaHei,9,0", L"Microsoft YaHei", 9, false, false},
        {L"SimSun,9", L"SimSun", 9, false, false},
        {L" Arial , 12 , 1 , 1 ", L"Arial", 12, true, true},
        {L"", L"SimSun", 9, false, false},
        {L",0", L"SimSun", 9, false, false},
        {L"Tahoma,x,2", L"Tahoma", 9, true, false},
    };
    for (const auto& c : cases) {
        const FontSpec spec = parseFontSpec(c.text);
        EXPECT_EQ(spec.face, c.face) << c.text;
        EXPECT_EQ(spec.size, c.size) << c.text;
        EXPECT_EQ(spec.bold, c.bold) << c.text;
        EXPECT_EQ(spec.italic, c.italic) << c.text;
    }
    EXPECT_EQ(fontHeight(9, 96, 96), -12);
    EXPECT_EQ(fontHeight(9, 144, 144), -18);
    EXPECT_EQ(fontHeight(12, 96, 96), -16);
}

TEST(FontSpecs, EachDistinctTextHasItsOwnHandle) {
    HFONT a = fontFromSpec(L"SimSun,9", 96, 96);
    HFONT b = fontFromSpec(L"SimSun,9,0", 96, 96);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(fontFromSpec(L"SimSun,9", 96, 96), a);
}

TEST(FontSpecs, TheSameTextAtAnotherDpiIsAnotherFontOfItsHeight) {
    struct Case {
        int dpi;
        int height;
    };
    const Case cases[] = {{96, -12}, {144, -18}, {120, -15}};
    for (const Case& c : cases) {
        HFONT font = fontFromSpec(L"SimSun,9", c.dpi, c.dpi);
        LOGFONTW logical{};
        ASSERT_NE(GetObjectW(font, sizeof logical, &logical), 0) << c.dpi;
        EXPECT_EQ(logical.lfHeight, c.height) << c.dpi;
        EXPECT_EQ(fontFromSpec(L"SimSun,9", c.dpi, c.dpi), font) << "kept for the run at " << c.dpi;
    }
    EXPECT_NE(fontFromSpec(L"SimSun,9", 96, 96), fontFromSpec(L"SimSun,9", 144, 144));
}

TEST(ControlTypes, NamesMapToSystemClassesWithoutRegardToCase) {
    EXPECT_EQ(systemClassFor(L"TEXTBOX"), L"Edit");
    EXPECT_EQ(systemClassFor(L"textbox"), L"Edit");
    EXPECT_EQ(systemClassFor(L"LISTVIEW"), L"SysListView32");
    EXPECT_EQ(systemClassFor(L"StatusBar"), L"msctls_statusbar32");
    EXPECT_EQ(systemClassFor(L"LABEL"), L"Static");
    EXPECT_EQ(systemClassFor(L"BUTTON"), L"Button");
    EXPECT_EQ(systemClassFor(L"COMBOBOX"), L"ComboBox");
    EXPECT_EQ(systemClassFor(L"RichEdit50W"), L"RichEdit50W");
    EXPECT_EQ(systemClassFor(L"MyOwnClass"), L"MyOwnClass");
    EXPECT_EQ(systemClassFor(L"BUTTONX"), L"BUTTONX");
}

TEST(ColorSpecs, PlainSystemAndDefault) {
    EXPECT_EQ(colorFromSpec(0x00F0F0F0, 0), 0xF0F0F0u);
    EXPECT_EQ(colorFromSpec(kColorWindow, 0), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(colorFromSpec(kColorButtonFace, 0), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(colorFromSpec(kColorDefault, 0x123456), 0x123456u);
    EXPECT_TRUE(isDefaultColor(kColorDefault));
    EXPECT_FALSE(isDefaultColor(kColorWindow));
    EXPECT_EQ(argbFromSpec(0x00332211, 0), 0xFF112233u);  // red and blue swapped
}

TEST(WindowText, CodePage936RoundTrip) {
    EXPECT_EQ(widen("\xC4\xE3\xBA\xC3"
                    "ABC"),
              L"你好ABC");
    EXPECT_EQ(narrow(L"你好ABC"),
              "\xC4\xE3\xBA\xC3"
              "ABC");
    EXPECT_EQ(widen(""), L"");
}

}  // namespace
}  // namespace corvane
