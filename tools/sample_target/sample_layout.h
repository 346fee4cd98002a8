#pragma once

// The memory layout the sample target builds and the tests expect. Shared by
// the sample target (32- and 64-bit builds) and the tests that search it.

#include <cstdint>

namespace corvane::sample {

// Fixed places, chosen where nothing else is mapped (the 64-bit image itself
// loads at 0x140000000), so that the addresses
// and the pointers between them are the same on every run. The 32-bit process
// has to stay clear of the low blocks below 0x401000 that the traversal never
// follows; the 64-bit one keeps one object above 8 GiB.
struct Places {
    std::uint64_t root;
    std::uint64_t objects[3];
    std::uint64_t edge;         // a 64 KiB region with nothing mapped after it
    std::uint64_t unmapped;     // a followable pointer value where nothing is mapped
    std::uint64_t largeTable;   // large mode: 1000 pointers
    std::uint64_t largeBlocks;  // large mode: 1000 blocks of 1000 long values
};

inline constexpr Places kPlaces64{
    0x110000000, {0x110010000, 0x110020000, 0x380000000}, 0x120000000, 0x150000000, 0x160000000, 0x160100000};
inline constexpr Places kPlaces32{0x30000000, {0x30010000, 0x30020000, 0x38000000}, 0x31000000, 0x50000000, 0x34000000,
                                  0x34100000};

// Root table: one pointer per slot. Slots 0, 4 and 6 point at the objects;
// the others hold what the traversal must not (or cannot) follow.
inline constexpr unsigned kRootSlots = 8;
inline constexpr unsigned kObjectSlot[3] = {0, 4, 6};
inline constexpr std::uint64_t kNullSlotValue = 0;              // slot 1
inline constexpr std::uint64_t kFillSlotValue = 0x7F7F7F7F;     // slot 2
                                                                // slot 3: Places::unmapped
inline constexpr std::uint64_t kAllOnesSlotValue = 0xFFFFFFFF;  // slot 5
inline constexpr std::uint64_t kLowSlotValue = 0x400FFF;        // slot 7

// Fields of an object block.
inline constexpr unsigned kIdOffset = 0x00;           // long: 1000 + object number
inline constexpr unsigned kNegativeOffset = 0x04;     // long: -5
inline constexpr unsigned kDataPointerOffset = 0x08;  // pointer to the object's data array
inline constexpr unsigned kSingleOffset = 0x10;       // single: 3.75
inline constexpr unsigned kBigSingleOffset = 0x14;    // single: 1e10
inline constexpr unsigned kDoubleOffset = 0x18;       // double: 0.1
inline constexpr unsigned kByteOffset = 0x20;         // byte: 200
inline constexpr unsigned kShortOffset = 0x22;        // short: bytes FF FF
inline constexpr unsigned kInt64Offset = 0x28;        // 64-bit: 0x123456789ABCDEF0
inline constexpr unsigned kAnsiOffset = 0x40;         // GBK text
inline constexpr unsigned kUtf16Offset = 0x80;        // UTF-16LE text
inline constexpr unsigned kUtf8Offset = 0xC0;         // UTF-8 text
inline constexpr unsigned kDataOffset = 0x800;        // data array: 16 longs

inline constexpr unsigned kDataCount = 16;
inline constexpr std::int32_t dataValue(unsigned object, unsigned index) {
    return static_cast<std::int32_t>((object + 1) * 100 + index);
}
inline constexpr std::int32_t kNegativeValue = -5;
inline constexpr float kSingleValue = 3.75f;
inline constexpr float kBigSingleValue = 1e10f;
inline constexpr double kDoubleValue = 0.1;
inline constexpr std::uint8_t kByteValue = 200;
inline constexpr std::uint64_t kInt64Value = 0x123456789ABCDEF0;

// "你好ABC" in the three encodings.
inline constexpr char kGbkText[] =
    "\xC4\xE3\xBA\xC3"
    "ABC";
inline constexpr char16_t kUtf16Text[] = u"\u4F60\u597DABC";
inline constexpr char kUtf8Text[] =
    "\xE4\xBD\xA0\xE5\xA5\xBD"
    "ABC";

// Two texts near the end of the edge region: a 256-byte read at the first
// fits exactly, at the second it runs into unmapped memory.
inline constexpr unsigned kEdgeRegionSize = 0x10000;
inline constexpr unsigned kEdgeFitOffset = kEdgeRegionSize - 0x100;
inline constexpr unsigned kEdgeCrossOffset = kEdgeRegionSize - 0x80;

// Large mode: table[i] points at block i; block i holds longs i * 1000 + j.
// Huge mode has ten times as many blocks, of the same 1000 longs.
inline constexpr unsigned kLargeCount = 1000;
inline constexpr unsigned kHugeBlocks = 10000;
inline constexpr unsigned kLargeBlockStride = 0x1000;
inline constexpr std::int32_t largeValue(unsigned block, unsigned index) {
    return static_cast<std::int32_t>(block * 1000 + index);
}

// A table in the program's own image: one pointer to each of kModuleSlots
// objects built like the others (numbers kModuleObjectFirst and on) in a
// block the system places. A structure anchored on the program's module
// finds them after every start, wherever the image and the block are.
inline constexpr unsigned kModuleSlots = 3;
inline constexpr unsigned kModuleObjectFirst = 10;
inline constexpr std::int32_t moduleObjectId(unsigned slot) {
    return static_cast<std::int32_t>(1000 + kModuleObjectFirst + slot);
}

}  // namespace corvane::sample
