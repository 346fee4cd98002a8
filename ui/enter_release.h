#pragma once

#include <windows.h>

#include <utility>

namespace corvane {

// An in-place editor closes on the release of Enter, but only of an Enter
// pressed while it had the keys: the release of an Enter that dismissed a
// message box over it belongs to the box.
class EnterRelease {
public:
    // Whether `message` to the editor releases an Enter it saw pressed.
    bool completes(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_KEYDOWN:
                if (wParam == VK_RETURN) pressed_ = true;
                return false;
            case WM_GETDLGCODE:
                // A dialog loop keeps the press from the editor and only
                // asks it about the key first.
                if (const auto* key = reinterpret_cast<const MSG*>(lParam);
                    key != nullptr && key->message == WM_KEYDOWN && key->wParam == VK_RETURN)
                    pressed_ = true;
                return false;
            case WM_KILLFOCUS: pressed_ = false; return false;
            case WM_KEYUP: return wParam == VK_RETURN && std::exchange(pressed_, false);
            default: return false;
        }
    }

private:
    bool pressed_ = false;
};

}  // namespace corvane
