#pragma once

#include <windows.h>

#include "framework/caption_layout.h"
#include "framework/scaling.h"

namespace corvane {

inline constexpr UINT_PTR kCaptionTimerId = 9999;

// Takes over a top-level window's non-client area: sizes it, answers hit
// tests, draws caption, frame and caption buttons and runs the buttons. It
// has no window of its own; the window's procedure hands it every message
// after its own handlers, from WM_NCCREATE on, so that the first
// WM_NCCALCSIZE already sees the painter's frame.
class CaptionPainter {
public:
    CaptionPainter() = default;
    explicit CaptionPainter(CaptionSettings settings, DpiScale scale = {});

    const CaptionSettings& settings() const { return settings_; }
    // After a change of buttons or metrics call refreshFrame (metrics) or redraw.
    CaptionSettings& settings() { return settings_; }
    const DpiScale& scale() const { return scale_; }
    void setScale(const DpiScale& scale) { scale_ = scale; }

    // True when the message was handled; the window procedure then returns `result`.
    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Draws the non-client area of `window` now, as active or inactive.
    void redraw(HWND window, bool active);
    void redraw(HWND window) { redraw(window, active_); }
    // Has the system ask for the non-client size again.
    static void refreshFrame(HWND window);
    // The whole window as drawn, client area included, into `dc` at (0, 0).
    void render(HWND window, HDC dc, bool active) const;

    int hotCode() const { return hot_; }
    bool pressed() const { return pressed_; }
    bool timerRunning() const { return timerRunning_; }

private:
    CaptionWindow windowState(HWND window) const;
    int hitTest(HWND window, LPARAM screenPoint) const;
    bool onNcHitTest(HWND window, LPARAM lParam, LRESULT& result);
    void onMouseMove(HWND window, int hit);
    bool onButtonDown(HWND window, int hit);
    void onButtonUp(HWND window, int hit);
    void onTimer(HWND window);
    void onSize(HWND window, WPARAM kind, LPARAM size);
    void click(HWND window, int code);
    bool notify(HWND window, int noticeCode) const;

    CaptionSettings settings_;
    DpiScale scale_;
    int hot_ = 0;
    bool pressed_ = false;
    bool timerRunning_ = false;
    bool active_ = true;
};

}  // namespace corvane
