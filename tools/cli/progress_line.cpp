#include "tools/cli/progress_line.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define CORVANE_ISATTY _isatty
#define CORVANE_FILENO _fileno
#else
#include <unistd.h>
#define CORVANE_ISATTY isatty
#define CORVANE_FILENO fileno
#endif

namespace corvane {

ProgressLine::ProgressLine(std::function<std::string()> line) : line_(std::move(line)) {
    if (!CORVANE_ISATTY(CORVANE_FILENO(stderr))) return;
    thread_ = std::thread([this] { show(); });
}

ProgressLine::~ProgressLine() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void ProgressLine::show() {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, std::chrono::seconds(1), [this] { return done_; })) return;
    bool shown = false;
    while (!done_) {
        std::fprintf(stderr, "\r%s   ", line_().c_str());
        std::fflush(stderr);
        shown = true;
        wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return done_; });
    }
    if (shown) std::fprintf(stderr, "\n");
}

}  // namespace corvane
