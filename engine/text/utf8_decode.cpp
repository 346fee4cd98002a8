#include "engine/text/utf8_decode.h"

#include <cstdint>

namespace corvane {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Sequence length a lead byte announces; 0 for bytes that cannot start one.
std::size_t announcedLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    return 0;
}

// Smallest code point that needs a sequence of the given length; anything
// below it is an overlong form.
std::uint32_t smallestOf(std::size_t length) {
    switch (length) {
        case 2: return 0x80;
        case 3: return 0x800;
        default: return 0x10000;
    }
}

}  // namespace

std::size_t decodeUtf8(std::span<const unsigned char> bytes, char16_t* out, Utf8Recovery recovery) {
    std::size_t written = 0;
    std::size_t i = 0;
    while (i < bytes.size() && bytes[i] != 0) {
        const unsigned char lead = bytes[i];
        const std::size_t length = announcedLength(lead);
        if (length == 1) {
            out[written++] = lead;
            ++i;
            continue;
        }
        if (length == 0) {
            out[written++] = kReplacement;
            ++i;
            continue;
        }
        std::uint32_t code = lead & (0x7Fu >> length);
        bool wellFormed = true;
        std::size_t k = 1;
        bool foreign = false;
        for (; k < length; ++k) {
            if (i + k >= bytes.size() || bytes[i + k] == 0) break;
            const unsigned char next = bytes[i + k];
            if ((next & 0xC0) != 0x80) {
                wellFormed = false;
                foreign = recovery == Utf8Recovery::Resynchronise;
                if (foreign) break;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        if (foreign) {
            out[written++] = kReplacement;
            i += k;
            continue;
        }
        if (k < length) {
            // Cut short: the NUL or the buffer's end is the end of the text.
            out[written++] = kReplacement;
            break;
        }
        i += length;
        if (!wellFormed || code < smallestOf(length) || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out[written++] = kReplacement;
        } else if (code >= 0x10000) {
            code -= 0x10000;
            out[written++] = static_cast<char16_t>(0xD800 + (code >> 10));
            out[written++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out[written++] = static_cast<char16_t>(code);
        }
    }
    return written;
}

}  // namespace corvane
