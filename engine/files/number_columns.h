#pragma once

#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/text/hex_text.h"
#include "engine/values/stored_value.h"
#include "engine/values/value_bytes.h"
#include "engine/values/value_text.h"

namespace corvane {

// The number and address columns of the results file, formatted straight
// into a line's buffer, inline: a file has a million lines.

// formatNumberText with its decisions taken once for a run of values of one
// kind and base, as a store's numbers nearly always are.
class NumberText {
public:
    std::size_t format(const StoredValue& value, char* out) {
        if (value.type() != type_ || value.baseMode() != baseMode_) learn(value.type(), value.baseMode());
        const std::uint64_t bits = value.raw() & mask_;
        switch (form_) {
            case Form::Single: return formatSingle(std::bit_cast<float>(static_cast<std::uint32_t>(bits)), out);
            case Form::Double: return formatDouble(std::bit_cast<double>(bits), out);
            case Form::Hex: return putHex(bits, out);
            // As formatSigned and formatUnsigned, inline, and in 32 bits
            // where the value fits: the same digits for less work.
            case Form::Signed: return decimal(signExtend(bits, width_), out);
            case Form::Unsigned: return decimal(bits, out);
            case Form::Signed32: return decimal(static_cast<std::int32_t>(signExtend(bits, width_)), out);
            case Form::Unsigned32: return decimal(static_cast<std::uint32_t>(bits), out);
            case Form::None: break;
        }
        return 0;
    }

private:
    enum class Form : std::uint8_t { None, Single, Double, Hex, Signed, Unsigned, Signed32, Unsigned32 };

    template <typename T>
    static std::size_t decimal(T value, char* out) {
        return static_cast<std::size_t>(std::to_chars(out, out + kMaxNumberTextLength, value).ptr - out);
    }

    void learn(ValueType type, std::uint8_t baseMode) {
        type_ = type;
        baseMode_ = baseMode;
        const ValueVariant variant = variantOf(type, baseMode);
        width_ = integerWidth(variant);
        mask_ = width_ >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * width_)) - 1;
        if (variant == ValueVariant::Single) {
            form_ = Form::Single;
            mask_ = 0xFFFFFFFF;
        } else if (variant == ValueVariant::Double) {
            form_ = Form::Double;
            mask_ = ~std::uint64_t{0};
        } else if (width_ == 0) {
            form_ = Form::None;
        } else if (isHexadecimal(type, baseMode)) {
            form_ = Form::Hex;
        } else if (width_ <= 4) {
            form_ = isSignedVariant(variant) ? Form::Signed32 : Form::Unsigned32;
        } else {
            form_ = isSignedVariant(variant) ? Form::Signed : Form::Unsigned;
        }
    }

    // No kind has this base: the first value sets them.
    ValueType type_ = ValueType::Byte;
    std::uint8_t baseMode_ = 254;
    Form form_ = Form::None;
    unsigned width_ = 0;
    std::uint64_t mask_ = 0;
};

// putHex for a column whose neighbouring values share their first eight
// digits, as the addresses of a block do: those are formatted once.
class HexColumn {
public:
    std::size_t put(std::uint64_t value, char* out) {
        const std::size_t length = hexLength(value);
        if (length <= 8) return putHex(value, out);
        value <<= 4 * (kMaxHexDigits - length);
        const auto first = static_cast<std::uint32_t>(value >> 32);
        if (first != first_ || !known_) {
            first_ = first;
            known_ = true;
            putHexWord(first, firstText_);
        }
        std::memcpy(out, firstText_, sizeof firstText_);
        putHexWord(static_cast<std::uint32_t>(value), out + 8);
        return length;
    }

private:
    std::uint32_t first_ = 0;
    bool known_ = false;
    char firstText_[8] = {};
};

}  // namespace corvane
