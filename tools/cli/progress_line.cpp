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
    ticker_.emplace(std::chrono::seconds(1), std::chrono::milliseconds(250), [this] {
        std::fprintf(stderr, "\r%s   ", line_().c_str());
        std::fflush(stderr);
        shown_ = true;
    });
}

ProgressLine::~ProgressLine() {
    ticker_.reset();
    if (shown_) std::fprintf(stderr, "\n");
}

}  // namespace corvane
