#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace corvane {

// Values arrive as the target stores them: little-endian, like this host.
static_assert(std::endian::native == std::endian::little);

// The `width` bytes (1, 2, 4 or 8) of an integer, zero-extended.
inline std::uint64_t loadUnsigned(const unsigned char* bytes, unsigned width) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, width);
    return value;
}

// Sign-extends the low `width` bytes of `bits`.
inline std::int64_t signExtend(std::uint64_t bits, unsigned width) {
    const unsigned unused = 64 - 8 * width;
    return static_cast<std::int64_t>(bits << unused) >> unused;
}

inline float loadSingle(const unsigned char* bytes) {
    float value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

inline double loadDouble(const unsigned char* bytes) {
    double value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

}  // namespace corvane
