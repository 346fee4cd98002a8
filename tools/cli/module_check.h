#pragma once

#include <string>
#include <vector>

#include "engine/target/module_lookup.h"

namespace corvane {

// The modules a pointer scan's --modules names that the target has not
// loaded, said on standard error rather than scanned as nothing. Returns
// the exit code to stop with when none of them is loaded, else 0 (no names
// at all means every module, and is never refused).
int refuseUnloadedModules(const std::vector<std::string>& names, ModuleLookup& modules);

}  // namespace corvane
