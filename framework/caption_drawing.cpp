// The look of the caption: background, outline, icon, title and button glyphs.
#include <algorithm>
#include <string>

#include "framework/caption_painter.h"
#include "framework/gdi_owners.h"
#include "framework/fonts.h"

namespace corvane {
namespace {

void fill(HDC dc, const RECT& rect, COLORREF color) {
    gdi::Brush brush(CreateSolidBrush(color));
    FillRect(dc, &rect, brush.get());
}

// Draws on a glyph box in 12 x 12 units, ends of lines included.
class GlyphPen {
public:
    GlyphPen(HDC dc, const RECT& box, const CaptionMetrics& metrics, COLORREF ink)
        : dc_(dc),
          box_(box),
          metrics_(metrics),
          ink_(ink),
          pen_(CreatePen(PS_SOLID, std::max(1, metrics.at(1)), ink)),
          selected_(dc, pen_.get()) {}

    POINT at(int x, int y) const { return {box_.left + metrics_.at(x), box_.top + metrics_.at(y)}; }

    void line(POINT from, POINT to) const {
        // LineTo leaves out the last pixel; one more step in the line's direction puts it in.
        const int stepX = (to.x > from.x) - (to.x < from.x);
        const int stepY = (to.y > from.y) - (to.y < from.y);
        MoveToEx(dc_, from.x, from.y, nullptr);
        LineTo(dc_, to.x + stepX, to.y + stepY);
    }
    void line(int x1, int y1, int x2, int y2) const { line(at(x1, y1), at(x2, y2)); }

    void square(int left, int top, int right, int bottom) const {
        line(left, top, right, top);
        line(right, top, right, bottom);
        line(right, bottom, left, bottom);
        line(left, bottom, left, top);
    }
    void block(int left, int top, int right, int bottom, COLORREF color) const {
        const POINT from = at(left, top);
        const POINT to = at(right + 1, bottom + 1);
        fill(dc_, RECT{from.x, from.y, to.x, to.y}, color);
    }
    void block(int left, int top, int right, int bottom) const { block(left, top, right, bottom, ink_); }

private:
    HDC dc_;
    RECT box_;
    CaptionMetrics metrics_;
    COLORREF ink_;
    gdi::Pen pen_;
    gdi::Selection selected_;
};

// A pin from above when upright; lying, it points its needle to the left.
void drawPin(const GlyphPen& pen, bool upright) {
    const auto turn = [&pen, upright](int x, int y) { return upright ? pen.at(x, y) : pen.at(11 - y, x); };
    const auto segment = [&](int x1, int y1, int x2, int y2) { pen.line(turn(x1, y1), turn(x2, y2)); };
    segment(4, 0, 8, 0);
    segment(8, 0, 8, 5);
    segment(8, 5, 4, 5);
    segment(4, 5, 4, 0);
    segment(2, 6, 10, 6);
    segment(6, 7, 6, 11);
}

struct GlyphContext {
    HDC dc;
    RECT box;
    CaptionMetrics metrics;
    COLORREF ink;
    COLORREF under;  // what the glyph sits on
    bool maximized;
    bool topmost;
};

void drawCustomGlyph(const GlyphContext& g, wchar_t glyph, const DpiScale& scale) {
    HFONT font = fontFromSpec(L"ICONFONT,12", scale.dpiX, scale.dpiY);
    gdi::Selection selected(g.dc, font);
    const int margin = g.metrics.at(6);
    RECT square{g.box.left - margin, g.box.top - margin, g.box.right + margin, g.box.bottom + margin};
    SetTextColor(g.dc, g.ink);
    SetBkMode(g.dc, TRANSPARENT);
    DrawTextW(g.dc, &glyph, 1, &square, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void drawGlyph(const GlyphContext& g, int code) {
    const GlyphPen pen(g.dc, g.box, g.metrics, g.ink);
    switch (code) {
        case kCaptionClose:
            pen.line(0, 0, 10, 10);
            pen.line(10, 0, 0, 10);
            break;
        case kCaptionMaximize:
            if (!g.maximized) {
                pen.square(0, 0, 11, 11);
                break;
            }
            pen.square(2, 0, 11, 9);
            pen.block(0, 2, 9, 11, g.under);  // the front window hides the back one
            pen.square(0, 2, 9, 11);
            break;
        case kCaptionMinimize: pen.line(0, 8, 10, 8); break;
        case kCaptionMenu:
            for (int row = 1; row <= 11; row += 5) {
                pen.block(0, row - 1, 1, row);
                pen.line(3, row, 10, row);
            }
            break;
        case kCaptionTopmost: drawPin(pen, g.topmost); break;
        case kCaptionSkin:
            pen.block(0, 0, 4, 4);
            pen.block(7, 0, 11, 4);
            pen.block(0, 7, 4, 11);
            pen.square(7, 7, 11, 11);
            break;
        default: break;
    }
}

COLORREF darkened(COLORREF color) {
    return RGB(GetRValue(color) * 7 / 10, GetGValue(color) * 7 / 10, GetBValue(color) * 7 / 10);
}

void drawOutline(HDC dc, int width, int height, int corner, int step, COLORREF caption) {
    gdi::Selection hollow(dc, GetStockObject(NULL_BRUSH));
    {
        gdi::Pen grey(CreatePen(PS_SOLID, 1, RGB(0x7C, 0x7C, 0x7C)));
        gdi::Selection selected(dc, grey.get());
        RoundRect(dc, 0, 0, width, height, corner, corner);
    }
    gdi::Pen shade(CreatePen(PS_SOLID, 1, darkened(caption)));
    gdi::Selection selected(dc, shade.get());
    RoundRect(dc, 0, 0, width, height, corner + 2 * step, corner + 2 * step);
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

void CaptionPainter::render(HWND window, HDC dc, bool active) const {
    const CaptionWindow state = windowState(window);
    const CaptionMetrics m = captionMetrics(settings_, scale_);
    const COLORREF caption = colorFromSpec(active ? settings_.activeColor : settings_.inactiveColor,
                                           GetSysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
    const COLORREF ink = captionGlyphColor(caption);
    fill(dc, RECT{0, 0, state.width, state.height}, caption);

    const auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
    if (icon) {
        DrawIconEx(dc, m.frameWidth + state.inset + m.at(2), state.inset + m.caption - m.at(18), icon, m.at(16),
                   m.at(16), 0, nullptr, DI_NORMAL);
    }
    // The radius is half the corner metric; RoundRect takes the diameter.
    drawOutline(dc, state.width, state.height, m.corner, m.at(1), caption);

    const CaptionSlots slots = captionSlots(settings_, state.style);
    const bool topmost = (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    for (int slot = 0; slot < slots.count; ++slot) {
        const int code = slots.codes[static_cast<std::size_t>(slot)];
        GlyphContext g{dc, captionGlyphBox(slot, state, m), m, ink, caption, state.maximized, topmost};
        if (code == hot_) {
            const CaptionButtonLook look = captionButtonLook(code);
            g.under = blendOver(pressed_ ? look.pressed : look.hover, caption);
            const int margin = m.at(6);
            fill(dc,
                 RECT{g.box.left - margin, g.box.top - margin, g.box.left - margin + m.at(24),
                      g.box.top - margin + m.at(24)},
                 g.under);
            if (pressed_) OffsetRect(&g.box, 0, m.at(1));
        }
        if (code >= kCaptionCustomFirst) {
            drawCustomGlyph(g, settings_.custom[static_cast<std::size_t>(code - kCaptionCustomFirst)].glyph, scale_);
        } else {
            drawGlyph(g, code);
        }
    }

    const std::wstring title = settings_.captionText.empty() ? windowText(window) : settings_.captionText;
    RECT titleRect = captionTitleRect(icon != nullptr, slots.count, state, m);
    gdi::Selection font(dc, fontFromSpec(L"Microsoft YaHei,9", scale_.dpiX, scale_.dpiY));
    SetTextColor(dc, ink);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &titleRect,
              DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX | DT_LEFT);
}

}  // namespace corvane
