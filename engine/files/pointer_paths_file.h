#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/text_codec.h"

namespace corvane {

// A file of pointer paths, one a line, as the command line writes them and
// the pointer dialog saves and reads them: UTF-8, as results files are,
// where the paths hold code page 936 module names.
void writePointerPath(std::ostream& out, std::string_view path, const TextCodec& codec);
void writePointerPaths(std::ostream& out, const std::vector<std::string>& paths, const TextCodec& codec);
// Every line that is not empty, a carriage return before its end dropped.
std::vector<std::string> readPointerPaths(std::istream& in, const TextCodec& codec);

}  // namespace corvane
