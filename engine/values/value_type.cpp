#include "engine/values/value_type.h"

namespace corvane {

// Only the selector's item 1 switches the mode. Any other index, such as the
// 255 of an empty selector, keeps item 0's meaning for the integer kinds; for
// single and double the floor is applied only when item 0 is really chosen.
bool isHexadecimal(ValueType type, std::uint8_t baseMode) { return isIntegerType(type) && baseMode == 1; }

bool ignoresDecimals(ValueType type, std::uint8_t baseMode) { return isFloatType(type) && baseMode == 0; }

ValueVariant variantOf(ValueType type, std::uint8_t baseMode) {
    const bool hex = isHexadecimal(type, baseMode);
    switch (type) {
        case ValueType::Byte: return ValueVariant::Byte;
        case ValueType::Short: return hex ? ValueVariant::ShortUnsigned : ValueVariant::ShortSigned;
        case ValueType::Long: return hex ? ValueVariant::LongUnsigned : ValueVariant::LongSigned;
        case ValueType::Int64: return hex ? ValueVariant::Int64Unsigned : ValueVariant::Int64Signed;
        case ValueType::Single: return ValueVariant::Single;
        case ValueType::Double: return ValueVariant::Double;
        case ValueType::AnsiText: return ValueVariant::AnsiText;
        case ValueType::Utf16Text: return ValueVariant::Utf16Text;
        case ValueType::Utf8Text: return ValueVariant::Utf8Text;
    }
    return ValueVariant::Byte;
}

bool isSignedVariant(ValueVariant variant) {
    switch (variant) {
        case ValueVariant::ShortSigned:
        case ValueVariant::LongSigned:
        case ValueVariant::Int64Signed: return true;
        default: return false;
    }
}

unsigned integerWidth(ValueVariant variant) {
    switch (variant) {
        case ValueVariant::Byte: return 1;
        case ValueVariant::ShortSigned:
        case ValueVariant::ShortUnsigned: return 2;
        case ValueVariant::LongSigned:
        case ValueVariant::LongUnsigned: return 4;
        case ValueVariant::Int64Signed:
        case ValueVariant::Int64Unsigned: return 8;
        default: return 0;
    }
}

}  // namespace corvane
