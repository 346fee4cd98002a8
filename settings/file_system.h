#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// The few file-system services the settings need, one implementation per
// platform (settings/win32/, settings/native/). Paths are UTF-16.

// The running executable's full path.
std::u16string executablePath();

// Makes one directory; false when it exists already or cannot be made.
bool createDirectory(std::u16string_view path);

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> readFileBytes(std::u16string_view path);

struct DirectoryEntry {
    std::u16string name;
    bool system = false;  // carries the system attribute (Windows only)
};

// Calls visit for the entries of `folder` (ending in a separator) that may be
// settings files, in the order the directory gives them. Windows asks the
// directory search for "*.ini"; elsewhere every entry is passed on. Either
// way the caller checks the names itself. A folder that cannot be searched
// gives no entries.
void forEachSettingsFileCandidate(std::u16string_view folder, const std::function<void(const DirectoryEntry&)>& visit);

}  // namespace corvane
