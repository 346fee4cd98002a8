#include "engine/values/change_compare.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/engine/fake_text_codec.h"

namespace corvane {
namespace {

// The per-pass test decides inline what keepsChange decides: every integer
// kind and base, every change condition, listed values in the kind in force,
// in another kind or base, and listed as text, around the sign boundaries.
TEST(ChangeTest, DecidesAsKeepsChangeForEveryKindBaseAndListing) {
    FakeTextCodec codec;
    const std::uint64_t samples[] = {0,
                                     1,
                                     0x7F,
                                     0x80,
                                     0xFF,
                                     0x7FFF,
                                     0x8000,
                                     0xFFFF,
                                     0x7FFFFFFF,
                                     0x80000000,
                                     0xFFFFFFFF,
                                     0x7FFFFFFFFFFFFFFF,
                                     0x8000000000000000,
                                     ~std::uint64_t{0},
                                     0x1234567890ABCDEF};
    const ValueType kinds[] = {ValueType::Byte,   ValueType::Short,  ValueType::Long,    ValueType::Int64,
                               ValueType::Single, ValueType::Double, ValueType::AnsiText};
    const SearchCondition conditions[] = {SearchCondition::Unchanged, SearchCondition::Changed,
                                          SearchCondition::Increased, SearchCondition::Decreased};
    std::size_t checked = 0;
    for (const ValueType type : kinds)
        for (std::uint8_t baseMode = 0; baseMode < 3; ++baseMode)
            for (const SearchCondition condition : conditions) {
                const std::uint8_t base = isTextType(type) ? kNoBaseMode : baseMode;
                const ChangeTest change(condition, type, base, codec);
                for (const std::uint64_t now : samples)
                    for (const std::uint64_t then : samples) {
                        unsigned char bytes[kTextReadSize] = {};
                        std::memcpy(bytes, &now, sizeof now);
                        unsigned char before[8];
                        std::memcpy(before, &then, sizeof then);
                        const StoredValue listed[] = {
                            StoredValue::number(type, base, before),
                            StoredValue::number(type, static_cast<std::uint8_t>((base + 1) % 3), before),
                            StoredValue::number(ValueType::Int64, 0, before),
                            StoredValue::text(std::to_string(then % 1000)),
                        };
                        for (const StoredValue& previous : listed) {
                            SCOPED_TRACE("kind " + std::to_string(static_cast<int>(type)) + " base " +
                                         std::to_string(base) + " condition " +
                                         std::to_string(static_cast<int>(condition)) + " now " + std::to_string(now) +
                                         " listed " + previous.text());
                            ASSERT_EQ(change.keeps(bytes, previous),
                                      keepsChange(condition, type, base, bytes, previous, codec));
                            ++checked;
                        }
                    }
            }
    EXPECT_GT(checked, 10000u);
}

}  // namespace
}  // namespace corvane
