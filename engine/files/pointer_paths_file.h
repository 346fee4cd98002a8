#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "engine/pointers/pointer_path.h"
#include "engine/text/text_codec.h"

namespace corvane {

// A file of pointer paths, one a line, as the command line writes them and
// the pointer dialog saves and reads them: UTF-8, as results files are,
// where the paths hold code page 936 module names.
void writePointerPath(std::ostream& out, const PointerPath& path, const TextCodec& codec);
void writePointerPaths(std::ostream& out, const std::vector<PointerPath>& paths, const TextCodec& codec);

struct PointerPathsRead {
    std::vector<PointerPath> paths;
    // 0 when every line was a path (or empty); otherwise the first line
    // that is none, counted from 1, and what it is ("line 3 is not a path
    // …", "a results file, not a paths file").
    std::size_t badLine = 0;
    std::string problem;
};

// Every line that is not empty, a carriage return before its end dropped;
// the reading ends at the first line that is no path.
PointerPathsRead readPointerPaths(std::istream& in, const TextCodec& codec);

}  // namespace corvane
