#pragma once

// The sample target's optional window: something to point Corvane's drag
// picker at, the structure texts that find its values, the live values, and
// buttons that change them while Corvane searches again or monitors.

#include <windows.h>

#include <memory>
#include <mutex>
#include <random>
#include <string>

#include "tools/sample_target/sample_layout.h"
#include "framework/gdi_owners.h"

namespace corvane::sample {

// Where the program's module table lies, from the start of its image.
std::uint64_t moduleTableOffset();

class SampleWindow {
public:
    // Sets object 0's health and shows the window; null when the system gives
    // no window (no display). `memoryLock` guards the laid-out memory against
    // the command thread, which writes it too.
    static std::unique_ptr<SampleWindow> create(const Places& places, unsigned pointerWidth, std::mutex& memoryLock);
    ~SampleWindow();
    SampleWindow(const SampleWindow&) = delete;
    SampleWindow& operator=(const SampleWindow&) = delete;

    // Null once the window has been destroyed; other threads may post to it.
    HWND handle() const { return window_; }
    // Dispatches messages until the window has been destroyed.
    void runMessageLoop();

private:
    SampleWindow(const Places& places, unsigned pointerWidth, std::mutex& memoryLock);
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void createChildren();
    HWND child(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width, int height, int id);
    void refreshValues();
    std::wstring liveValuesText();
    void hurt();
    void heal();
    void switchRootObject();

    Places places_;
    unsigned pointerWidth_;
    std::mutex& memoryLock_;
    HWND window_ = nullptr;
    HWND values_ = nullptr;
    HWND hints_ = nullptr;
    gdi::Font font_;
    double scaleX_ = 1.0;
    double scaleY_ = 1.0;
    std::wstring shownValues_;
    std::mt19937 random_;
};

}  // namespace corvane::sample
