#include "tools/bench/memory_bench.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/files/snapshot_file.h"
#include "engine/kit/both_cores.h"
#include "engine/memory/memory_scan.h"
#include "engine/search/search_engine.h"
#include "engine/search/search_passes.h"
#include "engine/search/spill_file.h"
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

// With `halfZero`, every other 64 KiB of the block stays zero pages.
void fill(unsigned char* block, std::uint64_t bytes, bool halfZero = false) {
    for (std::uint64_t i = 0; i < bytes / 4; ++i) {
        if (halfZero && (4 * i / (64 << 10)) % 2 == 1) continue;
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
    bool start(std::uint64_t mebibytes, bool halfZero = false) {
        char answer = 0;
        return child_.start(L"--hold " + std::to_wstring(mebibytes) + (halfZero ? L" --half-zero" : L"")) &&
               child_.readReport(&answer, 1) && answer == 'y';
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
// This program again, with --hold: it fills its block, says "y" and holds it
// until it is killed.
class Holder {
public:
    bool start(std::uint64_t mebibytes, bool halfZero = false) {
        std::vector<std::string> args{"--hold", std::to_string(mebibytes)};
        if (halfZero) args.emplace_back("--half-zero");
        char answer = 0;
        bool reported = false;
        pid_ = execSelf(args, &answer, 1, reported);
        return reported && answer == 'y';
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

void print(const char* name, std::uint64_t results, const Run& run, const Run& limit);

// Faulting in as much fresh memory as `bytes`: what a pass that must keep
// that much pays beyond reading it.
// Taken from the system, not the heap, which may hand back pages it has
// faulted in already.
double faultMs(std::uint64_t bytes) {
    const auto size = static_cast<std::size_t>(bytes);
    const auto start = Clock::now();
#ifdef _WIN32
    void* fresh = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (fresh == nullptr) return 0;
#else
    void* fresh = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (fresh == MAP_FAILED) return 0;
#endif
    volatile unsigned char* touch = static_cast<unsigned char*>(fresh);
    for (std::uint64_t at = 0; at < bytes; at += kPageSize) touch[at] = 1;
    const double ms = msSince(start);
#ifdef _WIN32
    VirtualFree(fresh, 0, MEM_RELEASE);
#else
    munmap(fresh, size);
#endif
    return ms;
}

// Reading the memory once and writing as many bytes as `bytes` to a file of
// the folder the snapshot goes to, or, with `readBack`, reading that file once.
Run fileLimit(Counted& target, const std::vector<MemoryRegion>& regions, const std::filesystem::path& path,
              std::uint64_t bytes, bool readBack, int repeats) {
    std::vector<unsigned char> chunk(kReadChunkBytes);
    if (readBack) {
        std::ofstream out(path, std::ios::binary);
        for (std::uint64_t at = 0; at < bytes; at += chunk.size())
            out.write(reinterpret_cast<const char*>(chunk.data()),
                      static_cast<std::streamsize>(std::min<std::uint64_t>(chunk.size(), bytes - at)));
    }
    std::uint64_t sum = 0;
    const Run run = measure(target, repeats, [&] {
        readRuns(target, regions, sum);
        if (readBack) {
            std::ifstream in(path, std::ios::binary);
            while (in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()))) {
            }
        } else {
            std::ofstream out(path, std::ios::binary);
            for (std::uint64_t at = 0; at < bytes; at += chunk.size())
                out.write(reinterpret_cast<const char*>(chunk.data()),
                          static_cast<std::streamsize>(std::min<std::uint64_t>(chunk.size(), bytes - at)));
        }
    });
    std::filesystem::remove(path);
    return run;
}

// The command line's unknown-value session: the snapshot streamed to a file
// as the memory is read, then narrowed from it beside the memory.
void benchStreamed(Counted& target, SearchEngine& engine, Sink& sink, const std::vector<MemoryRegion>& regions,
                   int repeats) {
    const auto path = std::filesystem::temp_directory_path() / "corvane_bench.snapshot";
    std::uint64_t fileBytes = 0;
    std::uint64_t stored = 0;
    Run first;
    Run next;
    FirstSearchReport report;
    for (int i = 0; i < repeats; ++i) {
        SnapshotFileWriter* writer = nullptr;
        engine.makeSnapshotStore = [&]() -> std::unique_ptr<SnapshotStore> {
            auto made = std::make_unique<SnapshotFileWriter>(path);
            writer = made.get();
            return made;
        };
        sink.settings = {ValueType::Long, 0, SearchCondition::None, "", ""};
        const Run taken = measure(target, 1, [&] {
            report = engine.runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
            if (engine.snapshot() != nullptr) writer->finish(*engine.snapshot());
        });
        engine.makeSnapshotStore = nullptr;
        if (engine.snapshot() == nullptr) return;
        stored = engine.snapshot()->storedBytes();
        fileBytes = std::filesystem::file_size(path);
        MemorySnapshot opened;
        std::string error;
        if (!openSnapshotFile(path, opened, error)) {
            std::printf("  %s\n", error.c_str());
            return;
        }
        engine.installSnapshot(std::move(opened));
        sink.settings = {ValueType::Long, 0, SearchCondition::Changed, "", ""};
        const Run narrowed = measure(target, 1, [&] { engine.runNextSearch(); });
        if (i == 0 || taken.ms < first.ms) first = taken;
        if (i == 0 || narrowed.ms < next.ms) next = narrowed;
    }
    std::filesystem::remove(path);
    const Run writeLimit = fileLimit(target, regions, path, fileBytes, false, repeats);
    const Run readLimit = fileLimit(target, regions, path, fileBytes, true, repeats);
    print("file: first 不过滤 (streamed)", report.snapshotAddresses, first, writeLimit);
    print("file: next 保留改变了的数值*", engine.results().count(), next, readLimit);
    std::printf("  file %.1f MiB for %.1f MiB of non-zero pages; limits: read + write %.1f ms, read + read %.1f ms\n",
                static_cast<double>(fileBytes) / (1 << 20), static_cast<double>(stored) / (1 << 20), writeLimit.ms,
                readLimit.ms);
}

void print(const char* name, std::uint64_t results, const Run& run, const Run& limit) {
    std::printf("%-34s %10llu %7llu %11llu %9.1f %9.1f %9.1f %7llu %6.2fx\n", name,
                static_cast<unsigned long long>(results), static_cast<unsigned long long>(run.calls),
                static_cast<unsigned long long>(run.bytes), run.ms, run.peakMiB, limit.ms,
                static_cast<unsigned long long>(limit.calls), run.ms / limit.ms);
}

// A process holding the block, read through a counting target by an
// engine of its own; its writable regions as the memory row takes them.
struct Held {
    Holder holder;
    decltype(openReader(std::declval<const Holder&>())) reader;
    std::unique_ptr<Counted> target;
    Sink sink;
    std::unique_ptr<SearchEngine> engine;
    std::vector<MemoryRegion> regions;
    std::uint64_t total = 0;
};

std::unique_ptr<Held> hold(std::uint64_t mebibytes, bool halfZero) {
    auto held = std::make_unique<Held>();
    if (!held->holder.start(mebibytes, halfZero)) {
        std::fprintf(stderr, "cannot start a process holding %llu MiB\n", static_cast<unsigned long long>(mebibytes));
        return nullptr;
    }
    held->reader = openReader(held->holder);
    held->target = std::make_unique<Counted>(*held->reader);
    held->target->openTarget();
    held->engine = std::make_unique<SearchEngine>(*held->target, held->sink, systemTextCodec());
    held->engine->setRegionLookup(held->reader.get());
    held->regions = writableRegions(held->reader->readableRegions());
    for (const MemoryRegion& region : held->regions) held->total += region.size;
    return held;
}

void printHeading() {
    std::printf("%-34s %10s %7s %11s %9s %9s %9s %7s %7s\n", "pass", "results", "calls", "bytes", "ms", "peak MiB",
                "limit ms", "calls", "ratio");
}

void benchSize(std::uint64_t mebibytes, int repeats, bool halfZero = false) {
    const std::unique_ptr<Held> held = hold(mebibytes, halfZero);
    if (held == nullptr) return;
    Counted& target = *held->target;
    Sink& sink = held->sink;
    SearchEngine& engine = *held->engine;
    const std::vector<MemoryRegion>& regions = held->regions;
    const std::uint64_t total = held->total;
    std::printf("\n%llu MiB held%s; %zu writable regions, %.1f MiB in all\n",
                static_cast<unsigned long long>(mebibytes), halfZero ? ", half of it zero pages" : "", regions.size(),
                static_cast<double>(total) / (1 << 20));
    printHeading();

    std::uint64_t sum = 0;
    std::uint64_t planted = 0;
    const Run limit = measure(target, repeats, [&] { planted = readRuns(target, regions, sum); });
    // The same reads shared by two threads, each half of the bytes: where
    // it is faster, a pass that reads with two threads is held to it.
    const std::vector<std::vector<MemoryRegion>> halves = splitInTwo(regions, total, kReadChunkBytes);
    std::uint64_t halfSums[2] = {0, 0};
    const Run twoLimit = measure(target, repeats, [&] {
        runBoth([&] { readRuns(target, halves[0], halfSums[0]); }, [&] { readRuns(target, halves[1], halfSums[1]); });
    });
    sum += halfSums[0] + halfSums[1];
    std::printf("read limits: one thread %.1f ms, two threads %.1f ms (%.2fx); the reader %s two threads\n", limit.ms,
                twoLimit.ms, twoLimit.ms / limit.ms,
                target.readsInParallel() ? "lets the passes use" : "keeps to one of");
    auto first = [&](SearchCondition condition, const std::string& value) {
        sink.settings = {ValueType::Long, 0, condition, value, ""};
        return engine.runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
    };
    FirstSearchReport report;
    const Run equal =
        measure(target, repeats, [&] { report = first(SearchCondition::Equal, std::to_string(kPlanted)); });
    print("first 等于 planted value", report.results, equal, limit);
    std::printf("  against the two-thread limit: %.2fx\n", equal.ms / twoLimit.ms);
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
    // The first snapshot after a search of another kind takes fresh memory;
    // each one after keeps the blocks of the one before.
    double fault = 1e300;
    for (int i = 0; i < repeats; ++i) fault = std::min(fault, faultMs(std::max<std::uint64_t>(snapshotBytes, 1)));
    std::printf(
        "  snapshot %.1f MiB for %.1f MiB scanned; faulting as much fresh memory: %.1f ms, "
        "read limit + that %.1f ms (%.2fx)\n",
        static_cast<double>(snapshotBytes) / (1 << 20), static_cast<double>(total) / (1 << 20), fault, limit.ms + fault,
        snapshot.ms / (limit.ms + fault));
    print("next 保留改变了的数值* (snapshot)", engine.results().count(), changed, limit);
    const Run again = measure(target, repeats, [&] { report = first(SearchCondition::None, ""); });
    print("second 不过滤 (blocks kept)", report.snapshotAddresses, again, limit);
    benchStreamed(target, engine, sink, regions, repeats);
    // Over zero pages 等于 0 keeps every word: hundreds of millions of
    // results, which say nothing of snapshots.
    if (halfZero) return;

    // Ten million results and more: every word 0 of the block.
    const Run zero = measure(target, 1, [&] { report = first(SearchCondition::Equal, "0"); });
    print("first 等于 0", report.results, zero, limit);
    const std::size_t count = engine.results().count();
    const double resultsFault = faultMs(std::max<std::uint64_t>(engine.results().memoryBytes(), 1));
    std::printf("  faulting its results' %.1f MiB fresh: %.1f ms, read limit + that %.1f ms (%.2fx)\n",
                static_cast<double>(engine.results().memoryBytes()) / (1 << 20), resultsFault, limit.ms + resultsFault,
                zero.ms / (limit.ms + resultsFault));
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

// The window's unknown-value session over a target larger than the
// snapshot's memory budget: what is past the budget goes to the spill file
// and each pass is held to reading the memory once and the spilled bytes once.
void benchSpill(std::uint64_t mebibytes, std::uint64_t budgetMiB, int repeats) {
    const std::unique_ptr<Held> held = hold(mebibytes, false);
    if (held == nullptr) return;
    Counted& target = *held->target;
    Sink& sink = held->sink;
    SearchEngine& engine = *held->engine;
    const std::vector<MemoryRegion>& regions = held->regions;
    const std::uint64_t total = held->total;
    const auto spillPath = std::filesystem::temp_directory_path() / "corvane_bench.spill";
    engine.setSnapshotBudget(budgetMiB << 20, spillPath);
    std::printf("\n%llu MiB held, a snapshot budget of %llu MiB; %.1f MiB of writable regions\n",
                static_cast<unsigned long long>(mebibytes), static_cast<unsigned long long>(budgetMiB),
                static_cast<double>(total) / (1 << 20));
    printHeading();
    const auto search = [&](SearchCondition condition, bool first) {
        sink.settings = {ValueType::Long, 0, condition, "", ""};
        if (first)
            engine.runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
        else
            engine.runNextSearch();
    };
    // Fresh page-cache pages cost as much as fresh memory where the system
    // backs its memory lazily, and the first session also faults in its
    // budget's blocks: it is held to the limit taken before the sessions,
    // when neither has pages freed a moment before, plus that fault. The
    // sessions after it keep the blocks, as the window's do from one 不过滤
    // to the next, and are held to the best limit taken after them.
    const auto limitFile = std::filesystem::temp_directory_path() / "corvane_bench.limit";
    const std::uint64_t expected = total - (budgetMiB << 20);
    const Run coldLimit = fileLimit(target, regions, limitFile, expected, false, 1);
    const double budgetFault = faultMs(budgetMiB << 20);
    Run fresh;
    Run first;
    Run changed;
    Run unchanged;
    std::uint64_t spilled = 0;
    std::uint64_t narrowedSpilled = 0;
    std::uint64_t keptAddresses = 0;
    std::uint64_t addresses = 0;
    bool spillFileGone = true;
    engine.clearSnapshot();
    for (int i = 0; i < std::max(repeats, 2); ++i) {
        const Run taken = measure(target, 1, [&] { search(SearchCondition::None, true); });
        if (engine.snapshot() == nullptr) {
            std::printf("  no snapshot was kept\n");
            return;
        }
        addresses = engine.snapshotAddresses();
        if (const auto* paged = dynamic_cast<const PagedStore*>(engine.snapshot()->store.get()))
            spilled = paged->spilledBytes();
        // Nothing changes in the holder: 保留没有改变的数值* keeps every
        // address, more than the budget holds as results, marked in the
        // snapshot; 保留改变了的数值* then narrows it to none.
        const Run kept = measure(target, 1, [&] { search(SearchCondition::Unchanged, false); });
        narrowedSpilled = 0;
        if (engine.snapshot() != nullptr)
            if (const auto* paged = dynamic_cast<const PagedStore*>(engine.snapshot()->store.get()))
                narrowedSpilled = paged->spilledBytes();
        keptAddresses = engine.snapshotAddresses();
        const Run narrowed = measure(target, 1, [&] { search(SearchCondition::Changed, false); });
        spillFileGone = spillFileGone && !std::filesystem::exists(spillPath) &&
                        !std::filesystem::exists(secondSpillPath(spillPath));
        std::printf("  session %d: first %.0f ms (peak %.0f MiB), unchanged %.0f ms (peak %.0f MiB), changed %.0f ms\n",
                    i + 1, taken.ms, taken.peakMiB, kept.ms, kept.peakMiB, narrowed.ms);
        if (i == 0)
            fresh = taken;
        else if (i == 1 || taken.ms < first.ms)
            first = taken;
        if (i == 0 || narrowed.ms < changed.ms) changed = narrowed;
        if (i == 0 || kept.ms < unchanged.ms) unchanged = kept;
    }
    engine.clearSnapshot();
    const Run writeLimit = fileLimit(target, regions, limitFile, spilled, false, repeats);
    const Run readLimit = fileLimit(target, regions, limitFile, spilled, true, repeats);
    print("window: first 不过滤 (spilling)", addresses, first, writeLimit);
    std::printf(
        "  the first session, its blocks fresh: %.1f ms against the limit before the sessions %.1f ms + faulting "
        "the budget %.1f ms (%.2fx)\n",
        fresh.ms, coldLimit.ms, budgetFault, fresh.ms / (coldLimit.ms + budgetFault));
    print("window: next 保留没有改变的数值*", keptAddresses, unchanged, readLimit);
    const Run narrowedLimit = fileLimit(target, regions, limitFile, narrowedSpilled, true, repeats);
    print("window: next 保留改变了的数值*", engine.results().count(), changed, narrowedLimit);
    std::printf(
        "  %.1f MiB spilled past the budget; limits: read + write them %.1f ms, read + read them %.1f ms; "
        "peak allowed %llu MiB; the spill files %s after the last search\n",
        static_cast<double>(spilled) / (1 << 20), writeLimit.ms, readLimit.ms,
        static_cast<unsigned long long>(budgetMiB + 64), spillFileGone ? "gone" : "still there");
    std::printf(
        "  保留没有改变的数值* kept %llu addresses, marked in the snapshot, %.1f MiB of it spilled; the step "
        "after it held to reading the memory and those\n",
        static_cast<unsigned long long>(keptAddresses), static_cast<double>(narrowedSpilled) / (1 << 20));
}

}  // namespace

int runMemoryBench(int repeats, bool spill) {
    std::printf("memory row: one planted value, the limit reads every region once in %llu KiB chunks\n",
                static_cast<unsigned long long>(kReadChunkBytes >> 10));
    if (spill) {
        benchSpill(4096, 1024, repeats);
        return 0;
    }
    for (const std::uint64_t mebibytes : {256u, 1024u}) benchSize(mebibytes, repeats);
    benchSize(1024, repeats, true);
    return 0;
}

int holdMemory(std::uint64_t mebibytes, bool halfZero) {
    const std::uint64_t bytes = mebibytes << 20;
#ifdef _WIN32
    auto* block = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (block == nullptr) return 1;
    fill(block, bytes, halfZero);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "y", 1, &written, nullptr);
    waitForInputToClose();
#else
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return 1;
    // Zero pages touched, as a game's are: they read as any others.
    std::memset(block, 0, bytes);
    fill(static_cast<unsigned char*>(block), bytes, halfZero);
    if (write(STDOUT_FILENO, "y", 1) != 1) return 1;
    for (;;) pause();
#endif
    return 0;
}

}  // namespace corvane::bench
