#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/text/text_codec.h"

namespace corvane {

// How a settings file's bytes are to be read: a UTF-8 or UTF-16LE byte order
// mark says so; anything else is code page 936.
enum class FileEncoding : std::uint8_t { CodePage936, Utf8, Utf16Le };

struct MarkedText {
    FileEncoding encoding = FileEncoding::CodePage936;
    std::string_view body;  // the bytes after the mark
};

MarkedText splitByteOrderMark(std::string_view bytes);

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
inline constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

// Malformed UTF-8 comes out as U+FFFD, one per broken sequence; a sequence
// ends before a byte that cannot continue it, which starts the next one.
std::u16string utf8ToUtf16(std::string_view bytes);
// Lone surrogates come out as U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);
// An odd last byte is dropped.
std::u16string utf16LeToUnits(std::string_view bytes);
std::string unitsToUtf16Le(std::u16string_view text);

// The whole file as code page 936 text: marked UTF-8 and UTF-16 are
// converted (characters without a code page 936 form become "?"), anything
// else is taken as it stands.
std::string fileTextAsCodePage936(std::string_view bytes, const TextCodec& codec);

}  // namespace corvane
