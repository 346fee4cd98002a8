// The structure text: whatever the text box or a settings file holds parses
// into rows, and rows written back parse into the same rows. The canonical
// form is worked out here independently of the library's own cleaning.

#include <string>
#include <vector>

#include "engine/search/structure_row.h"
#include "engine/target/module_lookup.h"
#include "settings/structure_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace corvane::fuzz {
namespace {

using Rows = std::vector<StructureRowText>;

bool isLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool isTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Splits a code page 936 text into its characters: a lead byte with a trail
// byte after it is one character, every other byte one of its own.
std::vector<std::string> characters(std::string_view text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        const bool pair = i + 1 < text.size() && isLead(static_cast<unsigned char>(text[i])) &&
                          isTrail(static_cast<unsigned char>(text[i + 1]));
        out.emplace_back(text.substr(i, pair ? 2 : 1));
        i += pair ? 2 : 1;
    }
    return out;
}

// A cell the list can carry: no "]" or "*" character and no line break.
bool carriable(std::string_view cell) {
    for (const std::string& c : characters(cell)) {
        if (c == "]" || c == "*" || c == "\r" || c == "\n") return false;
    }
    return true;
}

std::string withoutBreaks(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c != '\r' && c != '\n') out += c;
    }
    return out;
}

std::string canonicalCell(std::string_view cell) {
    std::vector<std::string> chars = characters(withoutBreaks(cell));
    if (!chars.empty() && chars.back().size() == 1 && isLead(static_cast<unsigned char>(chars.back()[0]))) {
        chars.pop_back();
    }
    std::string out;
    for (const std::string& c : chars) out += c;
    return out;
}

StructureRowText canonical(const StructureRowText& row) {
    StructureRowText out{canonicalCell(row.start), canonicalCell(row.count), canonicalCell(row.increment)};
    // A memory row's increment is its step whatever its count.
    const bool keepsStep = isMemoryStartCell(out.start) && parseIncrementCell(out.increment) != kDefaultMemoryStep;
    if (parseCountCell(out.count) == 0 && !keepsStep) return {out.start, "0", "4"};
    return out;
}

std::string describe(const Rows& rows) {
    std::string out;
    for (const StructureRowText& row : rows) {
        out += "(" + hexOf(row.start) + " | " + hexOf(row.count) + " | " + hexOf(row.increment) + ") ";
    }
    return out;
}

void checkRoundTrip(const Rows& rows) {
    Rows expected;
    for (const StructureRowText& row : rows) expected.push_back(canonical(row));
    const StructureText text = rebuildStructureText(rows);
    const Rows back = parseStructureText(text);
    FUZZ_CHECK(back == expected, "rows " + describe(rows) + "\n  text " + hexOf(text) + "\n  back " + describe(back));
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane;
    using namespace corvane::fuzz;
    const InputScope scope(data, size);
    Input input(data, size);
    if (input.flag()) {
        // A text as typed or stored: its rows are cells the list can carry,
        // and they survive their own round trip in canonical form.
        const std::string text = input.rest();
        const Rows rows = parseStructureText(text);
        FUZZ_CHECK(!rows.empty(), "no rows");
        for (const StructureRowText& row : rows) {
            FUZZ_CHECK(carriable(row.start) && carriable(row.count) && carriable(row.increment), describe(rows));
        }
        checkRoundTrip(rows);
        return 0;
    }
    // Rows as the list holds them, cut from the input; cells it cannot carry
    // through the text are left out of the property.
    Rows rows;
    while (!input.empty() && rows.size() < 64) {
        StructureRowText row{input.text(12), input.text(6), input.text(6)};
        FUZZ_CHECK(isUsableStructureCell(row.start) == carriable(row.start), hexOf(row.start));
        if (carriable(row.start) && carriable(row.count) && carriable(row.increment)) rows.push_back(std::move(row));
    }
    if (rows.empty()) return 0;
    checkRoundTrip(rows);
    return 0;
}
