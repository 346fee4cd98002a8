#pragma once

#include <span>
#include <string>

#include "engine/search/search_settings.h"
#include "settings/structure_text.h"

namespace corvane {

// What the window would read as 0 without a word, the command line refuses:
// each returns an empty text, or one line saying what is wrong.

// A row's start, count or increment that the structure readers would read
// only in part ("xyz", "ghij*2*8"), naming the row. Row 0 may also be in the
// module form or the memory word, which the structure reading checks.
std::string structureCellsProblem(std::span<const StructureRowText> rows);

// --value1 and --value2 as the condition uses them: present, numbers of the
// kind and base (the kind's range said when not), and for 两者之间 the first
// not above the second. The values are rewritten as the engine's reader
// takes them ("0x7A4F" as "7A4F" for hexadecimal, where it would read 0).
std::string searchValuesProblem(SearchSettings& search);

}  // namespace corvane
