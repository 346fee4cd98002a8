#pragma once

#include <string>
#include <string_view>

namespace corvane {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string encodeUtf8(std::u16string_view text);

// UTF-8 to UTF-16, for whole texts such as the lines of a file; malformed
// sequences become U+FFFD (see decodeUtf8).
std::u16string decodeUtf8Text(std::string_view text);

}  // namespace corvane
