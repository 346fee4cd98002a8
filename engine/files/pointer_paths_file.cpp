#include "engine/files/pointer_paths_file.h"

#include <algorithm>
#include <string_view>

#include "engine/files/pointer_map_file.h"
#include "engine/files/snapshot_file.h"
#include "engine/text/utf8_encode.h"

namespace corvane {
namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Why a line is no path: the other files of the program are named, as it
// is them a user gives by mistake.
std::string whyNoPath(std::string_view line, std::size_t number) {
    if (number == 1 && line.starts_with(kSnapshotMagic)) return "a snapshot file, not a paths file";
    if (number == 1 && line.starts_with(kPointerMapMagic)) return "a pointer map, not a paths file";
    if (line.find('\t') != std::string_view::npos) return "a results file, not a paths file";
    return "line " + std::to_string(number) + " is not a path MODULE+HEX]HEX...";
}

}  // namespace

void writePointerPath(std::ostream& out, const PointerPath& path, const TextCodec& codec) {
    const std::string text = pointerPathText(path);
    std::u16string wide;
    if (isAscii(text) || !codec.toUtf16(text, CodePage::Gbk, wide)) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    } else {
        const std::string utf8 = encodeUtf8(wide);
        out.write(utf8.data(), static_cast<std::streamsize>(utf8.size()));
    }
    out.put('\n');
}

void writePointerPaths(std::ostream& out, const std::vector<PointerPath>& paths, const TextCodec& codec) {
    for (const PointerPath& path : paths) writePointerPath(out, path, codec);
}

PointerPathsRead readPointerPaths(std::istream& in, const TextCodec& codec) {
    PointerPathsRead read;
    std::size_t number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::string text = isAscii(line) ? line : codec.fromUtf16(decodeUtf8Text(line), CodePage::Gbk);
        std::optional<PointerPath> path = parsePointerPath(text);
        if (!path) {
            read.badLine = number;
            read.problem = whyNoPath(line, number);
            return read;
        }
        read.paths.push_back(std::move(*path));
    }
    return read;
}

}  // namespace corvane
