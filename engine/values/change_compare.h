#pragma once

#include <cstdint>

#include "engine/values/stored_value.h"
#include "engine/text/text_codec.h"
#include "engine/values/value_type.h"

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
        if (previous.kindKey() == fastKind_) return keepsOrdering(StoredValue::rawOf(type_, bytes), previous.raw());
        return keepsChange(condition_, type_, baseMode_, bytes, previous, codec_);
    }
    // The same for a number kind's value as StoredValue::rawOf gives it.
    bool keepsNumber(std::uint64_t raw, const StoredValue& previous) const {
        if (previous.kindKey() == fastKind_) [[likely]]
            return keepsOrdering(raw, previous.raw());
        return keepsOtherNumber(raw, previous);
    }

private:
    // Out of line, so that the loop around keepsNumber stays small.
    bool keepsOtherNumber(std::uint64_t raw, const StoredValue& previous) const;
    // Both values moved to the top of the word, which drops the bits above
    // the kind's width; flipping the sign bit makes the unsigned comparison
    // a signed one. No branch but the kind's.
    bool keepsOrdering(std::uint64_t now, std::uint64_t then) const {
        const std::uint64_t a = (now << unused_) ^ signFlip_;
        const std::uint64_t b = (then << unused_) ^ signFlip_;
        return keeps_[static_cast<unsigned>((a > b) - (a < b) + 1)];
    }

    SearchCondition condition_;
    ValueType type_;
    std::uint8_t baseMode_;
    const TextCodec& codec_;
    // The kind key of a listed value compared inline; a key no value has
    // when the kind is not an integer one.
    std::uint32_t fastKind_ = ~std::uint32_t{0};
    unsigned unused_ = 0;
    std::uint64_t signFlip_ = 0;
    bool keeps_[3] = {true, true, true};  // for below, equal, above
};

}  // namespace corvane
