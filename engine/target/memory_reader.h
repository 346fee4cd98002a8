#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// The engine's only view of the target process. A read succeeds whole or
// fails whole, as ReadProcessMemory does: if any byte of the range cannot be
// read, nothing counts as read and the buffer must not be relied on.
class MemoryReader {
public:
    virtual ~MemoryReader() = default;

    virtual bool read(std::uint64_t address, void* buffer, std::size_t size) = 0;

    // Byte width of a pointer in the target: 4 or 8.
    virtual unsigned pointerWidth() const = 0;

    // Whether two threads read faster than one: a reader whose read calls
    // queue behind each other (Wine's server) says no, and the scans that
    // read all of the target then read it with one thread.
    virtual bool readsInParallel() const { return true; }
};

// Readability is granted per page; the span reads rely on it.
inline constexpr std::uint64_t kPageSize = 4096;
inline constexpr std::uint64_t pageOf(std::uint64_t address) { return address & ~(kPageSize - 1); }

// What a pass over whole regions reads a call: large enough that a call's own
// cost (about 100 µs under Wine) vanishes beside the bytes, small enough that a
// chunk stays in the cache while it is tested.
inline constexpr std::size_t kReadChunkBytes = std::size_t{1} << 20;

// Reads one pointer of the target's width into the low bytes of `slot`; the
// high bytes are zero, so a 4-byte pointer arrives zero-extended.
bool readPointer(MemoryReader& reader, std::uint64_t address, std::uint64_t& slot);

// Assembles a little-endian pointer of `width` bytes from raw target bytes.
std::uint64_t loadPointer(const unsigned char* bytes, unsigned width);

}  // namespace corvane
