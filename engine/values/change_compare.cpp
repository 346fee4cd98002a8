#include "engine/values/change_compare.h"

#include <cstring>
#include <string>

#include "engine/values/search_value.h"
#include "engine/values/value_bytes.h"
#include "engine/values/value_parse.h"
#include "engine/values/value_text.h"

namespace corvane {
namespace {

// -1, 0 or 1 as `now` is below, equal to or above `before`; 2 when unordered (NaN).
template <typename T>
int order(T now, T before) {
    if (now < before) return -1;
    if (now > before) return 1;
    if (now == before) return 0;
    return 2;
}

bool keepsOrder(SearchCondition condition, int ordering) {
    switch (condition) {
        case SearchCondition::Unchanged: return ordering == 0;
        case SearchCondition::Changed: return ordering != 0;
        case SearchCondition::Increased: return ordering == 1;
        case SearchCondition::Decreased: return ordering == -1;
        default: return true;
    }
}

template <typename Text>
int textOrder(Text now, Text before) {
    const int c = now.compare(before);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

double floatValue(ValueType type, const unsigned char* bytes) {
    return type == ValueType::Single ? static_cast<double>(loadSingle(bytes)) : loadDouble(bytes);
}

}  // namespace

bool keepsChange(SearchCondition condition, ValueType type, std::uint8_t baseMode, const unsigned char* bytes,
                 const StoredValue& previous, const TextCodec& codec) {
    if (condition < SearchCondition::Unchanged) return true;
    // The listed text is formatted only where the comparison needs it: a
    // number listed in the kind and base in force compares by its bytes.
    std::string formatted;
    auto beforeText = [&]() -> std::string_view {
        if (previous.form() == StoredValue::Form::Text) return previous.storedText();
        formatted = previous.text();
        return formatted;
    };

    switch (type) {
        case ValueType::AnsiText: return keepsOrder(condition, textOrder(ansiText(bytes), beforeText()));
        case ValueType::Utf8Text: {
            const std::string now = utf8ValueText(bytes, codec);
            return keepsOrder(condition, textOrder(std::string_view(now), beforeText()));
        }
        case ValueType::Utf16Text: {
            char16_t units[kUtf16ReadUnits];
            const std::u16string_view now(units, utf16Units(bytes, units));
            const std::u16string wideBefore = utf16SearchText(beforeText(), codec);
            return keepsOrder(condition, textOrder(now, std::u16string_view(wideBefore)));
        }
        default: break;
    }

    const bool inForce =
        previous.form() == StoredValue::Form::Number && previous.type() == type && previous.baseMode() == baseMode;
    unsigned char previousBytes[8];
    const std::uint64_t previousRaw = previous.raw();
    std::memcpy(previousBytes, &previousRaw, sizeof previousBytes);

    if (isFloatType(type)) {
        const bool floors = ignoresDecimals(type, baseMode);
        double now = floatValue(type, bytes);
        if (floors) now = floorIgnoringDecimals(now);
        if (inForce) {
            const std::size_t width = valueReadSize(type);
            if (std::memcmp(bytes, previousBytes, width) == 0) return keepsOrder(condition, 0);
            double then = floatValue(type, previousBytes);
            if (floors) then = floorIgnoringDecimals(then);
            return keepsOrder(condition, order(now, then));
        }
        return keepsOrder(condition, order(now, parseValueText(beforeText())));
    }

    const ValueVariant variant = variantOf(type, baseMode);
    const auto width = static_cast<unsigned>(valueReadSize(type));
    const std::uint64_t bits = loadUnsigned(bytes, width);
    const bool isSigned = isSignedVariant(variant);
    if (inForce) {
        const std::uint64_t thenBits = loadUnsigned(previousBytes, width);
        return keepsOrder(
            condition, isSigned ? order(signExtend(bits, width), signExtend(thenBits, width)) : order(bits, thenBits));
    }
    const double now = isSigned ? static_cast<double>(signExtend(bits, width)) : static_cast<double>(bits);
    // A listed number knows the base its text was written in; a bare text is
    // taken to be in the base now selected.
    const bool hexadecimal = previous.form() == StoredValue::Form::Number
                                 ? isHexadecimal(previous.type(), previous.baseMode())
                                 : isHexadecimal(type, baseMode);
    const double then = hexadecimal ? parseValueText("&H" + std::string(beforeText())) : parseValueText(beforeText());
    return keepsOrder(condition, order(now, then));
}

bool ChangeTest::keepsOtherNumber(std::uint64_t raw, const StoredValue& previous) const {
    unsigned char bytes[sizeof raw];
    std::memcpy(bytes, &raw, sizeof raw);
    return keepsChange(condition_, type_, baseMode_, bytes, previous, codec_);
}

ChangeTest::ChangeTest(SearchCondition condition, ValueType type, std::uint8_t baseMode, const TextCodec& codec)
    : condition_(condition), type_(type), baseMode_(baseMode), codec_(codec) {
    if (condition < SearchCondition::Unchanged || isTextType(type) || isFloatType(type)) return;
    fastKind_ = StoredValue::kindKey(StoredValue::Form::Number, type, baseMode);
    unused_ = 64 - 8 * static_cast<unsigned>(valueReadSize(type));
    signFlip_ = isSignedVariant(variantOf(type, baseMode)) ? std::uint64_t{1} << 63 : 0;
    for (int ordering = -1; ordering <= 1; ++ordering) keeps_[ordering + 1] = keepsOrder(condition, ordering);
}

}  // namespace corvane
