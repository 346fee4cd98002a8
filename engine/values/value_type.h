#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// The kinds of value the type selector offers, in the order of its items; the
// index is also what the settings file stores.
enum class ValueType : std::uint8_t {
    Byte,
    Short,
    Long,
    Int64,
    Single,
    Double,
    AnsiText,
    Utf16Text,
    Utf8Text,
};

inline constexpr std::uint8_t kValueTypeCount = 9;

// `baseMode` of the text kinds: their base selector has no items.
inline constexpr std::uint8_t kNoBaseMode = 255;

// Bytes a text kind reads at its address; the UTF-16 kind reads 128 units.
inline constexpr std::size_t kTextReadSize = 256;
inline constexpr std::size_t kUtf16ReadUnits = kTextReadSize / 2;

// What a value type becomes under a base selection. Every pass provides one
// routine per variant: it fixes how the bytes read are interpreted and
// compared (signed or unsigned).
enum class ValueVariant : std::uint8_t {
    Byte,
    ShortSigned,
    ShortUnsigned,
    LongSigned,
    LongUnsigned,
    Int64Signed,
    Int64Unsigned,
    Single,
    Double,
    AnsiText,
    Utf16Text,
    Utf8Text,
};

// The condition selector's items by index, as the settings file stores them.
// The last four compare with the value listed before and exist only for the
// next search.
enum class SearchCondition : std::uint8_t {
    None,       // 不过滤
    AtLeast,    // 大于等于
    Equal,      // 等于
    AtMost,     // 小于等于
    NotEqual,   // 不等于
    Between,    // 两者之间
    Contains,   // 包含字符
    Unchanged,  // 保留没有改变的数值*
    Changed,    // 保留改变了的数值*
    Increased,  // 保留增加的数值*
    Decreased,  // 保留减少的数值*
};

inline constexpr std::uint8_t kSearchConditionCount = 11;

constexpr bool isIntegerType(ValueType type) { return type <= ValueType::Int64; }
constexpr bool isFloatType(ValueType type) { return type == ValueType::Single || type == ValueType::Double; }
constexpr bool isTextType(ValueType type) { return type >= ValueType::AnsiText; }

// Bytes read at a value's address: 1, 2, 4, 8, 4, 8, then 256 for the texts.
constexpr std::size_t valueReadSize(ValueType type) {
    switch (type) {
        case ValueType::Byte: return 1;
        case ValueType::Short: return 2;
        case ValueType::Long: return 4;
        case ValueType::Int64: return 8;
        case ValueType::Single: return 4;
        case ValueType::Double: return 8;
        case ValueType::AnsiText:
        case ValueType::Utf16Text:
        case ValueType::Utf8Text: return kTextReadSize;
    }
    return 0;
}

// Integer kinds read and write hexadecimal only with `baseMode` 1.
bool isHexadecimal(ValueType type, std::uint8_t baseMode);

// Single and double compare floored values only with `baseMode` 0.
bool ignoresDecimals(ValueType type, std::uint8_t baseMode);

ValueVariant variantOf(ValueType type, std::uint8_t baseMode);

// The integer variants that compare and print signed.
bool isSignedVariant(ValueVariant variant);

// Bytes of an integer variant (1, 2, 4 or 8); 0 for the others.
unsigned integerWidth(ValueVariant variant);

}  // namespace corvane
