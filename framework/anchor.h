#pragma once

namespace corvane {

// What happens to a control when its form's client area is resized; see
// anchoredGeometry. The codes are those of the settings the forms were
// designed with, so they stay plain numbers underneath.
using AnchorCode = int;

// Horizontal behaviour first, then vertical: "stretch" keeps the far margin
// by changing the size, "right"/"bottom" keep it by moving, "centre" keeps
// the offset from the middle, "middle" centres the control itself.
inline constexpr AnchorCode kAnchorNone = 0;
inline constexpr AnchorCode kAnchorStretchWidth = 1;
inline constexpr AnchorCode kAnchorRight = 2;
inline constexpr AnchorCode kAnchorCentreX = 3;
inline constexpr AnchorCode kAnchorStretchHeight = 4;
inline constexpr AnchorCode kAnchorStretchBoth = 5;
inline constexpr AnchorCode kAnchorRightStretchHeight = 6;
inline constexpr AnchorCode kAnchorBottom = 7;
inline constexpr AnchorCode kAnchorStretchWidthBottom = 8;
inline constexpr AnchorCode kAnchorRightBottom = 9;
inline constexpr AnchorCode kAnchorCentreXBottom = 10;
inline constexpr AnchorCode kAnchorMiddle = 11;
inline constexpr AnchorCode kAnchorRightMiddle = 12;
inline constexpr AnchorCode kAnchorCentreBoth = 13;

// Position and size in 96-dpi units.
struct Geometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Geometry&) const = default;
};

// Taken when the anchor is set, against the client size of that moment.
struct AnchorMargins {
    int right = 0;
    int bottom = 0;
    int centerX = 0;
    int centerY = 0;
};

AnchorMargins takeMargins(const Geometry& geometry, int clientWidth, int clientHeight);

// Where a control anchored with `code` goes in a client area of the given
// size (96-dpi units). Stretched widths and heights never go below 0.
Geometry anchoredGeometry(AnchorCode code, const Geometry& geometry, const AnchorMargins& margins, int clientWidth,
                          int clientHeight);

}  // namespace corvane
