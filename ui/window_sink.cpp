#include "ui/window_sink.h"

#include <commctrl.h>

#include "framework/window_text.h"

namespace corvane {

SearchSettings WindowSink::captureSettings() {
    SearchSettings settings;
    SendMessageW(form_, kCaptureSettingsMessage, 0, reinterpret_cast<LPARAM>(&settings));
    return settings;
}

ValueType WindowSink::currentType() { return captureSettings().type; }

void WindowSink::publishCount(std::size_t) { SendMessageW(form_, kPublishCountMessage, 0, 0); }

void WindowSink::setStatusText(StatusField field, const std::string& text) {
    const std::wstring wide = widen(text);
    SendMessageW(statusBar_, SB_SETTEXTW, static_cast<WPARAM>(field), reinterpret_cast<LPARAM>(wide.c_str()));
}

void WindowSink::firstSearchEnded(const FirstSearchReport& report) {
    SendMessageW(form_, kFirstSearchEndedMessage, 0, reinterpret_cast<LPARAM>(&report));
}

void WindowSink::reformatEnded() { SendMessageW(form_, kReformatEndedMessage, 0, 0); }

}  // namespace corvane
