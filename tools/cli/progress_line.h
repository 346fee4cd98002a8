#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace corvane {

// A run that lasts longer than a second shows, on a terminal, one line of
// standard error that is rewritten in place four times a second with what
// `line` says. Nothing is written when standard error is a file or a pipe.
class ProgressLine {
public:
    explicit ProgressLine(std::function<std::string()> line);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    void show();

    std::function<std::string()> line_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace corvane
