#pragma once

namespace corvane {

// What happens to a control when its form's client area is resized; see
// anchoredGeometry. 0 leaves it where it is.
using AnchorCode = int;

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
