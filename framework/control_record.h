#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "framework/anchor.h"
#include "framework/colors.h"

namespace corvane {

// Counts the records that exist, so that a test can see that a form gives
// back every record it made.
struct RecordCounter {
    RecordCounter();
    RecordCounter(const RecordCounter&);
    RecordCounter& operator=(const RecordCounter&) = default;
    ~RecordCounter();
};

// What the framework keeps for a control window, a form window or a
// windowless label.
struct ControlRecord {
    HWND owner = nullptr;   // the form's window
    HWND window = nullptr;  // a control's own window; none for forms and labels
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
    HWND lastFocus = nullptr;  // on form records: the control that last had the focus
    RecordCounter counted;
};

// How many records exist in the process now: every form frees its
// controls' records as their windows go, so this stays flat however often a
// dialog opens and closes.
std::size_t liveControlRecords();

}  // namespace corvane
