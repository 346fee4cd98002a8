#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/pointers/pointer_scan.h"
#include "engine/target/memory_regions.h"
#include "engine/target/module_lookup.h"
#include "engine/target/target_access.h"

namespace corvane {

// A saved map to compare, with the address its run's value had; nothing
// when the map's own address stands.
struct MapChoice {
    std::string file;
    std::optional<std::uint64_t> address;
};

// corvane-cli pointers and pointermap, as typed: a scan from --address; with
// --in a rescan of the paths of FILE; with --map the paths valid in every map
// (and the live target, when --pid is given); pointermap saves the target's
// map to --out.
struct PointerOptions {
    bool makeMap = false;  // pointermap
    std::optional<std::uint32_t> pid;
    std::optional<std::uint64_t> address;
    // Its address is `address`, set apart as the maps carry their own.
    PointerScanSettings scan;
    std::vector<MapChoice> maps;
    std::string inFile;
    std::string outFile;
};

// The arguments after "pointers" (or "pointermap", with options.makeMap set
// before). Returns an empty text, or a one-line reason why they are not usable.
std::string parsePointerOptions(const std::vector<std::string>& args, PointerOptions& options);

// Runs the scan, rescan, comparison or map and returns the exit code;
// figures go to standard error. `target` may be null when no --pid was given.
int runPointers(const PointerOptions& options, TargetAccess* target, RegionLookup* regions, ModuleLookup* modules);

// Stops a running scan, rescan, comparison or map, from Ctrl+C; the paths
// written so far stand, and a map being saved is not written.
void stopPointers();

extern const char* const kPointersUsage;

}  // namespace corvane
