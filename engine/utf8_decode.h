#pragma once

#include <cstddef>
#include <span>

namespace corvane {

// The UTF-8 kind decodes the 256 bytes read with one zero byte after them, so
// that the text always ends inside the buffer.
inline constexpr std::size_t kUtf8BufferSize = 257;

// Decodes `bytes` into UTF-16 up to the first NUL byte or the end of the span,
// whichever comes first, and returns the number of units written to `out`,
// which must hold at least bytes.size() units. Characters above U+FFFF become
// surrogate pairs.
//
// Each lead byte's announced length is consumed without resynchronising on
// the bytes inside it, as target memory is not trusted to be UTF-8 at all.
// A sequence that is not a well-formed character (a stray continuation byte,
// a lead byte F8 to FF, a foreign byte inside the sequence, an overlong form,
// a surrogate or a code point above U+10FFFF) comes out as one U+FFFD. A
// sequence cut short by a NUL or by the end of the span gives U+FFFD and ends
// the text; no byte past the span is ever touched.
std::size_t decodeUtf8(std::span<const unsigned char> bytes, char16_t* out);

}  // namespace corvane
