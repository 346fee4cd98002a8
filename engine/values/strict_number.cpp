#include "engine/values/strict_number.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace corvane {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether `text` is a decimal float as written by people: digits with an
// optional fraction (at least one digit on either side of the point) and an
// optional exponent with digits. No infinities, NaNs or hexadecimal floats.
bool isDecimalFloat(std::string_view text) {
    std::size_t i = 0;
    std::size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) ++digits;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && isDigit(text[i]); ++i) ++digits;
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t exponentStart = i;
        while (i < text.size() && isDigit(text[i])) ++i;
        if (i == exponentStart) return false;
    }
    return i == text.size();
}

bool isAllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!isDigit(c)) return false;
    return true;
}

std::uint64_t widthMask(unsigned width) { return width >= 8 ? ~0ull : (1ull << (8 * width)) - 1; }

StrictNumber readHex(ValueVariant variant, std::string_view text) {
    StrictNumber number;
    std::string_view digits = text;
    if (digits.size() > 2 && ((digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) ||
                              (digits[0] == '&' && (digits[1] == 'H' || digits[1] == 'h'))))
        digits.remove_prefix(2);
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, number.bits, 16);
    if (digits.empty() || stop != end || (error != std::errc() && error != std::errc::result_out_of_range)) {
        number.problem = NumberTextProblem::NotANumber;
    } else if (error == std::errc::result_out_of_range || number.bits > widthMask(integerWidth(variant))) {
        number.problem = NumberTextProblem::OutOfRange;
    }
    number.text = digits;
    return number;
}

StrictNumber readDecimalInteger(ValueVariant variant, std::string_view text) {
    StrictNumber number;
    number.text = text;
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? text.substr(1) : text;
    if (!isAllDigits(digits)) {
        number.problem = NumberTextProblem::NotANumber;
        return number;
    }
    std::uint64_t magnitude = 0;
    const auto error = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude).ec;
    const unsigned width = integerWidth(variant);
    // The signed kinds reach one further below zero than above it.
    const std::uint64_t above = isSignedVariant(variant) ? widthMask(width) >> 1 : widthMask(width);
    const std::uint64_t below = isSignedVariant(variant) ? above + 1 : 0;
    if (error != std::errc() || magnitude > (negative ? below : above)) {
        number.problem = NumberTextProblem::OutOfRange;
        return number;
    }
    number.bits = negative ? (0 - magnitude) & widthMask(width) : magnitude;
    return number;
}

StrictNumber readFloat(ValueType type, std::string_view text) {
    StrictNumber number;
    number.text = text;
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view body = !text.empty() && (text[0] == '-' || text[0] == '+') ? text.substr(1) : text;
    if (!isDecimalFloat(body)) {
        number.problem = NumberTextProblem::NotANumber;
        return number;
    }
    double value = 0.0;
    const auto error = std::from_chars(body.data(), body.data() + body.size(), value).ec;
    const double highest = type == ValueType::Single ? static_cast<double>(std::numeric_limits<float>::max())
                                                     : std::numeric_limits<double>::max();
    if (error != std::errc() || value > highest) {
        number.problem = NumberTextProblem::OutOfRange;
        return number;
    }
    number.real = negative ? -value : value;
    return number;
}

}  // namespace

StrictNumber readStrictNumber(ValueType type, std::uint8_t baseMode, std::string_view text) {
    if (text.empty()) {
        StrictNumber empty;
        empty.problem = NumberTextProblem::Empty;
        return empty;
    }
    if (isTextType(type)) {
        StrictNumber any;
        any.text = text;
        return any;
    }
    if (isFloatType(type)) return readFloat(type, text);
    const ValueVariant variant = variantOf(type, baseMode);
    return isHexadecimal(type, baseMode) ? readHex(variant, text) : readDecimalInteger(variant, text);
}

bool isAbove(ValueType type, std::uint8_t baseMode, const StrictNumber& a, const StrictNumber& b) {
    if (isFloatType(type)) return a.real > b.real;
    if (isTextType(type)) return false;
    const ValueVariant variant = variantOf(type, baseMode);
    if (!isSignedVariant(variant)) return a.bits > b.bits;
    // Sign-extended from the kind's width, the bits compare as signed numbers.
    const unsigned shift = 64 - 8 * integerWidth(variant);
    const auto extend = [shift](std::uint64_t bits) { return static_cast<std::int64_t>(bits << shift) >> shift; };
    return extend(a.bits) > extend(b.bits);
}

NumberRange numberRange(ValueType type, std::uint8_t baseMode) {
    NumberRange range;
    if (isFloatType(type)) {
        const double highest = type == ValueType::Single ? static_cast<double>(std::numeric_limits<float>::max())
                                                         : std::numeric_limits<double>::max();
        range.low.real = -highest;
        range.high.real = highest;
        return range;
    }
    if (isTextType(type)) return range;
    const ValueVariant variant = variantOf(type, baseMode);
    const std::uint64_t mask = widthMask(integerWidth(variant));
    if (isSignedVariant(variant)) {
        range.low.bits = (mask >> 1) + 1;
        range.high.bits = mask >> 1;
    } else {
        range.high.bits = mask;
    }
    return range;
}

}  // namespace corvane
