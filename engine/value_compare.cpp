#include "engine/value_compare.h"

#include "engine/value_bytes.h"
#include "engine/value_text.h"

namespace corvane {
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
    keepsAll_ = condition_ == SearchCondition::None || condition_ > SearchCondition::Contains ||
                (condition_ == SearchCondition::Contains && !isTextType(type));
    if (isIntegerType(type)) {
        width_ = integerWidth(variant_);
        unused_ = 64 - 8 * width_;
        signed_ = isSignedVariant(variant_);
        // The same keys as matches() makes of the values read.
        const std::uint64_t flip = signed_ ? kSignBit : 0;
        key1_ = (value1_.bits << unused_) ^ flip;
        key2_ = (value2_.bits << unused_) ^ flip;
    }
    number1_ = floors_ ? floorIgnoringDecimals(value1_.number) : value1_.number;
    number2_ = floors_ ? floorIgnoringDecimals(value2_.number) : value2_.number;
}

std::optional<ValueFilter::KeyRange> ValueFilter::keyRange() const {
    if (width_ == 0) return std::nullopt;
    KeyRange range{width_, unused_, signed_ ? kSignBit : 0};
    if (keepsAll_) return range;
    switch (condition_) {
        case SearchCondition::AtLeast:
            range.low = key1_;
            range.span = ~key1_;
            break;
        case SearchCondition::Equal:
            range.low = key1_;
            range.span = 0;
            break;
        case SearchCondition::AtMost: range.span = key1_; break;
        case SearchCondition::NotEqual:
            range.low = key1_;
            range.span = 0;
            range.outside = true;
            break;
        case SearchCondition::Between:
            // Bounds the wrong way round keep nothing: everything is outside.
            if (key2_ < key1_) {
                range.outside = true;
                break;
            }
            range.low = key1_;
            range.span = key2_ - key1_;
            break;
        default: return std::nullopt;
    }
    return range;
}

bool ValueFilter::matchesOther(const unsigned char* bytes) const {
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
    return matchesFloat(bytes);
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
