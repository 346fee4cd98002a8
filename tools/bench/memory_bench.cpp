#include "tools/bench/memory_bench.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/memory/memory_scan.h"
#include "engine/search/search_engine.h"
#include "engine/search/search_passes.h"
#include "engine/text/text_codec.h"
#include "tools/bench/bench_target.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>

#include "engine/target/win32/target_process.h"
#else
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/target/native/process_reader.h"
#endif

namespace corvane::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Every word of the block is its index modulo 27, so that 0 comes back about
// ten million times in a gibibyte; one word holds the planted value.
constexpr std::int32_t kPlanted = 0x13572468;
constexpr std::uint32_t kPattern = 27;

void fill(unsigned char* block, std::uint64_t bytes) {
    for (std::uint64_t i = 0; i < bytes / 4; ++i) {
        const auto value = static_cast<std::int32_t>(i % kPattern);
        std::memcpy(block + 4 * i, &value, 4);
    }
    std::memcpy(block + bytes / 2 + 4, &kPlanted, 4);
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

#ifdef _WIN32
// This program again, with --hold: it fills its block, says "y" and holds it
// until this process goes.
class Holder {
public:
    bool start(std::uint64_t mebibytes) {
        char answer = 0;
        return child_.start(L"--hold " + std::to_wstring(mebibytes)) && child_.readReport(&answer, 1) && answer == 'y';
    }
    std::uint32_t pid() const { return child_.pid(); }

private:
    SelfChild child_;
};

std::unique_ptr<TargetProcess> openReader(const Holder& holder) {
    auto reader = std::make_unique<TargetProcess>();
    reader->targetPid = holder.pid();
    return reader;
}
#else
// A forked child holding the block until it is killed.
class Holder {
public:
    bool start(std::uint64_t mebibytes) {
        std::string why;
        pid_ = forkLaidOut(
            [mebibytes] {
                const std::uint64_t bytes = mebibytes << 20;
                void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
                if (block == MAP_FAILED) return false;
                fill(static_cast<unsigned char*>(block), bytes);
                return true;
            },
            why);
        return pid_ >= 0 && why.empty();
    }
    ~Holder() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    std::uint32_t pid() const { return static_cast<std::uint32_t>(pid_); }

private:
    pid_t pid_ = -1;
};

std::unique_ptr<LinuxProcessReader> openReader(const Holder& holder) {
    return std::make_unique<LinuxProcessReader>(static_cast<pid_t>(holder.pid()));
}
#endif

using Counted = CountingTarget;
using Sink = BenchSink;

struct Run {
    double ms = 1e300;
    std::uint64_t calls = 0;
    std::uint64_t bytes = 0;
    double peakMiB = 0;
};

// The best of `repeats` runs of `body` for time; calls and the peak memory
// above what was in use before from the first.
template <typename Body>
Run measure(Counted& target, int repeats, Body&& body) {
    Run run;
    for (int i = 0; i < repeats; ++i) {
        target.reset();
        const std::size_t idle = memoryInUse();
        std::atomic<bool> done{false};
        std::atomic<std::size_t> peak{idle};
        std::thread sampler([&] {
            while (!done) {
                peak = std::max(peak.load(), memoryInUse());
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        const auto start = Clock::now();
        body();
        const double ms = msSince(start);
        done = true;
        sampler.join();
        peak = std::max(peak.load(), memoryInUse());
        run.ms = std::min(run.ms, ms);
        if (i == 0) {
            run.calls = target.calls;
            run.bytes = target.bytes;
            run.peakMiB = static_cast<double>(peak - idle) / (1 << 20);
        }
    }
    return run;
}

// Runs of whole pages, each read in chunks of the scan's size, every value at
// `step` compared: what any pass over those pages must do at least.
std::uint64_t readRuns(Counted& target, const std::vector<MemoryRegion>& runs, std::uint64_t& sum) {
    std::vector<unsigned char> chunk(kReadChunkBytes);
    std::uint64_t matches = 0;
    for (const MemoryRegion& run : runs) {
        for (std::uint64_t at = run.start; at < run.end(); at += kReadChunkBytes) {
            const std::size_t size = static_cast<std::size_t>(std::min(kReadChunkBytes, run.end() - at));
            if (!target.read(at, chunk.data(), size)) continue;
            for (std::size_t i = 0; i + 4 <= size; i += 4) {
                std::int32_t value;
                std::memcpy(&value, chunk.data() + i, 4);
                matches += value == kPlanted;
                sum += static_cast<std::uint32_t>(value);
            }
        }
    }
    return matches;
}

void print(const char* name, std::uint64_t results, const Run& run, const Run& limit) {
    std::printf("%-34s %10llu %7llu %11llu %9.1f %9.1f %9.1f %7llu %6.2fx\n", name,
                static_cast<unsigned long long>(results), static_cast<unsigned long long>(run.calls),
                static_cast<unsigned long long>(run.bytes), run.ms, run.peakMiB, limit.ms,
                static_cast<unsigned long long>(limit.calls), run.ms / limit.ms);
}

void benchSize(std::uint64_t mebibytes, int repeats) {
    Holder holder;
    if (!holder.start(mebibytes)) {
        std::fprintf(stderr, "cannot start a process holding %llu MiB\n", static_cast<unsigned long long>(mebibytes));
        return;
    }
    auto reader = openReader(holder);
    Counted target(*reader);
    target.openTarget();
    Sink sink;
    SearchEngine engine(target, sink, systemTextCodec());
    engine.setRegionLookup(reader.get());
    const std::vector<MemoryRegion> regions = writableRegions(reader->readableRegions());
    std::uint64_t total = 0;
    for (const MemoryRegion& region : regions) total += region.size;
    std::printf("\n%llu MiB held; %zu writable regions, %.1f MiB in all\n", static_cast<unsigned long long>(mebibytes),
                regions.size(), static_cast<double>(total) / (1 << 20));
    std::printf("%-34s %10s %7s %11s %9s %9s %9s %7s %7s\n", "pass", "results", "calls", "bytes", "ms", "peak MiB",
                "limit ms", "calls", "ratio");

    std::uint64_t sum = 0;
    std::uint64_t planted = 0;
    const Run limit = measure(target, repeats, [&] { planted = readRuns(target, regions, sum); });
    auto first = [&](SearchCondition condition, const std::string& value) {
        sink.settings = {ValueType::Long, 0, condition, value, ""};
        return engine.runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
    };
    FirstSearchReport report;
    const Run equal =
        measure(target, repeats, [&] { report = first(SearchCondition::Equal, std::to_string(kPlanted)); });
    print("first 等于 planted value", report.results, equal, limit);
    if (report.results != planted)
        std::printf("  the limit counts %llu planted values\n", static_cast<unsigned long long>(planted));
    // The float kinds compare floored values unless their base says not to.
    for (const std::uint8_t base : {std::uint8_t{0}, std::uint8_t{1}}) {
        const Run single = measure(target, repeats, [&] {
            sink.settings = {ValueType::Single, base, SearchCondition::Equal, "1.5", ""};
            report = engine.runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
        });
        print(base == 0 ? "first 等于 1.5, single, floored" : "first 等于 1.5, single, exact", report.results, single,
              limit);
    }

    // Each next search uses its snapshot up: the two run in pairs, the best
    // of each kept, as for the passes above.
    Run snapshot;
    Run changed;
    std::uint64_t snapshotBytes = 0;
    for (int i = 0; i < repeats; ++i) {
        const Run taken = measure(target, 1, [&] { report = first(SearchCondition::None, ""); });
        snapshotBytes = engine.snapshot() ? engine.snapshot()->memoryBytes() : 0;
        sink.settings = {ValueType::Long, 0, SearchCondition::Changed, "", ""};
        const Run narrowed = measure(target, 1, [&] { engine.runNextSearch(); });
        if (i == 0 || taken.ms < snapshot.ms) snapshot = taken;
        if (i == 0 || narrowed.ms < changed.ms) changed = narrowed;
    }
    print("first 不过滤 (snapshot)", report.snapshotAddresses, snapshot, limit);
    std::printf("  snapshot %.1f MiB for %.1f MiB scanned\n", static_cast<double>(snapshotBytes) / (1 << 20),
                static_cast<double>(total) / (1 << 20));
    print("next 保留改变了的数值* (snapshot)", engine.results().count(), changed, limit);

    // Ten million results and more: every word 0 of the block.
    const Run zero = measure(target, 1, [&] { report = first(SearchCondition::Equal, "0"); });
    print("first 等于 0", report.results, zero, limit);
    const std::size_t count = engine.results().count();
    std::vector<MemoryRegion> pages;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t page = engine.results().address(i) & ~(kPageSize - 1);
        if (!pages.empty() && pages.back().end() == page)
            pages.back().size += kPageSize;
        else if (pages.empty() || pages.back().end() < page + kPageSize)
            pages.push_back({page, kPageSize, true});
    }
    const Run pageLimit = measure(target, repeats, [&] { readRuns(target, pages, sum); });
    std::printf(
        "  %zu results, %.1f bytes each in the store\n", count,
        static_cast<double>(engine.results().memoryBytes()) / static_cast<double>(std::max<std::size_t>(count, 1)));
    sink.settings = {ValueType::Long, 0, SearchCondition::Equal, "0", ""};
    const Run nextEqual = measure(target, 1, [&] { engine.runNextSearch(); });
    print("next 等于 0 over the results", engine.results().count(), nextEqual, pageLimit);
    const Run monitor =
        measure(target, 1, [&] { runMonitorCycle(target, engine.results(), ValueType::Long, 0, systemTextCodec()); });
    print("one monitor cycle", engine.results().count(), monitor, pageLimit);
    sink.settings = {ValueType::Long, 0, SearchCondition::Changed, "", ""};
    const Run nextChanged = measure(target, 1, [&] { engine.runNextSearch(); });
    print("next 保留改变了的数值* over them", engine.results().count(), nextChanged, pageLimit);
    std::printf("  (checksum %llu)\n", static_cast<unsigned long long>(sum));
}

}  // namespace

int runMemoryBench(int repeats) {
    std::printf("memory row: one planted value, the limit reads every region once in %llu KiB chunks\n",
                static_cast<unsigned long long>(kReadChunkBytes >> 10));
    for (const std::uint64_t mebibytes : {256u, 1024u}) benchSize(mebibytes, repeats);
    return 0;
}

int holdMemory(std::uint64_t mebibytes) {
#ifdef _WIN32
    const std::uint64_t bytes = mebibytes << 20;
    auto* block = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (block == nullptr) return 1;
    fill(block, bytes);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "y", 1, &written, nullptr);
    waitForInputToClose();
    return 0;
#else
    (void)mebibytes;
    return 1;
#endif
}

}  // namespace corvane::bench
