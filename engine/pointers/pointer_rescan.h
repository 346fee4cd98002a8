#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/pointers/pointer_path.h"
#include "engine/target/memory_reader.h"
#include "engine/target/module_lookup.h"

namespace corvane {

struct PointerRescanReport {
    std::uint64_t kept = 0;
    std::uint64_t dropped = 0;
    // Modules that paths name and the target has not loaded, in the order met.
    std::vector<std::string> missingModules;
    bool stopped = false;
};

// Keeps the paths (as a pointer scan writes them) that lead to `address` in
// the target now, in their order. Reads memory along the paths only: a
// pointer per level, each slot's once however many paths meet it, and levels
// a path shares with the one before are not walked again. A path under a
// module the target has not loaded is dropped. A stop keeps what was kept so
// far.
PointerRescanReport rescanPaths(MemoryReader& reader, ModuleLookup* modules, std::uint64_t address,
                                const std::vector<PointerPath>& paths, const StopFlag& stop,
                                std::vector<PointerPath>& kept);

}  // namespace corvane
