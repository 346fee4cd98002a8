#pragma once

#include <cstddef>
#include <string_view>

namespace corvane {

// Names the system compares without regard to letter case (module files,
// profile sections and keys, control types, command-line words) fold only
// the ASCII letters: every other unit, a byte of a two-byte character
// included, is compared as it is.

template <typename Char>
constexpr Char asciiLower(Char c) {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <typename Char>
constexpr bool equalIgnoringAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

inline bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return equalIgnoringAsciiCase<char>(a, b);
}
inline bool equalIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    return equalIgnoringAsciiCase<char16_t>(a, b);
}
inline bool equalIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    return equalIgnoringAsciiCase<wchar_t>(a, b);
}

}  // namespace corvane
