#include "ui/value_check.h"

#include <charconv>
#include <cstring>
#include <string>

#include "engine/values/value_text.h"

namespace corvane {

bool isCanonicalValueText(std::string_view text, ValueType type, std::uint8_t baseMode) {
    if (!isIntegerType(type)) return false;
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        text = {};
    else
        text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    const std::size_t digits = text.find_first_not_of('0');
    std::string typed(digits == std::string_view::npos ? std::string_view("0") : text.substr(digits));

    const bool hex = isHexadecimal(type, baseMode);
    std::uint64_t bits = 0;
    const char* begin = typed.data();
    const char* end = typed.data() + typed.size();
    const bool negative = !hex && begin != end && *begin == '-';
    if (negative) ++begin;
    const auto [stop, error] = std::from_chars(begin, end, bits, hex ? 16 : 10);
    if (error != std::errc() || stop != end) return false;
    if (negative) bits = ~bits + 1;
    // Written back at the kind's width: a value the kind cannot hold comes
    // back as another text and so fails.
    unsigned char bytes[8];
    std::memcpy(bytes, &bits, sizeof bytes);
    char shown[kMaxNumberTextLength];
    const std::string_view rendered(shown, formatNumberText(type, baseMode, bytes, shown));
    if (hex)
        for (char& c : typed)
            if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return rendered == typed;
}

}  // namespace corvane
