#pragma once

#include <atomic>
#include <cstdint>

namespace corvane {

// A request to stop a long job: raised from any thread (a window's 停止, the
// command line's Ctrl+C, a test) and looked at by the job between its steps,
// which then ends with what it has. Looking is one relaxed load, cheap enough
// for an inner loop. The word underneath is the window's 32-bit flag, -1 for
// a stop.
class StopFlag {
public:
    StopFlag() = default;
    StopFlag(const StopFlag&) = delete;
    StopFlag& operator=(const StopFlag&) = delete;

    void raise() noexcept { word_.store(-1, std::memory_order_relaxed); }
    // Before a job starts: a stop meant for the one before is not for it.
    void clear() noexcept { word_.store(0, std::memory_order_relaxed); }
    bool raised() const noexcept { return word_.load(std::memory_order_relaxed) != 0; }

private:
    std::atomic<std::int32_t> word_{0};
};

}  // namespace corvane
