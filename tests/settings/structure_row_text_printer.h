#pragma once

#include <ostream>

#include "settings/structure_text.h"

namespace corvane {

// Failure messages show rows as the structure list would, not as raw bytes.
inline void PrintTo(const StructureRowText& row, std::ostream* out) {
    *out << '(' << row.start << ", " << row.count << ", " << row.increment << ')';
}

}  // namespace corvane
