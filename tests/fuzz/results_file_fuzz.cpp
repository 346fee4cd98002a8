// The command line's results file: a file read, written and read again
// gives the same results, and results written and read back are the ones
// written, whatever bytes their values hold.

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/search/path_table.h"
#include "engine/search/result_store.h"
#include "engine/text/text_codec.h"
#include "tests/fuzz/fuzz_support.h"
#include "engine/files/results_file.h"

namespace corvane::fuzz {
namespace {

const TextCodec& codec() { return systemTextCodec(); }

struct Cells {
    std::vector<std::string> path, value, address;
    bool operator==(const Cells&) const = default;
};

Cells cellsOf(const ResultStore& store) {
    Cells cells;
    for (std::size_t i = 0; i < store.count(); ++i) {
        std::string path, value, address;
        store.appendCellText(i, 0, path);
        store.appendCellText(i, 1, value);
        store.appendCellText(i, 2, address);
        cells.path.push_back(path);
        cells.value.push_back(value);
        cells.address.push_back(address);
    }
    return cells;
}

std::string firstDifference(const Cells& a, const Cells& b) {
    if (a.path.size() != b.path.size())
        return std::to_string(a.path.size()) + " vs " + std::to_string(b.path.size()) + " rows";
    for (std::size_t i = 0; i < a.path.size(); ++i) {
        if (a.path[i] != b.path[i]) return "row " + std::to_string(i) + " path " + a.path[i] + " vs " + b.path[i];
        if (a.value[i] != b.value[i]) {
            return "row " + std::to_string(i) + " value " + hexOf(a.value[i]) + " vs " + hexOf(b.value[i]);
        }
        if (a.address[i] != b.address[i]) {
            return "row " + std::to_string(i) + " address " + a.address[i] + " vs " + b.address[i];
        }
    }
    return {};
}

std::string written(const ResultStore& store) {
    std::ostringstream out;
    writeResults(out, store, codec());
    return out.str();
}

bool readInto(const std::string& text, ResultStore& store, std::string& error) {
    std::istringstream in(text);
    return readResults(in, store, codec(), error);
}

void checkFileRoundTrip(const std::string& file) {
    ResultStore first;
    std::string error;
    if (!readInto(file, first, error)) return;
    const std::string text = written(first);
    ResultStore second;
    FUZZ_CHECK(readInto(text, second, error), "what was written does not read: " + error + "\n  " + hexOf(text));
    const Cells a = cellsOf(first);
    const Cells b = cellsOf(second);
    FUZZ_CHECK(a == b, firstDifference(a, b));
    FUZZ_CHECK(written(second) == text, "writing again changed the file");
}

// Value texts are code page 936 inside the program, but a text read from a
// target may be any bytes: double-byte characters (among them 乗 and 乚,
// with "\" and "]" for their trail bytes), the characters the file escapes,
// lone lead bytes and bytes code page 936 has no character for.
std::string aValue(Input& input) {
    static constexpr std::string_view kPieces[] = {"a",        "Z",    "0",     " ",        "\t",       "\r",
                                                   "\n",       "\\",   "\\x41", "\xD3\xCE", "\x81\x5C", "\x81\x5D",
                                                   "\xA1\xA1", "\x80", "\xFF",  "\x81",     "?"};
    std::string value;
    const std::size_t pieces = input.byte() % 8;
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::uint8_t choice = input.byte();
        if (choice < 224)
            value += kPieces[choice % std::size(kPieces)];
        else
            value += static_cast<char>(input.byte());
    }
    return value;
}

void checkStoreRoundTrip(Input& input) {
    auto paths = std::make_shared<PathTable>();
    ResultEntries entries;
    const std::size_t count = input.byte() % 16;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t parent = kNoPathNode;
        const std::size_t levels = input.byte() % 4;
        for (std::size_t level = 0; level < levels; ++level) {
            parent = paths->intern(parent, static_cast<std::int64_t>(input.integer(input.byte() % 9)));
        }
        ResultEntry entry;
        entry.parent = parent;
        entry.leafOffset = static_cast<std::int64_t>(input.integer(input.byte() % 9));
        entry.address = input.integer(input.byte() % 9);
        entry.value = StoredValue::text(aValue(input));
        entries.push_back(std::move(entry));
    }
    ResultStore original;
    original.replace(paths, std::move(entries));
    const std::string text = written(original);
    ResultStore back;
    std::string error;
    FUZZ_CHECK(readInto(text, back, error), "what was written does not read: " + error + "\n  " + hexOf(text));
    const Cells a = cellsOf(original);
    const Cells b = cellsOf(back);
    FUZZ_CHECK(a == b, firstDifference(a, b));
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane::fuzz;
    return fuzzDecodedOrBytes(data, size, checkStoreRoundTrip, checkFileRoundTrip);
}
