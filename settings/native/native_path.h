#pragma once

#include <filesystem>
#include <string_view>

#include "settings/file_text.h"

namespace corvane {

// Linux file names are bytes, UTF-8 by convention; the settings paths are
// UTF-16 everywhere else in the program.
inline std::filesystem::path nativePath(std::u16string_view path) { return std::filesystem::path(utf16ToUtf8(path)); }

}  // namespace corvane
