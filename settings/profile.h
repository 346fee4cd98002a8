#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Keyed values in settings files, over the platform's profile service on
// Windows (GetPrivateProfileStringW, WritePrivateProfileStringW) and over
// ProfileText elsewhere, with the same results. The file path is UTF-16;
// section, key and value texts are code page 936 and are widened with it.
// An INI line cannot hold a line break, so CR and LF are removed from every
// name and value before it reaches the file (a value of line breaks alone is
// thus empty and removes its key).

// The stored value, read whole however long it is, or `defaultValue` when
// the file, section or key is missing (or a name is not code page 936 text).
std::string profileReadString(std::u16string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue);

// Whether the file holds the section, found as the reads find it: its name
// without the blanks around it, ASCII letters in either case. False for a
// missing file or a name that is not code page 936 text.
bool profileHasSection(std::u16string_view file, std::string_view section);

// Stores the value; an empty value removes the key. A missing file is
// created, but not a missing folder. Returns the service's success flag,
// which nothing in the program acts on.
bool profileWriteString(std::u16string_view file, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace corvane
