#include "framework/caption_painter.h"

#include <windowsx.h>

#include <utility>

#include "framework/gdi_owners.h"

namespace corvane {

CaptionPainter::CaptionPainter(CaptionSettings settings, DpiScale scale)
    : settings_(std::move(settings)), scale_(scale) {}

CaptionWindow CaptionPainter::windowState(HWND window) const {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    const bool maximized = IsZoomed(window) != FALSE;
    return {bounds.right - bounds.left, bounds.bottom - bounds.top,
            static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), maximized, maximizedInset(maximized)};
}

int CaptionPainter::hitTest(HWND window, LPARAM screenPoint) const {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    return captionHitTest(settings_, scale_, windowState(window), GET_X_LPARAM(screenPoint) - bounds.left,
                          GET_Y_LPARAM(screenPoint) - bounds.top);
}

void CaptionPainter::refreshFrame(HWND window) {
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CaptionPainter::redraw(HWND window, bool active) {
    if (!IsWindow(window)) return;
    RECT bounds{};
    GetWindowRect(window, &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    if (width <= 0 || height <= 0) return;
    HDC target = GetWindowDC(window);
    if (!target) return;
    // The client area belongs to the form's own painting.
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const int left = origin.x - bounds.left;
    const int top = origin.y - bounds.top;
    ExcludeClipRect(target, left, top, left + client.right, top + client.bottom);
    {
        gdi::MemoryDc buffer(target);
        gdi::Bitmap bitmap(CreateCompatibleBitmap(target, width, height));
        if (buffer && bitmap) {
            gdi::Selection selected(buffer.get(), bitmap.get());
            render(window, buffer.get(), active);
            BitBlt(target, 0, 0, width, height, buffer.get(), 0, 0, SRCCOPY);
        }
    }
    ReleaseDC(window, target);
}

bool CaptionPainter::onNcHitTest(HWND window, LPARAM lParam, LRESULT& result) {
    const int hit = hitTest(window, lParam);
    result = hit;
    // Leaving a button for the caption or a border takes its highlight away.
    if (isFixedCaptionButton(hot_) && !isCaptionButton(hit)) {
        hot_ = hit;
        redraw(window);
    }
    return true;
}

void CaptionPainter::onMouseMove(HWND window, int hit) {
    if (!timerRunning_) timerRunning_ = SetTimer(window, kCaptionTimerId, 100, nullptr) != 0;
    const int oldHot = std::exchange(hot_, hit);
    const bool oldPressed = pressed_;
    if (oldPressed && isCaptionButton(oldHot)) {
        hot_ = oldHot;  // a held button stays the one a release may click
    } else {
        pressed_ = false;  // a press outside the buttons (a drag, say) ended unseen
    }
    if (hot_ != oldHot || pressed_ != oldPressed) redraw(window);
}

bool CaptionPainter::onButtonDown(HWND window, int hit) {
    const int oldHot = std::exchange(hot_, hit);
    const bool oldPressed = std::exchange(pressed_, true);
    if (hot_ != oldHot || !oldPressed) redraw(window);
    // The system would otherwise run its own button tracking over these codes.
    return isFixedCaptionButton(hit);
}

void CaptionPainter::onButtonUp(HWND window, int hit) {
    const int code = std::exchange(hot_, 0);
    const bool wasPressed = std::exchange(pressed_, false);
    if (wasPressed && isCaptionButton(code) && hit == code) click(window, code);
    redraw(window);
}

void CaptionPainter::onTimer(HWND window) {
    POINT cursor{};
    GetCursorPos(&cursor);
    RECT strip{};
    GetWindowRect(window, &strip);
    strip.bottom = strip.top + captionMetrics(settings_, scale_).caption;
    if (PtInRect(&strip, cursor)) return;
    KillTimer(window, kCaptionTimerId);
    timerRunning_ = false;
    const bool wasShown = isCaptionButton(hot_) || pressed_;
    hot_ = 0;
    pressed_ = false;
    if (wasShown) redraw(window);
}

void CaptionPainter::onSize(HWND window, WPARAM kind, LPARAM size) {
    if (kind != SIZE_RESTORED && kind != SIZE_MAXIMIZED) return;
    const bool maximized = kind == SIZE_MAXIMIZED;
    const SIZE shape = captionRegionSize(LOWORD(size), HIWORD(size), maximized, settings_, scale_);
    const int corner = captionMetrics(settings_, scale_).corner;
    gdi::Region region(CreateRoundRectRgn(0, 0, shape.cx, shape.cy, corner, corner));
    // Once set, the region belongs to the system.
    if (region && SetWindowRgn(window, region.get(), TRUE)) region.release();
    if (maximized) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN);
    hot_ = 0;
    redraw(window);
}

bool CaptionPainter::notify(HWND window, int noticeCode) const {
    NMHDR header{};
    header.hwndFrom = window;
    header.idFrom = static_cast<UINT_PTR>(settings_.componentId);
    header.code = static_cast<UINT>(noticeCode);
    return SendMessageW(window, WM_NOTIFY, static_cast<WPARAM>(settings_.componentId),
                        reinterpret_cast<LPARAM>(&header)) != 0;
}

void CaptionPainter::click(HWND window, int code) {
    if (notify(window, captionButtonLook(code).noticeCode)) return;
    switch (code) {
        case kCaptionClose: PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        case kCaptionMaximize:
            PostMessageW(window, WM_SYSCOMMAND, IsZoomed(window) ? SC_RESTORE : SC_MAXIMIZE, 0);
            break;
        case kCaptionMinimize: PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0); break;
        case kCaptionTopmost: {
            const bool topmost = (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            SetWindowPos(window, topmost ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            break;
        }
        case kCaptionMenu:
        case kCaptionSkin: break;
        default: {
            const int command = settings_.custom[static_cast<std::size_t>(code - kCaptionCustomFirst)].commandId;
            if (command != 0) PostMessageW(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        }
    }
}

bool CaptionPainter::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    const int hit = static_cast<int>(wParam);
    switch (message) {
        case WM_CREATE: {
            // Before Vista the first frame calculation came too early for the painter.
            OSVERSIONINFOW version{};
            version.dwOSVersionInfoSize = sizeof version;
            const bool vistaOrLater =
                GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
            if (!vistaOrLater) refreshFrame(window);
            return false;
        }
        case WM_NCCALCSIZE: {
            // Without wParam the rectangle comes alone; shrinking it too keeps
            // every caller's idea of the client area the same.
            RECT* proposed =
                wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
            *proposed = captionClientRect(*proposed, settings_, scale_, maximizedInset(IsZoomed(window) != FALSE));
            return true;
        }
        case WM_NCHITTEST: return onNcHitTest(window, lParam, result);
        case WM_NCPAINT: redraw(window); return true;
        case WM_NCACTIVATE:
            active_ = wParam != FALSE;
            redraw(window);
            result = TRUE;
            return true;
        case 0xAE:  // the themed caption and frame redraws, undocumented
        case 0xAF:
            active_ = GetForegroundWindow() == window;
            redraw(window);
            return true;
        case WM_SETTEXT:
        case WM_SETICON:
            // The system draws its own caption with the new text or icon.
            result = DefWindowProcW(window, message, wParam, lParam);
            redraw(window);
            return true;
        case WM_SIZE: onSize(window, wParam, lParam); return false;
        case WM_NCMOUSEMOVE: onMouseMove(window, hit); return false;
        case WM_NCLBUTTONDOWN: return onButtonDown(window, hit);
        case WM_NCLBUTTONUP: onButtonUp(window, hit); return isFixedCaptionButton(hit);
        case WM_LBUTTONUP:
            if (std::exchange(pressed_, false)) redraw(window);
            return false;
        case WM_NCLBUTTONDBLCLK:
        case WM_NCRBUTTONDOWN:
        case WM_NCRBUTTONUP: return isFixedCaptionButton(hit);
        case WM_TIMER:
            if (wParam != kCaptionTimerId) return false;
            onTimer(window);
            return true;
        case WM_DESTROY:
            if (std::exchange(timerRunning_, false)) KillTimer(window, kCaptionTimerId);
            return false;
        default: return false;
    }
}

}  // namespace corvane
