#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace corvane {

// The UTF-8 kind decodes the 256 bytes read with one zero byte after them, so
// that the text always ends inside the buffer.
inline constexpr std::size_t kUtf8BufferSize = 257;

// What a lead byte followed by a byte that cannot continue its sequence
// stands for.
enum class Utf8Recovery : std::uint8_t {
    // The whole announced length, whatever it holds: target memory is not
    // trusted to be UTF-8 at all.
    SkipAnnounced,
    // The lead byte and the continuation bytes before the foreign one, which
    // starts the next character, as text files are read.
    Resynchronise,
};

// Decodes `bytes` into UTF-16 up to the first NUL byte or the end of the span,
// whichever comes first, and returns the number of units written to `out`,
// which must hold at least bytes.size() units. Characters above U+FFFF become
// surrogate pairs.
//
// With SkipAnnounced, each lead byte's announced length is consumed without
// resynchronising on the bytes inside it. A sequence that is not a well-formed character (a stray continuation byte,
// a lead byte F8 to FF, a foreign byte inside the sequence, an overlong form,
// a surrogate or a code point above U+10FFFF) comes out as one U+FFFD. A
// sequence cut short by a NUL or by the end of the span gives U+FFFD and ends
// the text; no byte past the span is ever touched.
std::size_t decodeUtf8(std::span<const unsigned char> bytes, char16_t* out,
                       Utf8Recovery recovery = Utf8Recovery::SkipAnnounced);

}  // namespace corvane
