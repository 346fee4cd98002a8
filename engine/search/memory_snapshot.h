#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/kit/both_cores.h"
#include "engine/search/result_store.h"
#include "engine/search/search_settings.h"
#include "engine/search/snapshot_store.h"
#include "engine/target/memory_reader.h"
#include "engine/target/memory_regions.h"
#include "engine/text/text_codec.h"

namespace corvane {

// The bytes a 不过滤 first search over a memory row saw, kept instead of one
// result per address: over a gigabyte of memory those would be hundreds of
// millions of entries. Each region keeps a page table in memory, a bit per
// page for a page of zeros and one for a page that could not be read; its
// other pages go to a store (memory, a temporary file, or the command
// line's snapshot file) as they are read. The next search compares against
// it chunk by chunk and lists only what survives.
class MemorySnapshot {
public:
    struct Region {
        std::uint64_t start = 0;
        std::uint64_t size = 0;
        // A bit per page from `start`, 64 to a word.
        std::vector<std::uint64_t> zeroPages;
        std::vector<std::uint64_t> lostPages;
        // Where its first stored page lies in the store.
        std::uint64_t storedFrom = 0;
        // After a next search kept more addresses than its results could
        // hold: a bit per address of the row from `start`, set for those it
        // kept. Empty while every address counts.
        std::vector<std::uint64_t> keptAddresses;

        std::uint64_t end() const { return start + size; }
        std::uint64_t pages() const { return (size + kPageSize - 1) / kPageSize; }
        bool zero(std::uint64_t page) const { return bit(zeroPages, page); }
        bool lost(std::uint64_t page) const { return bit(lostPages, page); }
        // The bytes its stored pages take.
        std::uint64_t storedBytes() const;
        // Makes the page bits the right length, all clear.
        void clearPages();
        // Builds the page index once its bits are set (by taking or reading).
        void index();
        // The stored pages before `page`.
        std::uint64_t storedBefore(std::uint64_t page) const;
        // Whether the row's address `index` (from `start`, in steps) counts.
        bool keeps(std::uint64_t index) const { return keptAddresses.empty() || bit(keptAddresses, index); }

    private:
        static bool bit(const std::vector<std::uint64_t>& bits, std::uint64_t page) {
            return (bits[static_cast<std::size_t>(page / 64)] >> (page % 64) & 1) != 0;
        }
        // Stored pages before each word of bits.
        std::vector<std::uint64_t> storedBeforeWord_;
    };

    // The row's step, and the value size the first search counted addresses with.
    std::uint64_t step = 4;
    std::uint32_t itemSize = 4;
    std::vector<Region> regions;
    std::unique_ptr<SnapshotStore> store;

    // The addresses of the row: each region's addresses whose value of
    // `itemSize` bytes fits inside it, or those a next search kept.
    std::uint64_t addressCount() const;
    // The addresses of a region's row, kept or not.
    std::uint64_t rowAddresses(const Region& region) const {
        return region.size >= itemSize ? (region.size - itemSize) / step + 1 : 0;
    }
    // What it holds in this process's memory, tables and stored pages.
    std::uint64_t memoryBytes() const;
    // The bytes of its stored pages.
    std::uint64_t storedBytes() const { return store ? store->size() : 0; }
    // Copies region `r`'s bytes [from, to) as they were into `out`: a zero
    // page as zeros; a lost page's bytes mean nothing.
    void copyOut(std::size_t r, std::uint64_t from, std::uint64_t to, unsigned char* out) const;
    // Whether the `size` bytes at `address` of region `r` were read.
    bool keptWhole(std::size_t r, std::uint64_t address, std::size_t size) const;
    // The same rows, tables and bytes, whatever holds them.
    bool sameAs(const MemorySnapshot& other) const;
};

// Whether `size` bytes are all zero.
bool allZero(const unsigned char* bytes, std::size_t size);

// Reads every region of `regions` into a snapshot whose stored pages go to
// `store` (memory blocks without one); a set stop flag ends it early (the
// caller then drops what was read). With `storingThread`, the pages are
// stored on a thread of their own while the next are read: a store's writes
// cost as much as the reads where its pages are fresh. A failure of the
// store comes out here either way.
MemorySnapshot takeMemorySnapshot(MemoryReader& reader, const std::vector<MemoryRegion>& regions, std::uint64_t step,
                                  std::size_t itemSize, const StopFlag& stop,
                                  std::unique_ptr<SnapshotStore> store = nullptr, bool storingThread = twoCores());

// Reads the bytes a snapshot kept as though they were the target's: a lost
// page, or bytes outside its regions, fail the read.
class SnapshotReader : public MemoryReader {
public:
    SnapshotReader(const MemorySnapshot& snapshot, unsigned pointerWidth)
        : snapshot_(snapshot), pointerWidth_(pointerWidth) {}
    bool read(std::uint64_t address, void* buffer, std::size_t size) override;
    unsigned pointerWidth() const override { return pointerWidth_; }

private:
    const MemorySnapshot& snapshot_;
    unsigned pointerWidth_;
};

// The next search over a snapshot: every address of the row read again and
// kept when the value meets the settings' condition (the change conditions
// compare with the snapshot's bytes at that address). Kept ones are appended
// to `out` as results whose path is their address.
void narrowMemorySnapshot(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                          const TextCodec& codec, ResultEntries& out);
// The same with a number kind's results appended to `compact` instead: they
// are held in 24 bytes each (a text kind's go to `out`, as they may be long).
// False, with what was kept so far, once more than `limit` are kept.
bool narrowMemorySnapshot(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                          const TextCodec& codec, ResultEntries& out, CompactResults& compact,
                          std::uint64_t limit = std::numeric_limits<std::uint64_t>::max());

// Whether the next search keeps an address only where its bytes are the
// snapshot's (an integer kind's 保留没有改变的数值*): a snapshot narrowed by
// it holds the very bytes the search saw.
bool keepsItsBytes(const SearchSettings& settings);
// Such a next search that keeps more addresses than results may hold: they
// are marked in the snapshot itself. A set stop flag leaves it as it was.
void narrowInPlace(MemoryReader& reader, MemorySnapshot& snapshot, const SearchSettings& settings,
                   const TextCodec& codec, const StopFlag& stop);

// The addresses the snapshot keeps as results, their values its bytes: for
// a snapshot narrowed in place down to few enough.
void listKept(const MemorySnapshot& snapshot, const SearchSettings& settings, const TextCodec& codec,
              CompactResults& out);

// Any other next search that keeps more addresses than results may hold: the
// memory is taken again into a snapshot of the same regions, whose pages go
// to `store`, and the addresses the search keeps are marked in it. Its bytes
// are the ones the search compared, so that the search after it compares
// with them. A set stop flag ends it early (the caller drops what it gives).
MemorySnapshot narrowIntoSnapshot(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                                  const TextCodec& codec, const StopFlag& stop, std::unique_ptr<SnapshotStore> store);

}  // namespace corvane
