#pragma once

#include <windows.h>

#include "engine/search/search_sink.h"

namespace corvane {

// Messages the workers send to the main window; the window thread answers
// them, so workers never touch a control in any other way.
inline constexpr UINT kCaptureSettingsMessage = WM_APP + 1;   // lParam: SearchSettings*
inline constexpr UINT kFirstSearchEndedMessage = WM_APP + 2;  // lParam: const FirstSearchReport*
inline constexpr UINT kReformatEndedMessage = WM_APP + 3;
inline constexpr UINT kOpenFailedMessage = WM_APP + 4;  // wParam: the system's error code
// The list takes the store's count when the window handles it, not the
// worker's: a row removed meanwhile on the window thread is not counted back.
inline constexpr UINT kPublishCountMessage = WM_APP + 5;
// Posted when a pass needed a module the target has not loaded; the names
// wait in the window, so the worker never waits for a message box.
inline constexpr UINT kModuleMissingMessage = WM_APP + 6;

// The engine's sink in the main window: every call becomes a message sent to
// the window (or to its status bar), handled on the window thread.
class WindowSink : public SearchSink {
public:
    WindowSink(HWND form, HWND statusBar) : form_(form), statusBar_(statusBar) {}

    SearchSettings captureSettings() override;
    ValueType currentType() override;
    void publishCount(std::size_t count) override;
    void setStatusText(StatusField field, const std::string& text) override;
    void firstSearchEnded(const FirstSearchReport& report) override;
    void reformatEnded() override;

private:
    HWND form_;
    HWND statusBar_;
};

}  // namespace corvane
