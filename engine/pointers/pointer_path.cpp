#include "engine/pointers/pointer_path.h"

#include "engine/target/module_lookup.h"
#include "engine/text/hex_text.h"

namespace corvane {

void appendPointerPathText(std::string& out, const PointerPath& path) {
    out += path.module;
    out += '+';
    appendHex(out, path.start);
    for (const std::int64_t offset : path.offsets) {
        out += ']';
        appendHex(out, static_cast<std::uint64_t>(offset));
    }
}

std::string pointerPathText(const PointerPath& path) {
    std::string text;
    appendPointerPathText(text, path);
    return text;
}

std::optional<PointerPath> parsePointerPath(std::string_view text) {
    const std::size_t plus = moduleNameEnd(text);
    if (plus == std::string_view::npos) return std::nullopt;
    PointerPath path;
    const std::string_view name = text.substr(0, plus);
    if (!isWritableModuleName(name)) return std::nullopt;
    path.module.assign(name);
    std::string_view rest = text.substr(plus + 1);
    bool first = true;
    while (true) {
        const std::size_t close = rest.find(']');
        std::uint64_t value = 0;
        if (!parseHex64(rest.substr(0, close), value)) return std::nullopt;
        if (first)
            path.start = value;
        else
            path.offsets.push_back(static_cast<std::int64_t>(value));
        first = false;
        if (close == std::string_view::npos) break;
        rest.remove_prefix(close + 1);
    }
    if (path.offsets.empty()) return std::nullopt;
    return path;
}

}  // namespace corvane
