#pragma once

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

void appendHex(std::string& out, std::uint64_t value);

// The value of a hexadecimal digit of either case, or -1.
inline int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A whole text of 1 to 16 hexadecimal digits, as an unsigned 64-bit value.
bool parseHex64(std::string_view text, std::uint64_t& value);

// An offset as typed: hexadecimal, "0x" allowed, a "-" before for a
// negative one (-40), within the range of a signed 64-bit value.
bool parseSignedHex(std::string_view text, std::int64_t& value);
// An address as typed: parseHex64, "0x" allowed.
bool parseAddressHex(std::string_view text, std::uint64_t& value);

}  // namespace corvane
