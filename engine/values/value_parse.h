#pragma once

#include <string_view>

namespace corvane {

// Reads a number the user typed (数值1, 数值2) or a value text listed before:
//  - leading spaces are skipped; nothing left gives 0;
//  - "&H", "&O", "&B" (any case) start hexadecimal, octal or binary digits,
//    and "&" before any other character starts octal digits right after the
//    "&"; the digits wrap in 64 bits and the result is that integer read as
//    signed, so "&HFFFFFFFFFFFFFFFF" is -1;
//  - "0x" or "0X" at the start gives 0;
//  - anything else is a decimal number in C strtod syntax ("d" and "D" stand
//    for the exponent letter too), read up to the first character that does
//    not fit; "12abc" is 12 and "abc" is 0. C's hexadecimal floats are not
//    part of it, after a sign either: "-0x10" reads as -0.
// Never fails and never depends on the C locale's decimal point.
double parseValueText(std::string_view text);

}  // namespace corvane
