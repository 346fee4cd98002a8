#include "engine/target/module_lookup.h"

#include "engine/text/ascii_case.h"
#include "engine/text/hex_text.h"

namespace corvane {
namespace {

// Length of the code page 936 character at `pos`: a lead byte takes the
// byte after it along, whatever that byte is, as the code page does.
std::size_t charLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    return lead >= 0x81 && lead <= 0xFE && pos + 1 < text.size() ? 2 : 1;
}

}  // namespace

bool sameModuleName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // Bytes of two-byte characters are compared exactly: only ASCII letters
    // have a case the comparison may ignore.
    for (std::size_t pos = 0; pos < a.size();) {
        const std::size_t length = charLength(a, pos);
        if (length == 2) {
            if (a[pos] != b[pos] || a[pos + 1] != b[pos + 1]) return false;
        } else if (asciiLower(a[pos]) != asciiLower(b[pos])) {
            return false;
        }
        pos += length;
    }
    return true;
}

bool isWritableModuleName(std::string_view name) {
    if (name.empty()) return false;
    for (std::size_t pos = 0; pos < name.size(); pos += charLength(name, pos)) {
        if (charLength(name, pos) == 2) continue;
        const char c = name[pos];
        if (c == ']' || c == '*' || c == '\r' || c == '\n') return false;
    }
    return true;
}

std::optional<std::uint64_t> ModuleBaseCache::base(std::string_view name) {
    for (const auto& [known, base] : bases_)
        if (sameModuleName(known, name)) return base;
    std::optional<std::uint64_t> found = lookup_ != nullptr ? lookup_->moduleBase(name) : std::nullopt;
    if (!found) missing_.emplace_back(name);
    bases_.emplace_back(std::string(name), found);
    return found;
}

std::size_t moduleNameEnd(std::string_view text) {
    // The offsets after a module's name are hexadecimal digits and "]", and
    // no trail byte of code page 936 is "+": the last "+" ends the name,
    // whatever "+" the name holds itself (libstdc++).
    return text.rfind('+');
}

}  // namespace corvane
