// Value texts: the number reader, the search values of every type and base,
// the value texts formatted from arbitrary bytes, and the UTF-8 decoder,
// each held to a reference written here from the documented rules.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/values/search_value.h"
#include "engine/text/utf8_decode.h"
#include "engine/values/value_parse.h"
#include "engine/values/value_text.h"
#include "engine/values/value_type.h"
#include "tests/fuzz/fuzz_support.h"

namespace corvane::fuzz {
namespace {

const TextCodec& codec() { return systemTextCodec(); }

bool sameNumber(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

std::string numberDetail(std::string_view text, double got, double expected) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "got %.17g, expected %.17g, text ", got, expected);
    return buffer + hexOf(text);
}

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The reader's rules: "&" prefixes, "0x" gives 0, otherwise C's strtod with
// "d" as an exponent letter and without hexadecimal floats.
double referenceParse(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (text.empty()) return 0.0;
    if (text.size() > 1 && text.front() == '&') {
        unsigned base = 8;
        std::size_t pos = 1;
        const char selector = static_cast<char>(text[1] | 0x20);
        if (selector == 'h' || selector == 'o' || selector == 'b') {
            base = selector == 'h' ? 16 : selector == 'o' ? 8 : 2;
            pos = 2;
        }
        std::uint64_t value = 0;
        for (; pos < text.size(); ++pos) {
            const char c = text[pos];
            unsigned digit = 99;
            if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
            if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
            if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
            if (digit >= base) break;
            value = value * base + digit;
        }
        return static_cast<double>(static_cast<std::int64_t>(value));
    }
    if (text.starts_with("0x") || text.starts_with("0X")) return 0.0;
    std::string body(text);
    for (char& c : body) {
        if (c == 'd') c = 'e';
        if (c == 'D') c = 'E';
    }
    // strtod would read a hexadecimal float after blanks and a sign.
    std::size_t i = 0;
    while (i < body.size() && isSpace(body[i])) ++i;
    bool negative = false;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) negative = body[i++] == '-';
    if (body.compare(i, 2, "0x") == 0 || body.compare(i, 2, "0X") == 0) return negative ? -0.0 : 0.0;
    return std::strtod(body.c_str(), nullptr);
}

void checkParse(std::string_view text) {
    const double got = parseValueText(text);
    const double expected = referenceParse(text);
    FUZZ_CHECK(sameNumber(got, expected), numberDetail(text, got, expected));
}

// printf in the msvcrt form: at least three exponent digits, and the
// infinities and NaN spelt so that they read back as what they are.
std::string referenceFloat(double value, int precision) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    std::string text = buffer;
    const std::size_t e = text.find('e');
    if (e != std::string::npos) {
        while (text.size() - (e + 2) < 3) text.insert(e + 2, 1, '0');
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

std::string printed(const char* format, auto value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

unsigned widthOf(ValueType type) {
    switch (type) {
        case ValueType::Byte: return 1;
        case ValueType::Short: return 2;
        case ValueType::Long: return 4;
        default: return 8;
    }
}

void checkNumberText(ValueType type, std::uint8_t baseMode, const unsigned char* bytes) {
    const std::string text = valueText(type, baseMode, bytes, codec());
    FUZZ_CHECK(text.size() <= kMaxNumberTextLength, text);
    std::string expected;
    if (type == ValueType::Single) {
        float value;
        std::memcpy(&value, bytes, sizeof value);
        expected = referenceFloat(value, 7);
    } else if (type == ValueType::Double) {
        double value;
        std::memcpy(&value, bytes, sizeof value);
        expected = referenceFloat(value, 16);
    } else {
        const unsigned width = widthOf(type);
        std::uint64_t bits = 0;
        std::memcpy(&bits, bytes, width);
        const unsigned unused = 64 - 8 * width;
        const auto value = static_cast<long long>(static_cast<std::int64_t>(bits << unused) >> unused);
        if (baseMode == 1)
            expected = printed("%llX", static_cast<unsigned long long>(bits));
        else if (type == ValueType::Byte)
            expected = printed("%llu", static_cast<unsigned long long>(bits));
        else
            expected = printed("%lld", value);

        // A listed integer typed back as a search value is the same integer,
        // as long as a double holds it exactly.
        // Worked out in integers: converting to double first would round
        // 2^53 + 1 down to 2^53 and let it pass.
        const std::uint64_t magnitude = baseMode == 1 && width < 8 ? bits
                                        : value < 0                ? 0 - static_cast<std::uint64_t>(value)
                                                                   : static_cast<std::uint64_t>(value);
        if (magnitude <= (std::uint64_t{1} << 53)) {
            const SearchValue search = makeSearchValue(type, baseMode, text, codec());
            FUZZ_CHECK(
                search.bits == bits,
                "typed back as " + printed("%llx", static_cast<unsigned long long>(search.bits)) + " from " + text);
        }
    }
    FUZZ_CHECK(text == expected, text + " expected " + expected);
}

void checkTextKinds(const unsigned char* bytes) {
    const std::string ansi = valueText(ValueType::AnsiText, kNoBaseMode, bytes, codec());
    const void* nul = std::memchr(bytes, 0, kTextReadSize);
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - bytes) : kTextReadSize;
    FUZZ_CHECK(ansi == std::string_view(reinterpret_cast<const char*>(bytes), length), hexOf(ansi));
    // The texts of the other kinds only have to come out without harm.
    (void)valueText(ValueType::Utf16Text, kNoBaseMode, bytes, codec());
    (void)valueText(ValueType::Utf8Text, kNoBaseMode, bytes, codec());
}

void checkSearchValue(ValueType type, std::uint8_t baseMode, std::string_view text) {
    const SearchValue value = makeSearchValue(type, baseMode, text, codec());
    const ValueVariant variant = variantOf(type, baseMode);
    const unsigned width = integerWidth(variant);
    if (width > 0 && width < 8) FUZZ_CHECK(value.bits >> (8 * width) == 0, hexOf(text));
    if (type == ValueType::Single) {
        FUZZ_CHECK(std::isnan(value.number) || static_cast<double>(static_cast<float>(value.number)) == value.number,
                   hexOf(text));
    }
    if (type == ValueType::AnsiText || type == ValueType::Utf8Text) FUZZ_CHECK(value.text == text, hexOf(text));
    if (type == ValueType::Utf16Text) FUZZ_CHECK(value.wideText == utf16SearchText(text, codec()), hexOf(text));
}

constexpr char16_t kReplacement = 0xFFFD;

// The decoder's rules: each lead byte's announced length is taken without
// resynchronising; anything that is not a well-formed character is one
// U+FFFD; a sequence cut short by a NUL or the end gives U+FFFD and ends it.
std::u16string referenceDecode(std::span<const unsigned char> bytes) {
    std::u16string out;
    std::size_t i = 0;
    while (i < bytes.size() && bytes[i] != 0) {
        const unsigned lead = bytes[i];
        std::size_t length = 0;
        if (lead < 0x80)
            length = 1;
        else if (lead >= 0xC0 && lead < 0xE0)
            length = 2;
        else if (lead >= 0xE0 && lead < 0xF0)
            length = 3;
        else if (lead >= 0xF0 && lead < 0xF8)
            length = 4;
        if (length == 1) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        bool cut = i + length > bytes.size();
        for (std::size_t k = 1; k < length && !cut; ++k) cut = bytes[i + k] == 0;
        if (cut) {
            out += kReplacement;
            break;
        }
        std::uint32_t code = lead & (0x7Fu >> length);
        bool wellFormed = true;
        for (std::size_t k = 1; k < length; ++k) {
            wellFormed = wellFormed && (bytes[i + k] & 0xC0) == 0x80;
            code = (code << 6) | (bytes[i + k] & 0x3Fu);
        }
        i += length;
        const std::uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (!wellFormed || code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out += kReplacement;
        } else if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

void checkDecoder(std::span<const unsigned char> bytes) {
    std::vector<char16_t> out(bytes.size() + 1, u'\0');
    const std::size_t units = decodeUtf8(bytes, out.data());
    FUZZ_CHECK(units <= bytes.size(), "more units than bytes");
    const std::u16string got(out.data(), units);
    FUZZ_CHECK(got == referenceDecode(bytes),
               hexOf(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
}

// Code points taken from the input, encoded well-formed, decode to
// themselves.
void checkDecoderOnWellFormedText(Input& input) {
    std::string encoded;
    std::u16string expected;
    while (!input.empty() && encoded.size() < 300) {
        std::uint32_t code = static_cast<std::uint32_t>(input.integer(3)) % 0x110000;
        if (code == 0 || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
        if (code < 0x80) {
            encoded += static_cast<char>(code);
        } else if (code < 0x800) {
            encoded += static_cast<char>(0xC0 | (code >> 6));
            encoded += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            encoded += static_cast<char>(0xE0 | (code >> 12));
            encoded += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            encoded += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            encoded += static_cast<char>(0xF0 | (code >> 18));
            encoded += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            encoded += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            encoded += static_cast<char>(0x80 | (code & 0x3F));
        }
        if (code >= 0x10000) {
            expected += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            expected += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            expected += static_cast<char16_t>(code);
        }
    }
    std::vector<char16_t> out(encoded.size() + 1);
    const auto* bytes = reinterpret_cast<const unsigned char*>(encoded.data());
    const std::size_t units = decodeUtf8(std::span(bytes, encoded.size()), out.data());
    FUZZ_CHECK(std::u16string(out.data(), units) == expected, hexOf(encoded));
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane;
    using namespace corvane::fuzz;
    const InputScope scope(data, size);
    Input input(data, size);
    const std::uint8_t mode = input.byte();
    // Most base bytes are 0 or 1, as the selector gives; the rest stand for
    // the no-selection value and anything a settings file may hand over.
    const std::uint8_t baseChoice = input.byte();
    const std::uint8_t baseMode = baseChoice < 100   ? 0
                                  : baseChoice < 200 ? 1
                                  : baseChoice < 230 ? kNoBaseMode
                                                     : baseChoice;
    const auto type = static_cast<ValueType>(mode / 4 % kValueTypeCount);
    switch (mode % 4) {
        case 0: {
            const std::string text = input.rest();
            checkParse(text);
            for (std::uint8_t t = 0; t < kValueTypeCount; ++t) {
                for (const std::uint8_t base : {std::uint8_t{0}, std::uint8_t{1}, kNoBaseMode, baseMode}) {
                    checkSearchValue(static_cast<ValueType>(t), base, text);
                }
            }
            break;
        }
        case 1: {
            unsigned char bytes[kTextReadSize] = {};
            const auto given = input.take(kTextReadSize);
            std::memcpy(bytes, given.data(), given.size());
            if (isTextType(type))
                checkTextKinds(bytes);
            else
                checkNumberText(type, baseMode, bytes);
            break;
        }
        case 2: {
            const auto bytes = input.take(input.remaining());
            checkDecoder(std::span<const unsigned char>(bytes.data(), bytes.size()));
            break;
        }
        default: checkDecoderOnWellFormedText(input); break;
    }
    return 0;
}
