#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Longest text formatHex writes: a 64-bit value in 16 digits.
inline constexpr std::size_t kMaxHexDigits = 16;

// Uppercase hexadecimal without prefix or leading zeros, "0" for zero. Writes
// at most kMaxHexDigits characters (no terminator) and returns their count.
std::size_t formatHex(std::uint64_t value, char* out);

// formatHex without a loop over the digits, for the columns of a million
// lines: eight or sixteen characters are written, of which the returned
// count are the text. `out` needs room for kMaxHexDigits characters.
std::size_t putHex(std::uint64_t value, char* out);
// Eight hexadecimal digits of `word`, its top nibble first.
void putHexWord(std::uint32_t word, char* out);
// Digits formatHex writes for `value`.
std::size_t hexLength(std::uint64_t value);

void appendHex(std::string& out, std::uint64_t value);

// The value of each byte as a hexadecimal digit of either case, or -1.
inline constexpr std::array<std::int8_t, 256> kHexDigitValues = [] {
    std::array<std::int8_t, 256> table{};
    for (std::size_t c = 0; c < 256; ++c) {
        if (c >= '0' && c <= '9')
            table[c] = static_cast<std::int8_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            table[c] = static_cast<std::int8_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            table[c] = static_cast<std::int8_t>(c - 'a' + 10);
        else
            table[c] = -1;
    }
    return table;
}();

// The value of a hexadecimal digit of either case, or -1.
inline int hexDigitValue(char c) { return kHexDigitValues[static_cast<unsigned char>(c)]; }

// A whole text of 1 to 16 hexadecimal digits, as an unsigned 64-bit value.
bool parseHex64(std::string_view text, std::uint64_t& value);

// An offset as typed: hexadecimal, "0x" allowed, a "-" before for a
// negative one (-40), within the range of a signed 64-bit value.
bool parseSignedHex(std::string_view text, std::int64_t& value);
// An address as typed: parseHex64, "0x" allowed.
bool parseAddressHex(std::string_view text, std::uint64_t& value);

}  // namespace corvane
