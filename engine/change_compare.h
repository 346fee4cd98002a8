#pragma once

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

}  // namespace corvane
