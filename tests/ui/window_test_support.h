#pragma once

// What the window tests share: pumping messages while waiting, reading
// window texts, and answering the message boxes a command shows.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace corvane {

using namespace std::chrono_literals;

inline void pump(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        std::this_thread::sleep_for(2ms);
    } while (std::chrono::steady_clock::now() < end);
}

inline bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20000ms) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        pump(5ms);
    }
    return done();
}

inline std::wstring windowText(HWND window) {
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

// A system dialog box this process shows, on a thread other than the
// caller's, that `wanted` accepts: window tests of other processes may show
// theirs on the same desktop at the same time.
inline HWND ownDialogBox(const std::function<bool(HWND)>& wanted = nullptr) {
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box != nullptr;
         box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
        DWORD process = 0;
        if (GetWindowThreadProcessId(box, &process) != GetCurrentThreadId() && process == GetCurrentProcessId() &&
            (!wanted || wanted(box)))
            return box;
    }
    return nullptr;
}

// Answers the next message box that appears with `button` and keeps its text.
class MessageBoxCatcher {
public:
    explicit MessageBoxCatcher(int button = IDOK) : button_(button), thread_([this] { watch(); }) {}
    ~MessageBoxCatcher() {
        stop_ = true;
        thread_.join();
    }
    std::wstring text() const {
        while (!seen_ && !stop_ && !done_) std::this_thread::sleep_for(5ms);
        return text_;
    }
    bool seen() const { return seen_; }

private:
    void watch() {
        watchForBox();
        done_ = true;
    }
    void watchForBox() {
        for (int i = 0; i < 2000 && !stop_; ++i) {
            HWND box = ownDialogBox();
            if (box != nullptr) {
                // The message is the box's longest static text.
                EnumChildWindows(
                    box,
                    [](HWND child, LPARAM self) -> BOOL {
                        wchar_t buffer[512] = {};
                        wchar_t className[32] = {};
                        GetClassNameW(child, className, 32);
                        if (lstrcmpiW(className, L"Static") == 0 && GetWindowTextW(child, buffer, 512) > 0) {
                            auto* catcher = reinterpret_cast<MessageBoxCatcher*>(self);
                            if (wcslen(buffer) > catcher->text_.size()) catcher->text_ = buffer;
                        }
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(this));
                // The box may be found before its text is set: look again.
                if (text_.empty()) {
                    std::this_thread::sleep_for(10ms);
                    continue;
                }
                seen_ = true;
                PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button_), 0);
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
    }
    int button_;
    std::wstring text_;
    std::atomic<bool> seen_{false};
    std::atomic<bool> done_{false};  // the watch has ended, seen or not
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Answers the next system file dialog (open or save) with a file name, as a
// user types it into the name box and presses Enter.
class FileDialogAnswerer {
public:
    explicit FileDialogAnswerer(std::wstring file) : file_(std::move(file)), thread_([this] { watch(); }) {}
    ~FileDialogAnswerer() {
        stop_ = true;
        thread_.join();
    }
    bool answered() const { return answered_; }

private:
    // The name box: a combo box with an edit in the explorer-style dialog,
    // an edit in the older one.
    static HWND nameBox(HWND dialog) {
        for (const int id : {0x47c, 0x480})
            if (HWND box = GetDlgItem(dialog, id)) return box;
        return nullptr;
    }
    void watch() {
        for (int i = 0; i < 2000 && !stop_; ++i) {
            const HWND dialog = ownDialogBox([](HWND box) { return nameBox(box) != nullptr; });
            if (dialog != nullptr && IsWindowVisible(dialog)) {
                SendMessageW(nameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file_.c_str()));
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                answered_ = true;
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
    }
    std::wstring file_;
    std::atomic<bool> answered_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace corvane
