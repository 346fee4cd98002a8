#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// The system's words for an error code that opening or reading a target gave
// (errno on Linux, GetLastError on Windows), in English and lower case where
// the common ones go ("no such process", "permission denied"), so that a
// front end names the error rather than its number.
std::string systemErrorText(std::uint32_t error);

}  // namespace corvane
