#pragma once

#include <string>
#include <string_view>

namespace corvane {

// A settings value is one line of an INI file: a CR or LF inside it would end
// the key there and leave the rest behind as a stray line of its own. Neither
// byte is ever the second byte of a code page 936 character, so removing them
// byte by byte never cuts a character.
inline bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

inline bool holdsLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

inline std::string removeLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (!isLineBreak(c)) out.push_back(c);
    }
    return out;
}

inline std::u16string removeLineBreaks(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c != u'\r' && c != u'\n') out.push_back(c);
    }
    return out;
}

}  // namespace corvane
