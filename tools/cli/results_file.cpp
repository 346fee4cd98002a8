#include "tools/cli/results_file.h"

#include <istream>
#include <ostream>
#include <vector>

#include "engine/hex_text.h"
#include "engine/utf8_encode.h"

namespace corvane {
namespace {

// Lines are gathered and handed to the stream in blocks of about this size.
constexpr std::size_t kBlock = 1 << 20;
// Results taken from the store at a time.
constexpr std::size_t kBatch = 4096;

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Appends ASCII or UTF-8 text with the four characters that would break a
// line or its columns escaped; a backslash is doubled so that an escape in
// the text is never taken for one.
void appendEscaped(std::string& out, std::string_view text) {
    if (text.find_first_of("\t\n\r\\") == std::string_view::npos) {
        out += text;
        return;
    }
    for (char c : text) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default: out.push_back(c);
        }
    }
}

void appendByteEscape(std::string& out, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 15]);
}

// A value text (code page 936) as the file holds it: UTF-8 where the text is
// valid in code page 936 and comes back from UTF-16 unchanged, otherwise its
// bytes from 0x80 up as \xHH, so that any bytes read from a target survive.
void appendValue(std::string& out, std::string_view gbk, const TextCodec& codec, std::u16string& wide) {
    if (isAscii(gbk)) return appendEscaped(out, gbk);
    if (codec.toUtf16(gbk, CodePage::Gbk, wide) && codec.fromUtf16(wide, CodePage::Gbk) == gbk)
        return appendEscaped(out, encodeUtf8(wide));
    for (char c : gbk) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80)
            appendByteEscape(out, byte);
        else
            appendEscaped(out, std::string_view(&c, 1));
    }
}

// The inverse of appendValue: literal runs are UTF-8 and converted to code
// page 936, \xHH escapes are bytes of it. False for a malformed escape.
bool readValue(std::string_view text, const TextCodec& codec, std::string& out) {
    out.clear();
    if (text.find('\\') == std::string_view::npos && isAscii(text)) {
        out.assign(text);
        return true;
    }
    std::string run;
    auto flush = [&] {
        if (run.empty()) return;
        if (isAscii(run))
            out += run;
        else
            out += codec.fromUtf16(decodeUtf8Text(run), CodePage::Gbk);
        run.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            run.push_back(text[i]);
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
            case 't': run.push_back('\t'); break;
            case 'n': run.push_back('\n'); break;
            case 'r': run.push_back('\r'); break;
            case '\\': run.push_back('\\'); break;
            case 'x': {
                if (i + 2 >= text.size()) return false;
                const int high = hexDigitValue(text[i + 1]);
                const int low = hexDigitValue(text[i + 2]);
                if (high < 0 || low < 0) return false;
                flush();
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                break;
            }
            default: return false;
        }
    }
    flush();
    return true;
}

}  // namespace

void writeResults(std::ostream& out, const ResultStore& results, const TextCodec& codec) {
    const auto paths = results.paths();
    if (!paths) return;
    std::string block;
    block.reserve(kBlock + 4096);
    std::string value;
    std::u16string wide;
    std::vector<ResultSnapshot> batch;
    std::string levels;
    std::uint32_t levelsParent = kNoPathNode;
    bool levelsKnown = false;
    bool fromStart = true;
    std::uint32_t last = 0;
    for (;;) {
        const std::size_t taken = results.snapshot(fromStart, last, kBatch, batch);
        if (taken == 0) break;
        for (std::size_t i = 0; i < taken; ++i) {
            const ResultSnapshot& entry = batch[i];
            // The levels above the leaf are rendered once for the neighbours under the same node.
            if (!levelsKnown || entry.parent != levelsParent) {
                levels.clear();
                paths->appendLevelsText(entry.parent, levels);
                levelsParent = entry.parent;
                levelsKnown = true;
            }
            block += levels;
            appendHex(block, static_cast<std::uint64_t>(entry.leafOffset));
            block.push_back('\t');
            value.clear();
            entry.value.appendText(value);
            appendValue(block, value, codec, wide);
            block.push_back('\t');
            appendHex(block, entry.address);
            block.push_back('\n');
        }
        if (block.size() >= kBlock) {
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
            block.clear();
        }
        fromStart = false;
        last = batch[taken - 1].serial;
    }
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

bool readResults(std::istream& in, ResultStore& results, const TextCodec& codec, std::string& error) {
    auto paths = std::make_shared<PathTable>();
    ResultEntries entries;
    std::vector<std::int64_t> offsets;
    std::string module;
    std::string value;
    // Neighbouring lines mostly share their pointer levels: the levels of the
    // line before are reused while the text before the leaf is the same.
    std::string previousLevels;
    std::uint32_t previousParent = kNoPathNode;
    bool havePrevious = false;

    std::vector<char> buffer(kBlock);
    std::string pending;
    std::size_t number = 0;
    auto line = [&](std::string_view text) -> bool {
        ++number;
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (text.empty()) return true;
        const auto firstTab = text.find('\t');
        const auto lastTab = text.rfind('\t');
        std::uint64_t address = 0;
        const std::string_view path = text.substr(0, firstTab == std::string_view::npos ? 0 : firstTab);
        auto malformed = [&] {
            error = "line " + std::to_string(number) + ": expected path<TAB>value<TAB>address";
            return false;
        };
        if (firstTab == std::string_view::npos || firstTab == lastTab || !parseHex64(text.substr(lastTab + 1), address))
            return malformed();
        // The levels hold their separator, so that "10]" and "game.exe+" differ.
        const std::size_t leafStart = pathLeafStart(path);
        const std::string_view levels = path.substr(0, leafStart);
        std::uint32_t parent = kNoPathNode;
        std::int64_t leafOffset = 0;
        if (havePrevious && levels == previousLevels) {
            // Only the leaf is new; its offset wraps at 64 bits as every offset does.
            std::uint64_t leaf = 0;
            const std::string_view digits = path.substr(leafStart);
            if (digits.empty()) return malformed();
            for (char c : digits) {
                const int digit = hexDigitValue(c);
                if (digit < 0) return malformed();
                leaf = leaf * 16 + static_cast<unsigned>(digit);
            }
            parent = previousParent;
            leafOffset = static_cast<std::int64_t>(leaf);
        } else {
            if (!parsePathText(path, offsets, module)) return malformed();
            if (!module.empty()) parent = paths->anchor(module);
            for (std::size_t level = 0; level + 1 < offsets.size(); ++level)
                parent = paths->intern(parent, offsets[level]);
            leafOffset = offsets.back();
            previousLevels.assign(levels);
            previousParent = parent;
            havePrevious = true;
        }
        if (!readValue(text.substr(firstTab + 1, lastTab - firstTab - 1), codec, value)) {
            error = "line " + std::to_string(number) + ": malformed escape in the value";
            return false;
        }
        ResultEntry& entry = entries.emplace_back();
        entry.parent = parent;
        entry.leafOffset = leafOffset;
        entry.address = address;
        entry.value = StoredValue::text(value);
        return true;
    };

    for (;;) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        std::string_view chunk(buffer.data(), got);
        std::size_t start = 0;
        for (;;) {
            const auto end = chunk.find('\n', start);
            if (end == std::string_view::npos) break;
            if (!pending.empty()) {
                pending.append(chunk.substr(start, end - start));
                if (!line(pending)) return false;
                pending.clear();
            } else if (!line(chunk.substr(start, end - start))) {
                return false;
            }
            start = end + 1;
        }
        pending.append(chunk.substr(start));
    }
    if (!pending.empty() && !line(pending)) return false;
    results.replace(std::move(paths), std::move(entries));
    return true;
}

}  // namespace corvane
