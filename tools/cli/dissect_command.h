#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/target/memory_regions.h"
#include "engine/target/module_lookup.h"
#include "engine/target/target_access.h"

namespace corvane {

// corvane-cli dissect, as typed.
struct DissectOptions {
    std::optional<std::uint32_t> pid;
    std::string where;  // --address or --structure, as typed
    std::int64_t offset = 0;
    std::int64_t size = 0x100;
    std::vector<std::uint64_t> compare;
    std::string groups;  // one A, B or - per instance, or empty
};

// The arguments after "dissect". Returns an empty text, or a one-line reason
// why they are not usable.
std::string parseDissectOptions(const std::vector<std::string>& args, DissectOptions& options);

// Reads the range once in every instance and writes one line per field to
// `out`: offset, kind, the value in each instance and "differ" or "same",
// tab-separated (texts in UTF-8); with groups, only the fields that separate
// them. Returns the exit code; problems go to standard error.
int runDissect(const DissectOptions& options, TargetAccess& target, RegionLookup* regions, ModuleLookup* modules,
               std::ostream& out);

extern const char* const kDissectUsage;

}  // namespace corvane
