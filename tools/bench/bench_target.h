#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "engine/search_sink.h"
#include "engine/target_access.h"
#include "tools/bench/memory_in_use.h"

namespace corvane::bench {

// Counts what reaches the target.
class CountingTarget : public TargetAccess {
public:
    explicit CountingTarget(TargetAccess& inner) : inner_(inner) {}
    bool read(std::uint64_t address, void* buffer, std::size_t size) override {
        calls.fetch_add(1, std::memory_order_relaxed);
        bytes.fetch_add(size, std::memory_order_relaxed);
        return inner_.read(address, buffer, size);
    }
    unsigned pointerWidth() const override { return inner_.pointerWidth(); }
    std::uint32_t openTarget() override { return inner_.openTarget(); }
    void reset() {
        calls = 0;
        bytes = 0;
    }
    std::atomic<std::uint64_t> calls{0};
    std::atomic<std::uint64_t> bytes{0};

private:
    TargetAccess& inner_;
};

// Hands out fixed settings and ignores what the passes report.
class BenchSink : public SearchSink {
public:
    SearchSettings settings;
    SearchSettings captureSettings() override { return settings; }
    ValueType currentType() override { return settings.type; }
    void publishCount(std::size_t) override {}
    void setStatusText(StatusField, const std::string&) override {}
    void firstSearchEnded(const FirstSearchReport&) override {}
    void reformatEnded() override {}
};

#ifndef _WIN32
// Forks a child that runs `layOut` and then waits until it is killed. Gives
// the child's id, or -1 with `why` when it could not be made or laid out.
inline pid_t forkLaidOut(const std::function<bool()>& layOut, std::string& why) {
    int ready[2];
    if (pipe(ready) != 0) {
        why = "pipe failed";
        return -1;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        why = "fork failed";
        return -1;
    }
    if (pid == 0) {
        close(ready[0]);
        const char answer = layOut() ? 'y' : 'n';
        if (write(ready[1], &answer, 1) != 1) _exit(1);
        for (;;) pause();
    }
    close(ready[1]);
    char answer = 0;
    const bool ok = read(ready[0], &answer, 1) == 1 && answer == 'y';
    close(ready[0]);
    if (!ok) why = "the child could not lay out its memory";
    return pid;
}
#endif

}  // namespace corvane::bench
