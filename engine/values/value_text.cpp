#include "engine/values/value_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <span>

#include "engine/text/hex_text.h"
#include "engine/text/utf8_decode.h"
#include "engine/values/value_bytes.h"

namespace corvane {
namespace {

std::size_t copyText(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    return text.size();
}

// Infinities and NaN are written "inf", "-inf" and "nan" on every platform.
// msvcrt's printf would write forms like "1.#INF" and "-1.#IND", which the
// number reader takes back as 1; these spellings read back through the strtod
// syntax as what they are, so a value compared with its listed text in the
// next search stays an infinity or a NaN. A NaN's sign plays no part in any
// comparison, so every NaN is written alike.
std::size_t formatFloating(double value, int precision, char* out) {
    if (std::isnan(value)) return copyText("nan", out);
    if (std::isinf(value)) return copyText(value < 0 ? "-inf" : "inf", out);

    // to_chars gives printf's %g in the C locale, whatever the C locale is.
    char* end = std::to_chars(out, out + kMaxNumberTextLength, value, std::chars_format::general, precision).ptr;
    auto length = static_cast<std::size_t>(end - out);

    // The C runtimes write at least two exponent digits, msvcrt three.
    const std::string_view written(out, length);
    const std::size_t e = written.find('e');
    if (e != std::string_view::npos) {
        const std::size_t digitsStart = e + 2;  // past "e+" or "e-"
        const std::size_t digits = length - digitsStart;
        if (digits < 3) {
            const std::size_t pad = 3 - digits;
            std::memmove(out + digitsStart + pad, out + digitsStart, digits);
            std::memset(out + digitsStart, '0', pad);
            length += pad;
        }
    }
    if (length > 0 && out[length - 1] == '.') --length;
    return length;
}

}  // namespace

std::size_t formatSigned(std::int64_t value, char* out) {
    return static_cast<std::size_t>(std::to_chars(out, out + kMaxNumberTextLength, value).ptr - out);
}

std::size_t formatUnsigned(std::uint64_t value, char* out) {
    return static_cast<std::size_t>(std::to_chars(out, out + kMaxNumberTextLength, value).ptr - out);
}

std::size_t formatSingle(float value, char* out) { return formatFloating(value, 7, out); }

std::size_t formatDouble(double value, char* out) { return formatFloating(value, 16, out); }

std::size_t formatNumberText(ValueType type, std::uint8_t baseMode, const unsigned char* bytes, char* out) {
    const ValueVariant variant = variantOf(type, baseMode);
    switch (variant) {
        case ValueVariant::Single: return formatSingle(loadSingle(bytes), out);
        case ValueVariant::Double: return formatDouble(loadDouble(bytes), out);
        default: break;
    }
    const unsigned width = integerWidth(variant);
    if (width == 0) return 0;
    const std::uint64_t bits = loadUnsigned(bytes, width);
    if (isHexadecimal(type, baseMode)) return formatHex(bits, out);
    if (isSignedVariant(variant)) return formatSigned(signExtend(bits, width), out);
    return formatUnsigned(bits, out);
}

std::string_view ansiText(const unsigned char* bytes) {
    const void* nul = std::memchr(bytes, 0, kTextReadSize);
    const std::size_t length =
        nul == nullptr ? kTextReadSize : static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - bytes);
    return {reinterpret_cast<const char*>(bytes), length};
}

std::size_t utf16Units(const unsigned char* bytes, char16_t* out) {
    std::size_t count = 0;
    for (; count < kUtf16ReadUnits; ++count) {
        const auto unit = static_cast<char16_t>(bytes[2 * count] | bytes[2 * count + 1] << 8);
        if (unit == 0) break;
        out[count] = unit;
    }
    return count;
}

std::string utf16ValueText(const unsigned char* bytes, const TextCodec& codec) {
    char16_t units[kUtf16ReadUnits];
    const std::size_t count = utf16Units(bytes, units);
    if (count == 0) return {};
    return codec.fromUtf16(std::u16string_view(units, count), CodePage::Ansi);
}

std::string utf8ValueText(const unsigned char* bytes, const TextCodec& codec) {
    // The decoder stops at the end of the 256 bytes exactly as it would at a
    // zero byte placed after them, so no longer buffer is needed here.
    char16_t units[kTextReadSize];
    const std::size_t count = decodeUtf8(std::span<const unsigned char>(bytes, kTextReadSize), units);
    if (count == 0) return {};
    return codec.fromUtf16(std::u16string_view(units, count), CodePage::Gbk);
}

std::string valueText(ValueType type, std::uint8_t baseMode, const unsigned char* bytes, const TextCodec& codec) {
    switch (type) {
        case ValueType::AnsiText: return std::string(ansiText(bytes));
        case ValueType::Utf16Text: return utf16ValueText(bytes, codec);
        case ValueType::Utf8Text: return utf8ValueText(bytes, codec);
        default: break;
    }
    char text[kMaxNumberTextLength];
    return std::string(text, formatNumberText(type, baseMode, bytes, text));
}

}  // namespace corvane
