#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/text/text_codec.h"
#include "engine/values/value_type.h"

namespace corvane {

// Room for the longest numeric value text: "-9223372036854775808" has 20
// characters, "-1.234567890123457e-308" 23.
inline constexpr std::size_t kMaxNumberTextLength = 24;

// The formatters below write at most kMaxNumberTextLength characters to
// `out`, without a terminator, and return their count. They allocate nothing,
// as they run once for every result of a pass.
std::size_t formatSigned(std::int64_t value, char* out);
std::size_t formatUnsigned(std::uint64_t value, char* out);
// printf's "%.7g" and "%.16g" in the msvcrt form: the exponent has at least
// three digits (1e+010) and a final "." is dropped.
std::size_t formatSingle(float value, char* out);
std::size_t formatDouble(double value, char* out);

// The text of a numeric kind (byte to double) from the bytes read:
// decimal, or hexadecimal at the kind's width when the integer kinds are in
// hexadecimal mode, or the single and double forms above.
std::size_t formatNumberText(ValueType type, std::uint8_t baseMode, const unsigned char* bytes, char* out);

// The text kinds work on the 256 bytes read.
// The bytes up to the first NUL; all 256 when there is none.
std::string_view ansiText(const unsigned char* bytes);
// The code units up to the first zero unit, at most 128, written to `out`
// (room for kUtf16ReadUnits); returns their count.
std::size_t utf16Units(const unsigned char* bytes, char16_t* out);
// The UTF-16 kind's text: its units converted to the ANSI code page.
std::string utf16ValueText(const unsigned char* bytes, const TextCodec& codec);
// The UTF-8 kind's text: decoded up to the first NUL character and converted
// to code page 936; empty when nothing decodes or the conversion fails.
std::string utf8ValueText(const unsigned char* bytes, const TextCodec& codec);

// The value text of any kind, as stored in a result and listed; `bytes`
// holds valueReadSize(type) bytes.
std::string valueText(ValueType type, std::uint8_t baseMode, const unsigned char* bytes, const TextCodec& codec);

}  // namespace corvane
