#pragma once

namespace corvane {

// Forms are designed in logical pixels at 96 dpi; windows are created at the
// screen's dots per inch.
struct DpiScale {
    int dpiX = 96;
    int dpiY = 96;
    double x = 1.0;
    double y = 1.0;
};

DpiScale scaleForDpi(int dpiX, int dpiY);
// The screen's scale for a DPI-aware process; 1 for one that is not.
DpiScale screenScale(bool dpiAware);

// A 96-dpi length at `factor`, rounded to the nearest pixel.
int scaled(int logical, double factor);
// A device length back in 96-dpi units.
int unscaled(int device, double factor);

}  // namespace corvane
