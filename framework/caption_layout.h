#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "framework/colors.h"
#include "framework/scaling.h"

namespace corvane {

// Caption button codes; they double as the hit-test results for the buttons,
// so the system's own codes for close, maximise and minimise are kept.
inline constexpr int kCaptionClose = HTCLOSE;         // 20
inline constexpr int kCaptionMaximize = HTMAXBUTTON;  // 9
inline constexpr int kCaptionMinimize = HTMINBUTTON;  // 8
inline constexpr int kCaptionMenu = 103;
inline constexpr int kCaptionTopmost = 101;
inline constexpr int kCaptionSkin = 102;
inline constexpr int kCaptionCustomFirst = 110;  // custom button n is 110 + n
inline constexpr int kCaptionCustomCount = 10;

struct CaptionCustomButton {
    wchar_t glyph = 0;  // a character of the "ICONFONT" font; 0 hides the button
    int commandId = 0;  // sent as WM_COMMAND on a click; 0 sends nothing
};

// Lengths are in 96-dpi units; colours may name system colours.
struct CaptionSettings {
    int componentId = 0;  // NMHDR id and WM_NOTIFY wParam of the notices
    int captionHeight = 24;
    int frameWidth = 3;   // left and right
    int frameHeight = 3;  // bottom
    int cornerMetric = 10;
    ColorSpec activeColor = 0x027F7F7F;    // COLOR_ACTIVECAPTION
    ColorSpec inactiveColor = 0x037F7F7F;  // COLOR_INACTIVECAPTION
    bool menuButton = false;
    bool topmostButton = false;
    bool skinButton = false;
    std::array<CaptionCustomButton, kCaptionCustomCount> custom{};
    std::wstring captionText;  // empty: the window's text
};

// The settings' lengths in device pixels. Everything follows the vertical
// factor, so the buttons stay square on screens with uneven factors.
struct CaptionMetrics {
    double factor = 1.0;
    int caption = 24;
    int frameWidth = 3;
    int frameHeight = 3;
    int corner = 10;
    int at(int logical) const { return scaled(logical, factor); }
};
CaptionMetrics captionMetrics(const CaptionSettings& settings, const DpiScale& scale);

// What the painter needs to know of its window for layout and hit tests.
struct CaptionWindow {
    int width = 0;  // outer size, device pixels
    int height = 0;
    DWORD style = 0;         // WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX count
    bool maximized = false;  // then `inset` is the part of the frame off screen
    int inset = 0;
};
// SM_CXDLGFRAME + SM_CYDLGFRAME for a maximised window, else 0.
int maximizedInset(bool maximized);

// The shown buttons from the right: slot 0 is always close.
struct CaptionSlots {
    std::array<int, 6 + kCaptionCustomCount> codes{};
    int count = 0;
};
CaptionSlots captionSlots(const CaptionSettings& settings, DWORD style);

bool isFixedCaptionButton(int code);  // close, maximise, minimise, menu, topmost, skin
bool isCaptionButton(int code);       // those and the custom buttons

// The WM_NCHITTEST answer for `x`, `y` relative to the window's top-left corner.
int captionHitTest(const CaptionSettings& settings, const DpiScale& scale, const CaptionWindow& window, int x, int y);

// The client rectangle left of `proposed` (the window rectangle) by the frame and caption.
RECT captionClientRect(RECT proposed, const CaptionSettings& settings, const DpiScale& scale, int inset);

// The rounded window region's size for a client area of `clientWidth` x
// `clientHeight`; its doubled height leaves the lower corners off the window.
SIZE captionRegionSize(int clientWidth, int clientHeight, bool maximized, const CaptionSettings& settings,
                       const DpiScale& scale);

// The 12 x 12 glyph box of the button in `slot`, in window coordinates.
RECT captionGlyphBox(int slot, const CaptionWindow& window, const CaptionMetrics& metrics);
// Where the title goes: after the icon, up to the leftmost button slot.
RECT captionTitleRect(bool hasIcon, int slotCount, const CaptionWindow& window, const CaptionMetrics& metrics);

// Glyphs and title are white on a dark caption, black on a light one.
bool isDarkColor(int r, int g, int b);
COLORREF captionGlyphColor(COLORREF caption);
// An 0xAARRGGBB colour laid over `background` by its alpha.
COLORREF blendOver(std::uint32_t argb, COLORREF background);

struct CaptionButtonLook {
    int noticeCode = 0;
    std::uint32_t hover = 0;  // ARGB
    std::uint32_t pressed = 0;
};
CaptionButtonLook captionButtonLook(int code);

}  // namespace corvane
