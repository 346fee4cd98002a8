#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// Where the target has loaded its modules. Kept apart from the reader: a
// reader that knows no modules (a memory image, a dump) still searches
// every structure with absolute addresses.
class ModuleLookup {
public:
    virtual ~ModuleLookup() = default;

    // The load address of the module whose file name is `name` (code page 936
    // bytes, compared without regard to letter case), or nothing when the
    // target has no such module loaded.
    virtual std::optional<std::uint64_t> moduleBase(std::string_view name) = 0;
};

// File names as the target's loader compares them: ASCII letters in either case.
bool sameModuleName(std::string_view a, std::string_view b);

// Whether a module name can stand in a structure or path text: not empty,
// and none of "]", "*" and "+", which separate the text's parts.
bool isWritableModuleName(std::string_view name);



}  // namespace corvane
