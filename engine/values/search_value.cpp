#include "engine/values/search_value.h"

#include <cmath>
#include <limits>

#include "engine/values/value_parse.h"

namespace corvane {
namespace {

constexpr double kTwoTo31 = 2147483648.0;
constexpr double kTwoTo52 = 4503599627370496.0;
constexpr double kTwoTo63 = 9223372036854775808.0;

bool startsWithHexPrefix(std::string_view text) {
    return text.size() >= 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h');
}

// Rounds to single precision; beyond the largest single the rounding gives
// infinity, as the conversion instruction does, which C++ leaves undefined.
double toSinglePrecision(double value) {
    constexpr double kRoundsToInfinity = 0x1.ffffffp127;
    if (std::fabs(value) >= kRoundsToInfinity) return std::copysign(HUGE_VAL, value);
    return static_cast<float>(value);
}

std::uint64_t cutToWidth(std::uint64_t value, unsigned width) {
    return width >= 8 ? value : value & ((std::uint64_t{1} << (8 * width)) - 1);
}

}  // namespace

std::string searchNumberText(ValueType type, std::uint8_t baseMode, std::string_view text) {
    if (isHexadecimal(type, baseMode) && !startsWithHexPrefix(text)) {
        std::string prefixed = "&H";
        prefixed += text;
        return prefixed;
    }
    return std::string(text);
}

double roundHalfToEven(double value) {
    // From 2^52 up every double is whole; NaN and infinities fall through too.
    if (!(std::fabs(value) < kTwoTo52)) return value;
    const double below = std::floor(value);
    const double fraction = value - below;  // exact in this range
    if (fraction > 0.5) return below + 1.0;
    if (fraction < 0.5) return below;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

std::int32_t toInt32(double value) {
    if (!(value >= -kTwoTo31 && value < kTwoTo31)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::int64_t toInt64(double value) {
    if (!(value >= -kTwoTo63 && value < kTwoTo63)) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

std::uint64_t toUint64(double value) {
    constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;
    if (value >= kTwoTo63) return static_cast<std::uint64_t>(toInt64(value - kTwoTo63)) | kTopBit;
    return static_cast<std::uint64_t>(toInt64(value));
}

std::uint64_t integerSearchBits(ValueVariant variant, double parsed) {
    const double whole = roundHalfToEven(parsed);
    switch (variant) {
        case ValueVariant::Byte:
        case ValueVariant::ShortSigned:
        case ValueVariant::ShortUnsigned:
        case ValueVariant::LongSigned:
            return cutToWidth(static_cast<std::uint32_t>(toInt32(whole)), integerWidth(variant));
        case ValueVariant::LongUnsigned: return cutToWidth(static_cast<std::uint64_t>(toInt64(whole)), 4);
        case ValueVariant::Int64Signed: return static_cast<std::uint64_t>(toInt64(whole));
        case ValueVariant::Int64Unsigned: return toUint64(whole);
        default: return 0;
    }
}

double floorIgnoringDecimals(double value) { return std::floor(value); }

std::u16string utf16SearchText(std::string_view text, const TextCodec& codec) {
    std::u16string converted;
    if (codec.toUtf16(text, CodePage::Ansi, converted)) return converted;
    converted.clear();
    converted.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        converted.push_back(byte < 0x80 ? char16_t{byte} : u'?');
    }
    return converted;
}

SearchValue makeSearchValue(ValueType type, std::uint8_t baseMode, std::string_view text, const TextCodec& codec) {
    SearchValue value;
    const ValueVariant variant = variantOf(type, baseMode);
    if (isIntegerType(type)) {
        value.bits = integerSearchBits(variant, parseValueText(searchNumberText(type, baseMode, text)));
    } else if (type == ValueType::Single) {
        value.number = toSinglePrecision(parseValueText(text));
    } else if (type == ValueType::Double) {
        value.number = parseValueText(text);
    } else if (type == ValueType::Utf16Text) {
        value.wideText = utf16SearchText(text, codec);
    } else {
        value.text = std::string(text);
    }
    return value;
}

}  // namespace corvane
