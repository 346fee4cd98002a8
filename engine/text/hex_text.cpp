#include "engine/text/hex_text.h"

#include <bit>
#include <cstring>

namespace corvane {
namespace {

// The two digits of every byte value, as the low and high byte of a 16-bit word.
constexpr std::array<std::uint16_t, 256> kHexPairs = [] {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::array<std::uint16_t, 256> table{};
    for (std::size_t byte = 0; byte < 256; ++byte)
        table[byte] = static_cast<std::uint16_t>(static_cast<unsigned char>(kDigits[byte >> 4]) |
                                                 static_cast<unsigned char>(kDigits[byte & 15]) << 8);
    return table;
}();

}  // namespace

void putHexWord(std::uint32_t word, char* out) {
    const std::uint64_t x = std::uint64_t{kHexPairs[word >> 24]} | std::uint64_t{kHexPairs[(word >> 16) & 0xFF]} << 16 |
                            std::uint64_t{kHexPairs[(word >> 8) & 0xFF]} << 32 |
                            std::uint64_t{kHexPairs[word & 0xFF]} << 48;
    std::memcpy(out, &x, sizeof x);
}

std::size_t hexLength(std::uint64_t value) {
    return (static_cast<std::size_t>(64 - std::countl_zero(value | 1)) + 3) / 4;
}

std::size_t putHex(std::uint64_t value, char* out) {
    // The value is shifted up to start with its first digit.
    const std::size_t length = hexLength(value);
    if (length <= 8) {
        putHexWord(static_cast<std::uint32_t>(value << (4 * (8 - length))), out);
        return length;
    }
    value <<= 4 * (kMaxHexDigits - length);
    putHexWord(static_cast<std::uint32_t>(value >> 32), out);
    putHexWord(static_cast<std::uint32_t>(value), out + 8);
    return length;
}

std::size_t formatHex(std::uint64_t value, char* out) {
    // putHex writes whole words; only the text's own characters go to `out`.
    char digits[kMaxHexDigits];
    const std::size_t length = putHex(value, digits);
    std::memcpy(out, digits, length);
    return length;
}

void appendHex(std::string& out, std::uint64_t value) {
    char digits[kMaxHexDigits];
    out.append(digits, putHex(value, digits));
}

bool parseHex64(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.size() > kMaxHexDigits) return false;
    value = 0;
    for (char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return true;
}

bool parseSignedHex(std::string_view text, std::int64_t& value) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    std::uint64_t magnitude = 0;
    if (!parseHex64(text, magnitude) || magnitude > 0x7FFFFFFFFFFFFFFFull) return false;
    value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

bool parseAddressHex(std::string_view text, std::uint64_t& value) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    return parseHex64(text, value);
}

}  // namespace corvane
