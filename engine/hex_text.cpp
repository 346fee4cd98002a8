#include "engine/hex_text.h"

namespace corvane {

std::size_t formatHex(std::uint64_t value, char* out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char reversed[kMaxHexDigits];
    std::size_t length = 0;
    do {
        reversed[length++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (std::size_t i = 0; i < length; ++i) out[i] = reversed[length - 1 - i];
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

}  // namespace corvane
