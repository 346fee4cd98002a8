#include "tools/cli/results_file.h"

#include <istream>
#include <ostream>
#include <vector>

#include "engine/hex_text.h"
#include "engine/utf8_encode.h"

namespace corvane {
namespace {

// Internal texts are code page 936; the file is UTF-8.
std::string toUtf8(const std::string& gbk, const TextCodec& codec) {
    std::u16string wide;
    if (!codec.toUtf16(gbk, CodePage::Gbk, wide)) return gbk;
    return encodeUtf8(wide);
}

}  // namespace

void writeResults(std::ostream& out, const ResultStore& results, const TextCodec& codec) {
    std::string line;
    const std::size_t n = results.count();
    for (std::size_t i = 0; i < n; ++i) {
        std::string path, value, address;
        if (!results.appendCellText(i, 0, path)) break;  // removed meanwhile
        results.appendCellText(i, 1, value);
        results.appendCellText(i, 2, address);
        line = path;
        line += '\t';
        line += toUtf8(value, codec);
        line += '\t';
        line += address;
        line += '\n';
        out << line;
    }
}

bool readResults(std::istream& in, ResultStore& results, const TextCodec& codec, std::string& error) {
    auto paths = std::make_shared<PathTable>();
    ResultEntries entries;
    std::string line;
    std::vector<std::int64_t> offsets;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const auto firstTab = line.find('\t');
        const auto lastTab = line.rfind('\t');
        std::uint64_t address = 0;
        if (firstTab == std::string::npos || firstTab == lastTab ||
            !parsePathText(std::string_view(line).substr(0, firstTab), offsets) ||
            !parseHex64(std::string_view(line).substr(lastTab + 1), address)) {
            error = "line " + std::to_string(number) + ": expected path<TAB>value<TAB>address";
            return false;
        }
        std::uint32_t parent = kNoPathNode;
        for (std::size_t level = 0; level + 1 < offsets.size(); ++level) parent = paths->intern(parent, offsets[level]);
        ResultEntry entry;
        entry.parent = parent;
        entry.leafOffset = offsets.back();
        entry.address = address;
        const std::u16string wide = decodeUtf8Text(std::string_view(line).substr(firstTab + 1, lastTab - firstTab - 1));
        entry.value = StoredValue::text(codec.fromUtf16(wide, CodePage::Gbk));
        entries.push_back(std::move(entry));
    }
    results.replace(std::move(paths), std::move(entries));
    return true;
}

}  // namespace corvane
