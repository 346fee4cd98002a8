#include "tools/cli/input_checks.h"

#include <cstdio>

#include "engine/search/structure_row.h"
#include "engine/text/hex_text.h"
#include "engine/values/strict_number.h"
#include "tools/cli/cli_options.h"

namespace corvane {
namespace {

// The row as it was typed, near enough to find it: the reader's defaults
// for a piece without "*" give the short form.
std::string rowText(const StructureRowText& row) {
    if (row.count == "0" && row.increment == "4") return row.start + "]";
    return row.start + "*" + row.count + "*" + row.increment + "]";
}

std::string numberText(ValueType type, std::uint8_t baseMode, const StrictNumber& number) {
    if (isFloatType(type)) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", number.real);
        return text;
    }
    const ValueVariant variant = variantOf(type, baseMode);
    if (isHexadecimal(type, baseMode)) {
        std::string text;
        appendHex(text, number.bits);
        return text;
    }
    if (!isSignedVariant(variant)) return std::to_string(number.bits);
    const unsigned shift = 64 - 8 * integerWidth(variant);
    return std::to_string(static_cast<std::int64_t>(number.bits << shift) >> shift);
}

std::string kindText(ValueType type, std::uint8_t baseMode) {
    const NumberRange range = numberRange(type, baseMode);
    const std::string what = isFloatType(type)               ? "a decimal number"
                             : isHexadecimal(type, baseMode) ? "hexadecimal digits (0x or &H before them allowed)"
                                                             : "a decimal whole number";
    return what + " for " + typeName(static_cast<int>(type)) + ", " + numberText(type, baseMode, range.low) + " to " +
           numberText(type, baseMode, range.high);
}

// Checks one value the condition needs and puts the engine's text in its place.
std::string valueProblem(const SearchSettings& search, const char* option, std::string& value, StrictNumber& read) {
    read = readStrictNumber(search.type, search.baseMode, value);
    switch (read.problem) {
        case NumberTextProblem::None: value = read.text; return "";
        case NumberTextProblem::Empty: return conditionName(static_cast<int>(search.condition)) + " needs " + option;
        case NumberTextProblem::NotANumber: {
            std::string problem =
                std::string(option) + " " + value + " is not " + kindText(search.type, search.baseMode);
            // "0x7A4F" was meant as hexadecimal; "abc" may have been meant as anything.
            const bool prefixed = value.size() > 2 && (value.starts_with("0x") || value.starts_with("0X") ||
                                                       value.starts_with("&H") || value.starts_with("&h"));
            if (isIntegerType(search.type) && !isHexadecimal(search.type, search.baseMode) && prefixed)
                problem += " (hexadecimal needs --base hex)";
            return problem;
        }
        case NumberTextProblem::OutOfRange:
            return std::string(option) + " " + value + " is out of range: " + kindText(search.type, search.baseMode);
    }
    return "";
}

}  // namespace

std::string structureCellsProblem(std::span<const StructureRowText> rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const StructureRowText& row = rows[i];
        const std::string where = "structure row " + std::to_string(i + 1) + " (" + rowText(row) + "): ";
        // Row 0's other forms are read by the structure's own check.
        const bool offsetStart = i > 0 || (!isModuleStartCell(row.start) && !isMemoryStartCell(row.start));
        if (offsetStart && row.start.empty()) return where + "the start offset is missing";
        if (offsetStart && !isWholeStartOffsetCell(row.start))
            return where + "the start offset " + row.start + " is not hexadecimal (1 to 16 digits, no 0x)";
        if (!isWholeCountCell(row.count)) return where + "the count " + row.count + " is not a number";
        if (!isWholeCountCell(row.increment)) return where + "the increment " + row.increment + " is not a number";
    }
    return "";
}

std::string searchValuesProblem(SearchSettings& search) {
    const SearchCondition condition = search.condition;
    const bool needsFirst = condition >= SearchCondition::AtLeast && condition <= SearchCondition::Contains;
    if (!needsFirst) return "";
    StrictNumber first;
    if (std::string problem = valueProblem(search, "--value1", search.value1, first); !problem.empty()) return problem;
    if (condition != SearchCondition::Between) return "";
    StrictNumber second;
    if (std::string problem = valueProblem(search, "--value2", search.value2, second); !problem.empty()) return problem;
    if (isAbove(search.type, search.baseMode, first, second))
        return conditionName(static_cast<int>(condition)) + " needs --value1 at most --value2: " + search.value1 +
               " is above " + search.value2;
    return "";
}

}  // namespace corvane
