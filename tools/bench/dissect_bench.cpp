// bench --dissect: the live view's refresh, the work its 200 ms timer does,
// over 0x1000 bytes in 8 instances of another process. Each instance starts
// mid-page, so its range spans two pages as most objects' ranges do. Prints
// the best and the mean of the repeats, the read calls each refresh makes,
// and the same refresh with every cell's text made, as a full screen of the
// list would ask.

#include "tools/bench/dissect_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/dissect/dissect_view.h"
#include "engine/text/hex_text.h"
#include "engine/text/text_codec.h"
#include "tools/bench/bench_target.h"

#ifdef _WIN32
#include <windows.h>

#include "engine/target/win32/target_process.h"
#else
#include <signal.h>
#include <sys/wait.h>

#include "engine/target/native/process_reader.h"
#endif

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kInstances = 8;
constexpr std::size_t kRange = 0x1000;
constexpr std::size_t kFirstOffset = 0x800;

// Objects of every kind of word: pointers into the block, doubles, pairs of
// floats and of counters, a text, zeros.
std::uint64_t layOutObjects() {
    const std::size_t bytes = kFirstOffset + kInstances * kRange + kRange;
    // Lives as long as the program; the child's copy is what is read.
    static std::vector<unsigned char> storage(bytes);
    unsigned char* block = storage.data();
    const auto base = reinterpret_cast<std::uintptr_t>(block);
    for (std::size_t word = 0; word < bytes / 8; ++word) {
        unsigned char* at = block + word * 8;
        switch (word % 6) {
            case 0: {
                const std::uint64_t pointer = base + (word * 40) % bytes;
                std::memcpy(at, &pointer, 8);
                break;
            }
            case 1: {
                const double value = 1000.5 + static_cast<double>(word);
                std::memcpy(at, &value, 8);
                break;
            }
            case 2: {
                const float pair[2] = {static_cast<float>(word) * 0.25f, -3.5f};
                std::memcpy(at, pair, 8);
                break;
            }
            case 3: {
                const std::int32_t pair[2] = {static_cast<std::int32_t>(word), -7};
                std::memcpy(at, pair, 8);
                break;
            }
            case 4: std::memcpy(at, "name\xD6\xD0", 7); break;
            default: break;
        }
    }
    return base + kFirstOffset;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void measure(TargetAccess& reader, RegionLookup& regions, ModuleLookup& modules, std::uint64_t first, int repeats) {
    bench::CountingTarget counting(reader);
    DissectView view(counting, &modules, &regions, systemTextCodec());
    std::string address;
    appendHex(address, first);
    if (view.open(address) != PathProblem::None) {
        std::fprintf(stderr, "the objects cannot be read\n");
        return;
    }
    view.setRange(0, kRange);
    for (std::size_t i = 1; i < kInstances; ++i) view.addInstance(first + i * kRange);
    view.refresh(0);
    double best = 1e9;
    double total = 0;
    counting.reset();
    for (int run = 0; run < repeats; ++run) {
        const auto start = Clock::now();
        view.refresh(static_cast<std::uint64_t>(run + 1));
        const double ms = msSince(start);
        best = std::min(best, ms);
        total += ms;
    }
    const double calls = static_cast<double>(counting.calls.load()) / repeats;
    double textsBest = 1e9;
    std::size_t cells = 0;
    for (int run = 0; run < repeats; ++run) {
        const auto start = Clock::now();
        view.refresh(static_cast<std::uint64_t>(repeats + run + 1));
        cells = 0;
        for (std::size_t field = 0; field < view.fieldCount(); ++field) {
            cells += view.kindText(field).size() + view.bytesText(field).size();
            for (std::size_t i = 0; i < kInstances; ++i) cells += view.valueText(field, i).size();
        }
        textsBest = std::min(textsBest, msSince(start));
    }
    std::printf("refresh of 0x%zX bytes in %zu instances: best %.2f ms, mean %.2f ms, %.1f read calls\n", kRange,
                kInstances, best, total / repeats, calls);
    std::printf("with every cell's text (%zu fields x %zu values, %zu characters): best %.2f ms\n", view.fieldCount(),
                kInstances, cells, textsBest);
}

}  // namespace

int runDissectBench(int argc, char** argv) {
    int repeats = 50;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--repeats") == 0) repeats = std::max(1, std::atoi(argv[i + 1]));
#ifdef _WIN32
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--dissect-child") == 0) {
            const std::uint64_t first = layOutObjects();
            DWORD written = 0;
            WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), &first, sizeof first, &written, nullptr);
            bench::waitForInputToClose();
            return 0;
        }
    bench::SelfChild child;
    std::uint64_t first = 0;
    if (!child.start(L"--dissect --dissect-child") || !child.readReport(&first, sizeof first) || first == 0) {
        std::fprintf(stderr, "the child could not lay out its objects\n");
        return 1;
    }
    TargetProcess reader;
    reader.targetPid = child.pid();
    if (reader.openTarget() != 0) return 1;
    std::printf("结构分析 refresh against a child process, ReadProcessMemory; %d repeats\n", repeats);
    measure(reader, reader, reader, first, repeats);
#else
    // Laid out before the fork: the child holds the same objects at the same addresses.
    const std::uint64_t first = layOutObjects();
    std::string why;
    const pid_t pid = bench::forkLaidOut([] { return true; }, why);
    if (pid < 0 || first == 0) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    LinuxProcessReader reader(pid);
    std::printf("结构分析 refresh against a forked child, process_vm_readv; %d repeats\n", repeats);
    if (reader.openTarget() == 0) measure(reader, reader, reader, first, repeats);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
#endif
    return 0;
}

}  // namespace corvane
