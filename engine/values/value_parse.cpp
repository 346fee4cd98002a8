#include "engine/values/value_parse.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace corvane {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int digitValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// `text` is at least two characters and begins with "&".
double parsePrefixedInteger(std::string_view text) {
    unsigned base = 8;
    std::size_t position = 1;
    switch (text[1]) {
        case 'H':
        case 'h':
            base = 16;
            position = 2;
            break;
        case 'O':
        case 'o':
            base = 8;
            position = 2;
            break;
        case 'B':
        case 'b':
            base = 2;
            position = 2;
            break;
        default: break;
    }
    std::uint64_t value = 0;
    for (; position < text.size(); ++position) {
        const int digit = digitValue(text[position]);
        if (digit >= static_cast<int>(base)) break;
        value = value * base + static_cast<unsigned>(digit);  // wraps on purpose
    }
    return static_cast<double>(static_cast<std::int64_t>(value));
}

// Whether a decimal numeral that from_chars found out of range is too large
// (rather than too small): its decimal exponent, taken from the position of
// the first non-zero digit and the written exponent, is above zero.
bool isOverflow(std::string_view numeral) {
    std::size_t i = 0;
    long integerDigits = 0;
    long fractionZeros = 0;
    bool nonZeroSeen = false;
    for (; i < numeral.size() && isDigit(numeral[i]); ++i) {
        if (nonZeroSeen || numeral[i] != '0') {
            nonZeroSeen = true;
            ++integerDigits;
        }
    }
    if (i < numeral.size() && numeral[i] == '.') {
        for (++i; i < numeral.size() && isDigit(numeral[i]); ++i) {
            if (nonZeroSeen) continue;
            if (numeral[i] == '0')
                ++fractionZeros;
            else
                nonZeroSeen = true;
        }
    }
    long exponent = 0;
    if (i < numeral.size() && (numeral[i] == 'e' || numeral[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < numeral.size() && (numeral[i] == '+' || numeral[i] == '-')) {
            negative = numeral[i] == '-';
            ++i;
        }
        for (; i < numeral.size() && isDigit(numeral[i]); ++i) {
            if (exponent < 1000000) exponent = exponent * 10 + (numeral[i] - '0');
        }
        if (negative) exponent = -exponent;
    }
    const long magnitude = integerDigits > 0 ? integerDigits - 1 + exponent : exponent - fractionZeros - 1;
    return magnitude > 0;
}

// strtod's decimal syntax without its dependence on the C locale: from_chars
// reads the same numerals, infinities and NaNs, but neither skips white space
// nor takes a "+" sign, and it reports results out of range where strtod
// gives infinity or zero.
double parseDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // A second sign is no number for strtod, while from_chars would take "-".
    if (i >= text.size() || text[i] == '+' || text[i] == '-') return 0.0;

    std::string body(text.substr(i));
    for (char& c : body) {
        if (c == 'd')
            c = 'e';
        else if (c == 'D')
            c = 'E';
    }
    double value = 0.0;
    const char* first = body.data();
    const auto [end, error] = std::from_chars(first, first + body.size(), value, std::chars_format::general);
    if (error == std::errc::invalid_argument) return 0.0;
    if (error == std::errc::result_out_of_range) {
        const auto length = static_cast<std::size_t>(end - first);
        value = isOverflow(std::string_view(first, length)) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

}  // namespace

double parseValueText(std::string_view text) {
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) return 0.0;
    const std::string_view rest = text.substr(start);
    if (rest.size() > 1 && rest[0] == '&') return parsePrefixedInteger(rest);
    if (rest.size() > 1 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) return 0.0;
    return parseDecimal(rest);
}

}  // namespace corvane
