// bench --pointers: the pointer scan against a process holding a heap of
// random objects that point at each other (256 MiB, then 1 GiB with --huge
// or both with --all) and a static root in its image from which a chain of
// four levels leads to a value among them. Prints the scan at depth 5, max
// offset 0x1000, limit 100,000, beside the limit measured in the same run
// (every readable region read once in the scan's chunk size, each word tested
// against the region bounds); the peak memory per pointer mapped, beside
// what 24 bytes per pointer and 64 MiB come to; and the rescan of 100,000
// paths of a deeper scan. Then the same on a heap of varied objects, many
// of them pointing at the value's (see layOutVariedHeap). Then, natively,
// the maps of three runs and their comparisons (measureMaps). --scans-only
// or --maps-only leave out one part or the other.

#include "tools/bench/pointer_bench.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/files/pointer_map_file.h"
#include "engine/kit/block_pool.h"
#include "engine/pointers/pointer_map.h"
#include "engine/pointers/run_map.h"
#include "engine/pointers/runs_walk.h"
#include "engine/pointers/pointer_rescan.h"
#include "engine/pointers/pointer_scan.h"
#include "tools/bench/bench_target.h"
#include "tools/bench/memory_in_use.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>

#include <string>

#include "engine/target/win32/target_process.h"
#else
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/target/native/process_reader.h"
#endif

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kObjectBytes = 256;
constexpr std::size_t kLinksPerObject = 4;
constexpr int kChainLevels = 4;
constexpr std::uint64_t kValueOffset = 0x40;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::uint64_t nextRandom(std::uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// Fills `heap` with objects of kObjectBytes: small numbers, and in each
// object kLinksPerObject pointers to random words of random objects. The
// root's chain runs through objects of its own at fixed offsets; returns the
// value's address.
std::uint64_t layOutHeap(unsigned char* heap, std::size_t bytes, volatile std::uint64_t& root, std::uint64_t seed = 0) {
    const std::size_t objects = bytes / kObjectBytes;
    const auto base = reinterpret_cast<std::uint64_t>(heap);
    // Another seed, another layout, as a restart gives; the root's chain
    // keeps its offsets.
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ (seed * 0x100000001B3ull);
    for (std::size_t i = 0; i < objects; ++i) {
        auto* words = reinterpret_cast<std::uint64_t*>(heap + i * kObjectBytes);
        for (std::size_t w = 0; w < kObjectBytes / 8; ++w) words[w] = nextRandom(state) & 0xFFFF;
        for (std::size_t link = 0; link < kLinksPerObject; ++link)
            words[nextRandom(state) % (kObjectBytes / 8)] =
                base + (nextRandom(state) % objects) * kObjectBytes + 8 * (nextRandom(state) % (kObjectBytes / 8));
    }
    // root -> chain[0], chain[0]+0x18 -> chain[1], ... -> the value.
    std::uint64_t at = reinterpret_cast<std::uint64_t>(&root);
    for (int level = 0; level < kChainLevels; ++level) {
        const std::uint64_t object = base + (nextRandom(state) % objects) * kObjectBytes;
        if (level == 0)
            root = object;
        else
            std::memcpy(reinterpret_cast<void*>(at), &object, 8);
        at = object + 0x18;
    }
    const std::uint64_t value = base + (nextRandom(state) % objects) * kObjectBytes + kValueOffset;
    const std::uint64_t last = value - kValueOffset;
    std::memcpy(reinterpret_cast<void*>(at), &last, 8);
    return value;
}

// A heap unlike the one above, as real programs have them: a million objects
// of 64 to 1024 bytes, each with two pointers to random words of random
// others, and 120,000 of them pointing at the value's object too, which
// makes the levels near the value broad. The root's chain is the same.
constexpr std::size_t kVariedObjects = 1000000;
constexpr std::size_t kVariedPointingAtValue = 120000;
constexpr std::size_t kVariedBytes = std::size_t{640} << 20;

std::uint64_t layOutVariedHeap(unsigned char* heap, volatile std::uint64_t& root, std::uint64_t seed = 0) {
    const auto base = reinterpret_cast<std::uint64_t>(heap);
    std::uint64_t state = 0xD1B54A32D192ED03ull ^ (seed * 0x100000001B3ull);
    std::vector<std::uint64_t> starts(kVariedObjects + 1, 0);
    for (std::size_t i = 0; i < kVariedObjects; ++i) starts[i + 1] = starts[i] + 64 + 8 * (nextRandom(state) % 121);
    const auto randomWord = [&] {
        const std::size_t object = nextRandom(state) % kVariedObjects;
        const std::uint64_t words = (starts[object + 1] - starts[object]) / 8;
        return base + starts[object] + 8 * (nextRandom(state) % words);
    };
    // The value's object and the chain's hold at least 0x48 bytes.
    const auto roomyObject = [&] {
        for (;;) {
            const std::size_t object = nextRandom(state) % kVariedObjects;
            if (starts[object + 1] - starts[object] >= 0x48) return object;
        }
    };
    const std::size_t valueObject = roomyObject();
    for (std::size_t i = 0; i < kVariedObjects; ++i) {
        auto* words = reinterpret_cast<std::uint64_t*>(heap + starts[i]);
        const std::size_t count = (starts[i + 1] - starts[i]) / 8;
        for (std::size_t w = 0; w < count; ++w) words[w] = nextRandom(state) & 0xFFFF;
        words[nextRandom(state) % count] = randomWord();
        words[nextRandom(state) % count] =
            i % (kVariedObjects / kVariedPointingAtValue) == 0 ? base + starts[valueObject] : randomWord();
    }
    std::uint64_t at = reinterpret_cast<std::uint64_t>(&root);
    for (int level = 0; level < kChainLevels; ++level) {
        const std::uint64_t object = base + starts[roomyObject()];
        if (level == 0)
            root = object;
        else
            std::memcpy(reinterpret_cast<void*>(at), &object, 8);
        at = object + 0x18;
    }
    const std::uint64_t last = base + starts[valueObject];
    std::memcpy(reinterpret_cast<void*>(at), &last, 8);
    return last + kValueOffset;
}

// Either heap, in `bytes` (the varied one takes kVariedBytes).
std::uint64_t layOut(bool varied, unsigned char* heap, std::size_t bytes, volatile std::uint64_t& root,
                     std::uint64_t seed = 0) {
    return varied ? layOutVariedHeap(heap, root, seed) : layOutHeap(heap, bytes, root, seed);
}

// In this image, so that the child's root is a static of the module "bench".
volatile std::uint64_t benchRoot = 0;

#ifdef _WIN32
// The commit charge's peak cannot be reset: the first run's peak is the
// one that counts, later runs only raise it.
std::size_t startPeak() { return memoryInUse(); }
std::size_t peakSince() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakPagefileUsage;
}

// This program again, started with --heap-child: it lays the heap out, says
// where the value is on its standard output and holds the heap until its
// owner goes.
int heapChild(std::size_t bytes, bool varied) {
    void* heap = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    std::uint64_t value = 0;
    if (heap != nullptr) value = layOut(varied, static_cast<unsigned char*>(heap), bytes, benchRoot);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), &value, sizeof value, &written, nullptr);
    bench::waitForInputToClose();
    return 0;
}

class HeapTarget {
public:
    // The child lays its heap out with seed 0.
    bool start(std::size_t bytes, std::uint64_t /*seed*/ = 0, bool varied = false) {
        if (!child_.start(L"--pointers --heap-child " + std::to_wstring(bytes) + (varied ? L" --varied" : L"")) ||
            !child_.readReport(&value_, sizeof value_) || value_ == 0)
            return false;
        reader_.targetPid = child_.pid();
        return reader_.openTarget() == 0;
    }
    TargetProcess& reader() { return reader_; }
    std::uint64_t value() const { return value_; }

private:
    bench::SelfChild child_;
    std::uint64_t value_ = 0;
    TargetProcess reader_;
};
#else

// The resident peak is reset before each run, so each run's own peak is
// read: the memory in use now, then the high-water mark since.
std::size_t startPeak() {
    if (FILE* file = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", file);
        std::fclose(file);
    }
    return memoryInUse();
}
std::size_t peakSince() {
    std::size_t peak = 0;
    if (FILE* file = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, file))
            if (std::strncmp(line, "VmHWM:", 6) == 0) peak = std::strtoull(line + 6, nullptr, 10) * 1024;
        std::fclose(file);
    }
    return peak;
}

// This program again, started with --heap-child: it lays the heap out, says
// where the value is on its standard output and holds the heap until killed.
// A process of its own, as a restart of a program gives: a fork would carry
// this process's memory, its freed maps among it, into every run alike.
int heapChild(std::size_t bytes, bool varied, std::uint64_t seed) {
    void* heap = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    std::uint64_t value = 0;
    if (heap != MAP_FAILED) value = layOut(varied, static_cast<unsigned char*>(heap), bytes, benchRoot, seed);
    if (write(STDOUT_FILENO, &value, sizeof value) != sizeof value) return 1;
    for (;;) pause();
}

class HeapTarget {
public:
    ~HeapTarget() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool start(std::size_t bytes, std::uint64_t seed = 0, bool varied = false) {
        std::vector<std::string> args{"--pointers", "--heap-child", std::to_string(bytes), "--seed",
                                      std::to_string(seed)};
        if (varied) args.emplace_back("--varied");
        bool reported = false;
        pid_ = bench::execSelf(args, &value_, sizeof value_, reported);
        if (pid_ < 0) return false;
        reader_ = std::make_unique<LinuxProcessReader>(pid_);
        return reported && value_ != 0;
    }
    LinuxProcessReader& reader() { return *reader_; }
    std::uint64_t value() const { return value_; }

private:
    pid_t pid_ = -1;
    std::uint64_t value_ = 0;
    std::unique_ptr<LinuxProcessReader> reader_;
};
#endif

// Every readable region read once in the scan's chunk size, each word tested
// against the region bounds: what no scan can beat.
double limitMs(MemoryReader& reader, RegionLookup& regions, std::uint64_t& pointers) {
    const auto start = Clock::now();
    const std::vector<MemoryRegion> list = regions.readableRegions();
    RegionBounds bounds(list);
    PointerScanProgress progress;
    const StopFlag stop;
    std::uint64_t count = 0;
    readPointerWords(reader, list, bounds, stop, progress, kReadChunkBytes,
                     [&](std::uint64_t, std::uint64_t, std::size_t) { ++count; });
    pointers = count;
    return msSince(start);
}

template <typename Target>
void measure(Target& target, std::size_t heapBytes, bool varied, int repeats) {
    auto& reader = target.reader();
    if (varied)
        std::printf("\nheap of %zu MiB: %zu objects of 64 to 1024 bytes, 2 links each, %zu of them at the value's\n",
                    heapBytes >> 20, kVariedObjects, kVariedPointingAtValue);
    else
        std::printf("\nheap of %zu MiB of random objects (%zu bytes, %zu links each)\n", heapBytes >> 20, kObjectBytes,
                    kLinksPerObject);
    double limit = 1e300;
    std::uint64_t words = 0;
    for (int i = 0; i < repeats; ++i) limit = std::min(limit, limitMs(reader, reader, words));

    PointerScanSettings settings;
    settings.address = target.value();
    settings.depth = 5;
    settings.maxOffset = 0x1000;
    settings.limit = 100000;
    double best = 1e300;
    PointerScanReport report;
    std::vector<std::string> paths;
    std::size_t peak = 0;
    for (int i = 0; i < repeats; ++i) {
        std::vector<std::string> written;
        written.reserve(settings.limit);
        const std::size_t before = startPeak();
        const auto start = Clock::now();
        PointerScan scan(reader, reader);
        const PointerScanReport run =
            scan.run(settings, [&](const PointerPath& path) { written.push_back(pointerPathText(path)); });
        const double ms = msSince(start);
        const std::size_t high = peakSince();
        peak = std::max(peak, high > before ? high - before : 0);
        if (ms < best) {
            best = ms;
            report = run;
        }
        paths.swap(written);
    }
    std::printf("  limit: %.0f ms (%llu pointer words)\n", limit, static_cast<unsigned long long>(words));
    std::printf("  scan:  %.0f ms = %.2f x the limit; map %u ms, sort %u ms, levels %u ms, paths %u ms\n", best,
                best / limit, report.mapMs, report.sortMs, report.levelsMs, report.pathsMs);
    std::printf("         %llu regions, %llu MiB read, %llu pointers mapped, %llu paths written, %s%llu in all\n",
                static_cast<unsigned long long>(report.regions), static_cast<unsigned long long>(report.bytes >> 20),
                static_cast<unsigned long long>(report.pointers), static_cast<unsigned long long>(report.paths),
                report.totalIsLowerBound ? "at least " : "", static_cast<unsigned long long>(report.total));
    const double perPointer =
        report.pointers ? static_cast<double>(report.peakBytes) / static_cast<double>(report.pointers) : 0;
    std::printf(
        "  memory: scan's own peak %.0f MiB = %.1f bytes per pointer; process peak above idle %.0f MiB"
        " (%.1f bytes per pointer, paths' texts included)\n",
        static_cast<double>(report.peakBytes) / 1048576.0, perPointer, static_cast<double>(peak) / 1048576.0,
        report.pointers ? static_cast<double>(peak) / static_cast<double>(report.pointers) : 0.0);
    std::printf("          24 bytes per pointer and 64 MiB: %.0f MiB\n",
                static_cast<double>(24 * report.pointers + (std::uint64_t{64} << 20)) / 1048576.0);
    const bool planted = std::any_of(paths.begin(), paths.end(), [](const std::string& p) {
        return p.starts_with("bench") && std::count(p.begin(), p.end(), ']') == kChainLevels;
    });
    std::printf("  the root's chain of %d levels %s\n", kChainLevels, planted ? "found" : "NOT found");

    // A stop raised as each phase begins, and how long the scan takes to
    // answer it.
    const struct {
        int phase;
        const char* name;
    } phases[] = {{PointerScanProgress::Mapping, "mapping"},
                  {PointerScanProgress::Sorting, "sorting"},
                  {PointerScanProgress::Levels, "building levels"}};
    std::printf("  stop answered:");
    for (const auto& phase : phases) {
        PointerScan scan(reader, reader);
        double answered = -1;
        std::thread runner([&] { scan.run(settings, [](const PointerPath&) {}); });
        while (scan.progress.phase.load() < phase.phase && scan.progress.phase.load() != PointerScanProgress::Done)
            std::this_thread::yield();
        if (scan.progress.phase.load() == phase.phase) {
            const auto raised = Clock::now();
            scan.stop.raise();
            runner.join();
            answered = msSince(raised);
        } else {
            runner.join();
        }
        std::printf(" %s %.1f ms;", phase.name, answered);
    }
    std::printf("\n");

    // The rescan's paths: a deeper scan's first 100,000, as many as users
    // carry from one start of the target to the next.
    std::vector<PointerPath> many;
    {
        PointerScanSettings deeper = settings;
        deeper.depth = 7;
        many.reserve(deeper.limit);
        PointerScan scan(reader, reader);
        scan.run(deeper, [&](const PointerPath& path) { many.push_back(path); });
    }
    double rescanBest = 1e300;
    PointerRescanReport rescan;
    for (int i = 0; i < repeats; ++i) {
        std::vector<PointerPath> kept;
        const StopFlag stop;
        const auto start = Clock::now();
        rescan = rescanPaths(reader, &reader, settings.address, many, stop, kept);
        rescanBest = std::min(rescanBest, msSince(start));
    }
    std::printf("  rescan of %zu paths (depth 7): %.0f ms, %llu kept\n", many.size(), rescanBest,
                static_cast<unsigned long long>(rescan.kept));
}

#ifndef _WIN32
// What `corvane-cli pointermap` does: the map read into its file's encoded
// form and the file written, each time from a cold start as the command
// makes it (no pooled blocks); beside it, the file's bytes written alone
// from memory to a new file, which no capture can avoid.
struct PointerMapCommandFigures {
    double wholeMs = 1e300;
    double readMs = 1e300;
    double writeAloneMs = 1e300;
    std::uint64_t bytes = 0;
    std::uint64_t pointers = 0;
};

PointerMapCommandFigures measurePointerMapCommand(MemoryReader& reader, RegionLookup& regions, std::uint64_t value,
                                                  int repeats) {
    PointerMapCommandFigures figures;
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("corvane_bench_" + std::to_string(getpid()) + ".map");
    for (int i = 0; i < repeats; ++i) {
        std::filesystem::remove(file);
        BlockPool::releaseKept();
        const StopFlag stop;
        PointerScanProgress progress;
        const auto start = Clock::now();
        EncodedRunMap map;
        captureEncodedRunMap(reader, regions, value, stop, progress, map);
        figures.readMs = std::min(figures.readMs, msSince(start));
        savePointerMap(file, map, stop);
        figures.wholeMs = std::min(figures.wholeMs, msSince(start));
        figures.pointers = map.size();
    }
    std::string bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    figures.bytes = bytes.size();
    for (int i = 0; i < repeats; ++i) {
        std::filesystem::remove(file);
        const auto start = Clock::now();
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        figures.writeAloneMs = std::min(figures.writeAloneMs, msSince(start));
    }
    std::filesystem::remove(file);
    BlockPool::releaseKept();
    return figures;
}

// Three runs of the heap, each laid out from another seed: the map of each
// (its time beside the read limit, its file's bytes per pointer), and the
// comparison of one, two and three maps beside a live scan of the first run
// with the same settings, at depth 5 and 7.
void measureMaps(std::size_t heapBytes, int repeats) {
    std::printf("\npointer maps of three runs of the %zu MiB heap, each laid out anew\n", heapBytes >> 20);
    std::vector<RunMap> maps(3);
    // Kept as their files' bytes, as a comparison reads them.
    std::vector<std::string> files(maps.size());
    std::uint64_t fileBytes = 0;
    double liveMs[2] = {1e300, 1e300};
    const unsigned depths[2] = {5, 7};
    for (std::size_t run = 0; run < maps.size(); ++run) {
        HeapTarget target;
        if (!target.start(heapBytes, run + 1)) return;
        auto& reader = target.reader();
        double limit = 1e300;
        double capture = 1e300;
        std::uint64_t words = 0;
        for (int i = 0; i < repeats; ++i) {
            limit = std::min(limit, limitMs(reader, reader, words));
            const auto start = Clock::now();
            const StopFlag stop;
            PointerScanProgress progress;
            captureRunMap(reader, reader, target.value(), stop, progress, maps[run]);
            capture = std::min(capture, msSince(start));
        }
        const auto start = Clock::now();
        files[run] = encodePointerMap(maps[run]);
        fileBytes = files[run].size();
        const double encodeMs = msSince(start);
        std::printf(
            "  run %zu: map %.0f ms = %.2f x the limit (%.0f ms), %zu pointers; file %.2f bytes per pointer,"
            " encoded in %.0f ms\n",
            run + 1, capture, capture / limit, limit, maps[run].size(),
            static_cast<double>(fileBytes) / static_cast<double>(maps[run].size()), encodeMs);
        const PointerMapCommandFigures command = measurePointerMapCommand(reader, reader, target.value(), repeats);
        std::printf(
            "  run %zu: pointermap %.0f ms (read and encoded %.0f, file written %.0f) = %.2f x the limit beside"
            " the %.0f ms its %.1f MiB take to write alone; %.2f bytes per pointer\n",
            run + 1, command.wholeMs, command.readMs, command.wholeMs - command.readMs,
            (command.wholeMs - command.writeAloneMs) / limit, command.writeAloneMs,
            static_cast<double>(command.bytes) / 1048576.0,
            static_cast<double>(command.bytes) / static_cast<double>(std::max<std::uint64_t>(command.pointers, 1)));
        if (run == 0) {
            for (int d = 0; d < 2; ++d) {
                PointerScanSettings settings;
                settings.address = target.value();
                settings.depth = depths[d];
                settings.maxOffset = 0x1000;
                settings.limit = 100000;
                for (int i = 0; i < repeats; ++i) {
                    const auto scanStart = Clock::now();
                    PointerScan scan(reader, reader);
                    scan.run(settings, [](const PointerPath&) {});
                    liveMs[d] = std::min(liveMs[d], msSince(scanStart));
                }
            }
        }
        maps[run] = RunMap{};
    }
    for (std::size_t run = 0; run < maps.size(); ++run) {
        std::string error;
        const auto start = Clock::now();
        decodePointerMap(files[run], maps[run], error);
        std::printf("  run %zu: map file read in %.0f ms%s\n", run + 1, msSince(start), error.c_str());
        maps[run] = RunMap{};
    }
    for (int d = 0; d < 2; ++d) {
        std::printf("  depth %u, max offset 0x1000, limit 100000: live scan of run 1 %.0f ms\n", depths[d], liveMs[d]);
        for (std::size_t count = 1; count <= maps.size(); ++count) {
            PointerScanSettings settings;
            settings.depth = depths[d];
            settings.maxOffset = 0x1000;
            settings.limit = 100000;
            double best = 1e300;
            PointerScanReport report;
            std::size_t peak = 0;
            std::uint64_t pointers = 0;
            bool planted = false;
            for (int i = 0; i < repeats; ++i) {
                // The maps as a comparison reads them from their files, then
                // lets go of them: the peak counts them, the time does not.
                const std::size_t before = startPeak();
                std::vector<RunMap> runs(count);
                std::string error;
                pointers = 0;
                for (std::size_t run = 0; run < count; ++run) {
                    decodePointerMap(files[run], runs[run], error);
                    pointers += runs[run].size();
                }
                const StopFlag stop;
                PointerScanProgress progress;
                const auto start = Clock::now();
                report = walkRuns(std::move(runs), settings, stop, progress, [&](const PointerPath& path) {
                    // root -> chain, +18 to each next object of the chain, +18 to
                    // the last link, +40 to the value.
                    planted = planted || (path.module.starts_with("bench") &&
                                          path.offsets == std::vector<std::int64_t>{0x18, 0x18, 0x18, 0x18, 0x40});
                });
                best = std::min(best, msSince(start));
                const std::size_t high = peakSince();
                peak = std::max(peak, high > before ? high - before : 0);
            }
            std::printf(
                "    %zu map%s: %.0f ms = %.2f x the live scan (index %u ms, levels %u ms, paths %u ms); %llu paths%s;"
                " peak with the maps %.0f MiB = %.1f bytes per pointer (24 a pointer and 64 MiB: %.0f MiB); chain %s\n",
                count, count == 1 ? "" : "s", best, best / liveMs[d], report.sortMs, report.levelsMs, report.pathsMs,
                static_cast<unsigned long long>(report.paths), report.totalIsLowerBound ? " or more" : "",
                static_cast<double>(peak) / 1048576.0, static_cast<double>(peak) / static_cast<double>(pointers),
                static_cast<double>(24 * pointers + (std::uint64_t{64} << 20)) / 1048576.0,
                planted ? "found" : "NOT found");
        }
    }
    // A stop raised as each phase of a comparison of the three maps begins,
    // and how long the walk takes to answer it.
    std::printf("  stop answered, three maps at depth 7:");
    for (const int phase : {int{PointerScanProgress::Sorting}, int{PointerScanProgress::Levels}}) {
        std::vector<RunMap> runs(maps.size());
        std::string error;
        for (std::size_t run = 0; run < runs.size(); ++run) decodePointerMap(files[run], runs[run], error);
        PointerScanSettings settings;
        settings.depth = 7;
        settings.maxOffset = 0x1000;
        StopFlag stop;
        PointerScanProgress progress;
        std::thread walker([&] { walkRuns(std::move(runs), settings, stop, progress, [](const PointerPath&) {}); });
        while (progress.phase.load() < phase) std::this_thread::yield();
        double answered = -1;
        if (progress.phase.load() == phase) {
            const auto raised = Clock::now();
            stop.raise();
            walker.join();
            answered = msSince(raised);
        } else {
            walker.join();
        }
        std::printf(" %s %.1f ms;", phase == PointerScanProgress::Sorting ? "indexing" : "levels", answered);
    }
    std::printf("\n");
}
#endif

}  // namespace

int runPointerBench(int argc, char** argv) {
    bool huge = false;
    bool all = false;
    bool mapsOnly = false;
    [[maybe_unused]] bool scansOnly = false;  // the maps are measured natively only
    int repeats = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--huge") == 0) huge = true;
        if (std::strcmp(argv[i], "--all") == 0) all = true;
        if (std::strcmp(argv[i], "--maps-only") == 0) mapsOnly = true;
        if (std::strcmp(argv[i], "--scans-only") == 0) scansOnly = true;
        if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc) repeats = std::max(1, std::atoi(argv[++i]));
    }
    std::vector<std::size_t> sizes;
    if (!huge || all) sizes.push_back(std::size_t{256} << 20);
    if (huge || all) sizes.push_back(std::size_t{1} << 30);
#ifdef _WIN32
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--heap-child") == 0)
            return heapChild(std::strtoull(argv[i + 1], nullptr, 10),
                             i + 2 < argc && std::strcmp(argv[i + 2], "--varied") == 0);
    std::printf("pointer scan against a child process, ReadProcessMemory; best of %d\n", repeats);
#else
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--heap-child") == 0) {
            std::uint64_t seed = 0;
            bool varied = false;
            for (int k = i + 2; k < argc; ++k) {
                if (std::strcmp(argv[k], "--varied") == 0) varied = true;
                if (std::strcmp(argv[k], "--seed") == 0 && k + 1 < argc) seed = std::strtoull(argv[k + 1], nullptr, 10);
            }
            return heapChild(std::strtoull(argv[i + 1], nullptr, 10), varied, seed);
        }
    std::printf("pointer scan against a child process of its own, process_vm_readv; best of %d\n", repeats);
#endif
    for (const std::size_t bytes : sizes) {
        if (mapsOnly) break;
        HeapTarget target;
        if (!target.start(bytes)) {
            std::fprintf(stderr, "the child could not lay out its heap\n");
            return 1;
        }
        measure(target, bytes, false, repeats);
    }
    if (!mapsOnly) {
        HeapTarget target;
        if (!target.start(kVariedBytes, {}, true)) {
            std::fprintf(stderr, "the child could not lay out its heap\n");
            return 1;
        }
        measure(target, kVariedBytes, true, repeats);
    }
#ifndef _WIN32
    if (!scansOnly)
        for (const std::size_t bytes : sizes) measureMaps(bytes, repeats);
#endif
    return 0;
}

}  // namespace corvane
