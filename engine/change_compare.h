#pragma once

#include <cstdint>
#include <cstring>

#include "engine/stored_value.h"
#include "engine/text_codec.h"
#include "engine/value_type.h"

namespace corvane {

// The change conditions of the next search (unchanged, changed, increased,
// decreased): the value just read, as `bytes` of `type`, against the value
// listed before. Where the listed value was read in the kind and base now in
// force it is compared exactly, in the kind's own domain: a single whose text
// does not convert back to the same number, or a 64-bit value beyond double
// precision, must not count as changed when its bits did not change. Any other
// listed value is compared through its text, read back as a number in the
// base it was written in (or as text for the text kinds).
bool keepsChange(SearchCondition condition, ValueType type, std::uint8_t baseMode, const unsigned char* bytes,
                 const StoredValue& previous, const TextCodec& codec);

// keepsChange for one pass: the integer kinds compared with a value listed
// in the same kind and base, which is what a pass over a million results
// mostly meets, are decided inline; everything else goes to keepsChange.
class ChangeTest {
public:
    ChangeTest(SearchCondition condition, ValueType type, std::uint8_t baseMode, const TextCodec& codec);

    bool keeps(const unsigned char* bytes, const StoredValue& previous) const {
        if (width_ != 0 && inForce(previous)) return keepsOrdering(ordering(load(bytes), previous.raw() & mask_));
        return keepsChange(condition_, type_, baseMode_, bytes, previous, codec_);
    }
    // The same for a number kind's value as StoredValue::rawOf gives it.
    bool keepsNumber(std::uint64_t raw, const StoredValue& previous) const {
        if (width_ != 0 && inForce(previous)) return keepsOrdering(ordering(raw, previous.raw() & mask_));
        unsigned char bytes[sizeof raw];
        std::memcpy(bytes, &raw, sizeof raw);
        return keepsChange(condition_, type_, baseMode_, bytes, previous, codec_);
    }

private:
    bool inForce(const StoredValue& previous) const {
        return previous.form() == StoredValue::Form::Number && previous.type() == type_ &&
               previous.baseMode() == baseMode_;
    }
    int ordering(std::uint64_t now, std::uint64_t then) const {
        if (signed_) {
            const std::int64_t a = extend(now), b = extend(then);
            return a < b ? -1 : (a > b ? 1 : 0);
        }
        return now < then ? -1 : (now > then ? 1 : 0);
    }
    bool keepsOrdering(int ordering) const {
        switch (condition_) {
            case SearchCondition::Unchanged: return ordering == 0;
            case SearchCondition::Changed: return ordering != 0;
            case SearchCondition::Increased: return ordering == 1;
            case SearchCondition::Decreased: return ordering == -1;
            default: return true;
        }
    }
    std::uint64_t load(const unsigned char* bytes) const {
        switch (width_) {
            case 1: return bytes[0];
            case 2: return loadAs<std::uint16_t>(bytes);
            case 4: return loadAs<std::uint32_t>(bytes);
            default: return loadAs<std::uint64_t>(bytes);
        }
    }
    template <typename T>
    static std::uint64_t loadAs(const unsigned char* bytes) {
        T v;
        std::memcpy(&v, bytes, sizeof v);
        return v;
    }
    std::int64_t extend(std::uint64_t bits) const { return static_cast<std::int64_t>(bits << unused_) >> unused_; }

    SearchCondition condition_;
    ValueType type_;
    std::uint8_t baseMode_;
    const TextCodec& codec_;
    unsigned width_ = 0;  // 0: not an integer kind, always keepsChange
    unsigned unused_ = 0;
    std::uint64_t mask_ = 0;
    bool signed_ = false;
};

}  // namespace corvane
