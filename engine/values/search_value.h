#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/text/text_codec.h"
#include "engine/values/value_type.h"

namespace corvane {

// A search text (数值1 or 数值2) made into the value a pass compares with.
// Only the member of the variant's family is meaningful.
struct SearchValue {
    // Integer variants: the value cut to the variant's width, zero-extended
    // (the short -1 is 0xFFFF).
    std::uint64_t bits = 0;
    // Single (already rounded to single precision) and double.
    double number = 0.0;
    // ANSI and UTF-8 texts: the search text's bytes as typed.
    std::string text;
    // UTF-16 texts: the search text converted to UTF-16.
    std::u16string wideText;
};

SearchValue makeSearchValue(ValueType type, std::uint8_t baseMode, std::string_view text, const TextCodec& codec);

// The text the number parser sees: integer kinds in hexadecimal mode get
// "&H" put in front unless the text already begins with it (any case).
std::string searchNumberText(ValueType type, std::uint8_t baseMode, std::string_view text);

// Nearest integer, halves to the even neighbour (2.5 gives 2, 3.5 gives 4),
// independent of the floating-point environment.
double roundHalfToEven(double value);

// Conversions of an integral double as the x86 conversion instructions do
// them: a value outside the target range, or NaN, becomes the "integer
// indefinite" value, the most negative integer of the width.
std::int32_t toInt32(double value);
std::int64_t toInt64(double value);
// Values from 2^63 up lose 2^63, are converted, and get the top bit back;
// smaller ones, negative ones too, convert as signed 64-bit integers.
std::uint64_t toUint64(double value);

// The integer search value of an integer variant from a parsed number.
std::uint64_t integerSearchBits(ValueVariant variant, double parsed);

// The floor taken under `ignoreDecimals`. Magnitudes from 2^23 (single) or
// 2^52 (double) up are whole already, and infinities and NaN stay as they
// are, so the plain floor gives exactly that.
double floorIgnoringDecimals(double value);

// A search text for the UTF-16 kind. A text that is not valid in the ANSI
// code page keeps its ASCII characters, every other byte becoming "?".
std::u16string utf16SearchText(std::string_view text, const TextCodec& codec);

}  // namespace corvane
