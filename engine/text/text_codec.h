#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

enum class CodePage : std::uint8_t {
    Ansi,  // the user's default ANSI code page
    Gbk,   // code page 936
};

// Conversions between the program's byte texts and UTF-16. The engine sees
// only this interface so that it stays free of the platform's headers; each
// platform supplies one implementation through systemTextCodec().
class TextCodec {
public:
    virtual ~TextCodec() = default;

    // UTF-16 to bytes in `page`; units without a mapping come out as the
    // platform's default character.
    virtual std::string fromUtf16(std::u16string_view text, CodePage page) const = 0;

    // Bytes in `page` to UTF-16; false when the bytes are not valid text in
    // that code page.
    virtual bool toUtf16(std::string_view text, CodePage page, std::u16string& out) const = 0;
};

// The platform's codec; safe to use from several threads at once.
const TextCodec& systemTextCodec();

}  // namespace corvane
