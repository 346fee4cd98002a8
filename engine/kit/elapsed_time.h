#pragma once

#include <chrono>
#include <cstdint>

namespace corvane {

// Whole milliseconds from `start` to now, as the status bar and the command
// line's figures show a pass's time.
inline std::uint32_t millisecondsSince(std::chrono::steady_clock::time_point start) {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

}  // namespace corvane
