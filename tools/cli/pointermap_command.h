#pragma once

#include "engine/target/memory_regions.h"
#include "engine/target/target_access.h"
#include "tools/cli/pointers_command.h"

namespace corvane {

// pointermap: the live target's map to options.outFile, whole or not at all.
int savePointerMapCommand(const PointerOptions& options, TargetAccess& target, RegionLookup& regions);

// pointers --map: the paths valid in every map given and, with --pid, in the
// live target too.
int compareMapsCommand(const PointerOptions& options, TargetAccess* target, RegionLookup* regions);

}  // namespace corvane
