#include "engine/values/value_type.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

struct TypeCase {
    ValueType type;
    std::size_t readSize;
    ValueVariant decimal;  // baseMode 0
    ValueVariant hex;      // baseMode 1
};

TEST(ValueType, ReadSizesAndVariantsPerBase) {
    using V = ValueVariant;
    const TypeCase cases[] = {
        {ValueType::Byte, 1, V::Byte, V::Byte},
        {ValueType::Short, 2, V::ShortSigned, V::ShortUnsigned},
        {ValueType::Long, 4, V::LongSigned, V::LongUnsigned},
        {ValueType::Int64, 8, V::Int64Signed, V::Int64Unsigned},
        {ValueType::Single, 4, V::Single, V::Single},
        {ValueType::Double, 8, V::Double, V::Double},
        {ValueType::AnsiText, 256, V::AnsiText, V::AnsiText},
        {ValueType::Utf16Text, 256, V::Utf16Text, V::Utf16Text},
        {ValueType::Utf8Text, 256, V::Utf8Text, V::Utf8Text},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(valueReadSize(c.type), c.readSize) << int(c.type);
        EXPECT_EQ(variantOf(c.type, 0), c.decimal) << int(c.type);
        EXPECT_EQ(variantOf(c.type, 1), c.hex) << int(c.type);
    }
}

}  // namespace
}  // namespace corvane
