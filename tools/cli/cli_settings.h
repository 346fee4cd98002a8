#pragma once

#include <string>
#include <vector>

#include "engine/search/search_settings.h"
#include "engine/search/structure_row.h"
#include "tools/cli/cli_options.h"

namespace corvane {

// What a command runs with: the search settings and the structure rows.
struct CliSettings {
    SearchSettings search;
    std::vector<StructureRow> rows;
    // Row 0 counts from this module's base when it is not empty.
    std::string module;
    // Row 0 is every writable address of the target.
    bool memory = false;
};

// Takes the six settings keys from the settings section when one is named,
// then lets the explicit options override them; the defaults are those of a
// fresh main window (长整型, 10进制, 不过滤). Returns an empty text or why the
// settings are not usable.
std::string resolveCliSettings(const CliOptions& options, CliSettings& settings);

}  // namespace corvane
