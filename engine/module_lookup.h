#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class PathTable;

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

// A first row's start offset cell: an offset as ever, MODULE+HEX (MODULE
// alone meaning +0), or the memory word, every writable address of the
// target. A cell holding "+" or "." is in the module form, so a plain
// hexadecimal cell reads exactly as it always has; the memory word holds
// neither and no hexadecimal digit before its end, so no old text that
// meant an offset is read as it.
struct StartCell {
    enum class Form : std::uint8_t { Offset, Module, Memory, Invalid };
    Form form = Form::Offset;
    std::string module;
    std::int64_t offset = 0;
};
bool isModuleStartCell(std::string_view cell);
// The memory word: "内存" (code page 936) or "memory" in any letter case,
// the whole cell.
bool isMemoryStartCell(std::string_view cell);
// The module form needs a writable name and, after "+", 1 to 16 hexadecimal
// digits; anything else in that form is Invalid.
StartCell parseStartCell(std::string_view cell);

// The bases of the modules a path table is anchored on, looked up once when
// a pass starts: every result of the pass sees the same base.
class ModuleBases {
public:
    ModuleBases() = default;
    ModuleBases(const PathTable& paths, ModuleLookup* lookup);

    // The base of an anchor node of the table, or nothing when its module
    // is not loaded (or nothing can look modules up).
    std::optional<std::uint64_t> base(std::uint32_t anchorNode) const;
    // The modules of the table that the target has not loaded, in the order
    // the table first met them.
    const std::vector<std::string>& missing() const { return missing_; }

private:
    std::vector<std::pair<std::uint32_t, std::optional<std::uint64_t>>> bases_;
    std::vector<std::string> missing_;
};

}  // namespace corvane
