#include "framework/colors.h"

namespace corvane {

bool isDefaultColor(ColorSpec spec) { return (spec & 0xFFFFFF) == 0x7F7F7F && (spec >> 24) == 25; }

COLORREF colorFromSpec(ColorSpec spec, COLORREF fallback) {
    if ((spec & 0xFFFFFF) != 0x7F7F7F) return spec & 0xFFFFFF;
    const std::uint32_t index = spec >> 24;
    if (index == 25) return fallback;
    if (index < 0x1F) return GetSysColor(static_cast<int>(index));
    return spec & 0xFFFFFF;
}

std::uint32_t argbFromSpec(ColorSpec spec, COLORREF fallback) {
    const COLORREF rgb = colorFromSpec(spec, fallback);
    return 0xFF000000u | (GetRValue(rgb) << 16) | (GetGValue(rgb) << 8) | GetBValue(rgb);
}

}  // namespace corvane
