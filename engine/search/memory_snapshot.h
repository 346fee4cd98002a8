#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/target/memory_reader.h"
#include "engine/target/memory_regions.h"
#include "engine/search/result_store.h"
#include "engine/search/search_settings.h"
#include "engine/text/text_codec.h"
#include "engine/kit/stop_flag.h"

namespace corvane {

// The bytes a 不过滤 first search over a memory row saw, kept instead of one
// result per address: over a gigabyte of memory those would be hundreds of
// millions of entries. It costs the bytes read plus a page list and a small
// region table; the next search compares against it and lists only what
// survives.
class MemorySnapshot {
public:
    // A region's bytes, read straight into place: a vector would first
    // write zeros over a gigabyte that the reads then overwrite.
    class Bytes {
    public:
        Bytes() = default;
        explicit Bytes(std::size_t size) : data_(new unsigned char[size]), size_(size) {}
        Bytes(const Bytes& other) : Bytes(other.size_) { std::copy_n(other.data(), size_, data()); }
        Bytes(Bytes&&) noexcept = default;
        Bytes& operator=(Bytes other) noexcept {
            std::swap(data_, other.data_);
            std::swap(size_, other.size_);
            return *this;
        }
        unsigned char* data() { return data_.get(); }
        const unsigned char* data() const { return data_.get(); }
        std::size_t size() const { return size_; }
        bool operator==(const Bytes& other) const {
            return size_ == other.size_ && std::equal(data(), data() + size_, other.data());
        }

    private:
        std::unique_ptr<unsigned char[]> data_;
        std::size_t size_ = 0;
    };

    struct Region {
        std::uint64_t start = 0;
        Bytes bytes;
        // Pages that could not be read, in order: their bytes mean nothing.
        std::vector<std::uint64_t> lostPages;

        std::uint64_t end() const { return start + bytes.size(); }
        bool operator==(const Region&) const = default;
    };

    // The row's step, and the value size the first search counted addresses with.
    std::uint64_t step = 4;
    std::uint32_t itemSize = 4;
    std::vector<Region> regions;

    // The addresses of the row: each region's addresses whose value of
    // `itemSize` bytes fits inside it.
    std::uint64_t addressCount() const;
    // What it holds in memory.
    std::uint64_t memoryBytes() const;
    bool operator==(const MemorySnapshot&) const = default;
};

// Reads every region of `regions` into a snapshot; a set stop flag ends it
// early (the caller then drops what was read). `looked` receives the
// addresses counted.
MemorySnapshot takeMemorySnapshot(MemoryReader& reader, const std::vector<MemoryRegion>& regions, std::uint64_t step,
                                  std::size_t itemSize, const StopFlag& stop);

// The next search over a snapshot: every address of the row read again and
// kept when the value meets the settings' condition (the change conditions
// compare with the snapshot's bytes at that address). Kept ones are appended
// to `out` as results whose path is their address.
void narrowMemorySnapshot(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                          const TextCodec& codec, ResultEntries& out);
// The same with a number kind's results appended to `compact` instead: they
// are held in 24 bytes each (a text kind's go to `out`, as they may be long).
void narrowMemorySnapshot(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                          const TextCodec& codec, ResultEntries& out, CompactResults& compact);

}  // namespace corvane
