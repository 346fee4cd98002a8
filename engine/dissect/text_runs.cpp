#include "engine/dissect/text_runs.h"

namespace corvane {
namespace {

// Counts the run's characters while `next` reads one; stops at a NUL (found)
// or at the first byte that is not text.
template <typename Next>
bool countRun(std::span<const unsigned char> bytes, std::size_t unit, TextRun& run, Next next) {
    std::size_t at = 0;
    std::size_t characters = 0;
    while (at + unit <= bytes.size()) {
        bool isNul = true;
        for (std::size_t i = 0; i < unit; ++i) isNul = isNul && bytes[at + i] == 0;
        if (isNul) {
            if (characters < kMinTextCharacters) return false;
            run.characters = characters;
            run.bytes = at + unit;
            return true;
        }
        const std::size_t used = next(bytes.subspan(at));
        if (used == 0) return false;
        at += used;
        ++characters;
        if (characters > kMaxShownCharacters) {
            run.characters = characters;
            run.bytes = at;
            return true;
        }
    }
    return false;
}

// Bytes of one well-formed UTF-8 text character at the front, or 0.
std::size_t utf8Character(std::span<const unsigned char> bytes, bool& beyondAscii) {
    const unsigned char lead = bytes[0];
    if (lead < 0x80) return isTextCodePoint(lead) ? 1 : 0;
    std::size_t length = 0;
    std::uint32_t point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07u;
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) return 0;
        point = point << 6 | (bytes[i] & 0x3Fu);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < least[length] || !isTextCodePoint(point)) return 0;
    beyondAscii = true;
    return length;
}

std::size_t gbkCharacter(std::span<const unsigned char> bytes) {
    const unsigned char lead = bytes[0];
    if (lead < 0x80) return isTextCodePoint(lead) ? 1 : 0;
    if (lead < 0xA1 || lead > 0xF7 || bytes.size() < 2) return 0;
    return bytes[1] >= 0xA1 && bytes[1] <= 0xFE ? 2 : 0;
}

std::size_t utf16Character(std::span<const unsigned char> bytes) {
    const auto unit = static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8);
    return isTextCodePoint(unit) ? 2 : 0;
}

}  // namespace

bool isTextCodePoint(std::uint32_t p) {
    return (p >= 0x20 && p <= 0x7E) || (p >= 0xA0 && p <= 0x24F) || (p >= 0x3000 && p <= 0x30FF) ||
           (p >= 0x4E00 && p <= 0x9FFF) || (p >= 0xAC00 && p <= 0xD7A3) || (p >= 0xFF00 && p <= 0xFFEF);
}

bool findTextRun(std::span<const unsigned char> bytes, TextRun& run) {
    if (bytes.empty()) return false;
    TextRun wide;
    const bool utf16 = countRun(bytes, 2, wide, utf16Character);
    wide.kind = ValueType::Utf16Text;
    bool beyondAscii = false;
    TextRun narrow;
    if (countRun(bytes, 1, narrow,
                 [&](std::span<const unsigned char> rest) { return utf8Character(rest, beyondAscii); }) &&
        beyondAscii) {
        narrow.kind = ValueType::Utf8Text;
    } else if (countRun(bytes, 1, narrow, gbkCharacter)) {
        narrow.kind = ValueType::AnsiText;
    } else {
        if (utf16) run = wide;
        return utf16;
    }
    // A UTF-16 text whose first units' bytes are all printable reads as a
    // short byte text ending at the high byte of its first ASCII unit; the
    // UTF-16 text goes on past that NUL by more than a unit.
    run = utf16 && wide.bytes >= narrow.bytes + 3 ? wide : narrow;
    return true;
}

}  // namespace corvane
