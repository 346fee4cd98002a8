#pragma once

#include <windows.h>

#include <cstdint>

namespace corvane {

// A colour that can also name a system colour: low 24 bits 0x7F7F7F and the
// high byte a system colour index (below 0x1F), or 25 for "default".
using ColorSpec = std::uint32_t;

inline constexpr ColorSpec kColorWindowText = 0x087F7F7F;
inline constexpr ColorSpec kColorWindow = 0x057F7F7F;
inline constexpr ColorSpec kColorButtonFace = 0x0F7F7F7F;
inline constexpr ColorSpec kColorDefault = 0x197F7F7F;

bool isDefaultColor(ColorSpec spec);
// The RGB value of `spec`; `fallback` for the default colour.
COLORREF colorFromSpec(ColorSpec spec, COLORREF fallback);
// For GDI+: 0xAARRGGBB with full opacity.
std::uint32_t argbFromSpec(ColorSpec spec, COLORREF fallback);

}  // namespace corvane
