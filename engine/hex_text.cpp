#include "engine/hex_text.h"

#include <bit>

namespace corvane {

std::size_t formatHex(std::uint64_t value, char* out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    // The digit count first, then the digits straight into place.
    const auto bits = static_cast<unsigned>(64 - std::countl_zero(value | 1));
    const std::size_t length = (bits + 3) / 4;
    for (std::size_t i = length; i-- > 0;) {
        out[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    return length;
}

void appendHex(std::string& out, std::uint64_t value) {
    char digits[kMaxHexDigits];
    out.append(digits, formatHex(value, digits));
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
