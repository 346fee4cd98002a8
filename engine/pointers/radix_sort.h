#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "engine/kit/stop_flag.h"

namespace corvane {

// Sorts items[0, n) by key(item), a number below 2^bits, in bounded room:
// least significant digit first through `scratch` (room for scratchSize
// items) when the items fit it; a run larger than the scratch is first split
// in place by its top byte (American flag sort), and each part sorted alike.
// So millions of items cost no second copy of themselves, whatever the keys.
// Not stable across an in-place split. False when `stop` was raised; the
// order is then not to be relied on.
template <typename T, typename Key>
bool radixSortInBoundedRoom(T* items, std::size_t n, unsigned bits, Key key, T* scratch, std::size_t scratchSize,
                            const StopFlag* stop = nullptr);

namespace radix_detail {

constexpr unsigned kDigitBits = 11;
constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
constexpr unsigned kMaxPasses = (64 + kDigitBits - 1) / kDigitBits;

inline bool stopped(const StopFlag* stop) { return stop != nullptr && stop->raised(); }

// body(begin, end) over [0, n) a slice at a time, a stop heard between
// slices: one pass over tens of millions of items takes longer than a stop
// may wait. False when stopped.
template <typename Body>
bool inSlices(std::size_t n, const StopFlag* stop, Body&& body) {
    constexpr std::size_t kSlice = std::size_t{1} << 20;
    for (std::size_t begin = 0; begin < n; begin += kSlice) {
        if (stopped(stop)) return false;
        body(begin, std::min(n, begin + kSlice));
    }
    return true;
}

// Least significant digit first; one counting pass for all digits, and a
// digit every key shares is skipped.
template <typename T, typename Key>
bool leastDigitFirst(T* items, std::size_t n, unsigned bits, Key& key, T* scratch, const StopFlag* stop) {
    const unsigned passes = (bits + kDigitBits - 1) / kDigitBits;
    static thread_local std::size_t counts[kMaxPasses][kDigits];
    for (unsigned pass = 0; pass < passes; ++pass) std::memset(counts[pass], 0, sizeof counts[pass]);
    const bool counted = inSlices(n, stop, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const std::uint64_t k = key(items[i]);
            for (unsigned pass = 0; pass < passes; ++pass) ++counts[pass][(k >> (pass * kDigitBits)) & (kDigits - 1)];
        }
    });
    if (!counted) return false;
    T* from = items;
    T* to = scratch;
    for (unsigned pass = 0; pass < passes; ++pass) {
        std::size_t* count = counts[pass];
        const unsigned shift = pass * kDigitBits;
        if (count[(key(items[0]) >> shift) & (kDigits - 1)] == n) continue;
        std::size_t sum = 0;
        for (std::size_t d = 0; d < kDigits; ++d) sum += std::exchange(count[d], sum);
        const bool moved = inSlices(n, stop, [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) to[count[(key(from[i]) >> shift) & (kDigits - 1)]++] = from[i];
        });
        if (!moved) return false;
        std::swap(from, to);
    }
    if (from != items) std::memcpy(static_cast<void*>(items), from, n * sizeof(T));
    return true;
}

// Splits items by the byte below `bits` in place, then sorts each part.
template <typename T, typename Key>
bool topByteInPlace(T* items, std::size_t n, unsigned bits, Key& key, T* scratch, std::size_t scratchSize,
                    const StopFlag* stop) {
    const unsigned shift = bits > 8 ? bits - 8 : 0;
    const auto digit = [&](const T& item) { return static_cast<std::size_t>((key(item) >> shift) & 0xFF); };
    std::size_t heads[256] = {};
    if (!inSlices(n, stop, [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) ++heads[digit(items[i])];
        }))
        return false;
    std::size_t ends[256];
    std::size_t sum = 0;
    for (std::size_t d = 0; d < 256; ++d) {
        sum += std::exchange(heads[d], sum);
        ends[d] = sum;
    }
    std::size_t moved = 0;
    for (std::size_t d = 0; d < 256; ++d) {
        while (heads[d] < ends[d]) {
            T item = items[heads[d]];
            for (std::size_t home = digit(item); home != d; home = digit(item)) {
                std::swap(item, items[heads[home]++]);
                ++moved;
            }
            items[heads[d]++] = item;
            if (++moved >= 0xFFFFF) {
                if (stopped(stop)) return false;
                moved = 0;
            }
        }
    }
    std::size_t first = 0;
    for (std::size_t d = 0; d < 256; ++d) {
        if (!radixSortInBoundedRoom(items + first, ends[d] - first, shift, key, scratch, scratchSize, stop))
            return false;
        first = ends[d];
    }
    return true;
}

}  // namespace radix_detail

template <typename T, typename Key>
bool radixSortInBoundedRoom(T* items, std::size_t n, unsigned bits, Key key, T* scratch, std::size_t scratchSize,
                            const StopFlag* stop) {
    if (n < 2 || bits == 0) return true;
    // A digit's counts cost more than a comparison sort of a few items.
    if (n <= 256) {
        std::sort(items, items + n, [&](const T& a, const T& b) { return key(a) < key(b); });
        return true;
    }
    if (n <= scratchSize) return radix_detail::leastDigitFirst(items, n, bits, key, scratch, stop);
    return radix_detail::topByteInPlace(items, n, bits, key, scratch, scratchSize, stop);
}

}  // namespace corvane
