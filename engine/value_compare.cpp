#include "engine/value_compare.h"

#include "engine/value_bytes.h"
#include "engine/value_text.h"

namespace corvane {
namespace {

constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;

// A sign-extended value with its sign bit flipped compares unsigned in the
// order of the signed values, so one unsigned compare serves every variant.
std::uint64_t orderKey(std::uint64_t bits, ValueVariant variant) {
    const unsigned width = integerWidth(variant);
    if (!isSignedVariant(variant)) return bits;
    return static_cast<std::uint64_t>(signExtend(bits, width)) ^ kTopBit;
}

}  // namespace

ValueFilter::ValueFilter(ValueType type, std::uint8_t baseMode, SearchCondition condition, std::string_view text1,
                         std::string_view text2, const TextCodec& codec)
    : type_(type),
      baseMode_(baseMode),
      variant_(variantOf(type, baseMode)),
      condition_(condition),
      floors_(ignoresDecimals(type, baseMode)),
      codec_(codec),
      value1_(makeSearchValue(type, baseMode, text1, codec)),
      value2_(makeSearchValue(type, baseMode, text2, codec)) {
    if (isIntegerType(type)) {
        key1_ = orderKey(value1_.bits, variant_);
        key2_ = orderKey(value2_.bits, variant_);
    }
    number1_ = floors_ ? floorIgnoringDecimals(value1_.number) : value1_.number;
    number2_ = floors_ ? floorIgnoringDecimals(value2_.number) : value2_.number;
}

bool ValueFilter::matches(const unsigned char* bytes) const {
    if (condition_ == SearchCondition::None || condition_ > SearchCondition::Contains) return true;
    switch (type_) {
        case ValueType::AnsiText:
            return matchesText(ansiText(bytes), std::string_view(value1_.text), std::string_view(value2_.text));
        case ValueType::Utf16Text: {
            char16_t units[kUtf16ReadUnits];
            const std::u16string_view text(units, utf16Units(bytes, units));
            return matchesText(text, std::u16string_view(value1_.wideText), std::u16string_view(value2_.wideText));
        }
        case ValueType::Utf8Text: {
            const std::string text = utf8ValueText(bytes, codec_);
            return matchesText(std::string_view(text), std::string_view(value1_.text), std::string_view(value2_.text));
        }
        default: break;
    }
    if (condition_ == SearchCondition::Contains) return true;
    return isFloatType(type_) ? matchesFloat(bytes) : matchesInteger(bytes);
}

bool ValueFilter::matchesInteger(const unsigned char* bytes) const {
    const std::uint64_t key = orderKey(loadUnsigned(bytes, integerWidth(variant_)), variant_);
    switch (condition_) {
        case SearchCondition::AtLeast: return key >= key1_;
        case SearchCondition::Equal: return key == key1_;
        case SearchCondition::AtMost: return key <= key1_;
        case SearchCondition::NotEqual: return key != key1_;
        case SearchCondition::Between: return !(key < key1_) && !(key > key2_);
        default: return true;
    }
}

// Written so that NaN fails the ordered tests but passes "not equal" and
// "between", which only reject a value below value 1 or above value 2.
bool ValueFilter::matchesFloat(const unsigned char* bytes) const {
    double value = type_ == ValueType::Single ? static_cast<double>(loadSingle(bytes)) : loadDouble(bytes);
    if (floors_) value = floorIgnoringDecimals(value);
    switch (condition_) {
        case SearchCondition::AtLeast: return value >= number1_;
        case SearchCondition::Equal: return value == number1_;
        case SearchCondition::AtMost: return value <= number1_;
        case SearchCondition::NotEqual: return !(value == number1_);
        case SearchCondition::Between: return !(value < number1_) && !(value > number2_);
        default: return true;
    }
}

// Text order is unsigned unit by unit, then the shorter text first; the
// string views of char compare as unsigned char, those of char16_t unsigned.
template <typename Text>
bool ValueFilter::matchesText(Text text, Text value1, Text value2) const {
    switch (condition_) {
        case SearchCondition::AtLeast: return text >= value1;
        case SearchCondition::Equal: return text == value1;
        case SearchCondition::AtMost: return text <= value1;
        case SearchCondition::NotEqual: return text != value1;
        case SearchCondition::Between: return text >= value1 && text <= value2;
        case SearchCondition::Contains: return !value1.empty() && text.find(value1) != Text::npos;
        default: return true;
    }
}

std::string ValueFilter::valueText(const unsigned char* bytes) const {
    return corvane::valueText(type_, baseMode_, bytes, codec_);
}

}  // namespace corvane
