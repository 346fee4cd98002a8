#include "ui/wait_indicator.h"

#include <commctrl.h>
#include <mmsystem.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <utility>

#include "engine/target/win32/unique_handle.h"
#include "framework/gdi_owners.h"

namespace corvane {

int advanceDotAngle(int angle) {
    int next = angle;
    if (angle <= 109)
        next += 4;
    else if (angle <= 249)
        next += 3;
    else if (angle <= 299)
        next += 1;
    else
        next += 5;
    // Exactly 360 is kept; it moves on from there in the next frame.
    if (next > 360) next -= 360;
    return next;
}

LogicalPoint dotCentre(int angleDegrees) {
    const double radians = static_cast<double>(angleDegrees) * std::numbers::pi / 180.0;
    return {static_cast<int>(std::lround(60.0 + 55.0 * std::cos(radians))),
            static_cast<int>(std::lround(60.0 + 55.0 * std::sin(radians)))};
}

PixelRect dotRectangle(int angleDegrees) {
    const LogicalPoint centre = dotCentre(angleDegrees);
    // Starts 5 before the centre but is 12 wide: the dot sits a pixel right
    // of and below its centre point, as the picture was designed.
    return {centre.x - 5, centre.y - 5, 12, 12};
}

namespace {

int scaled(int logical, double scale) { return static_cast<int>(std::lround(static_cast<double>(logical) * scale)); }

}  // namespace

PixelRect scaleLogicalRect(const PixelRect& logical, double scaleX, double scaleY) {
    return {scaled(logical.x, scaleX), scaled(logical.y, scaleY), scaled(logical.width, scaleX),
            scaled(logical.height, scaleY)};
}

PixelRect waitBoxPlacement(int clientWidth, int clientHeight, double scaleX, double scaleY) {
    // The halves are whole pixels first; only the scaled offsets are rounded.
    const double x = static_cast<double>(clientWidth / 2) - 60.0 * scaleX;
    const double y = static_cast<double>(clientHeight / 2) - 80.0 * scaleY;
    return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)), scaled(kWaitBoxSize, scaleX),
            scaled(kWaitBoxSize, scaleY)};
}

std::wstring statusTotalText(std::uint64_t total) { return std::to_wstring(total); }

std::wstring elapsedText(std::uint32_t milliseconds) { return std::to_wstring(milliseconds) + L"ms"; }

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr std::array<const wchar_t*, 2> kWaitTexts{L"内存搜索中", L"请稍等..."};

void repaint(HWND window) {
    if (!window) return;
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
}

// The off-screen side of the drawing: a saved background and a frame buffer of
// the box's size, composed per frame and copied to the window in one step so
// that the animation does not flicker.
class DrawingSurface {
public:
    explicit DrawingSurface(HWND picture) : windowDc_(picture) {
        if (!windowDc_) return;
        RECT client{};
        GetClientRect(picture, &client);
        // With the parent's DC (static controls use one) a box larger than
        // the control would otherwise paint over its neighbours.
        IntersectClipRect(windowDc_.get(), 0, 0, client.right, client.bottom);
        scaleX_ = GetDeviceCaps(windowDc_.get(), LOGPIXELSX) / 96.0;
        scaleY_ = GetDeviceCaps(windowDc_.get(), LOGPIXELSY) / 96.0;
        box_ = waitBoxPlacement(client.right, client.bottom, scaleX_, scaleY_);
        if (box_.width <= 0 || box_.height <= 0) return;

        backgroundDc_ = gdi::MemoryDc(windowDc_.get());
        frameDc_ = gdi::MemoryDc(windowDc_.get());
        background_.reset(CreateCompatibleBitmap(windowDc_.get(), box_.width, box_.height));
        frame_.reset(CreateCompatibleBitmap(windowDc_.get(), box_.width, box_.height));
        pen_.reset(CreatePen(PS_SOLID, scaled(1, scaleX_), kWhite));
        font_.reset(CreateFontW(-MulDiv(12, GetDeviceCaps(windowDc_.get(), LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE,
                                FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, L"Microsoft YaHei"));
        if (!backgroundDc_ || !frameDc_ || !background_ || !frame_ || !pen_ || !font_) return;

        backgroundSelection_ = gdi::Selection(backgroundDc_.get(), background_.get());
        frameSelection_ = gdi::Selection(frameDc_.get(), frame_.get());
        penSelection_ = gdi::Selection(frameDc_.get(), pen_.get());
        fontSelection_ = gdi::Selection(frameDc_.get(), font_.get());
        // Each dot sets its own colour on the DC brush, so no brush is made per frame.
        brushSelection_ = gdi::Selection(frameDc_.get(), GetStockObject(DC_BRUSH));
        SetBkMode(frameDc_.get(), TRANSPARENT);

        BitBlt(backgroundDc_.get(), 0, 0, box_.width, box_.height, windowDc_.get(), box_.x, box_.y, SRCCOPY);
        ready_ = true;
    }

    bool ready() const { return ready_; }

    void drawFrame(const std::array<int, 6>& angles, const std::wstring& elapsed) const {
        const HDC dc = frameDc_.get();
        BitBlt(dc, 0, 0, box_.width, box_.height, backgroundDc_.get(), 0, 0, SRCCOPY);
        for (std::size_t i = 0; i < angles.size(); ++i) {
            SetDCBrushColor(dc, kDotColours[i]);
            const PixelRect dot = scaleLogicalRect(dotRectangle(angles[i]), scaleX_, scaleY_);
            Ellipse(dc, dot.x, dot.y, dot.x + dot.width, dot.y + dot.height);
        }
        drawOutlinedText(kWaitTexts[0], kWaitTextTops[0]);
        drawOutlinedText(kWaitTexts[1], kWaitTextTops[1]);
        drawOutlinedText(elapsed.c_str(), kWaitTextTops[2]);
        BitBlt(windowDc_.get(), box_.x, box_.y, box_.width, box_.height, dc, 0, 0, SRCCOPY);
    }

private:
    void drawOutlinedText(const wchar_t* text, int top) const {
        const HDC dc = frameDc_.get();
        const PixelRect line =
            scaleLogicalRect({kWaitTextLeft, top, kWaitTextWidth, kWaitTextHeight}, scaleX_, scaleY_);
        constexpr UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
        // Nine white copies around the place give the dark text a white rim
        // that stays readable on any background.
        const COLORREF textColour = SetTextColor(dc, kWhite);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                RECT shifted{line.x + dx, line.y + dy, line.x + line.width + dx, line.y + line.height + dy};
                DrawTextW(dc, text, -1, &shifted, format);
            }
        SetTextColor(dc, textColour);
        RECT place{line.x, line.y, line.x + line.width, line.y + line.height};
        DrawTextW(dc, text, -1, &place, format);
    }

    // Declaration order is release order reversed: selections are undone
    // before the DCs go, and the DCs before the objects they held.
    gdi::WindowDc windowDc_;
    gdi::Pen pen_;
    gdi::Font font_;
    gdi::Bitmap background_;
    gdi::Bitmap frame_;
    gdi::MemoryDc backgroundDc_;
    gdi::MemoryDc frameDc_;
    gdi::Selection backgroundSelection_;
    gdi::Selection frameSelection_;
    gdi::Selection penSelection_;
    gdi::Selection fontSelection_;
    gdi::Selection brushSelection_;
    double scaleX_ = 1.0;
    double scaleY_ = 1.0;
    PixelRect box_;
    bool ready_ = false;
};

// Gives the list back even when the indicator leaves early by an exception.
class ListRestorer {
public:
    explicit ListRestorer(const WaitIndicatorWindows& windows) : windows_(windows) {}
    ListRestorer(const ListRestorer&) = delete;
    ListRestorer& operator=(const ListRestorer&) = delete;
    ~ListRestorer() {
        if (windows_.list) ShowWindow(windows_.list, SW_SHOW);
        if (windows_.picture) ShowWindow(windows_.picture, SW_HIDE);
        repaint(windows_.picture);
    }

private:
    WaitIndicatorWindows windows_;
};

DWORD WINAPI waitIndicatorThread(LPVOID parameter) {
    const std::unique_ptr<WaitIndicatorJob> job(static_cast<WaitIndicatorJob*>(parameter));
    try {
        WaitIndicator(*job);
    } catch (...) {
        // Nobody waits for this thread; an escaping exception would end the program.
    }
    return 0;
}

}  // namespace

void WaitIndicator(const WaitIndicatorJob& job) {
    const WaitIndicatorWindows& windows = job.windows;
    Sleep(100);
    if (windows.list) ShowWindow(windows.list, SW_HIDE);
    if (windows.picture) ShowWindow(windows.picture, SW_SHOW);
    repaint(windows.picture);
    const DWORD start = timeGetTime();

    // Declared before the restorer so that the list is shown again before the
    // surface is released.
    std::unique_ptr<DrawingSurface> surface;
    const ListRestorer restorer(windows);
    if (windows.picture) {
        surface = std::make_unique<DrawingSurface>(windows.picture);
        if (!surface->ready()) surface.reset();
    }

    if (windows.statusBar && !(job.superseded && job.superseded())) {
        const std::wstring total = statusTotalText(job.traversalTotal);
        SendMessageW(windows.statusBar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(total.c_str()));
    }

    std::array<int, 6> angles = kDotStartAngles;
    while (job.watchedWorkerRunning && job.watchedWorkerRunning()) {
        Sleep(8);
        if (!surface) continue;
        for (int& angle : angles) angle = advanceDotAngle(angle);
        surface->drawFrame(angles, elapsedText(static_cast<std::uint32_t>(timeGetTime() - start)));
    }
}

DWORD startWaitIndicator(WaitIndicatorJob job) {
    auto owned = std::make_unique<WaitIndicatorJob>(std::move(job));
    DWORD id = 0;
    // Detached at once: the handle is closed here and nobody joins the thread.
    const UniqueHandle thread(CreateThread(nullptr, 0, &waitIndicatorThread, owned.get(), 0, &id));
    if (!thread) return 0;
    owned.release();
    return id;
}

}  // namespace corvane
