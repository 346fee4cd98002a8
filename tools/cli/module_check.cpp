#include "tools/cli/module_check.h"

#include "tools/cli/cli_failure.h"

namespace corvane {

int refuseUnloadedModules(const std::vector<std::string>& names, ModuleLookup& modules) {
    std::string missing;
    std::size_t loaded = 0;
    for (const std::string& name : names) {
        if (modules.moduleBase(name)) {
            ++loaded;
            continue;
        }
        if (!missing.empty()) missing += ", ";
        missing += name;
    }
    if (missing.empty()) return 0;
    if (loaded == 0) return fail(kExitNoModule, "the target has not loaded " + missing + ": nothing to scan from");
    say("the target has not loaded " + missing + "; the scan takes the others");
    return 0;
}

}  // namespace corvane
