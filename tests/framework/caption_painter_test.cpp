#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/caption_painter.h"
#include "framework/gdi_owners.h"

namespace corvane {
namespace {

constexpr DWORD kMainStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr int kComponentId = 106;

constexpr DWORD without(DWORD style, DWORD bits) { return style & ~bits; }

CaptionSettings mainWindowSettings() {
    CaptionSettings settings;
    settings.componentId = kComponentId;
    settings.topmostButton = true;
    return settings;
}

CaptionWindow windowOf(DWORD style, int inset = 0) { return {695, 485, style, inset != 0, inset}; }

struct HitCase {
    int x;
    int y;
    int expected;
};

void expectHits(const CaptionSettings& settings, const DpiScale& scale, const CaptionWindow& window,
                std::initializer_list<HitCase> cases) {
    for (const HitCase& c : cases) {
        EXPECT_EQ(captionHitTest(settings, scale, window, c.x, c.y), c.expected) << "at " << c.x << ", " << c.y;
    }
}

// 695 wide: the close slot spans 669..692, then 24 pixels a slot to the left.
TEST(CaptionHitTest, ButtonSlotsFromTheRight) {
    expectHits(mainWindowSettings(), {}, windowOf(kMainStyle),
               {{692, 12, HTRIGHT},
                {691, 12, kCaptionClose},
                {669, 12, kCaptionClose},
                {668, 12, kCaptionMaximize},
                {645, 12, kCaptionMaximize},
                {644, 12, kCaptionMinimize},
                {621, 12, kCaptionMinimize},
                {620, 12, kCaptionTopmost},
                {597, 12, kCaptionTopmost},
                {596, 12, HTCAPTION},
                {680, 3, kCaptionClose},
                {680, 23, kCaptionClose},
                {680, 24, HTCLIENT}});
}

TEST(CaptionHitTest, ASlotLessMovesTheNextButtonRight) {
    const CaptionSettings settings = mainWindowSettings();
    expectHits(
        settings, {}, windowOf(without(kMainStyle, WS_MINIMIZEBOX)),
        {{680, 12, kCaptionClose}, {650, 12, kCaptionMaximize}, {630, 12, kCaptionTopmost}, {610, 12, HTCAPTION}});
    expectHits(settings, {}, windowOf(without(kMainStyle, WS_MINIMIZEBOX | WS_MAXIMIZEBOX)),
               {{680, 12, kCaptionClose}, {650, 12, kCaptionTopmost}, {630, 12, HTCAPTION}});
}

TEST(CaptionHitTest, EveryButtonKindInItsOrder) {
    CaptionSettings settings = mainWindowSettings();
    settings.menuButton = true;
    settings.skinButton = true;
    settings.custom[0].glyph = L'a';
    settings.custom[3].glyph = L'b';
    const CaptionSlots slots = captionSlots(settings, kMainStyle);
    const std::vector<int> expected = {kCaptionClose,   kCaptionMaximize, kCaptionMinimize,    kCaptionMenu,
                                       kCaptionTopmost, kCaptionSkin,     kCaptionCustomFirst, kCaptionCustomFirst + 3};
    ASSERT_EQ(slots.count, static_cast<int>(expected.size()));
    for (int slot = 0; slot < slots.count; ++slot) {
        const int code = expected[static_cast<std::size_t>(slot)];
        EXPECT_EQ(slots.codes[static_cast<std::size_t>(slot)], code) << slot;
        EXPECT_EQ(captionHitTest(settings, {}, windowOf(kMainStyle), 680 - 24 * slot, 12), code) << slot;
    }
    EXPECT_EQ(captionHitTest(settings, {}, windowOf(kMainStyle), 680 - 24 * slots.count, 12), HTCAPTION);
}

TEST(CaptionHitTest, SizingBorderCornersAndEdges) {
    expectHits(mainWindowSettings(), {}, windowOf(kMainStyle),
               {// corners reach the corner metric (10) in both directions
                {0, 0, HTTOPLEFT},
                {9, 9, HTTOPLEFT},
                {694, 0, HTTOPRIGHT},
                {685, 9, HTTOPRIGHT},
                {0, 484, HTBOTTOMLEFT},
                {9, 475, HTBOTTOMLEFT},
                {694, 484, HTBOTTOMRIGHT},
                {685, 475, HTBOTTOMRIGHT},
                // beyond the corners the frames (3) size one edge
                {0, 100, HTLEFT},
                {2, 100, HTLEFT},
                {3, 100, HTCLIENT},
                {694, 100, HTRIGHT},
                {692, 100, HTRIGHT},
                {691, 100, HTCLIENT},
                {300, 484, HTBOTTOM},
                {300, 482, HTBOTTOM},
                {300, 481, HTCLIENT},
                {300, 0, HTTOP},
                {300, 2, HTTOP},
                {680, 2, HTTOP},
                {300, 3, HTCAPTION},
                {300, 23, HTCAPTION},
                {300, 24, HTCLIENT},
                // the system menu sits in the top-left 16 x 16 inside the frame
                {10, 12, HTSYSMENU},
                {18, 18, HTSYSMENU},
                {19, 12, HTCAPTION},
                {12, 19, HTCAPTION}});
}

TEST(CaptionHitTest, WithoutSizingBorderTheFrameIsPlainBorder) {
    expectHits(mainWindowSettings(), {}, windowOf(without(kMainStyle, WS_THICKFRAME)),
               {{0, 0, HTBORDER},
                {0, 100, HTBORDER},
                {694, 484, HTBORDER},
                {300, 484, HTBORDER},
                {300, 0, HTCAPTION},
                {680, 0, kCaptionClose},
                {5, 5, HTSYSMENU},
                {300, 24, HTCLIENT}});
}

TEST(CaptionHitTest, MaximisedButtonsMoveInByTheInset) {
    expectHits(mainWindowSettings(), {}, windowOf(kMainStyle, 6),
               {{687, 12, HTCAPTION},
                {686, 12, kCaptionClose},
                {663, 12, kCaptionClose},
                {662, 12, kCaptionMaximize},
                {24, 24, HTCLIENT},
                {24, 20, HTSYSMENU},
                {25, 12, HTCAPTION},
                {12, 25, HTCLIENT}});
}

TEST(CaptionHitTest, MetricsFollowTheDpi) {
    // At 144 dpi: caption 36, frames 5 (4.5 rounded away from zero), corner 15, slots of 36 from w - 35 - 5.
    const DpiScale at144 = scaleForDpi(144, 144);
    const CaptionWindow window{1043, 728, kMainStyle, false, 0};
    expectHits(mainWindowSettings(), at144, window,
               {{1003, 18, kCaptionClose},
                {1002, 18, kCaptionMaximize},
                {967, 18, kCaptionMaximize},
                {966, 18, kCaptionMinimize},
                {1038, 100, HTRIGHT},
                {1037, 100, HTCLIENT},
                {500, 35, HTCAPTION},
                {500, 36, HTCLIENT},
                {14, 14, HTTOPLEFT},
                {15, 14, HTSYSMENU}});
}

TEST(CaptionGeometry, ClientRectangleAndRegion) {
    const CaptionSettings settings = mainWindowSettings();
    const RECT client = captionClientRect({0, 0, 695, 485}, settings, {}, 0);
    EXPECT_EQ(client.left, 3);
    EXPECT_EQ(client.top, 24);
    EXPECT_EQ(client.right - client.left, 689);
    EXPECT_EQ(client.bottom - client.top, 458);
    const RECT maximised = captionClientRect({-6, -6, 1286, 1030}, settings, {}, 6);
    EXPECT_EQ(maximised.left, 3);
    EXPECT_EQ(maximised.top, 24);
    EXPECT_EQ(maximised.right, 1277);
    EXPECT_EQ(maximised.bottom, 1021);

    const SIZE restored = captionRegionSize(689, 458, false, settings, {});
    EXPECT_EQ(restored.cx, 696);
    EXPECT_EQ(restored.cy, 944);
    const SIZE zoomed = captionRegionSize(1268, 991, true, settings, {});
    EXPECT_EQ(zoomed.cx, 1278);
    EXPECT_EQ(zoomed.cy, 2 * 991 + 3 + 24 + 1 + 5);
}

struct ColorCase {
    int r, g, b;
    bool dark;
};

TEST(CaptionColors, DarknessRuleAtEachOfItsEdges) {
    const ColorCase cases[] = {
        {0, 84, 227, true},   {240, 240, 240, false}, {0, 200, 200, true},    {0, 201, 200, false}, {0, 210, 0, true},
        {0, 211, 0, false},   {250, 0, 200, true},    {251, 0, 200, false},   {250, 70, 0, true},   {250, 71, 0, false},
        {230, 90, 210, true}, {231, 89, 211, false},  {255, 255, 255, false}, {0, 0, 0, true},
    };
    for (const ColorCase& c : cases) EXPECT_EQ(isDarkColor(c.r, c.g, c.b), c.dark) << c.r << "," << c.g << "," << c.b;
    EXPECT_EQ(captionGlyphColor(RGB(0, 84, 227)), RGB(255, 255, 255));
    EXPECT_EQ(captionGlyphColor(RGB(240, 240, 240)), RGB(0, 0, 0));
}

TEST(CaptionColors, HoverColoursBlendByTheirAlpha) {
    EXPECT_EQ(blendOver(0xFF123456, RGB(9, 9, 9)), RGB(0x12, 0x34, 0x56));
    EXPECT_EQ(blendOver(0x00123456, RGB(9, 8, 7)), RGB(9, 8, 7));
    // Close's hover red at 0xA4 over the dark blue caption.
    EXPECT_EQ(blendOver(0xA4FF0000, RGB(0, 84, 227)), RGB(164, 30, 81));
}

// A real top-level window whose procedure gives every message to the painter
// after its own handling, as a form does.
struct Probe {
    CaptionPainter* painter = nullptr;
    std::vector<NMHDR> notices;
    std::vector<WPARAM> commands;
    std::vector<WPARAM> sysCommands;
    LRESULT noticeAnswer = 0;
    bool passSysCommands = true;
};
Probe* probe = nullptr;

LRESULT CALLBACK probeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (wParam == kComponentId) {
                probe->notices.push_back(*header);
                return probe->noticeAnswer;
            }
            break;
        }
        case WM_COMMAND: probe->commands.push_back(LOWORD(wParam)); return 0;
        case WM_SYSCOMMAND:
            probe->sysCommands.push_back(wParam & 0xFFF0);
            if (!probe->passSysCommands) return 0;
            break;
        default: break;
    }
    LRESULT result = 0;
    if (probe->painter && probe->painter->handleMessage(window, message, wParam, lParam, result)) return result;
    return DefWindowProcW(window, message, wParam, lParam);
}

class CaptionWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = probeProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"CorvaneCaptionTest";
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        RegisterClassW(&windowClass);
        probe = &probe_;
        probe_.painter = &painter_;
    }

    // Hidden unless asked: without a window manager every visible window
    // costs its test two seconds of waiting when it goes.
    void open(DWORD style = kMainStyle, bool visible = false) {
        window_ = CreateWindowExW(WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT, L"CorvaneCaptionTest", L"Caption test", style,
                                  100, 100, 695, 485, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window_, nullptr);
        if (visible) ShowWindow(window_, SW_SHOWNORMAL);
        pump();
    }

    void TearDown() override {
        if (IsWindow(window_)) DestroyWindow(window_);
        pump();
        probe = nullptr;
    }

    static void pump() {
        for (int round = 0; round < 3; ++round) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            Sleep(10);
        }
    }

    LPARAM screenPoint(int x, int y) const {
        RECT bounds{};
        GetWindowRect(window_, &bounds);
        return MAKELPARAM(static_cast<WORD>(bounds.left + x), static_cast<WORD>(bounds.top + y));
    }

    // What the system sends for the mouse at x, y of the window: a hit test, then the message with its code.
    WPARAM mouse(UINT message, int x, int y) {
        const LPARAM point = screenPoint(x, y);
        const auto hit = static_cast<WPARAM>(SendMessageW(window_, WM_NCHITTEST, 0, point));
        SendMessageW(window_, message, hit, point);
        return hit;
    }

    void click(int x, int y) {
        mouse(WM_NCMOUSEMOVE, x, y);
        mouse(WM_NCLBUTTONDOWN, x, y);
        mouse(WM_NCLBUTTONUP, x, y);
        pump();
    }

    // The x of slot `slot`'s middle, counted from the close button.
    int slotX(int slot) const {
        RECT bounds{};
        GetWindowRect(window_, &bounds);
        return bounds.right - bounds.left - 3 - 23 + 12 - 24 * slot;
    }

    bool topmost() const { return (GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

    Probe probe_;
    CaptionPainter painter_{mainWindowSettings()};
    HWND window_ = nullptr;
};

TEST_F(CaptionWindowTest, ClientAreaLosesFrameAndCaption) {
    open();
    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, 689);
    EXPECT_EQ(client.bottom, 458);
    RECT bounds{};
    GetWindowRect(window_, &bounds);
    POINT origin{0, 0};
    ClientToScreen(window_, &origin);
    EXPECT_EQ(origin.x - bounds.left, 3);
    EXPECT_EQ(origin.y - bounds.top, 24);
}

TEST_F(CaptionWindowTest, RegionRoundsOnlyTheTopCorners) {
    open();
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(window_, region), ERROR);
    EXPECT_FALSE(PtInRegion(region, 0, 0));
    EXPECT_FALSE(PtInRegion(region, 694, 0));
    EXPECT_TRUE(PtInRegion(region, 347, 0));
    EXPECT_TRUE(PtInRegion(region, 0, 484));
    EXPECT_TRUE(PtInRegion(region, 694, 484));
    DeleteObject(region);
}

TEST_F(CaptionWindowTest, CloseNotifiesThenClosesTheWindow) {
    open();
    click(slotX(0), 12);
    ASSERT_EQ(probe_.notices.size(), 1u);
    EXPECT_EQ(probe_.notices[0].code, 104u);
    EXPECT_EQ(probe_.notices[0].idFrom, static_cast<UINT_PTR>(kComponentId));
    EXPECT_EQ(probe_.notices[0].hwndFrom, window_);
    EXPECT_EQ(probe_.sysCommands, std::vector<WPARAM>{SC_CLOSE});
    EXPECT_FALSE(IsWindow(window_));
}

TEST_F(CaptionWindowTest, ANoticeAnsweredNonZeroKeepsTheDefaultAway) {
    open();
    probe_.noticeAnswer = 1;
    click(slotX(0), 12);
    click(slotX(3), 12);
    ASSERT_EQ(probe_.notices.size(), 2u);
    EXPECT_EQ(probe_.notices[1].code, 101u);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_TRUE(probe_.sysCommands.empty());
    EXPECT_FALSE(topmost());
}

TEST_F(CaptionWindowTest, ReleasingAwayFromThePressedButtonDoesNothing) {
    open();
    mouse(WM_NCMOUSEMOVE, slotX(0), 12);
    mouse(WM_NCLBUTTONDOWN, slotX(0), 12);
    EXPECT_EQ(painter_.hotCode(), kCaptionClose);
    EXPECT_TRUE(painter_.pressed());
    // Held, the button stays hot while the mouse crosses its neighbour.
    mouse(WM_NCMOUSEMOVE, slotX(1), 12);
    EXPECT_EQ(painter_.hotCode(), kCaptionClose);
    mouse(WM_NCLBUTTONUP, slotX(1), 12);
    pump();
    EXPECT_FALSE(painter_.pressed());
    EXPECT_EQ(painter_.hotCode(), 0);

    mouse(WM_NCLBUTTONDOWN, slotX(0), 12);
    mouse(WM_NCMOUSEMOVE, 300, 12);
    mouse(WM_NCLBUTTONUP, 300, 12);
    pump();
    EXPECT_TRUE(probe_.notices.empty());
    EXPECT_TRUE(probe_.sysCommands.empty());
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_FALSE(IsZoomed(window_));
}

TEST_F(CaptionWindowTest, TopmostButtonTogglesTheTopmostStyle) {
    open();
    ASSERT_FALSE(topmost());
    click(slotX(3), 12);
    EXPECT_TRUE(topmost());
    click(slotX(3), 12);
    EXPECT_FALSE(topmost());
    ASSERT_EQ(probe_.notices.size(), 2u);
    EXPECT_EQ(probe_.notices[0].code, 101u);
}

TEST_F(CaptionWindowTest, MaximiseRestoreAndMinimise) {
    open();
    // Without a window manager the system would undo a real maximise; the
    // commands themselves are what the buttons owe.
    probe_.passSysCommands = false;
    click(slotX(1), 12);
    click(slotX(2), 12);
    EXPECT_EQ(probe_.sysCommands, (std::vector<WPARAM>{SC_MAXIMIZE, SC_MINIMIZE}));

    SetWindowLongPtrW(window_, GWL_STYLE, static_cast<LONG_PTR>(kMainStyle | WS_MAXIMIZE));
    CaptionPainter::refreshFrame(window_);
    ASSERT_TRUE(IsZoomed(window_));
    // Maximised, the frame's off-screen part is cut from the client area as well.
    const int inset = maximizedInset(true);
    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, 689 - 2 * inset);
    EXPECT_EQ(client.bottom, 458 - 2 * inset);
    // The buttons moved in by the inset: one slot's width in from the plain position is restore.
    click(slotX(1) - inset, 12);
    EXPECT_EQ(probe_.sysCommands.back(), static_cast<WPARAM>(SC_RESTORE));
    ASSERT_EQ(probe_.notices.size(), 3u);
    EXPECT_EQ(probe_.notices[0].code, 102u);
    EXPECT_EQ(probe_.notices[1].code, 103u);
    EXPECT_EQ(probe_.notices[2].code, 102u);
}

TEST_F(CaptionWindowTest, CustomButtonsSendTheirCommand) {
    painter_.settings().custom[0] = {L'x', 0};
    painter_.settings().custom[2] = {L'y', 4242};
    open();
    click(slotX(4), 12);
    click(slotX(5), 12);
    ASSERT_EQ(probe_.notices.size(), 2u);
    EXPECT_EQ(probe_.notices[0].code, 0u);
    EXPECT_EQ(probe_.notices[1].code, 2u);
    EXPECT_EQ(probe_.commands, std::vector<WPARAM>{4242});
}

TEST_F(CaptionWindowTest, ButtonWithoutMinimiseBoxMovesRightOnTheWindow) {
    open(without(kMainStyle, WS_MINIMIZEBOX));
    click(slotX(2), 12);
    EXPECT_TRUE(topmost());
}

TEST_F(CaptionWindowTest, DoubleAndRightClicksOverButtonsStayWithThePainter) {
    open();
    const int fixed[] = {kCaptionClose, kCaptionMaximize, kCaptionMinimize,
                         kCaptionMenu,  kCaptionTopmost,  kCaptionSkin};
    for (const UINT message : {UINT{WM_NCLBUTTONDBLCLK}, UINT{WM_NCRBUTTONDOWN}, UINT{WM_NCRBUTTONUP}}) {
        LRESULT result = -1;
        for (const int code : fixed) {
            EXPECT_TRUE(
                painter_.handleMessage(window_, message, static_cast<WPARAM>(code), screenPoint(680, 12), result))
                << message << " " << code;
        }
        EXPECT_FALSE(painter_.handleMessage(window_, message, HTCAPTION, screenPoint(300, 12), result)) << message;
        EXPECT_FALSE(painter_.handleMessage(window_, message, kCaptionCustomFirst, screenPoint(300, 12), result))
            << message;
    }
    for (int slot = 0; slot < 3; ++slot) mouse(WM_NCLBUTTONDBLCLK, slotX(slot), 12);
    pump();
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_FALSE(IsZoomed(window_));
    EXPECT_FALSE(IsIconic(window_));
    EXPECT_TRUE(probe_.sysCommands.empty());
    EXPECT_TRUE(probe_.notices.empty());
}

TEST_F(CaptionWindowTest, HotButtonFollowsTheMouseAndTheTimerLetsGo) {
    open();
    mouse(WM_NCMOUSEMOVE, slotX(1), 12);
    EXPECT_EQ(painter_.hotCode(), kCaptionMaximize);
    EXPECT_TRUE(painter_.timerRunning());
    // Over the bare caption no button stays highlighted.
    mouse(WM_NCMOUSEMOVE, 300, 12);
    EXPECT_FALSE(isCaptionButton(painter_.hotCode()));

    mouse(WM_NCMOUSEMOVE, slotX(0), 12);
    RECT bounds{};
    GetWindowRect(window_, &bounds);
    LRESULT result = 0;
    SetCursorPos(bounds.left + slotX(0), bounds.top + 12);
    EXPECT_TRUE(painter_.handleMessage(window_, WM_TIMER, kCaptionTimerId, 0, result));
    EXPECT_TRUE(painter_.timerRunning());
    EXPECT_EQ(painter_.hotCode(), kCaptionClose);
    SetCursorPos(bounds.left + 300, bounds.top + 24);  // the first row below the caption
    EXPECT_TRUE(painter_.handleMessage(window_, WM_TIMER, kCaptionTimerId, 0, result));
    EXPECT_FALSE(painter_.timerRunning());
    EXPECT_EQ(painter_.hotCode(), 0);
    EXPECT_FALSE(painter_.handleMessage(window_, WM_TIMER, kCaptionTimerId + 1, 0, result));
    // Activation may go on: the painter answers WM_NCACTIVATE with TRUE.
    EXPECT_TRUE(painter_.handleMessage(window_, WM_NCACTIVATE, FALSE, 0, result));
    EXPECT_EQ(result, TRUE);
}

TEST_F(CaptionWindowTest, RepaintsFreeEveryHandleTheyMake) {
    open(kMainStyle, true);
    const int live = gdi::liveCount();
    const int created = gdi::createdCount();
    LRESULT result = 0;
    for (int round = 0; round < 200; ++round) {
        // Walk the states that draw differently: hover, pressed, inactive, topmost pin, restore glyph.
        mouse(WM_NCMOUSEMOVE, slotX(round % 4), 12);
        if (round % 3 == 0) mouse(WM_NCLBUTTONDOWN, slotX(round % 4), 12);
        painter_.handleMessage(window_, WM_NCACTIVATE, static_cast<WPARAM>(round % 2), 0, result);
        SendMessageW(window_, WM_NCPAINT, 1, 0);
        RedrawWindow(window_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
        if (round == 100) click(slotX(3), 12);
        if (round == 150) click(slotX(1), 12);
    }
    EXPECT_EQ(gdi::liveCount(), live);
    EXPECT_GT(gdi::createdCount() - created, 200 * 5);
    EXPECT_EQ(GetObjectType(gdi::lastFreed().load()), 0u);
}

class CaptionPixelTest : public CaptionWindowTest {
protected:
    // The window as the painter draws it, read back pixel by pixel.
    std::vector<COLORREF> render(bool active) {
        RECT bounds{};
        GetWindowRect(window_, &bounds);
        width_ = bounds.right - bounds.left;
        const int height = bounds.bottom - bounds.top;
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, width_, height);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        painter_.render(window_, dc, active);
        std::vector<COLORREF> pixels;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < width_; ++x) pixels.push_back(GetPixel(dc, x, y));
        }
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        return pixels;
    }
    COLORREF at(const std::vector<COLORREF>& pixels, int x, int y) const {
        return pixels[static_cast<std::size_t>(y * width_ + x)];
    }

    int width_ = 0;
};

TEST_F(CaptionPixelTest, GlyphsAreWhiteOnDarkAndBlackOnLight) {
    painter_.settings().activeColor = RGB(0, 84, 227);
    painter_.settings().inactiveColor = RGB(240, 240, 240);
    open();
    // Close's glyph box starts 19 + frame left of the right edge, 6 down; its diagonals cross at 5, 5.
    const int glyphX = 695 - 3 - 19 + 5;
    const std::vector<COLORREF> dark = render(true);
    EXPECT_EQ(at(dark, glyphX, 11), RGB(255, 255, 255));
    EXPECT_EQ(at(dark, 400, 12), RGB(0, 84, 227));
    const std::vector<COLORREF> light = render(false);
    EXPECT_EQ(at(light, glyphX, 11), RGB(0, 0, 0));
    EXPECT_EQ(at(light, 400, 12), RGB(240, 240, 240));

    mouse(WM_NCMOUSEMOVE, slotX(0), 12);
    const std::vector<COLORREF> hover = render(true);
    EXPECT_EQ(at(hover, glyphX - 4, 2), RGB(164, 30, 81));
    EXPECT_EQ(at(hover, glyphX, 11), RGB(255, 255, 255));
}

TEST_F(CaptionPixelTest, TitleEndsBeforeTheButtons) {
    painter_.settings().activeColor = RGB(0, 84, 227);
    open();
    // Text is smoothed, so anything off the caption colour counts as ink.
    const auto inkColumns = [this](const std::vector<COLORREF>& pixels, int from, int to) {
        int columns = 0;
        for (int x = from; x < to; ++x) {
            for (int y = 1; y < 23; ++y) {
                if (at(pixels, x, y) != RGB(0, 84, 227)) {
                    ++columns;
                    break;
                }
            }
        }
        return columns;
    };
    // Close, maximise, minimise and topmost leave the title x 3 to 597; the pin's box starts at 601.
    LRESULT result = 0;
    EXPECT_TRUE(painter_.handleMessage(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""), result));
    EXPECT_EQ(GetWindowTextLengthW(window_), 0);
    EXPECT_EQ(inkColumns(render(true), 8, 597), 0);  // left of 8 the rounded outline passes

    SetWindowTextW(window_, std::wstring(300, L'W').c_str());
    EXPECT_EQ(GetWindowTextLengthW(window_), 300);
    std::vector<COLORREF> pixels = render(true);
    EXPECT_GT(inkColumns(pixels, 400, 597), 100);
    EXPECT_EQ(inkColumns(pixels, 597, 601), 0);

    // The painter's own text stands in for the window's.
    painter_.settings().captionText = L"W";
    pixels = render(true);
    EXPECT_GT(inkColumns(pixels, 8, 30), 0);
    EXPECT_EQ(inkColumns(pixels, 40, 597), 0);
}

TEST_F(CaptionPixelTest, PinStandsWhenTopmostAndLiesOtherwise) {
    painter_.settings().activeColor = RGB(0, 84, 227);
    open();
    const int pinLeft = 695 - 3 - 19 - 3 * 24;
    const std::vector<COLORREF> lying = render(true);
    EXPECT_EQ(at(lying, pinLeft + 1, 6 + 6), RGB(255, 255, 255));  // needle to the left
    EXPECT_EQ(at(lying, pinLeft + 6, 6 + 10), RGB(0, 84, 227));
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    const std::vector<COLORREF> upright = render(true);
    EXPECT_EQ(at(upright, pinLeft + 1, 6 + 6), RGB(0, 84, 227));
    EXPECT_EQ(at(upright, pinLeft + 6, 6 + 10), RGB(255, 255, 255));  // needle down
}

TEST_F(CaptionPixelTest, PaintingReachesTheWindowButNotItsClientArea) {
    painter_.settings().activeColor = RGB(0, 84, 227);
    painter_.settings().inactiveColor = RGB(0, 84, 227);
    open(kMainStyle, true);
    HDC dc = GetWindowDC(window_);
    SetPixel(dc, 300, 100, RGB(1, 2, 3));
    SendMessageW(window_, WM_NCPAINT, 1, 0);
    EXPECT_EQ(GetPixel(dc, 400, 12), RGB(0, 84, 227));
    EXPECT_EQ(GetPixel(dc, 300, 100), RGB(1, 2, 3));
    ReleaseDC(window_, dc);
}

}  // namespace
}  // namespace corvane
