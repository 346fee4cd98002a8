#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/values/value_type.h"

namespace corvane {

// Why a typed value is not a number of the chosen kind and base.
enum class NumberTextProblem : std::uint8_t {
    None,
    Empty,
    NotANumber,  // not the base's digits (or a float's decimal form)
    OutOfRange,  // the kind cannot hold it
};

// A value read without the guesses of parseValueText, for a caller that
// would rather refuse a text than search for the 0 it reads as: "abc",
// "0x7A4F" in decimal, 300 for a byte and -1 for a byte all are refused.
//  - integer kinds in hexadecimal: hexadecimal digits, optionally after "0x"
//    or "&H" (either case), no sign, up to the kind's width;
//  - integer kinds in decimal: an optional sign and decimal digits, within
//    the kind's range (the byte is unsigned, the others signed);
//  - single and double, under either base: an optional sign, decimal digits
//    with an optional fraction and exponent, within the kind's range.
// The text kinds take any text that is not empty.
struct StrictNumber {
    NumberTextProblem problem = NumberTextProblem::None;
    // Without a problem: the integer kinds' value (the signed ones'
    // two's complement bits), or the float kinds' in `real`.
    std::uint64_t bits = 0;
    double real = 0.0;
    // The text that parseValueText, after searchNumberText, reads as the
    // same value: the hexadecimal digits without their prefix, else the text.
    std::string text;
};

StrictNumber readStrictNumber(ValueType type, std::uint8_t baseMode, std::string_view text);

// Whether `a` lies above `b` as the kind compares them (signed or unsigned,
// or as floats); both read without a problem for the same kind and base.
bool isAbove(ValueType type, std::uint8_t baseMode, const StrictNumber& a, const StrictNumber& b);

// The least and the most a kind holds, for saying so: integer kinds as
// their bits (see StrictNumber), floats in `real`.
struct NumberRange {
    StrictNumber low;
    StrictNumber high;
};
NumberRange numberRange(ValueType type, std::uint8_t baseMode);

}  // namespace corvane
