#pragma once

#include <cstddef>
#include <string_view>

namespace corvane {

// Code page 936 texts hold double-byte characters whose trail byte may be
// "\", "[", "]" or an ASCII letter (0x815C is 乗, 0x815D is 乚). Every scan
// for a delimiter in such a text steps over whole characters, or it would cut
// one of them in two.
inline bool isGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
inline bool isGbkTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// Length in bytes of the character at `pos`: 2 for a lead byte followed by a
// trail byte, else 1, so that a broken pair never swallows the ASCII
// delimiter after it.
inline std::size_t gbkCharLength(std::string_view text, std::size_t pos) {
    if (pos + 1 < text.size() && isGbkLeadByte(static_cast<unsigned char>(text[pos])) &&
        isGbkTrailByte(static_cast<unsigned char>(text[pos + 1]))) {
        return 2;
    }
    return 1;
}

// Splits `text` at every single-byte `delimiter` character and calls
// visit(piece) for each piece, empty ones included.
template <typename Visit>
void splitGbk(std::string_view text, char delimiter, Visit&& visit) {
    std::size_t begin = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = gbkCharLength(text, pos);
        if (length == 1 && text[pos] == delimiter) {
            visit(text.substr(begin, pos - begin));
            begin = pos + 1;
        }
        pos += length;
    }
    visit(text.substr(begin));
}

}  // namespace corvane
