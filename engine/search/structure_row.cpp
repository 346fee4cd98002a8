#include "engine/search/structure_row.h"

#include "engine/target/module_lookup.h"
#include "engine/text/ascii_case.h"
#include "engine/text/hex_text.h"

namespace corvane {
namespace {

// Accumulates digits of `base` from `pos` into a wrapping unsigned value;
// `pos` is left at the first character that is not one.
template <typename Unsigned>
Unsigned readDigits(std::string_view text, std::size_t& pos, unsigned base) {
    Unsigned value = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = hexDigitValue(text[pos]);
        if (digit < 0 || digit >= static_cast<int>(base)) break;
        value = static_cast<Unsigned>(value * base + static_cast<unsigned>(digit));
    }
    return value;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The count cell's reading; `pos` is left after the digits, `digits` counts them.
std::int32_t readCountCell(std::string_view text, std::size_t& pos, std::size_t& digits) {
    pos = 0;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    // The prefix comes first and the sign after it: a sign written before
    // the prefix leaves the prefix to be read as digits, which it is not.
    unsigned base = 10;
    if (pos < text.size() && text[pos] == '&') {
        ++pos;
        base = 8;
        if (pos < text.size()) {
            switch (text[pos]) {
                case 'H':
                case 'h':
                    base = 16;
                    ++pos;
                    break;
                case 'O':
                case 'o': ++pos; break;
                case 'B':
                case 'b':
                    base = 2;
                    ++pos;
                    break;
                default: break;
            }
        }
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t first = pos;
    std::uint32_t value = readDigits<std::uint32_t>(text, pos, base);
    digits = pos - first;
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::int64_t parseStartOffsetCell(std::string_view text) {
    std::size_t pos = 0;
    return static_cast<std::int64_t>(readDigits<std::uint64_t>(text, pos, 16));
}

std::int32_t parseCountCell(std::string_view text) {
    std::size_t pos = 0;
    std::size_t digits = 0;
    return readCountCell(text, pos, digits);
}

bool isWholeStartOffsetCell(std::string_view text) {
    std::size_t pos = 0;
    readDigits<std::uint64_t>(text, pos, 16);
    return pos == text.size() && !text.empty() && text.size() <= kMaxHexDigits;
}

bool isWholeCountCell(std::string_view text) {
    std::size_t pos = 0;
    std::size_t digits = 0;
    readCountCell(text, pos, digits);
    return pos == text.size() && digits > 0;
}

std::int64_t parseIncrementCell(std::string_view text) { return parseCountCell(text); }

StructureRow structureRowFromCells(std::string_view start, std::string_view count, std::string_view increment) {
    return {parseStartOffsetCell(start), parseCountCell(count), parseIncrementCell(increment)};
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
    const std::size_t plus = moduleNameEnd(cell);
    const std::string_view name = cell.substr(0, plus);
    if (!isWritableModuleName(name)) return start;
    std::uint64_t offset = 0;
    if (plus != std::string_view::npos && !parseHex64(cell.substr(plus + 1), offset)) return start;
    start.form = StartCell::Form::Module;
    start.module.assign(name);
    start.offset = static_cast<std::int64_t>(offset);
    return start;
}

}  // namespace corvane
