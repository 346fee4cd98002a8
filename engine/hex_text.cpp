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

}  // namespace corvane
