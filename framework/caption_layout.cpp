#include "framework/caption_layout.h"

namespace corvane {

CaptionMetrics captionMetrics(const CaptionSettings& settings, const DpiScale& scale) {
    CaptionMetrics metrics;
    metrics.factor = scale.y;
    metrics.caption = metrics.at(settings.captionHeight);
    metrics.frameWidth = metrics.at(settings.frameWidth);
    metrics.frameHeight = metrics.at(settings.frameHeight);
    metrics.corner = metrics.at(settings.cornerMetric);
    return metrics;
}

int maximizedInset(bool maximized) {
    return maximized ? GetSystemMetrics(SM_CXDLGFRAME) + GetSystemMetrics(SM_CYDLGFRAME) : 0;
}

CaptionSlots captionSlots(const CaptionSettings& settings, DWORD style) {
    CaptionSlots slots;
    const auto add = [&slots](int code) { slots.codes[static_cast<std::size_t>(slots.count++)] = code; };
    add(kCaptionClose);
    if (style & WS_MAXIMIZEBOX) add(kCaptionMaximize);
    if (style & WS_MINIMIZEBOX) add(kCaptionMinimize);
    if (settings.menuButton) add(kCaptionMenu);
    if (settings.topmostButton) add(kCaptionTopmost);
    if (settings.skinButton) add(kCaptionSkin);
    for (int n = 0; n < kCaptionCustomCount; ++n) {
        if (settings.custom[static_cast<std::size_t>(n)].glyph != 0) add(kCaptionCustomFirst + n);
    }
    return slots;
}

bool isFixedCaptionButton(int code) {
    switch (code) {
        case kCaptionClose:
        case kCaptionMaximize:
        case kCaptionMinimize:
        case kCaptionMenu:
        case kCaptionTopmost:
        case kCaptionSkin: return true;
        default: return false;
    }
}

bool isCaptionButton(int code) {
    return isFixedCaptionButton(code) ||
           (code >= kCaptionCustomFirst && code < kCaptionCustomFirst + kCaptionCustomCount);
}

namespace {

int sideFrameHit(bool sizable, int y, int height, int frameHeight, int top, int side, int bottom) {
    if (!sizable) return HTBORDER;
    if (y < frameHeight) return top;
    return y < height - frameHeight ? side : bottom;
}

int buttonHit(const CaptionSettings& settings, const CaptionMetrics& m, const CaptionWindow& window, int x) {
    const CaptionSlots slots = captionSlots(settings, window.style);
    const int first = window.width - m.at(23) - m.frameWidth - window.inset;
    for (int slot = 0; slot < slots.count; ++slot) {
        const int left = first - slot * m.at(24);
        if (x >= left && x < left + m.at(24)) return slots.codes[static_cast<std::size_t>(slot)];
    }
    return 0;
}

}  // namespace

int captionHitTest(const CaptionSettings& settings, const DpiScale& scale, const CaptionWindow& window, int x, int y) {
    const CaptionMetrics m = captionMetrics(settings, scale);
    const int w = window.width;
    const int h = window.height;
    const bool sizable = (window.style & WS_THICKFRAME) != 0;
    if (sizable) {
        const bool left = x < m.corner;
        const bool right = x >= w - m.corner;
        const bool top = y < m.corner;
        const bool bottom = y >= h - m.corner;
        if (left && top) return HTTOPLEFT;
        if (right && top) return HTTOPRIGHT;
        if (left && bottom) return HTBOTTOMLEFT;
        if (right && bottom) return HTBOTTOMRIGHT;
    }
    if (x < m.frameWidth) return sideFrameHit(sizable, y, h, m.frameHeight, HTTOPLEFT, HTLEFT, HTBOTTOMLEFT);
    if (x >= w - m.frameWidth) return sideFrameHit(sizable, y, h, m.frameHeight, HTTOPRIGHT, HTRIGHT, HTBOTTOMRIGHT);
    if (y >= h - m.frameHeight) return sizable ? HTBOTTOM : HTBORDER;
    if (y >= m.caption) return HTCLIENT;
    if (sizable && y < m.frameHeight) return HTTOP;
    if (const int button = buttonHit(settings, m, window, x); button != 0) return button;
    const int menuEdge = m.at(16) + window.inset;
    if (x < m.frameWidth + menuEdge && y < m.frameHeight + menuEdge) return HTSYSMENU;
    return HTCAPTION;
}

RECT captionClientRect(RECT proposed, const CaptionSettings& settings, const DpiScale& scale, int inset) {
    const CaptionMetrics m = captionMetrics(settings, scale);
    return {proposed.left + m.frameWidth + inset, proposed.top + m.caption + inset,
            proposed.right - m.frameWidth - inset, proposed.bottom - m.frameHeight - inset};
}

SIZE captionRegionSize(int clientWidth, int clientHeight, bool maximized, const CaptionSettings& settings,
                       const DpiScale& scale) {
    const CaptionMetrics m = captionMetrics(settings, scale);
    const int width = maximized ? clientWidth + 10 : clientWidth + 2 * m.frameWidth + 1;
    const int height = 2 * clientHeight + m.frameHeight + m.caption + 1 + (maximized ? 5 : 0);
    return {width, height};
}

RECT captionGlyphBox(int slot, const CaptionWindow& window, const CaptionMetrics& m) {
    const int left = window.width - m.frameWidth - m.at(19) - window.inset - slot * m.at(24);
    const int top = window.inset + m.at(6) - (m.at(24) - m.caption) / 2;
    return {left, top, left + m.at(12), top + m.at(12)};
}

RECT captionTitleRect(bool hasIcon, int slotCount, const CaptionWindow& window, const CaptionMetrics& m) {
    const int left = m.at(hasIcon ? 24 : 3) + window.inset;
    const int lastSlot = window.width - m.at(23) - m.frameWidth - window.inset - (slotCount - 1) * m.at(24);
    return {left, window.inset, lastSlot, window.inset + m.caption - 1};
}

bool isDarkColor(int r, int g, int b) {
    return g + b < 401 && r + b < 451 && g < 211 && r + g + b < 531 && r + g < 321;
}

COLORREF captionGlyphColor(COLORREF caption) {
    return isDarkColor(GetRValue(caption), GetGValue(caption), GetBValue(caption)) ? RGB(255, 255, 255) : RGB(0, 0, 0);
}

COLORREF blendOver(std::uint32_t argb, COLORREF background) {
    const std::uint32_t alpha = argb >> 24;
    const auto mix = [alpha](std::uint32_t over, std::uint32_t under) {
        return static_cast<BYTE>((over * alpha + under * (255 - alpha) + 127) / 255);
    };
    return RGB(mix((argb >> 16) & 0xFF, GetRValue(background)), mix((argb >> 8) & 0xFF, GetGValue(background)),
               mix(argb & 0xFF, GetBValue(background)));
}

CaptionButtonLook captionButtonLook(int code) {
    switch (code) {
        case kCaptionClose: return {104, 0xA4FF0000, 0xA45A0000};
        case kCaptionMaximize: return {102, 0x7400FF00, 0x74006400};
        case kCaptionMinimize: return {103, 0x7400D2EE, 0x74003CEE};
        case kCaptionMenu: return {106, 0xA8FFFF00, 0xA8A8A600};
        case kCaptionTopmost: return {101, 0x8AFF00FF, 0x8A8000FF};
        case kCaptionSkin: return {105, 0x400000FF, 0x8C0000FF};
        default: return {code - kCaptionCustomFirst, 0x9000FFFF, 0x7A00C6FF};
    }
}

}  // namespace corvane
