#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "engine/values/search_value.h"
#include "engine/values/stored_value.h"
#include "engine/text/text_codec.h"
#include "engine/values/value_type.h"

namespace corvane {

// The condition of one pass, prepared once from the selections and the two
// search texts and then tested against every value read. Numeric kinds are
// tested without any allocation; the text kinds convert what they must.
//
// Conditions 0 and 6 keep every numeric value; 6 keeps a text containing
// value 1. The change conditions 7 to 10 need the value listed before, which
// only the next search has: here they keep everything, as condition 0 does.
class ValueFilter {
public:
    ValueFilter(ValueType type, std::uint8_t baseMode, SearchCondition condition, std::string_view text1,
                std::string_view text2, const TextCodec& codec);

    ValueType type() const { return type_; }
    std::uint8_t baseMode() const { return baseMode_; }
    SearchCondition condition() const { return condition_; }

    // True when every value read passes: 不过滤, the change conditions of a
    // first search, 包含字符 for the number kinds.
    bool keepsAll() const { return keepsAll_; }
    // Bytes to read at each address and to pass to the members below.
    std::size_t readSize() const { return valueReadSize(type_); }

    // Inline for the integer kinds and the conditions that keep everything:
    // the first search tests a million values this way.
    bool matches(const unsigned char* bytes) const {
        if (keepsAll_) return true;
        if (width_ == 0) return matchesOther(bytes);
        // Fixed-size loads: a copy of a variable size would be a call, and
        // its bytes would reach the compare only through memory.
        std::uint64_t key;
        switch (width_) {
            case 1: key = bytes[0]; break;
            case 2: key = load<std::uint16_t>(bytes); break;
            case 4: key = load<std::uint32_t>(bytes); break;
            default: key = load<std::uint64_t>(bytes); break;
        }
        if (signed_)
            key = (key << unused_) ^ kSignBit;  // the sign bit flipped: unsigned order is signed order
        else
            key <<= unused_;
        switch (condition_) {
            case SearchCondition::AtLeast: return key >= key1_;
            case SearchCondition::Equal: return key == key1_;
            case SearchCondition::AtMost: return key <= key1_;
            case SearchCondition::NotEqual: return key != key1_;
            case SearchCondition::Between: return !(key < key1_) && !(key > key2_);
            default: return true;
        }
    }

    // The first of `count` values, `step` bytes apart from `bytes` on, that
    // matches, or `count` when none does: the test of a run of leaves read
    // in one window, its kind and condition decided once for the whole run.
    std::size_t firstMatch(const unsigned char* bytes, std::ptrdiff_t step, std::size_t count) const;

    // The integer kinds' test as one range of order keys: a value matches
    // when its key k (its bytes moved to the top of the word, the sign bit
    // flipped for the signed kinds) has (k - low <= span) != outside. A scan
    // over millions of values takes the kind and the condition out of its
    // loop this way. Nothing for the kinds and conditions keys do not decide.
    struct KeyRange {
        unsigned width = 0;
        unsigned unused = 0;
        std::uint64_t flip = 0;
        std::uint64_t low = 0;
        std::uint64_t span = ~std::uint64_t{0};
        bool outside = false;
    };
    std::optional<KeyRange> keyRange() const;

    // The value text of the bytes read, unfloored.
    std::string valueText(const unsigned char* bytes) const;
    // The value as a result keeps it: numbers as read, texts as text.
    StoredValue storedValue(const unsigned char* bytes) const {
        if (isTextType(type_)) return StoredValue::text(valueText(bytes));
        return StoredValue::number(type_, baseMode_, bytes);
    }
    // The same into `out`, in place for numbers.
    void storeValue(const unsigned char* bytes, StoredValue& out) const {
        if (isTextType(type_))
            out = StoredValue::text(valueText(bytes));
        else
            out.setNumber(type_, baseMode_, bytes);
    }

private:
    static constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
    template <typename T>
    static std::uint64_t load(const unsigned char* bytes) {
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    bool matchesOther(const unsigned char* bytes) const;
    bool matchesFloat(const unsigned char* bytes) const;
    template <typename Text>
    bool matchesText(Text text, Text value1, Text value2) const;

    ValueType type_;
    std::uint8_t baseMode_;
    ValueVariant variant_;
    SearchCondition condition_;
    bool floors_;
    const TextCodec& codec_;
    bool keepsAll_ = false;
    unsigned width_ = 0;   // of an integer kind; 0 for the others
    unsigned unused_ = 0;  // 64 - 8 * width_: keys are shifted to the top
    bool signed_ = false;
    // Integers as order keys, shifted to the top bits: unsigned order of the
    // keys is the variant's order of the values.
    std::uint64_t key1_ = 0;
    std::uint64_t key2_ = 0;
    double number1_ = 0.0;
    double number2_ = 0.0;
    // What the float kinds' values must lie within to match (NaN aside).
    double floatLow_ = -std::numeric_limits<double>::infinity();
    double floatHigh_ = std::numeric_limits<double>::infinity();
    // The same bounds as the single kind's own floats, the nearest ones
    // inside: a single compares with them exactly as its double does with
    // the bounds above, and a run of singles is tested without widening.
    float singleLow_ = -std::numeric_limits<float>::infinity();
    float singleHigh_ = std::numeric_limits<float>::infinity();
    SearchValue value1_;
    SearchValue value2_;
};

}  // namespace corvane
