// The indicator against real windows: needs a display (Wine under Xvfb).

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/search/search_engine.h"
#include "engine/target/win32/unique_handle.h"
#include "framework/gdi_owners.h"
#include "ui/wait_indicator.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

// Answers the indicator's cross-thread window calls, which wait for this thread.
void pumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        pumpMessages();
    }
    return true;
}

void pumpFor(std::chrono::milliseconds duration) {
    const auto until = Clock::now() + duration;
    pumpUntil([&] { return Clock::now() >= until; }, duration + std::chrono::seconds(1));
}

int screenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The window's own visible flag, whatever its parent shows.
bool hasVisibleStyle(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

// Records every WM_SHOWWINDOW a control receives: true for shown, false for hidden.
LRESULT CALLBACK recordShowWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR log) {
    if (message == WM_SHOWWINDOW) reinterpret_cast<std::vector<bool>*>(log)->push_back(wParam != 0);
    return DefSubclassProc(window, message, wParam, lParam);
}

std::wstring statusPartText(HWND statusBar, int part) {
    wchar_t text[128] = {};
    const auto length = LOWORD(SendMessageW(statusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0));
    if (length >= std::size(text)) return L"<too long>";
    SendMessageW(statusBar, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
    return text;
}

// Waits for the indicator's thread to end while answering its window calls.
bool threadEnds(DWORD threadId, std::chrono::milliseconds timeout) {
    const UniqueHandle thread(OpenThread(SYNCHRONIZE, FALSE, threadId));
    if (!thread) return false;
    const HANDLE handle = thread.get();
    return pumpUntil([handle] { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }, timeout);
}

struct PixelCounts {
    int dotColoured = 0;
    int black = 0;
};

// Counts, in one rectangle of a window's client area, the pixels that are one
// of the dot colours and those that are black (text).
PixelCounts countPixels(HWND window, const RECT& area) {
    PixelCounts counts;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const gdi::WindowDc windowDc(window);
    const gdi::MemoryDc memory(windowDc.get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const gdi::Bitmap bitmap(CreateDIBSection(windowDc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !memory) return counts;
    {
        const gdi::Selection selection(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, windowDc.get(), area.left, area.top, SRCCOPY);
    }
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) {
        const std::uint32_t bgr = pixels[i] & 0xFFFFFF;  // 0x00RRGGBB in a DIB
        const COLORREF colour = RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
        if (colour == RGB(0, 0, 0)) ++counts.black;
        for (const COLORREF dot : kDotColours)
            if (colour == dot) ++counts.dotColoured;
    }
    return counts;
}

// A stand-in for the main window: Picture1 hidden over a visible ListView1,
// and a status bar with six parts.
class IndicatorWindows : public testing::Test {
protected:
    void SetUp() override {
        wchar_t display[256] = {};
        if (GetEnvironmentVariableW(L"DISPLAY", display, 256) == 0)
            GTEST_SKIP() << "no DISPLAY: the indicator needs real windows (run under Xvfb)";
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = L"CorvaneWaitIndicatorTest";
        RegisterClassExW(&windowClass);
        form_ =
            CreateWindowExW(0, windowClass.lpszClassName, L"wait indicator test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            0, 0, 720, 520, nullptr, nullptr, windowClass.hInstance, nullptr);
        if (!form_) GTEST_SKIP() << "no window could be created (" << GetLastError() << "): no display?";
        picture_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_NOTIFY, 328, 98, 282, 260, form_,
                                   reinterpret_cast<HMENU>(103), windowClass.hInstance, nullptr);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, 219, 31, 473,
                                427, form_, reinterpret_cast<HMENU>(130), windowClass.hInstance, nullptr);
        status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, form_,
                                  reinterpret_cast<HMENU>(129), windowClass.hInstance, nullptr);
        ASSERT_NE(picture_, nullptr);
        ASSERT_NE(list_, nullptr);
        ASSERT_NE(status_, nullptr);
        const int rightEdges[6] = {60, 160, 220, 320, 380, -1};
        SendMessageW(status_, SB_SETPARTS, 6, reinterpret_cast<LPARAM>(rightEdges));
        SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"遍历总数："));
        SetWindowSubclass(list_, recordShowWindow, 1, reinterpret_cast<DWORD_PTR>(&listShows_));
        SetWindowSubclass(picture_, recordShowWindow, 1, reinterpret_cast<DWORD_PTR>(&pictureShows_));
        ShowWindow(form_, SW_SHOWNOACTIVATE);
        UpdateWindow(form_);
        pumpFor(std::chrono::milliseconds(50));
    }

    void TearDown() override {
        if (form_) {
            RemoveWindowSubclass(list_, recordShowWindow, 1);
            RemoveWindowSubclass(picture_, recordShowWindow, 1);
            DestroyWindow(form_);
        }
    }

    HWND form_ = nullptr;
    HWND picture_ = nullptr;
    HWND list_ = nullptr;
    HWND status_ = nullptr;
    std::vector<bool> listShows_;
    std::vector<bool> pictureShows_;
};

TEST_F(IndicatorWindows, HidesTheListWhileTheWorkerRunsAndGivesItBackAfter) {
    if (screenDpi() != 96) GTEST_SKIP() << "the box below is placed for 96 dpi, the screen has " << screenDpi();
    std::atomic<bool> workerRunning{true};
    const std::vector<StructureRow> rows{{0x1000, 10, 4}, {0, 0, 4}, {0x20, 5, 8}};
    const DWORD threadId = startWaitIndicator(
        {{picture_, list_, status_}, traversalTotal(rows), [&workerRunning] { return workerRunning.load(); }, {}});
    ASSERT_NE(threadId, 0u);
    const UniqueHandle thread(OpenThread(SYNCHRONIZE, FALSE, threadId));
    ASSERT_TRUE(thread);

    // The indicator's thread swaps the two one after the other.
    ASSERT_TRUE(
        pumpUntil([&] { return !hasVisibleStyle(list_) && hasVisibleStyle(picture_); }, std::chrono::seconds(3)));
    // About twenty frames.
    pumpFor(std::chrono::milliseconds(200));
    EXPECT_FALSE(hasVisibleStyle(list_));
    EXPECT_TRUE(hasVisibleStyle(picture_));
    EXPECT_EQ(statusPartText(status_, 1), L"50");
    EXPECT_EQ(statusPartText(status_, 0), L"遍历总数：");

    RECT client{};
    GetClientRect(picture_, &client);
    ASSERT_EQ(client.right, 282);
    ASSERT_EQ(client.bottom, 260);
    // The box sits at (81, 50), 120 square; the dots and the text are in it and nowhere else.
    const PixelCounts inBox = countPixels(picture_, RECT{81, 50, 201, 170});
    EXPECT_GT(inBox.dotColoured, 50);
    EXPECT_GT(inBox.black, 20);
    for (const RECT& outside :
         {RECT{0, 0, 282, 50}, RECT{0, 170, 282, 260}, RECT{0, 50, 81, 170}, RECT{201, 50, 282, 170}}) {
        const PixelCounts counts = countPixels(picture_, outside);
        EXPECT_EQ(counts.dotColoured, 0) << outside.left << "," << outside.top;
        EXPECT_EQ(counts.black, 0) << outside.left << "," << outside.top;
    }
    EXPECT_EQ(WaitForSingleObject(thread.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "ended too early";

    workerRunning = false;
    const HANDLE handle = thread.get();
    ASSERT_TRUE(
        pumpUntil([handle] { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }, std::chrono::seconds(3)))
        << "the indicator did not end by itself";
    EXPECT_TRUE(hasVisibleStyle(list_));
    EXPECT_FALSE(hasVisibleStyle(picture_));
    pumpMessages();
    EXPECT_EQ(listShows_, (std::vector<bool>{false, true}));
    EXPECT_EQ(pictureShows_, (std::vector<bool>{true, false}));
}

TEST_F(IndicatorWindows, AWorkerDoneBeforeTheFirstFrameStillHidesAndShowsTheList) {
    int checks = 0;
    const DWORD threadId = startWaitIndicator({{picture_, list_, status_},
                                               std::numeric_limits<std::uint64_t>::max(),
                                               [&checks] {
                                                   ++checks;
                                                   return false;
                                               },
                                               {}});
    ASSERT_NE(threadId, 0u);
    ASSERT_TRUE(threadEnds(threadId, std::chrono::seconds(3)));
    pumpMessages();
    EXPECT_EQ(listShows_, (std::vector<bool>{false, true}));
    EXPECT_EQ(pictureShows_, (std::vector<bool>{true, false}));
    EXPECT_EQ(statusPartText(status_, 1), L"18446744073709551615");
    // Asked once and never again: the loop ended without a frame.
    EXPECT_EQ(checks, 1);
}

TEST_F(IndicatorWindows, WithoutAPictureTheListAndStatusBarStillFollow) {
    std::atomic<bool> workerRunning{true};
    const DWORD threadId =
        startWaitIndicator({{nullptr, list_, status_}, 7, [&workerRunning] { return workerRunning.load(); }, {}});
    ASSERT_NE(threadId, 0u);
    const UniqueHandle thread(OpenThread(SYNCHRONIZE, FALSE, threadId));
    ASSERT_TRUE(thread);
    ASSERT_TRUE(pumpUntil([&] { return !hasVisibleStyle(list_); }, std::chrono::seconds(3)));
    pumpFor(std::chrono::milliseconds(100));
    EXPECT_FALSE(hasVisibleStyle(picture_));
    workerRunning = false;
    const HANDLE handle = thread.get();
    ASSERT_TRUE(
        pumpUntil([handle] { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }, std::chrono::seconds(3)));
    EXPECT_TRUE(hasVisibleStyle(list_));
    EXPECT_TRUE(pictureShows_.empty());
    EXPECT_EQ(statusPartText(status_, 1), L"7");
}

// An indicator that wakes after a later one has started (a reformat's, late on
// a loaded machine, after a memory row's search wrote its own total) must not
// put its older total over the newer one.
TEST_F(IndicatorWindows, ASupersededIndicatorLeavesTheTotalStanding) {
    SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"2410496"));
    for (const bool superseded : {true, false}) {
        const DWORD threadId = startWaitIndicator(
            {{picture_, list_, status_}, 1, [] { return false; }, [superseded] { return superseded; }});
        ASSERT_NE(threadId, 0u);
        ASSERT_TRUE(threadEnds(threadId, std::chrono::seconds(3)));
        pumpMessages();
        EXPECT_EQ(statusPartText(status_, 1), superseded ? L"2410496" : L"1") << "superseded: " << superseded;
    }
}

}  // namespace
}  // namespace corvane
