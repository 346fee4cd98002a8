#pragma once

#include <cstdint>
#include <string_view>

#include "engine/values/value_type.h"

namespace corvane {

// Whether a value typed into the results list's editor is a number of the
// integer kind `type` exactly as the list would show it in `baseMode`:
// spaces around it and leading zeros do not count (nothing left reads "0");
// hexadecimal is compared without regard to case. The float kinds never pass.
bool isCanonicalValueText(std::string_view text, ValueType type, std::uint8_t baseMode);

}  // namespace corvane
