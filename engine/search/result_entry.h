#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/kit/chunked_array.h"
#include "engine/search/path_table.h"
#include "engine/values/stored_value.h"

namespace corvane {

// One listed result: its path (a leaf offset under a path node), the leaf
// address last read and the value read there. `serial` grows along the list
// and never changes, so a worker can find an entry again after the window
// removed rows in front of it; its top bit marks an entry a pass dropped.
struct ResultEntry {
    std::uint64_t address = 0;
    std::int64_t leafOffset = 0;
    std::uint32_t parent = kNoPathNode;
    std::uint32_t serial = 0;
    StoredValue value;
};

// A result whose path is its address alone (a memory row by itself), in 24
// bytes instead of 40: a memory scan keeps tens of millions of them. Its
// path node is none and its leaf offset is its address, so neither is kept;
// its value is kept packed, any value but a long text.
struct CompactResult {
    std::uint64_t address = 0;
    std::uint64_t bytes = 0;
    std::uint32_t serial = 0;
    std::uint8_t length = 0;
    StoredValue::Form form = StoredValue::Form::Empty;
    ValueType type = ValueType::Byte;
    std::uint8_t baseMode = 0;

    // A number read at `address`, as StoredValue::number keeps it.
    static CompactResult number(std::uint64_t address, std::uint32_t serial, ValueType type, std::uint8_t baseMode,
                                const unsigned char* value) {
        CompactResult entry;
        entry.address = address;
        entry.bytes = StoredValue::rawOf(type, value);
        entry.serial = serial;
        entry.form = StoredValue::Form::Number;
        entry.type = type;
        entry.baseMode = baseMode;
        return entry;
    }
    // Whether an ordinary entry can be held this way.
    static bool fits(const ResultEntry& entry) {
        return entry.parent == kNoPathNode && entry.leafOffset == static_cast<std::int64_t>(entry.address) &&
               entry.value.packable();
    }
    void pack(const StoredValue& value) {
        bytes = value.packedBytes();
        length = static_cast<std::uint8_t>(value.packedLength());
        form = value.form();
        type = value.type();
        baseMode = value.baseMode();
    }
    StoredValue value() const { return StoredValue::unpacked(form, type, baseMode, length, bytes); }
    ResultEntry widened() const {
        ResultEntry entry;
        entry.address = address;
        entry.leafOffset = static_cast<std::int64_t>(address);
        entry.serial = serial;
        entry.value = value();
        return entry;
    }
};
static_assert(sizeof(CompactResult) == 24);

inline constexpr std::uint32_t kDroppedBit = 0x80000000;
inline constexpr std::size_t kResultChunk = 65536;
using ResultEntries = ChunkedArray<ResultEntry, kResultChunk>;
using CompactResults = ChunkedArray<CompactResult, kResultChunk>;

}  // namespace corvane
