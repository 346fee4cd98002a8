#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "engine/kit/ticker.h"

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
    std::function<std::string()> line_;
    std::atomic<bool> shown_{false};
    std::optional<Ticker> ticker_;  // goes before the closing line is written
};

}  // namespace corvane
