#include "engine/text/utf8_encode.h"

#include <span>
#include <vector>

#include "engine/text/utf8_decode.h"

namespace corvane {

std::string encodeUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string decodeUtf8Text(std::string_view text) {
    std::u16string out;
    std::vector<char16_t> units(text.size());
    std::size_t start = 0;
    // decodeUtf8 ends at a NUL; a text may hold several, each kept as U+0000.
    for (;;) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data()) + start;
        const std::size_t length =
            text.find('\0', start) == std::string_view::npos ? text.size() - start : text.find('\0', start) - start;
        const std::size_t written = decodeUtf8(std::span<const unsigned char>(bytes, length), units.data());
        out.append(units.data(), written);
        start += length;
        if (start >= text.size()) return out;
        out.push_back(u'\0');
        ++start;
    }
}

}  // namespace corvane
