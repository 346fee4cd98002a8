#include "engine/values/value_compare.h"

#include <cmath>
#include <limits>
#include <type_traits>

#include "engine/values/value_bytes.h"
#include "engine/values/value_text.h"

namespace corvane {
namespace {

// The float nearest `bound` on its inside: the least single not below it
// (`low`) or the greatest not above it. NaN stays NaN, which bounds nothing.
float singleBound(double bound, bool low) {
    constexpr double kMax = std::numeric_limits<float>::max();
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    if (std::isnan(bound) || std::isinf(bound)) return static_cast<float>(bound);
    if (bound > kMax) return low ? kInfinity : std::numeric_limits<float>::max();
    if (bound < -kMax) return low ? std::numeric_limits<float>::lowest() : -kInfinity;
    float single = static_cast<float>(bound);
    if (low && static_cast<double>(single) < bound) single = std::nextafter(single, kInfinity);
    if (!low && static_cast<double>(single) > bound) single = std::nextafter(single, -kInfinity);
    return single;
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
    // Bounds no matching float lies outside. A floored value lies below its
    // floor plus one, and so does every value whose floor is at most a bound.
    switch (condition_) {
        case SearchCondition::AtLeast: floatLow_ = number1_; break;
        case SearchCondition::Equal: floatLow_ = floatHigh_ = number1_; break;
        case SearchCondition::AtMost: floatHigh_ = number1_; break;
        case SearchCondition::Between:
            floatLow_ = number1_;
            floatHigh_ = number2_;
            break;
        default: break;
    }
    if (floors_) floatHigh_ += 1.0;
    singleLow_ = singleBound(floatLow_, true);
    singleHigh_ = singleBound(floatHigh_, false);
}

namespace {

// An unsigned word as wide as T.
template <typename T>
using LaneWord = std::conditional_t<
    sizeof(T) == 8, std::uint64_t,
    std::conditional_t<sizeof(T) == 4, std::uint32_t, std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint8_t>>>;

// The first of `count` values of type T, `step` bytes apart, that `test`
// keeps, or `count`. The loop holds nothing but the load and the test;
// values that lie side by side are tested a group at a time without a
// branch, each test ORed into a word as wide as the value: the form the
// compiler makes vector code of wherever the machine compares such lanes.
// Tests combine their parts with & rather than &&, for the same reason.
template <typename T, typename Test>
std::size_t firstKept(const unsigned char* bytes, std::ptrdiff_t step, std::size_t count, Test test) {
    std::size_t i = 0;
    if (step == static_cast<std::ptrdiff_t>(sizeof(T))) {
        constexpr std::size_t kGroup = 64;
        for (; i + kGroup <= count; i += kGroup) {
            const unsigned char* group = bytes + i * sizeof(T);
            LaneWord<T> hits = 0;
            for (std::size_t j = 0; j < kGroup; ++j) {
                T raw;
                std::memcpy(&raw, group + j * sizeof(T), sizeof raw);
                hits |= static_cast<LaneWord<T>>(test(raw));
            }
            if (hits != 0) break;
        }
    }
    // The group holding the first match, the rest of a run, or a run of
    // values apart.
    for (const unsigned char* at = bytes + static_cast<std::ptrdiff_t>(i) * step; i < count; ++i, at += step) {
        T raw;
        std::memcpy(&raw, at, sizeof raw);
        if (test(raw)) return i;
    }
    return count;
}

// The first of `count` integers of type T whose key (its bits with `flip`
// applied, so that unsigned order is the kind's order) lies in
// [low, low + span], or with NotEqual differs from `low`.
template <typename T, bool NotEqual>
std::size_t firstKeyMatch(const unsigned char* bytes, std::ptrdiff_t step, std::size_t count, T flip, T low, T span) {
    // Without a compare of eight-byte lanes, one eight-byte value is looked
    // for as its two four-byte halves side by side.
    if constexpr (sizeof(T) == 8)
        if (span == 0 && step == 8) {
            const T value = low ^ flip;
            const auto lowHalf = static_cast<std::uint32_t>(value);
            const auto highHalf = static_cast<std::uint32_t>(value >> 32);
            return firstKept<std::uint64_t>(bytes, step, count, [=](std::uint64_t raw) {
                const bool equal =
                    (static_cast<std::uint32_t>(raw) == lowHalf) & (static_cast<std::uint32_t>(raw >> 32) == highHalf);
                return equal != NotEqual;
            });
        }
    return firstKept<T>(bytes, step, count, [=](T raw) {
        const auto key = static_cast<T>(raw ^ flip);
        if constexpr (NotEqual)
            return key != low;
        else
            return static_cast<T>(key - low) <= span;
    });
}

// The keys of ValueFilter are shifted to the top of a word; here they are
// taken at the width of the values themselves.
template <bool NotEqual>
std::size_t firstKeyMatch(unsigned width, const unsigned char* bytes, std::ptrdiff_t step, std::size_t count,
                          unsigned unused, std::uint64_t flip, std::uint64_t low, std::uint64_t span) {
    auto run = [&]<typename T>(T) {
        return firstKeyMatch<T, NotEqual>(bytes, step, count, static_cast<T>(flip >> unused),
                                          static_cast<T>(low >> unused), static_cast<T>(span >> unused));
    };
    switch (width) {
        case 1: return run(std::uint8_t{});
        case 2: return run(std::uint16_t{});
        case 4: return run(std::uint32_t{});
        default: return run(std::uint64_t{});
    }
}

// The first of `count` floats of type F that does not lie outside
// [low, high]; NaN lies outside nothing.
template <typename F>
std::size_t firstInside(const unsigned char* bytes, std::ptrdiff_t step, std::size_t count, F low, F high) {
    return firstKept<F>(bytes, step, count, [=](F value) { return !(value < low) & !(value > high); });
}

}  // namespace

std::size_t ValueFilter::firstMatch(const unsigned char* bytes, std::ptrdiff_t step, std::size_t count) const {
    if (keepsAll_ || count == 0) return 0;
    if (isFloatType(type_) && condition_ != SearchCondition::NotEqual) {
        // Only a value in the bounds can match; the test itself decides.
        auto inside = [&](const unsigned char* at, std::size_t left) {
            return type_ == ValueType::Single ? firstInside<float>(at, step, left, singleLow_, singleHigh_)
                                              : firstInside<double>(at, step, left, floatLow_, floatHigh_);
        };
        for (std::size_t i = 0; i < count; ++i) {
            i += inside(bytes + static_cast<std::ptrdiff_t>(i) * step, count - i);
            if (i < count && matchesFloat(bytes + static_cast<std::ptrdiff_t>(i) * step)) return i;
        }
        return count;
    }
    if (width_ == 0) {
        for (std::size_t i = 0; i < count; ++i, bytes += step)
            if (matchesOther(bytes)) return i;
        return count;
    }
    const std::optional<KeyRange> range = keyRange();
    if (!range) return 0;
    if (!range->outside)
        return firstKeyMatch<false>(width_, bytes, step, count, unused_, range->flip, range->low, range->span);
    // Outside one key is 不等于; outside every key, bounds the wrong way round.
    if (range->span != 0) return count;
    return firstKeyMatch<true>(width_, bytes, step, count, unused_, range->flip, range->low, 0);
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
