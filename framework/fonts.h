#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace corvane {

// The font of the dialogs' controls and of the main window's drop-down lists.
inline constexpr const wchar_t* kDialogFont = L"SimSun,9";

// A font given as "face,size,bold,italic,underline,strikeout"; missing
// fields count as 0, an empty face is "SimSun" and size 0 is 9 points.
struct FontSpec {
    std::wstring face = L"SimSun";
    int size = 9;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
};

FontSpec parseFontSpec(std::wstring_view text);

// The LOGFONT height for `points`: the size converted at the horizontal dpi.
int fontHeight(int points, int dpiX, int dpiY);

// One font per distinct spec text and dpi, created on first use and kept
// for the run.
HFONT fontFromSpec(const std::wstring& spec, int dpiX, int dpiY);
HFONT fontFromSpec(const std::wstring& spec);

}  // namespace corvane
