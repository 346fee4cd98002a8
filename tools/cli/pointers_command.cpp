#include "tools/cli/pointers_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "engine/kit/elapsed_time.h"
#include "engine/text/hex_text.h"
#include "engine/files/pointer_paths_file.h"
#include "engine/pointers/pointer_rescan.h"
#include "engine/pointers/pointer_scan.h"
#include "engine/text/text_codec.h"
#include "tools/cli/cli_failure.h"
#include "tools/cli/module_check.h"
#include "tools/cli/progress_line.h"
#include "engine/kit/stop_flag.h"

namespace corvane {

const char* const kPointersUsage =
    "  corvane-cli pointers --pid PID --address HEX [--depth N] [--max-offset HEX]\n"
    "                       [--min-offset HEX] [--modules A,B] [--limit N] [--out FILE]\n"
    "  corvane-cli pointers --pid PID --in FILE --address HEX [--out FILE]\n"
    "  the first form scans for paths of pointers from module statics to the address, one\n"
    "  a line, shortest first: MODULE+HEX]o1]...]ok; add \"]\" to use one as a structure.\n"
    "  --depth 1 to 10 levels (5); offsets from --min-offset (0, may be negative: -40) to\n"
    "  --max-offset (1000); --modules takes statics from these modules only; --limit caps\n"
    "  the paths written (1000000) and standard error says how many there were in all.\n"
    "  the second form rescans: it keeps the paths of FILE that lead to the address now\n"
    "  (after a restart, with the value found again); it reads along the paths only.\n"
    "  Ctrl+C stops either and keeps the paths written so far.\n";

namespace {

// The scan or rescan Ctrl+C stops.
std::atomic<StopFlag*> runningStop{nullptr};

// The scan's progress line: the phase and its figures.
std::string scanProgress(const PointerScanProgress& progress) {
    const auto number = [](std::uint64_t value) { return std::to_string(value); };
    if (progress.phase <= PointerScanProgress::Sorting)
        return "reading " + number(progress.bytesRead >> 20) + " of " + number(progress.bytesTotal >> 20) +
               " MiB, pointers " + number(progress.pointers);
    return "level " + number(progress.level) + ", paths " + number(progress.paths);
}

// Standard output, or the --out file.
class PathOutput {
public:
    explicit PathOutput(const std::string& file) {
        if (file.empty()) return;
        file_.open(file, std::ios::binary | std::ios::trunc);
        if (!file_) throw std::runtime_error("cannot write " + file);
    }
    std::ostream& stream() { return file_.is_open() ? static_cast<std::ostream&>(file_) : std::cout; }
    void write(std::string_view path) { writePointerPath(stream(), path, systemTextCodec()); }
    bool finish() {
        stream().flush();
        return static_cast<bool>(stream());
    }

private:
    std::ofstream file_;
};

struct StopRegistration {
    explicit StopRegistration(StopFlag& stop) { runningStop = &stop; }
    ~StopRegistration() { runningStop = nullptr; }
};

int scan(const PointerOptions& options, TargetAccess& target, RegionLookup& regions) {
    PointerScanSettings settings;
    settings.address = *options.address;
    settings.depth = options.depth;
    settings.maxOffset = options.maxOffset;
    settings.minOffset = options.minOffset;
    settings.modules = options.modules;
    settings.limit = options.limit;
    PointerScan scanner(target, regions);
    PathOutput output(options.outFile);
    PointerScanReport report;
    {
        const StopRegistration registration(scanner.stop);
        const ProgressLine progress([&scanner] { return scanProgress(scanner.progress); });
        report = scanner.run(settings, [&](std::string_view path) { output.write(path); });
    }
    if (!output.finish()) return fail(1, "cannot write " + (options.outFile.empty() ? "the output" : options.outFile));
    const auto number = [](std::uint64_t value) { return static_cast<unsigned long long>(value); };
    std::fprintf(stderr, "regions: %llu, read: %llu bytes, pointers mapped: %llu, peak memory: %llu MiB\n",
                 number(report.regions), number(report.bytes), number(report.pointers), number(report.peakBytes >> 20));
    std::fprintf(stderr, "paths: %llu written, %s%llu in all%s\n", number(report.paths),
                 report.totalIsLowerBound ? "at least " : "", number(report.total), report.stopped ? " (stopped)" : "");
    std::fprintf(stderr, "time: map %ums, sort %ums, levels %ums, paths %ums\n", report.mapMs, report.sortMs,
                 report.levelsMs, report.pathsMs);
    if (target.hasExited()) std::fprintf(stderr, "corvane-cli: the target process has gone\n");
    return 0;
}

int rescan(const PointerOptions& options, TargetAccess& target, ModuleLookup& modules) {
    std::ifstream in(options.inFile, std::ios::binary);
    if (!in) return fail(kExitUsage, "cannot read " + options.inFile);
    const std::vector<std::string> paths = readPointerPaths(in, systemTextCodec());
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> kept;
    StopFlag stop;
    PointerRescanReport report;
    {
        const StopRegistration registration(stop);
        report = rescanPaths(target, &modules, *options.address, paths, stop, kept);
    }
    PathOutput output(options.outFile);
    for (const std::string& path : kept) output.write(path);
    if (!output.finish()) return fail(1, "cannot write " + (options.outFile.empty() ? "the output" : options.outFile));
    for (const std::string& module : report.missingModules)
        std::fprintf(stderr, "corvane-cli: the target has no module %s loaded\n", module.c_str());
    std::fprintf(stderr, "paths: %llu of %zu kept, %ums%s\n", static_cast<unsigned long long>(report.kept),
                 paths.size(), millisecondsSince(start), report.stopped ? " (stopped)" : "");
    return report.missingModules.empty() ? 0 : kExitNoModule;
}

}  // namespace

std::string parsePointerOptions(const std::vector<std::string>& args, PointerOptions& options) {
    bool scanOptions = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) return "option " + name + " needs a value";
        const std::string& value = args[++i];
        const bool scanOption = name == "--depth" || name == "--max-offset" || name == "--min-offset" ||
                                name == "--modules" || name == "--limit";
        scanOptions = scanOptions || scanOption;
        if (name == "--pid") {
            std::uint32_t pid = 0;
            if (!parseWholeNumber(value, pid) || pid == 0) return "--pid must be a process id";
            options.pid = pid;
        } else if (name == "--address") {
            std::uint64_t address = 0;
            if (!parseAddressHex(value, address)) return "--address must be a hexadecimal address";
            options.address = address;
        } else if (name == "--depth") {
            if (!parseWholeNumber(value, options.depth) || options.depth < 1 || options.depth > kMaxPointerDepth)
                return "--depth must be a number from 1 to " + std::to_string(kMaxPointerDepth);
        } else if (name == "--max-offset") {
            if (!parseSignedHex(value, options.maxOffset)) return "--max-offset must be hexadecimal";
        } else if (name == "--min-offset") {
            if (!parseSignedHex(value, options.minOffset)) return "--min-offset must be hexadecimal";
        } else if (name == "--modules") {
            options.modules.clear();
            for (std::size_t from = 0; from <= value.size();) {
                const std::size_t comma = std::min(value.find(',', from), value.size());
                if (comma > from) options.modules.push_back(value.substr(from, comma - from));
                from = comma + 1;
            }
            if (options.modules.empty()) return "--modules needs module names";
        } else if (name == "--limit") {
            if (!parseWholeNumber(value, options.limit) || options.limit == 0)
                return "--limit must be a positive number";
        } else if (name == "--in") {
            options.inFile = value;
        } else if (name == "--out") {
            options.outFile = value;
        } else {
            return "unknown option " + name;
        }
    }
    if (!options.pid) return "--pid is required";
    if (!options.address) return "pointers needs --address HEX";
    if (options.minOffset > options.maxOffset) return "--min-offset is above --max-offset";
    if (!options.inFile.empty() && scanOptions) return "a rescan (--in) takes no scan options";
    return "";
}

int runPointers(const PointerOptions& options, TargetAccess& target, RegionLookup& regions, ModuleLookup& modules) {
    if (const std::uint32_t openError = target.openTarget()) return failToOpen(*options.pid, openError);
    if (const int refused = refuseUnloadedModules(options.modules, modules)) return refused;
    return options.inFile.empty() ? scan(options, target, regions) : rescan(options, target, modules);
}

void stopPointers() {
    if (StopFlag* stop = runningStop.load()) stop->raise();
}

}  // namespace corvane
