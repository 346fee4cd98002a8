#include "engine/module_lookup.h"

#include "engine/ascii_case.h"
#include "engine/hex_text.h"
#include "engine/path_table.h"
#include "engine/structure_row.h"

namespace corvane {
namespace {

// Length of the code page 936 character at `pos`: a lead byte takes the
// byte after it along, whatever that byte is, as the code page does.
std::size_t charLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    return lead >= 0x81 && lead <= 0xFE && pos + 1 < text.size() ? 2 : 1;
}

}  // namespace

bool sameModuleName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // Bytes of two-byte characters are compared exactly: only ASCII letters
    // have a case the comparison may ignore.
    for (std::size_t pos = 0; pos < a.size();) {
        const std::size_t length = charLength(a, pos);
        if (length == 2) {
            if (a[pos] != b[pos] || a[pos + 1] != b[pos + 1]) return false;
        } else if (asciiLower(a[pos]) != asciiLower(b[pos])) {
            return false;
        }
        pos += length;
    }
    return true;
}

bool isWritableModuleName(std::string_view name) {
    if (name.empty()) return false;
    for (std::size_t pos = 0; pos < name.size(); pos += charLength(name, pos)) {
        if (charLength(name, pos) == 2) continue;
        const char c = name[pos];
        if (c == ']' || c == '*' || c == '+' || c == '\r' || c == '\n') return false;
    }
    return true;
}

bool isModuleStartCell(std::string_view cell) {
    return cell.find('+') != std::string_view::npos || cell.find('.') != std::string_view::npos;
}

bool isMemoryStartCell(std::string_view cell) {
    // 内存 in code page 936.
    constexpr std::string_view kMemoryWord = "\xC4\xDA\xB4\xE6";
    return cell == kMemoryWord || sameModuleName(cell, "memory");
}

StartCell parseStartCell(std::string_view cell) {
    StartCell start;
    if (isMemoryStartCell(cell)) {
        start.form = StartCell::Form::Memory;
        return start;
    }
    if (!isModuleStartCell(cell)) {
        start.offset = parseStartOffsetCell(cell);
        return start;
    }
    start.form = StartCell::Form::Invalid;
    const std::size_t plus = cell.find('+');
    const std::string_view name = cell.substr(0, plus);
    if (!isWritableModuleName(name)) return start;
    std::uint64_t offset = 0;
    if (plus != std::string_view::npos && !parseHex64(cell.substr(plus + 1), offset)) return start;
    start.form = StartCell::Form::Module;
    start.module.assign(name);
    start.offset = static_cast<std::int64_t>(offset);
    return start;
}

ModuleBases::ModuleBases(const PathTable& paths, ModuleLookup* lookup) {
    for (std::uint32_t anchor : paths.anchors()) {
        const std::string& name = paths.moduleName(anchor);
        std::optional<std::uint64_t> base;
        if (lookup != nullptr) base = lookup->moduleBase(name);
        if (!base) {
            bool known = false;
            for (const std::string& gone : missing_) known = known || sameModuleName(gone, name);
            if (!known) missing_.push_back(name);
        }
        bases_.emplace_back(anchor, base);
    }
}

std::optional<std::uint64_t> ModuleBases::base(std::uint32_t anchorNode) const {
    for (const auto& [anchor, base] : bases_)
        if (anchor == anchorNode) return base;
    return std::nullopt;
}

}  // namespace corvane
