#include "engine/kit/ticker.h"

namespace corvane {

Ticker::Ticker(std::chrono::milliseconds delay, std::chrono::milliseconds period, std::function<void()> tick)
    : tick_(std::move(tick)) {
    thread_ = std::thread([this, delay, period] { loop(delay, period); });
}

Ticker::~Ticker() {
    {
        const std::lock_guard lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Ticker::loop(std::chrono::milliseconds delay, std::chrono::milliseconds period) {
    std::unique_lock lock(mutex_);
    for (auto wait = delay; !wake_.wait_for(lock, wait, [this] { return done_; }); wait = period) {
        // The tick runs unlocked, so the destructor is never kept waiting for
        // the lock by a slow one, only for its end.
        lock.unlock();
        tick_();
        lock.lock();
    }
}

}  // namespace corvane
