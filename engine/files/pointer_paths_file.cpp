#include "engine/files/pointer_paths_file.h"

#include <algorithm>

#include "engine/text/utf8_encode.h"

namespace corvane {
namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

void writePointerPath(std::ostream& out, std::string_view path, const TextCodec& codec) {
    std::u16string wide;
    if (isAscii(path) || !codec.toUtf16(path, CodePage::Gbk, wide)) {
        out.write(path.data(), static_cast<std::streamsize>(path.size()));
    } else {
        const std::string utf8 = encodeUtf8(wide);
        out.write(utf8.data(), static_cast<std::streamsize>(utf8.size()));
    }
    out.put('\n');
}

void writePointerPaths(std::ostream& out, const std::vector<std::string>& paths, const TextCodec& codec) {
    for (const std::string& path : paths) writePointerPath(out, path, codec);
}

std::vector<std::string> readPointerPaths(std::istream& in, const TextCodec& codec) {
    std::vector<std::string> paths;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        paths.push_back(isAscii(line) ? line : codec.fromUtf16(decodeUtf8Text(line), CodePage::Gbk));
    }
    return paths;
}

}  // namespace corvane
