#pragma once

// The animated panel shown in place of the results list while a first search,
// a next search or a reformat runs.

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

// The windows the indicator works on. It takes handles rather than the main
// window so that it can run against any such trio (and in tests).
struct WaitIndicatorWindows {
    HWND picture = nullptr;    // Picture1; may be null: then nothing is drawn
    HWND list = nullptr;       // ListView1, hidden while the indicator runs
    HWND statusBar = nullptr;  // Status1; part 1 receives the traversal total
};

struct WaitIndicatorJob {
    WaitIndicatorWindows windows;
    std::uint64_t traversalTotal = 1;
    // True while a first search, next search or reformat worker still runs.
    // Called from the indicator's thread, so it must be safe to call there.
    std::function<bool()> watchedWorkerRunning;
    // True once a later indicator has been started for the same windows. Its
    // total is the newer one (or is written at the end of a memory row's
    // search), so an indicator that wakes late leaves the status bar alone.
    // Unset: never superseded.
    std::function<bool()> superseded;
};

// Starts `WaitIndicator` on a detached thread of its own and returns that
// thread's id (0 when no thread could be made). Nothing stops it from outside:
// it ends when `watchedWorkerRunning` says no worker runs any more.
DWORD startWaitIndicator(WaitIndicatorJob job);

// The indicator routine itself, on the calling thread; returns when no watched
// worker runs. The windows' owner thread must keep dispatching messages
// meanwhile, since showing windows and writing the status bar wait for it.
void WaitIndicator(const WaitIndicatorJob& job);

// Geometry and animation, in the logical units of a 96-dpi design unless a
// name says pixels.

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

struct LogicalPoint {
    int x = 0;
    int y = 0;
    bool operator==(const LogicalPoint&) const = default;
};

inline constexpr int kWaitBoxSize = 120;
inline constexpr std::array<int, 6> kDotStartAngles{0, 50, 100, 150, 200, 250};
inline constexpr std::array<COLORREF, 6> kDotColours{RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(0, 0, 255),
                                                     RGB(0, 255, 255), RGB(255, 0, 255), RGB(255, 255, 0)};
// Tops of the three text lines: "内存搜索中", "请稍等...", the elapsed time.
inline constexpr std::array<int, 3> kWaitTextTops{23, 49, 73};
inline constexpr int kWaitTextLeft = 10;
inline constexpr int kWaitTextWidth = 100;
inline constexpr int kWaitTextHeight = 25;

// One frame's step of a dot angle in degrees: fast, slower, slowest, fastest
// around the circle, so the dots bunch up and spread out.
int advanceDotAngle(int angle);
// Centre of the dot at `angleDegrees` inside the box (clockwise on screen).
LogicalPoint dotCentre(int angleDegrees);
// The rectangle the dot's ellipse fills.
PixelRect dotRectangle(int angleDegrees);
// A logical rectangle in device pixels: position and size each scaled and
// rounded to the nearest integer.
PixelRect scaleLogicalRect(const PixelRect& logical, double scaleX, double scaleY);
// The box in a window of the given client size, in pixels: centred
// horizontally, 20 logical units above the vertical centre.
PixelRect waitBoxPlacement(int clientWidth, int clientHeight, double scaleX, double scaleY);

// Status bar part 1: the total as unsigned decimal.
std::wstring statusTotalText(std::uint64_t total);
// The third text line, e.g. "1234ms".
std::wstring elapsedText(std::uint32_t milliseconds);

}  // namespace corvane
