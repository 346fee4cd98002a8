#include "engine/dissect/field_guess.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvane {
namespace {

std::uint64_t load(std::span<const unsigned char> bytes, std::size_t at, unsigned size) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes.data() + at, size);
    return value;
}

float asFloat(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double asDouble(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

FieldKind halfKind(std::uint32_t bits) {
    if (bits == 0) return FieldKind::Zero;
    return isPlausibleFloat(asFloat(bits)) ? FieldKind::Float : FieldKind::Int32;
}

bool smallInt32(std::uint32_t bits) {
    const auto value = static_cast<std::int32_t>(bits);
    return value > -(1 << 24) && value < (1 << 24);
}

}  // namespace

FieldKind kindOf(ValueType type) { return static_cast<FieldKind>(type); }

ValueType valueTypeOf(FieldKind kind, unsigned width) {
    if (kind <= FieldKind::Utf8Text) return static_cast<ValueType>(kind);
    return width == 4 ? ValueType::Long : ValueType::Int64;
}

std::string_view kindName(FieldKind kind) {
    switch (kind) {
        case FieldKind::Byte: return "byte";
        case FieldKind::Short: return "short";
        case FieldKind::Int32: return "int32";
        case FieldKind::Int64: return "int64";
        case FieldKind::Float: return "float";
        case FieldKind::Double: return "double";
        case FieldKind::AnsiText: return "gbk";
        case FieldKind::Utf16Text: return "utf16";
        case FieldKind::Utf8Text: return "utf8";
        case FieldKind::Zero: return "zero";
        case FieldKind::Pointer: return "pointer";
        case FieldKind::TextContinuation: return "text+";
        case FieldKind::Halves: return "halves";
        case FieldKind::Unreadable: return "unreadable";
    }
    return "?";
}

bool AddressMap::readable(std::uint64_t address) const {
    const auto after = std::upper_bound(regions.begin(), regions.end(), address,
                                        [](std::uint64_t a, const MemoryRegion& r) { return a < r.start; });
    return after != regions.begin() && address < std::prev(after)->end();
}

const ModuleImage* AddressMap::moduleAt(std::uint64_t address) const {
    const auto after = std::upper_bound(modules.begin(), modules.end(), address,
                                        [](std::uint64_t a, const ModuleImage& m) { return a < m.start; });
    if (after == modules.begin() || address >= std::prev(after)->end()) return nullptr;
    return &*std::prev(after);
}

bool isPlausibleFloat(float value) {
    const float magnitude = std::fabs(value);
    return std::isnormal(value) && magnitude >= 1e-4f && magnitude <= 1e8f;
}

bool isPlausibleDouble(double value) {
    const double magnitude = std::fabs(value);
    return std::isnormal(value) && magnitude >= 1e-6 && magnitude <= 1e12;
}

FieldGuess guessField(std::span<const unsigned char> bytes, std::size_t at, unsigned width, std::uint64_t address,
                      const AddressMap& map) {
    FieldGuess guess;
    const std::uint64_t word = load(bytes, at, width);
    if (word == 0) return guess;
    if ((address + at) % width == 0 && map.readable(word)) {
        guess.kind = FieldKind::Pointer;
        return guess;
    }
    if (findTextRun(bytes.subspan(at), guess.text)) {
        guess.kind = kindOf(guess.text.kind);
        return guess;
    }
    const auto low = static_cast<std::uint32_t>(word);
    if (width == 4) {
        guess.kind = halfKind(low);
        return guess;
    }
    const auto high = static_cast<std::uint32_t>(word >> 32);
    guess.low = halfKind(low);
    guess.high = halfKind(high);
    if (guess.low == FieldKind::Float && guess.high == FieldKind::Float) {
        int lowExponent = 0;
        int highExponent = 0;
        std::frexp(asFloat(low), &lowExponent);
        std::frexp(asFloat(high), &highExponent);
        if (std::abs(lowExponent - highExponent) <= 8) {
            guess.kind = FieldKind::Halves;
            return guess;
        }
    }
    if (isPlausibleDouble(asDouble(word)) && (low == 0 || !smallInt32(low))) {
        guess.kind = FieldKind::Double;
        return guess;
    }
    const auto signedWord = static_cast<std::int64_t>(word);
    const std::int64_t limit = std::int64_t{1} << 53;
    if (high != 0 && !(smallInt32(low) && smallInt32(high)) && signedWord > -limit && signedWord < limit) {
        guess.kind = FieldKind::Int64;
        return guess;
    }
    guess.kind = FieldKind::Halves;
    return guess;
}

std::vector<FieldGuess> guessFields(std::span<const unsigned char> bytes, std::span<const std::uint8_t> readable,
                                    unsigned width, std::uint64_t address, const AddressMap& map) {
    std::vector<FieldGuess> guesses(bytes.size() / width);
    std::size_t textEnd = 0;
    FieldKind textKind = FieldKind::AnsiText;
    for (std::size_t field = 0; field < guesses.size(); ++field) {
        const std::size_t at = field * width;
        FieldGuess& guess = guesses[field];
        if (at < textEnd) {
            guess.kind = FieldKind::TextContinuation;
            guess.text.kind = valueTypeOf(textKind, width);
            continue;
        }
        const auto whole = readable.subspan(at, width);
        if (std::find(whole.begin(), whole.end(), std::uint8_t{0}) != whole.end()) {
            guess.kind = FieldKind::Unreadable;
            continue;
        }
        // A text stops where the readable bytes do.
        std::size_t readableEnd = at;
        while (readableEnd < bytes.size() && readable[readableEnd]) ++readableEnd;
        guess = guessField(bytes.first(readableEnd), at, width, address, map);
        if (guess.text.bytes > 0) {
            textEnd = at + guess.text.bytes;
            textKind = guess.kind;
        }
    }
    return guesses;
}

}  // namespace corvane
