// Measures the passes against a sample target holding a table of pointers to
// blocks of 1000 longs (1000 blocks, or 10 000 with --huge) and prints, per
// pass: results, read calls, bytes read, wall time, peak memory above idle,
// and the limit measured in the same run with the same reader: every span
// the pass touches read once and its values summed; then the pass's ratio to
// it. On Windows (and under Wine) the target is the sample target process; on
// Linux a child process lays out the same memory and is read with
// process_vm_readv. Each pass and its limit run a few times; the best of each
// is printed, so a busy machine disturbs the figures less. --unreadable
// walks 2^31 - 1 leaves over unmapped memory instead; --memory measures the
// memory row (memory_bench.cpp).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/kit/block_pool.h"
#include "engine/target/memory_reader.h"
#include "engine/search/search_engine.h"
#include "engine/search/search_passes.h"
#include "engine/text/text_codec.h"
#include "engine/search/traversal.h"
#include "tools/bench/bench_target.h"
#include "tools/bench/dissect_bench.h"
#include "tools/bench/memory_bench.h"
#include "tools/bench/memory_in_use.h"
#include "tools/bench/pointer_bench.h"
#include "engine/files/results_file.h"
#include "tools/sample_target/sample_layout.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>

#include "engine/target/win32/target_process.h"
#include "tools/sample_target/sample_process.h"
#else
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/target/native/process_reader.h"
#endif

namespace {

using namespace corvane;
using Clock = std::chrono::steady_clock;

int kRepeats = 5;
// --only KEY runs the passes named so (equal, all, next, same, monitor,
// reformat, file), for profiling one of them; every other pass is skipped.
const char* onlyPass = nullptr;
bool wanted(const char* key) { return onlyPass == nullptr || std::strcmp(onlyPass, key) == 0; }

using bench::BenchSink;
using bench::CountingTarget;

#ifdef _WIN32
// The sample target process in its large or huge layout.
class Target {
public:
    bool start(bool huge, std::string& why) {
        process_ = sample::SampleProcess::start(false, true, why, huge);
        if (!process_) return false;
        reader_.targetPid = process_->pid();
        return true;
    }
    TargetAccess& reader() { return reader_; }
    std::uint64_t table() const { return process_->value("largeTable"); }
    const char* kind() const { return "sample_target.exe, ReadProcessMemory"; }

private:
    std::unique_ptr<sample::SampleProcess> process_;
    TargetProcess reader_;
};
#else
// A child process with the sample target's large layout at the same fixed
// addresses, waiting until this process ends or kills it.
class Target {
public:
    ~Target() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool start(bool huge, std::string& why) {
        why.clear();
        pid_ = bench::forkLaidOut([huge] { return layOut(huge ? sample::kHugeBlocks : sample::kLargeCount); }, why);
        if (pid_ < 0) return false;
        reader_ = std::make_unique<LinuxProcessReader>(pid_);
        return why.empty();
    }
    TargetAccess& reader() { return *reader_; }
    std::uint64_t table() const { return sample::kPlaces64.largeTable; }
    const char* kind() const { return "forked child, process_vm_readv"; }

private:
    static bool layOut(unsigned blocks) {
        using Pointer = std::uint64_t;
        const auto& places = sample::kPlaces64;
        auto* table = static_cast<unsigned char*>(map(places.largeTable, blocks * sizeof(Pointer)));
        auto* data =
            static_cast<unsigned char*>(map(places.largeBlocks, std::size_t{blocks} * sample::kLargeBlockStride));
        if (table == nullptr || data == nullptr) return false;
        for (unsigned i = 0; i < blocks; ++i) {
            const Pointer block = places.largeBlocks + std::uint64_t{i} * sample::kLargeBlockStride;
            std::memcpy(table + i * sizeof(Pointer), &block, sizeof block);
            for (unsigned j = 0; j < sample::kLargeCount; ++j) {
                const std::int32_t value = sample::largeValue(i, j);
                std::memcpy(data + std::size_t{i} * sample::kLargeBlockStride + 4 * j, &value, sizeof value);
            }
        }
        return true;
    }
    static void* map(std::uint64_t address, std::size_t size) {
        void* at = mmap(reinterpret_cast<void*>(address), size, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        return at == MAP_FAILED || at != reinterpret_cast<void*>(address) ? nullptr : at;
    }

    pid_t pid_ = -1;
    std::unique_ptr<LinuxProcessReader> reader_;
};
#endif

// Samples the memory in use while a pass runs; the peak is what it reports.
class PeakMemory {
public:
    PeakMemory()
        : peak_(memoryInUse()), sampler_([this] {
              while (!done_) {
                  const std::size_t now = memoryInUse();
                  if (now > peak_) peak_ = now;
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          }) {}
    std::size_t stop() {
        done_ = true;
        sampler_.join();
        const std::size_t now = memoryInUse();
        return now > peak_ ? now : peak_.load();
    }

private:
    std::atomic<bool> done_{false};
    std::atomic<std::size_t> peak_;
    std::thread sampler_;
};

struct Figures {
    std::size_t results = 0;
    std::uint64_t calls = 0;
    std::uint64_t bytes = 0;
    double ms = 1e300;
    double coldMs = 0;  // with no memory kept from an earlier pass
    double peakMiB = 0;
};

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The limit of a pass over `blocks` blocks: the table read once (when the
// pass walks paths), every block's span read once, and every value of
// `valueSize` bytes in it summed, so the compiler cannot drop the reads.
struct Limit {
    double ms = 1e300;
    std::uint64_t calls = 0;
    std::uint64_t sum = 0;
};

Limit measureLimit(CountingTarget& target, std::uint64_t table, unsigned blocks, bool readsTable,
                   std::size_t valueSize) {
    Limit limit;
    std::vector<std::uint64_t> pointers(blocks);
    std::vector<unsigned char> span(sample::kLargeCount * 4);
    const std::size_t spanBytes = (sample::kLargeCount - 1) * 4 + valueSize;
    {
        target.reset();
        const auto start = Clock::now();
        if (readsTable) {
            if (!target.read(table, pointers.data(), blocks * sizeof(std::uint64_t))) return limit;
        } else {
            // The reformat reads at the listed addresses and walks no path.
            for (unsigned i = 0; i < blocks; ++i)
                pointers[i] = sample::kPlaces64.largeBlocks + std::uint64_t{i} * sample::kLargeBlockStride;
        }
        std::uint64_t sum = 0;
        for (unsigned i = 0; i < blocks; ++i) {
            if (!target.read(pointers[i], span.data(), spanBytes)) continue;
            // Fixed-size loads, so that the limit is as fast as summing can be.
            if (valueSize == 1) {
                for (std::size_t j = 0; j < sample::kLargeCount; ++j) sum += span[4 * j];
            } else {
                for (std::size_t j = 0; j < sample::kLargeCount; ++j) {
                    std::int32_t value;
                    std::memcpy(&value, span.data() + 4 * j, sizeof value);
                    sum += static_cast<std::uint64_t>(value);
                }
            }
        }
        limit.ms = msSince(start);
        limit.calls = target.calls;
        limit.sum = sum;
    }
    return limit;
}

void header() {
    std::printf("%-32s %8s %7s %10s %9s %8s %9s %8s %8s %7s %7s\n", "pass", "results", "calls", "bytes", "ms",
                "cold ms", "peak MiB", "limit ms", "calls", "ratio", "calls x");
}

void print(const char* name, const Figures& f, const Limit& limit) {
    std::printf("%-32s %8zu %7llu %10llu %9.1f %8.1f %9.1f %8.2f %8llu %6.1fx %6.2fx\n", name, f.results,
                static_cast<unsigned long long>(f.calls), static_cast<unsigned long long>(f.bytes), f.ms, f.coldMs,
                f.peakMiB, limit.ms, static_cast<unsigned long long>(limit.calls), f.ms / limit.ms,
                static_cast<double>(f.calls) / static_cast<double>(limit.calls));
}

// Runs `prepare` (untimed), then `pass` once for its peak memory and once
// for its cold time, both with no memory kept for reuse (and, for a first
// search, no results before it: the memory of a first search after another
// is the earlier results'); then `pass` and
// its limit alternately, kRepeats times: the times are the best of each,
// taken close together so that a busy machine weighs on both alike.
Figures measure(CountingTarget& target, SearchEngine& engine, const std::function<void()>& prepare,
                const std::function<void()>& pass, const std::function<Limit()>& measureItsLimit, Limit& limit,
                bool first = false) {
    Figures figures;
    limit = Limit{};
    for (int repeat = -1; repeat <= kRepeats; ++repeat) {
        prepare();
        if (repeat <= 0) {
            if (first) engine.results().clear();
            BlockPool::releaseKept();
        }
        const std::size_t idle = memoryInUse();
        target.reset();
        // The memory run is not timed: the sampler's own calls (a server
        // round trip under Wine) would slow the pass.
        std::unique_ptr<PeakMemory> peak = repeat < 0 ? std::make_unique<PeakMemory>() : nullptr;
        const auto start = Clock::now();
        pass();
        const double ms = msSince(start);
        if (peak) {
            const std::size_t top = peak->stop();
            figures.peakMiB = static_cast<double>(top > idle ? top - idle : 0) / 1048576.0;
            continue;
        }
        if (repeat == 0) {
            figures.coldMs = ms;
            continue;
        }
        figures.ms = std::min(figures.ms, ms);
        figures.results = engine.results().count();
        figures.calls = target.calls;
        figures.bytes = target.bytes;
        const Limit once = measureItsLimit();
        if (once.ms < limit.ms) limit = once;
    }
    return figures;
}

// A structure of 2^31 - 1 leaves over memory where nothing is mapped: it is
// stopped after a second, then (natively, where an unreadable page costs
// microseconds) run to its end; memory must stay flat both times.
void unreadable(CountingTarget& target, SearchEngine& engine, BenchSink& sink, bool toTheEnd) {
    const std::vector<StructureRow> rows{{0x200000000000, 0x7FFFFFFF, 4}};
    sink.settings = {ValueType::Long, 0, SearchCondition::None, "", ""};
    std::printf("\n2^31 - 1 leaves over unmapped memory:\n");
    for (const bool stop : {true, false}) {
        if (!stop && !toTheEnd) break;
        const std::size_t idle = memoryInUse();
        target.reset();
        PeakMemory peak;
        const auto start = Clock::now();
        if (!engine.startFirstSearch(rows)) return;
        if (stop) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            engine.stopRequested.raise();
        }
        engine.waitForWorkers();
        const double ms = msSince(start);
        const std::size_t top = peak.stop();
        std::printf("  %s: %llu leaves, %zu results, %llu calls, %.0f ms, peak %.1f MiB above idle\n",
                    stop ? "stopped after 1 s" : "to the end",
                    static_cast<unsigned long long>(engine.progress().leaves.load()), engine.results().count(),
                    static_cast<unsigned long long>(target.calls.load()), ms,
                    static_cast<double>(top > idle ? top - idle : 0) / 1048576.0);
    }
}

int run(bool huge, bool unmapped) {
    Target process;
    std::string why;
    if (!process.start(huge, why)) {
        std::fprintf(stderr, "cannot start the sample target: %s\n", why.c_str());
        return 1;
    }
    CountingTarget target(process.reader());
    target.openTarget();
    BenchSink sink;
    SearchEngine engine(target, sink, systemTextCodec());
    const std::uint64_t table = process.table();
    const unsigned blocks = huge ? sample::kHugeBlocks : sample::kLargeCount;
    const auto tableStart = static_cast<std::int64_t>(table);
    const std::vector<StructureRow> rows{{tableStart, static_cast<std::int32_t>(blocks), 8}, {0, 1000, 4}};
    const std::vector<StructureRow> thousand{{tableStart, 1000, 8}, {0, 1000, 4}};

    std::printf("%s; table at %llX; %u x 1000 longs; best of %d\n\n", process.kind(),
                static_cast<unsigned long long>(table), blocks, kRepeats);
    if (unmapped) {
#ifdef _WIN32
        unreadable(target, engine, sink, false);
#else
        unreadable(target, engine, sink, true);
#endif
        return 0;
    }
    header();
    auto first = [&](SearchCondition condition, const char* value, const std::vector<StructureRow>& structure) {
        sink.settings = {ValueType::Long, 0, condition, value, ""};
        engine.runFirstSearch(structure);
    };
    auto nothing = [] {};
    auto leaves = [&] { return measureLimit(target, table, blocks, true, 4); };
    Limit limit;

    Figures equal;
    if (wanted("equal")) {
        equal = measure(
            target, engine, nothing, [&] { first(SearchCondition::Equal, "500500", rows); }, leaves, limit, true);
        print("first search 等于 500500", equal, limit);
    }
    if (huge) {
        const Figures small = measure(
            target, engine, nothing, [&] { first(SearchCondition::Equal, "500500", thousand); },
            [&] { return measureLimit(target, table, 1000, true, 4); }, limit, true);
        print("first search 等于, 1000 x 1000", small, limit);
        std::printf("\n10 000 x 1000 against 1000 x 1000: %.1fx the time\n", equal.ms / small.ms);
        return 0;
    }

    if (wanted("all")) {
        const Figures all = measure(
            target, engine, nothing, [&] { first(SearchCondition::None, "", rows); }, leaves, limit, true);
        print("first search 不过滤", all, limit);
        std::printf("%-32s %.1f bytes per result kept, %.1f at the peak\n", "",
                    static_cast<double>(engine.results().memoryBytes()) / static_cast<double>(all.results),
                    all.peakMiB * 1048576.0 / static_cast<double>(all.results));
    }

    auto fresh = [&] { first(SearchCondition::None, "", rows); };
    // A next search over the million results of a fresh first search.
    auto next = [&](const char* name, SearchCondition condition, const char* value) {
        const Figures figures = measure(
            target, engine, fresh,
            [&] {
                sink.settings = {ValueType::Long, 0, condition, value, ""};
                engine.runNextSearch();
            },
            leaves, limit);
        print(name, figures, limit);
        return figures;
    };
    if (wanted("next")) next("next search 等于 500500", SearchCondition::Equal, "500500");
    Figures nextSame;
    if (wanted("same") || wanted("file"))
        nextSame = next("next search 保留没有改变的数值*", SearchCondition::Unchanged, "");
    if (wanted("monitor")) {
        fresh();
        const Figures monitor = measure(
            target, engine, nothing,
            [&] { runMonitorCycle(target, engine.results(), ValueType::Long, 0, systemTextCodec()); }, leaves, limit);
        print("monitor cycle", monitor, limit);
    }
    if (wanted("reformat")) {
        const Figures reformat = measure(
            target, engine, fresh,
            [&] {
                sink.settings = {ValueType::Byte, 0, SearchCondition::None, "", ""};
                engine.runReformat();
            },
            [&] { return measureLimit(target, table, blocks, false, 1); }, limit);
        print("reformat 长整型 to 字节", reformat, limit);
    }
    if (!wanted("file")) return 0;

    // The command line's part: the results file of a million lines written
    // and read back, against the engine's own pass over the same results.
    fresh();
    double writeMs = 1e300, readMs = 1e300;
    std::size_t lines = 0;
    // A file on disk, as the command line writes and reads it.
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "corvane_bench_results.txt";
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        {
            std::ofstream out(file, std::ios::binary);
            const auto start = Clock::now();
            writeResults(out, engine.results(), systemTextCodec());
            out.flush();
            writeMs = std::min(writeMs, msSince(start));
        }
        std::ifstream in(file, std::ios::binary);
        ResultStore back;
        std::string error;
        const auto start = Clock::now();
        if (!readResults(in, back, systemTextCodec(), error)) std::fprintf(stderr, "read back: %s\n", error.c_str());
        readMs = std::min(readMs, msSince(start));
        lines = back.count();
    }
    std::filesystem::remove(file);
    std::printf(
        "\nresults file, %zu lines: write %.1f ms, read %.1f ms; together %.1fx the next search "
        "保留没有改变的数值* (%.1f ms)\n",
        lines, writeMs, readMs, (writeMs + readMs) / nextSame.ms, nextSame.ms);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--pointers") == 0) return corvane::runPointerBench(argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--dissect") == 0) return corvane::runDissectBench(argc, argv);
    bool huge = false;
    bool unmapped = false;
    bool memoryRow = false;
    bool spill = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hold") == 0 && i + 1 < argc)
            return bench::holdMemory(std::strtoull(argv[i + 1], nullptr, 10),
                                     i + 2 < argc && std::strcmp(argv[i + 2], "--half-zero") == 0);
        if (std::strcmp(argv[i], "--memory") == 0) memoryRow = true;
        if (std::strcmp(argv[i], "--huge") == 0) huge = true;
        if (std::strcmp(argv[i], "--spill") == 0) spill = true;
        if (std::strcmp(argv[i], "--unreadable") == 0) unmapped = true;
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) onlyPass = argv[++i];
        if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc) kRepeats = std::max(1, std::atoi(argv[++i]));
    }
    try {
        if (memoryRow) return bench::runMemoryBench(kRepeats, spill);
        return run(huge, unmapped);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return 1;
    }
}
