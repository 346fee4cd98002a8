#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/values/value_type.h"

namespace corvane {

// A text found in the target's bytes: which of the three text kinds reads
// it, how many characters it has and how many bytes it spans, its
// terminator included.
struct TextRun {
    ValueType kind = ValueType::AnsiText;
    std::size_t characters = 0;
    std::size_t bytes = 0;
};

// Fewest characters a run needs to count as text: fewer printable bytes in a
// row turn up in numbers all the time.
inline constexpr std::size_t kMinTextCharacters = 4;
// Most characters a run is shown with.
inline constexpr std::size_t kMaxShownCharacters = 64;

// Whether a code point is one a game's text is made of: printable ASCII,
// Latin letters, CJK punctuation, kana, CJK ideographs, Hangul and the full
// width forms. Controls, surrogates and the rarely used blocks are not.
bool isTextCodePoint(std::uint32_t codePoint);

// The text that starts at bytes[0], if any. It needs at least
// kMinTextCharacters printable characters and a terminating NUL inside
// `bytes` (a run of more than kMaxShownCharacters characters needs none).
// The kinds are tried in the order that tells them apart:
//  1. UTF-8 when the bytes decode as well-formed UTF-8 with at least one
//     character beyond ASCII (GBK texts are almost never well-formed UTF-8);
//  2. GBK when the bytes are ASCII and GB2312 pairs (lead A1-F7, trail
//     A1-FE): pure ASCII reads the same in every kind and is taken as GBK,
//     the program's own text kind;
//  3. UTF-16 for code units that are text code points, ended by a zero unit.
// The byte kinds go first because ASCII read as UTF-16 looks like CJK; but
// where the UTF-16 reading runs on past the byte reading's NUL by more than
// a unit, it is UTF-16 (你好ABC: 60 4F 7D 59 41 00 ... reads as "`O}YA").
bool findTextRun(std::span<const unsigned char> bytes, TextRun& run);

}  // namespace corvane
