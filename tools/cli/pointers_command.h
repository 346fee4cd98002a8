#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/target/memory_regions.h"
#include "engine/target/module_lookup.h"
#include "engine/target/target_access.h"

namespace corvane {

// corvane-cli pointers, as typed: a scan from --address, or with --in a
// rescan of the paths of FILE against --address.
struct PointerOptions {
    std::optional<std::uint32_t> pid;
    std::optional<std::uint64_t> address;
    unsigned depth = 5;
    std::int64_t maxOffset = 0x1000;
    std::int64_t minOffset = 0;
    std::vector<std::string> modules;
    std::uint64_t limit = 1000000;
    std::string inFile;
    std::string outFile;
};

// The arguments after "pointers". Returns an empty text, or a one-line reason
// why they are not usable.
std::string parsePointerOptions(const std::vector<std::string>& args, PointerOptions& options);

// Runs the scan or the rescan and returns the exit code; figures go to
// standard error.
int runPointers(const PointerOptions& options, TargetAccess& target, RegionLookup& regions, ModuleLookup& modules);

// Stops a running scan or rescan, from Ctrl+C; the paths written so far stand.
void stopPointers();

extern const char* const kPointersUsage;

}  // namespace corvane
