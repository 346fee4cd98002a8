#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/text_codec.h"

namespace corvane {

// Listing a very large folder must not freeze the window that asked for it:
// after this many entries the caller's message pump runs after each further
// entry.
inline constexpr std::size_t kEntriesBeforeMessagePump = 1000;

// The file titles (code page 936) of the "*.ini" entries of `folder` (ending
// in a separator), folders with such names included, entries with the
// system attribute left out, in directory order. A name matches when it ends
// in ".ini" in any letter case; Windows' search also matches 8.3 short names,
// and those entries are left out too, as their titles would name no file.
// `pumpMessages` runs after each entry from the 1001st on.
std::vector<std::string> listSettingsFiles(std::u16string_view folder, const std::function<void()>& pumpMessages = {});

// The section names of a settings file with the program's own reader (not
// the profile service): the whole file, UTF-8 after EF BB BF, UTF-16LE after
// FF FE, otherwise code page 936; lines end at CRLF only; a line is a section
// line when its first character is "[" and its last is "]", nothing trimmed;
// its name is the line without any "[" or "]". File order, duplicates kept.
// A file that cannot be read gives no names.
std::vector<std::string> listSectionNames(std::u16string_view file);

// The same over bytes already read.
std::vector<std::string> sectionNamesInFile(std::string_view bytes, const TextCodec& codec);

}  // namespace corvane
