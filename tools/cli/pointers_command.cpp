#include "tools/cli/pointers_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "engine/files/pointer_map_file.h"
#include "engine/files/pointer_paths_file.h"
#include "engine/kit/elapsed_time.h"
#include "engine/pointers/pointer_rescan.h"
#include "engine/text/hex_text.h"
#include "engine/text/text_codec.h"
#include "tools/cli/module_check.h"
#include "tools/cli/pointermap_command.h"
#include "tools/cli/pointers_output.h"
#include "tools/cli/progress_line.h"

namespace corvane {

const char* const kPointersUsage =
    "  corvane-cli pointers --pid PID --address HEX [--depth N] [--max-offset HEX]\n"
    "                       [--min-offset HEX] [--modules A,B] [--last-offsets HEX,...]\n"
    "                       [--limit N] [--out FILE]\n"
    "  corvane-cli pointers --pid PID --in FILE --address HEX [--out FILE]\n"
    "  corvane-cli pointermap --pid PID --address HEX --out FILE [--modules A,B]\n"
    "  corvane-cli pointers --map FILE[@HEX] [--map FILE[@HEX] ...] [--pid PID --address HEX]\n"
    "                       [scan options as above] [--out FILE]\n"
    "  the first form scans for paths of pointers from module statics to the address, one\n"
    "  a line, shortest first: MODULE+HEX]o1]...]ok; add \"]\" to use one as a structure.\n"
    "  --depth 1 to 10 levels (5); offsets from --min-offset (0, may be negative: -40) to\n"
    "  --max-offset (1000); --modules takes statics from these modules only; --last-offsets\n"
    "  keeps the paths that end with these offsets (the field's offset in its object: 2C,\n"
    "  or 18,2C); --limit caps the paths written (1000000) and standard error says how\n"
    "  many there were in all.\n"
    "  the second form rescans: it keeps the paths of FILE that lead to the address now\n"
    "  (after a restart, with the value found again); it reads along the paths only.\n"
    "  pointermap saves this run's pointer map (no paths; a few seconds); after restarts,\n"
    "  pointers --map compares the maps, each to its own address (@HEX overrides it), and\n"
    "  with --pid the live target as one run more: only the paths valid in every run.\n"
    "  Ctrl+C stops any of them and keeps the paths written so far; a map is then not saved.\n";

namespace {

// The job Ctrl+C stops.
std::atomic<StopFlag*> runningStop{nullptr};

std::vector<std::string> commaList(const std::string& value) {
    std::vector<std::string> items;
    for (std::size_t from = 0; from <= value.size();) {
        const std::size_t comma = std::min(value.find(',', from), value.size());
        if (comma > from) items.push_back(value.substr(from, comma - from));
        from = comma + 1;
    }
    return items;
}

int scan(const PointerOptions& options, TargetAccess& target, RegionLookup& regions) {
    PointerScanSettings settings = options.scan;
    settings.address = *options.address;
    PointerScan scanner(target, regions);
    PathOutput output(options.outFile);
    PointerScanReport report;
    {
        const StopRegistration registration(scanner.stop);
        const ProgressLine progress([&scanner] { return scanProgress(scanner.progress); });
        report = scanner.run(settings, [&](const PointerPath& path) { output.write(path); });
    }
    if (!output.finish())
        return fail(1, "cannot write " + (options.outFile.empty() ? "the output" : options.outFile));
    printScanReport(report);
    if (target.hasExited()) std::fprintf(stderr, "corvane-cli: the target process has gone\n");
    return 0;
}

int rescan(const PointerOptions& options, TargetAccess& target, ModuleLookup& modules) {
    std::ifstream in(options.inFile, std::ios::binary);
    if (!in) return fail(kExitUsage, "cannot read " + options.inFile);
    const PointerPathsRead read = readPointerPaths(in, systemTextCodec());
    if (read.badLine != 0) return fail(kExitUsage, options.inFile + ": " + read.problem);
    const auto start = std::chrono::steady_clock::now();
    std::vector<PointerPath> kept;
    StopFlag stop;
    PointerRescanReport report;
    {
        const StopRegistration registration(stop);
        report = rescanPaths(target, &modules, *options.address, read.paths, stop, kept);
    }
    PathOutput output(options.outFile);
    for (const PointerPath& path : kept) output.write(path);
    if (!output.finish())
        return fail(1, "cannot write " + (options.outFile.empty() ? "the output" : options.outFile));
    for (const std::string& module : report.missingModules)
        std::fprintf(stderr, "corvane-cli: the target has no module %s loaded\n", module.c_str());
    std::fprintf(stderr, "paths: %llu of %zu kept, %ums%s\n", static_cast<unsigned long long>(report.kept),
                 read.paths.size(), millisecondsSince(start), report.stopped ? " (stopped)" : "");
    return report.missingModules.empty() ? 0 : kExitNoModule;
}

}  // namespace

PathOutput::PathOutput(const std::string& file) {
    if (file.empty()) return;
    file_.open(file, std::ios::binary | std::ios::trunc);
    if (!file_) throw std::runtime_error("cannot write " + file);
}

std::ostream& PathOutput::stream() { return file_.is_open() ? static_cast<std::ostream&>(file_) : std::cout; }

void PathOutput::write(const PointerPath& path) { writePointerPath(stream(), path, systemTextCodec()); }

bool PathOutput::finish() {
    stream().flush();
    return static_cast<bool>(stream());
}

StopRegistration::StopRegistration(StopFlag& stop) { runningStop = &stop; }
StopRegistration::~StopRegistration() { runningStop = nullptr; }

void printScanReport(const PointerScanReport& report) {
    const auto number = [](std::uint64_t value) { return static_cast<unsigned long long>(value); };
    std::fprintf(stderr, "regions: %llu, read: %llu bytes, pointers mapped: %llu, peak memory: %llu MiB\n",
                 number(report.regions), number(report.bytes), number(report.pointers), number(report.peakBytes >> 20));
    std::fprintf(stderr, "paths: %llu written, %s%llu in all%s\n", number(report.paths),
                 report.totalIsLowerBound ? "at least " : "", number(report.total), report.stopped ? " (stopped)" : "");
    if (report.crowded)
        std::fprintf(stderr,
                     "the runs share more partial paths than fit in memory: the deeper levels were not walked "
                     "(fewer --max-offset or --last-offsets narrow it)\n");
    std::fprintf(stderr, "time: map %ums, sort %ums, levels %ums, paths %ums\n", report.mapMs, report.sortMs,
                 report.levelsMs, report.pathsMs);
}

std::string scanProgress(const PointerScanProgress& progress) {
    const auto number = [](std::uint64_t value) { return std::to_string(value); };
    if (progress.phase <= PointerScanProgress::Sorting)
        return "reading " + number(progress.bytesRead >> 20) + " of " + number(progress.bytesTotal >> 20) +
               " MiB, pointers " + number(progress.pointers);
    return "level " + number(progress.level) + ", paths " + number(progress.paths);
}

std::string parsePointerOptions(const std::vector<std::string>& args, PointerOptions& options) {
    bool scanOptions = false;
    PointerScanSettings& scan = options.scan;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) return "option " + name + " needs a value";
        const std::string& value = args[++i];
        const bool scanOption = name == "--depth" || name == "--max-offset" || name == "--min-offset" ||
                                name == "--limit" || name == "--last-offsets";
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
            if (!parseWholeNumber(value, scan.depth) || scan.depth < 1 || scan.depth > kMaxPointerDepth)
                return "--depth must be a number from 1 to " + std::to_string(kMaxPointerDepth);
        } else if (name == "--max-offset") {
            if (!parseSignedHex(value, scan.maxOffset)) return "--max-offset must be hexadecimal";
        } else if (name == "--min-offset") {
            if (!parseSignedHex(value, scan.minOffset)) return "--min-offset must be hexadecimal";
        } else if (name == "--modules") {
            scan.modules = commaList(value);
            if (scan.modules.empty()) return "--modules needs module names";
        } else if (name == "--last-offsets") {
            scan.lastOffsets.clear();
            for (const std::string& item : commaList(value)) {
                std::int64_t offset = 0;
                if (!parseSignedHex(item, offset)) return "--last-offsets must be hexadecimal offsets, 18,2C";
                scan.lastOffsets.push_back(offset);
            }
            if (scan.lastOffsets.empty() || scan.lastOffsets.size() > kMaxPointerDepth)
                return "--last-offsets needs 1 to " + std::to_string(kMaxPointerDepth) + " offsets";
        } else if (name == "--limit") {
            if (!parseWholeNumber(value, scan.limit) || scan.limit == 0) return "--limit must be a positive number";
        } else if (name == "--in") {
            options.inFile = value;
        } else if (name == "--map" && !options.makeMap) {
            MapChoice choice;
            const std::size_t at = value.rfind('@');
            choice.file = value;
            if (at != std::string::npos) {
                std::uint64_t address = 0;
                if (!parseAddressHex(value.substr(at + 1), address))
                    return "--map takes FILE or FILE@HEX, the address in hexadecimal";
                choice.file = value.substr(0, at);
                choice.address = address;
            }
            if (choice.file.empty()) return "--map needs a file";
            options.maps.push_back(std::move(choice));
        } else if (name == "--out") {
            options.outFile = value;
        } else {
            return "unknown option " + name;
        }
    }
    if (options.makeMap) {
        if (!options.pid) return "--pid is required";
        if (!options.address) return "pointermap needs --address HEX";
        if (options.outFile.empty()) return "pointermap needs --out FILE";
        if (scanOptions) return "pointermap takes no scan options but --modules";
        return "";
    }
    if (!options.maps.empty()) {
        if (!options.inFile.empty()) return "--map and --in do not go together";
        if (options.address && !options.pid) return "--address belongs to the live run and needs --pid";
        if (options.pid && !options.address) return "the live run (--pid) needs --address HEX";
    } else {
        if (!options.pid) return "--pid is required";
        if (!options.address) return "pointers needs --address HEX";
        if (!options.inFile.empty() && (scanOptions || !scan.modules.empty()))
            return "a rescan (--in) takes no scan options";
    }
    if (scan.minOffset > scan.maxOffset) return "--min-offset is above --max-offset";
    return "";
}

int runPointers(const PointerOptions& options, TargetAccess* target, RegionLookup* regions, ModuleLookup* modules) {
    if (target != nullptr) {
        if (const std::uint32_t openError = target->openTarget())
            return failToOpen(*options.pid, openError);
        if (modules != nullptr)
            if (const int refused = refuseUnloadedModules(options.scan.modules, *modules)) return refused;
    }
    if (!options.maps.empty()) return compareMapsCommand(options, target, regions);
    if (options.makeMap) return savePointerMapCommand(options, *target, *regions);
    return options.inFile.empty() ? scan(options, *target, *regions) : rescan(options, *target, *modules);
}

void stopPointers() {
    if (StopFlag* stop = runningStop.load()) stop->raise();
}

}  // namespace corvane
