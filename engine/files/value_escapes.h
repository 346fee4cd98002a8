#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/text/text_codec.h"

namespace corvane {

// The value column of the results file: tab, line feed, carriage return and
// backslash are written \t, \n, \r and \\; the bytes of a text that is not
// valid in code page 936 as \xHH, so that any bytes read from a target
// come back from the file unchanged.

// The bytes a value column holds as they are: ASCII but the four characters
// that are escaped. A value of such bytes only needs no codec and no escape.
inline constexpr std::array<bool, 256> kPlainValueBytes = [] {
    std::array<bool, 256> table{};
    for (std::size_t c = 0; c < 0x80; ++c) table[c] = c != '\t' && c != '\n' && c != '\r' && c != '\\';
    return table;
}();

inline bool isPlain(char c) { return kPlainValueBytes[static_cast<unsigned char>(c)]; }
bool isPlainText(std::string_view text);

// A value text (code page 936) as the file holds it; `wide` is scratch.
void appendValue(std::string& out, std::string_view gbk, const TextCodec& codec, std::u16string& wide);

// The inverse of appendValue. False for a malformed escape.
bool readValue(std::string_view text, const TextCodec& codec, std::string& out);

}  // namespace corvane
