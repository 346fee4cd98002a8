#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/search_sink.h"
#include "engine/target_access.h"

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

}  // namespace corvane::bench
