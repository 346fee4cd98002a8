// Measures the passes against the sample target in its large mode (a table of
// 1000 pointers to blocks of 1000 longs) and prints, per pass: results, read
// calls, bytes read, wall time, peak memory above idle; then the same passes
// with one read call per value, side by side, on a 100 x 1000 structure.

#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "engine/memory_reader.h"
#include "engine/search_engine.h"
#include "engine/search_passes.h"
#include "engine/text_codec.h"
#include "engine/traversal.h"
#include "engine/win32/target_process.h"
#include "tools/sample_target/sample_layout.h"
#include "tools/sample_target/sample_process.h"

namespace {

using namespace corvane;
using Clock = std::chrono::steady_clock;

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

std::size_t privateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    // The commit charge; Wine leaves PrivateUsage at 0.
    return counters.PagefileUsage;
}

// Samples the private bytes while a pass runs; the peak is what it reports.
class PeakMemory {
public:
    PeakMemory()
        : peak_(privateBytes()), sampler_([this] {
              while (!done_) {
                  const std::size_t now = privateBytes();
                  if (now > peak_) peak_ = now;
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          }) {}
    std::size_t stop() {
        done_ = true;
        sampler_.join();
        const std::size_t now = privateBytes();
        return now > peak_ ? now : peak_.load();
    }

private:
    std::atomic<bool> done_{false};
    std::atomic<std::size_t> peak_;
    std::thread sampler_;
};

struct Row {
    const char* pass;
    std::size_t results;
    std::uint64_t calls;
    std::uint64_t bytes;
    double ms;
    double peakMiB;
    double bytesPerValue;
};

void print(const Row& row) {
    std::printf("%-34s %9zu %9llu %12llu %10.1f %12.1f %10.1f\n", row.pass, row.results,
                static_cast<unsigned long long>(row.calls), static_cast<unsigned long long>(row.bytes), row.ms,
                row.peakMiB, row.bytesPerValue);
}

template <typename Pass>
Row measure(const char* name, CountingTarget& target, SearchEngine& engine, std::size_t idle, Pass pass) {
    target.reset();
    PeakMemory peak;
    const auto start = Clock::now();
    pass();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const std::size_t top = peak.stop();
    const auto above = static_cast<double>(top > idle ? top - idle : 0);
    // Every pass here handles the structure's million values.
    return {name, engine.results().count(), target.calls.load(), target.bytes.load(),
            ms,   above / 1048576.0,        above / 1e6};
}

// The passes as they would run with one read call per pointer and per value.
std::size_t naiveFirstSearch(MemoryReader& reader, std::uint64_t table, unsigned width, int rows, std::int32_t* sum) {
    std::size_t kept = 0;
    for (int i = 0; i < rows; ++i) {
        std::uint64_t block = 0;
        if (!readPointer(reader, table + static_cast<std::uint64_t>(i) * width, block) ||
            !isFollowablePointer(block, width))
            continue;
        for (std::uint64_t j = 0; j < 1000; ++j) {
            std::int32_t value = 0;
            if (reader.read(block + 4 * j, &value, sizeof value)) {
                *sum += value;
                ++kept;
            }
        }
    }
    return kept;
}

int run() {
    std::string why;
    auto process = sample::SampleProcess::start(false, true, why);
    if (!process) {
        std::fprintf(stderr, "cannot start the sample target: %s\n", why.c_str());
        return 1;
    }
    TargetProcess process64;
    process64.targetPid = process->pid();
    CountingTarget target(process64);
    BenchSink sink;
    SearchEngine engine(target, sink, systemTextCodec());
    const auto table = static_cast<std::int64_t>(process->value("largeTable"));
    const std::vector<StructureRow> large{{table, 1000, 8}, {0, 1000, 4}};
    const std::vector<StructureRow> small{{table, 100, 8}, {0, 1000, 4}};
    const std::size_t idle = privateBytes();

    std::printf("sample target pid %lu, table at %llX; 1000 x 1000 longs\n\n", process->pid(),
                static_cast<unsigned long long>(table));
    std::printf("%-34s %9s %9s %12s %10s %12s %10s\n", "pass", "results", "calls", "bytes", "ms", "peak MiB",
                "B/value");
    auto first = [&](SearchCondition condition, const char* value) {
        sink.settings = {ValueType::Long, 0, condition, value, ""};
        engine.runFirstSearch(large);
    };
    print(measure("first search 不过滤", target, engine, idle, [&] { first(SearchCondition::None, ""); }));
    print(measure("first search 等于 500500", target, engine, idle, [&] { first(SearchCondition::Equal, "500500"); }));
    first(SearchCondition::None, "");
    print(measure("next search 等于 500500", target, engine, idle, [&] {
        sink.settings = {ValueType::Long, 0, SearchCondition::Equal, "500500", ""};
        engine.runNextSearch();
    }));
    first(SearchCondition::None, "");
    print(measure("next search 保留没有改变的数值*", target, engine, idle, [&] {
        sink.settings = {ValueType::Long, 0, SearchCondition::Unchanged, "", ""};
        engine.runNextSearch();
    }));
    print(measure("monitor cycle", target, engine, idle,
                  [&] { runMonitorCycle(target, engine.results(), ValueType::Long, 0, systemTextCodec()); }));
    print(measure("reformat 长整型 to 字节", target, engine, idle, [&] {
        sink.settings = {ValueType::Byte, 0, SearchCondition::None, "", ""};
        engine.runReformat();
    }));

    std::printf("\none read call per value against the engine, 100 x 1000 structure:\n");
    target.reset();
    std::int32_t sum = 0;
    auto start = Clock::now();
    const std::size_t naiveKept = naiveFirstSearch(target, static_cast<std::uint64_t>(table), 8, 100, &sum);
    const double naiveMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const std::uint64_t naiveCalls = target.calls;
    target.reset();
    sink.settings = {ValueType::Long, 0, SearchCondition::None, "", ""};
    start = Clock::now();
    engine.runFirstSearch(small);
    const double engineMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("  single reads: %zu values, %llu calls, %.1f ms\n", naiveKept,
                static_cast<unsigned long long>(naiveCalls), naiveMs);
    std::printf("  engine:       %zu values, %llu calls, %.1f ms\n", engine.results().count(),
                static_cast<unsigned long long>(target.calls.load()), engineMs);
    std::printf("  speed-up %.0fx, %.0fx fewer calls\n", naiveMs / engineMs,
                static_cast<double>(naiveCalls) / static_cast<double>(target.calls.load()));
    return 0;
}

}  // namespace

int main() {
    try {
        return run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return 1;
    }
}
