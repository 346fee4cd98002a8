#include "framework/scaling.h"

#include <windows.h>

#include <cmath>

namespace corvane {

DpiScale scaleForDpi(int dpiX, int dpiY) { return {dpiX, dpiY, dpiX / 96.0, dpiY / 96.0}; }

DpiScale screenScale(bool dpiAware) {
    HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (!dpiAware) return {dpiX, dpiY, 1.0, 1.0};
    // Both factors follow the horizontal dpi, as square pixels are the rule.
    return {dpiX, dpiY, dpiX / 96.0, dpiX / 96.0};
}

int scaled(int logical, double factor) { return static_cast<int>(std::lround(logical * factor)); }

int unscaled(int device, double factor) {
    return factor == 0.0 ? device : static_cast<int>(std::lround(device / factor));
}

}  // namespace corvane
