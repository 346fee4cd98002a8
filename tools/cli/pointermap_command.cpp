#include "tools/cli/pointermap_command.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>

#include "engine/files/pointer_map_file.h"
#include "engine/kit/both_cores.h"
#include "engine/kit/elapsed_time.h"
#include "engine/pointers/encoded_run_map.h"
#include "engine/pointers/run_map.h"
#include "engine/pointers/runs_walk.h"
#include "engine/target/module_lookup.h"
#include "tools/cli/pointers_output.h"
#include "tools/cli/progress_line.h"

namespace corvane {
namespace {

// Only the images of the chosen modules, when there is a choice.
void keepChosenImages(const PointerOptions& options, std::vector<ModuleImage>& images) {
    if (!options.scan.modules.empty())
        std::erase_if(images, [&](const ModuleImage& image) {
            return std::none_of(options.scan.modules.begin(), options.scan.modules.end(),
                                [&](const std::string& name) { return sameModuleName(name, image.name); });
        });
}

// The live target's map, read by `capture` under the progress line, the
// images cut to the chosen modules.
template <typename Map, typename Capture>
bool captureLive(const PointerOptions& options, StopFlag& stop, Map& map, std::vector<ModuleImage>& images,
                 std::uint32_t& ms, const Capture& capture) {
    PointerScanProgress progress;
    const auto start = std::chrono::steady_clock::now();
    bool captured = false;
    {
        const StopRegistration registration(stop);
        const ProgressLine line([&progress] { return scanProgress(progress); });
        captured = capture(progress, map);
    }
    ms = millisecondsSince(start);
    keepChosenImages(options, images);
    return captured;
}

// Why a file given to --map is not a map: the program's other files by name.
std::string whatInstead(const std::string& file, const std::string& error) {
    if (error != "not a pointer map") return error;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("CORVANE-SNAPSHOT")) return "a snapshot file, not a pointer map";
    if (line.find('\t') != std::string::npos) return "a results file, not a pointer map";
    if (parsePointerPath(line)) return "a paths file, not a pointer map";
    return error;
}

}  // namespace

int savePointerMapCommand(const PointerOptions& options, TargetAccess& target, RegionLookup& regions) {
    StopFlag stop;
    // Read straight into the file's encoded form: a map only to be saved
    // needs neither its 16 bytes a pointer nor a second pass to encode them.
    EncodedRunMap map;
    std::uint32_t readMs = 0;
    const auto capture = [&](PointerScanProgress& progress, EncodedRunMap& into) {
        return captureEncodedRunMap(target, regions, *options.address, stop, progress, into);
    };
    if (!captureLive(options, stop, map, map.outline.images, readMs, capture)) {
        std::fprintf(stderr, "pointer map: stopped, %s not written\n", options.outFile.c_str());
        return 0;
    }
    const auto start = std::chrono::steady_clock::now();
    std::string problem;
    {
        const StopRegistration registration(stop);
        problem = savePointerMap(options.outFile, map, stop);
    }
    if (problem == "stopped") {
        std::fprintf(stderr, "pointer map: stopped, %s not written\n", options.outFile.c_str());
        return 0;
    }
    if (!problem.empty()) return fail(1, problem);
    std::uint64_t bytes = 0;
    for (const MemoryRegion& region : map.outline.regions) bytes += region.size;
    std::error_code ignored;
    const auto size = std::filesystem::file_size(options.outFile, ignored);
    const std::uint64_t pointers = map.size();
    std::fprintf(stderr,
                 "pointer map: %zu regions, %llu bytes read, %llu pointers, %zu modules, file %llu bytes "
                 "(%.2f per pointer)\n",
                 map.outline.regions.size(), static_cast<unsigned long long>(bytes),
                 static_cast<unsigned long long>(pointers), map.outline.images.size(),
                 static_cast<unsigned long long>(size),
                 pointers == 0 ? 0.0 : static_cast<double>(size) / static_cast<double>(pointers));
    std::fprintf(stderr, "time: read %ums, write %ums\n", readMs, millisecondsSince(start));
    if (target.hasExited()) std::fprintf(stderr, "corvane-cli: the target process has gone\n");
    return 0;
}

int compareMapsCommand(const PointerOptions& options, TargetAccess* target, RegionLookup* regions) {
    std::vector<RunMap> maps(options.maps.size());
    std::vector<std::string> problems(options.maps.size());
    const auto loadStart = std::chrono::steady_clock::now();
    // Two files read at once where there are two cores: each is read and
    // checked on its own.
    const auto load = [&](std::size_t i) { problems[i] = loadPointerMap(options.maps[i].file, maps[i]); };
    for (std::size_t i = 0; i < maps.size(); i += 2) {
        if (i + 1 < maps.size() && twoCores())
            runBoth([&] { load(i); }, [&] { load(i + 1); });
        else
            for (std::size_t j = i; j < std::min(maps.size(), i + 2); ++j) load(j);
    }
    for (std::size_t i = 0; i < maps.size(); ++i) {
        const MapChoice& choice = options.maps[i];
        if (!problems[i].empty()) return fail(kExitUsage, choice.file + ": " + whatInstead(choice.file, problems[i]));
        if (choice.address) maps[i].address = *choice.address;
    }
    const std::uint32_t loadMs = millisecondsSince(loadStart);
    StopFlag stop;
    std::uint32_t liveMs = 0;
    if (target != nullptr) {
        RunMap live;
        const auto capture = [&](PointerScanProgress& progress, RunMap& into) {
            return captureRunMap(*target, *regions, *options.address, stop, progress, into);
        };
        if (!captureLive(options, stop, live, live.images, liveMs, capture)) {
            std::fprintf(stderr, "paths: 0 written, at least 0 in all (stopped)\n");
            return 0;
        }
        maps.push_back(std::move(live));
    }
    const std::size_t runs = maps.size();
    std::uint64_t regionCount = 0;
    for (const RunMap& map : maps) regionCount += map.regions.size();
    PathOutput output(options.outFile);
    PointerScanProgress progress;
    PointerScanReport report;
    {
        const StopRegistration registration(stop);
        const ProgressLine line([&progress] { return scanProgress(progress); });
        // The walk lets each map go once it has indexed it.
        report = walkRuns(std::move(maps), options.scan, stop, progress,
                          [&](const PointerPath& path) { output.write(path); });
    }
    if (!output.finish()) return fail(1, "cannot write " + (options.outFile.empty() ? "the output" : options.outFile));
    report.regions = regionCount;
    report.mapMs = loadMs + liveMs;
    std::fprintf(stderr, "runs: %zu (%zu maps%s)\n", runs, options.maps.size(),
                 target != nullptr ? " and the live target" : "");
    printScanReport(report);
    return 0;
}

}  // namespace corvane
