#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// Module bases looked up once each, however many paths or rows name them,
// so every user of one cache sees the same base for a name.
class ModuleBaseCache {
public:
    explicit ModuleBaseCache(ModuleLookup* lookup) : lookup_(lookup) {}

    // Nothing when the module is not loaded, or nothing can look modules up.
    std::optional<std::uint64_t> base(std::string_view name);
    // The names looked up and not loaded, in the order first met.
    const std::vector<std::string>& missing() const { return missing_; }

private:
    ModuleLookup* lookup_;
    std::vector<std::pair<std::string, std::optional<std::uint64_t>>> bases_;
    std::vector<std::string> missing_;
};

// File names as the target's loader compares them: ASCII letters in either case.
bool sameModuleName(std::string_view a, std::string_view b);

// Whether a module name can stand in a structure or path text: not empty,
// and neither "]" nor "*", which separate the text's parts. A "+" may stand
// in it (libstdc++.so.6): the name ends at a text's last "+".
bool isWritableModuleName(std::string_view name);

// Where the module name of a text MODULE+HEX… ends: at its last "+", or npos.
std::size_t moduleNameEnd(std::string_view text);

}  // namespace corvane
