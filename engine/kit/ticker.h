#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace corvane {

// Calls `tick` on a thread of its own, first after `delay`, then every
// `period`, until it is destroyed; the destructor wakes the thread at once,
// so a job that ends early is not held up by the period. No call starts
// once the destructor has begun, and none runs after it returns.
class Ticker {
public:
    Ticker(std::chrono::milliseconds delay, std::chrono::milliseconds period, std::function<void()> tick);
    ~Ticker();
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

private:
    void loop(std::chrono::milliseconds delay, std::chrono::milliseconds period);

    std::function<void()> tick_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace corvane
