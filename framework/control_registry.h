#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "framework/anchor.h"
#include "framework/colors.h"

namespace corvane {

// What the framework keeps for a control window, a form window or a
// windowless label.
struct ControlRecord {
    HWND owner = nullptr;  // the form's window
    std::wstring name;
    int id = 0;
    std::wstring tag;  // free text kept with the control
    ColorSpec textColor = kColorDefault;
    ColorSpec backColor = kColorDefault;
    HBRUSH brush = nullptr;  // owned
    HWND tooltip = nullptr;  // owned
    HCURSOR cursor = nullptr;
    std::wstring fontSpec;
    // Windowless labels: drawn by the form.
    std::wstring caption;
    UINT drawFlags = 0;
    bool visible = true;
    bool frame = false;
    Geometry geometry;  // 96-dpi units
    AnchorCode anchor = 0;
    AnchorMargins margins;
    HWND lastFocus = nullptr;    // on form records: the control that last had the focus
    WNDPROC previous = nullptr;  // the control's own procedure before subclassing
};

// Window handle to record, in blocks of 100 pairs scanned in order. A freed
// pair is emptied and not reused; new pairs go at the end.
class ControlRegistry {
public:
    static constexpr std::size_t kBlock = 100;

    void add(HWND window, ControlRecord* record);
    void remove(HWND window);
    ControlRecord* find(HWND window) const;
    std::size_t blockCount() const { return blocks_.size(); }

private:
    struct Pair {
        HWND window = nullptr;
        ControlRecord* record = nullptr;
    };
    std::vector<std::unique_ptr<std::array<Pair, kBlock>>> blocks_;
    std::size_t usedInLast_ = 0;
};

// The one registry of the UI thread.
ControlRegistry& controlRegistry();

}  // namespace corvane
