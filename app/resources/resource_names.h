#pragma once

// Names of the resources in corvane.rc, for FindResourceW, LoadImageW and
// LoadCursorW.

namespace corvane::resources {

inline constexpr const wchar_t* kAppIcon = L"AAAAA_APPICON";        // main window and settings dialogs
inline constexpr const wchar_t* kProcessIcon = L"ICON_FAVICON1";    // process list dialog
inline constexpr const wchar_t* kPickerRest = L"PNG_FAVICON1";      // RCDATA, PNG 24 x 24
inline constexpr const wchar_t* kPickerDragging = L"PNG_FAVICON2";  // RCDATA, PNG 24 x 24
inline constexpr const wchar_t* kPickerCursor = L"CURSOR_FAVICON1";

}  // namespace corvane::resources
