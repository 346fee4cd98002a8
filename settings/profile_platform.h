#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The platform's own profile reads and writes, one implementation per
// platform (settings/win32/, settings/native/). Everything else goes through
// profileReadString and profileWriteString, which keep line breaks out of
// the names and values first.
std::string platformProfileReadString(std::u16string_view file, std::string_view section, std::string_view key,
                                      std::string_view defaultValue);
bool platformProfileWriteString(std::u16string_view file, std::string_view section, std::string_view key,
                                std::string_view value);

}  // namespace corvane
