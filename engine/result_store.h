#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/chunked_array.h"
#include "engine/path_table.h"
#include "engine/stored_value.h"

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

inline constexpr std::uint32_t kDroppedBit = 0x80000000;
inline constexpr std::size_t kResultChunk = 65536;
using ResultEntries = ChunkedArray<ResultEntry, kResultChunk>;

// What a worker takes of an entry to work on it outside the lock.
struct ResultSnapshot {
    std::uint32_t serial = 0;
    std::uint32_t parent = kNoPathNode;
    std::int64_t leafOffset = 0;
    std::uint64_t address = 0;
    StoredValue value;  // a copy, for the change comparisons
};

// What a pass takes of a batch of entries to walk their paths outside the
// store's lock; the first `count` of each column are used.
struct ResultBatch {
    std::size_t count = 0;
    // Where the store held the first entry and the one after the last when
    // they were taken: where the next lookups start.
    std::size_t first = 0;
    std::size_t end = 0;
    std::vector<std::uint32_t> serials;
    std::vector<std::uint32_t> parents;
    std::vector<std::int64_t> leafOffsets;
    std::vector<std::uint64_t> addresses;
};

// The results of the last search, listed by the window and refined by one
// worker at a time. Every access takes the store's lock, briefly: workers read
// the target and format outside it, in batches, and write back by serial, so
// a cell is never torn, never taken from another row, and a row removed or a
// list cleared meanwhile stays gone.
class ResultStore {
public:
    std::size_t count() const;
    // False at start-up and after clear(); such a store counts 0 results.
    bool allocated() const;

    // Installs the results of a first search, numbering them anew; with
    // InOrder, every entry's serial is its place already (the traversal
    // numbers them as it appends them, while their memory is at hand).
    enum class Numbering : std::uint8_t { Renumber, InOrder };
    void replace(std::shared_ptr<const PathTable> paths, ResultEntries entries,
                 Numbering numbering = Numbering::Renumber);
    void removeAt(std::size_t index);
    void clear();

    // Cell texts for the list: 0 the offset path, 1 the value, 2 the address
    // in uppercase hexadecimal. Appends to `out`; false for a row or column
    // that does not exist.
    bool appendCellText(std::size_t row, int column, std::string& out) const;
    std::string pathText(std::size_t row) const;
    std::string valueText(std::size_t row) const;
    std::uint64_t address(std::size_t row) const;

    // Up to `max` entries that follow the one numbered `after` (all of them
    // from the first when `fromStart`); returns how many were taken. Their
    // values are copied only `withValues`: texts would be copied for nothing
    // by a pass that does not compare with them.
    std::size_t snapshot(bool fromStart, std::uint32_t after, std::size_t max, std::vector<ResultSnapshot>& out,
                         bool withValues = true) const;
    std::shared_ptr<const PathTable> paths() const;

    // As snapshot, without values and column by column: what a pass needs
    // to read an entry again. Fills `out` up to `max` and returns its count.
    std::size_t takeBatch(bool fromStart, std::uint32_t after, std::size_t max, ResultBatch& out) const;

    // Calls `visit(i, entry)` under the lock, in order, for every entry of
    // the batch still there (i its place in the batch); entries removed
    // meanwhile are skipped. `visit` may write the entry's address and
    // value; when it returns false the entry goes at the next compact().
    // Old values the visit replaces are freed under the lock: keep them
    // cheap (numbers and short texts are).
    template <typename Visit>
    void updateBatch(const ResultBatch& batch, Visit&& visit);
    // Drops the entries that updates marked; the store is allocated after it.
    void compact();

    std::size_t memoryBytes() const;

private:
    static std::uint32_t serialOf(const ResultEntry& entry) { return entry.serial & ~kDroppedBit; }
    // Index of the first entry numbered `serial` or above (entries_.size() when none).
    std::size_t lowerBound(std::uint32_t serial, std::size_t hint) const;

    mutable std::mutex mutex_;
    std::shared_ptr<const PathTable> paths_;
    ResultEntries entries_;
    bool allocated_ = false;
    // Entries marked since the last compact(), and a place at or before the
    // first of them: compact() has nothing to do when none are, and starts
    // there otherwise. The marked places are also kept as bits, 1/320 of
    // the entries' size, so that compact() finds the few entries a next
    // search kept without reading a million it dropped; a row removed since
    // the first mark moves the places, and then compact() reads the entries.
    void markDropped(std::size_t place) {
        if (dropped_++ == 0) return markFirstDropped(place);
        if (place < firstDropped_) firstDropped_ = place;
        if (droppedBitsValid_) droppedBits_[place / 64] |= std::uint64_t{1} << (place % 64);
    }
    void markFirstDropped(std::size_t place);
    std::size_t dropped_ = 0;
    std::size_t firstDropped_ = 0;
    std::vector<std::uint64_t> droppedBits_;
    bool droppedBitsValid_ = false;
};

template <typename Visit>
void ResultStore::updateBatch(const ResultBatch& batch, Visit&& visit) {
    std::lock_guard lock(mutex_);
    const std::size_t n = entries_.size();
    if (batch.count == 0) return;
    // Both the batch and the store are in serial order: one walk over the
    // two meets every entry of the batch still there, and skips those
    // removed meanwhile.
    std::size_t at = lowerBound(batch.serials[0], batch.first);
    std::size_t i = 0;
    while (i < batch.count && at < n) {
        const auto [data, count] = entries_.piece(at);
        std::size_t k = 0;
        while (i < batch.count && k < count) {
            ResultEntry& entry = data[k];
            const std::uint32_t serial = batch.serials[i];
            if (entry.serial == serial) {
                if (!visit(i, entry)) {
                    entry.serial |= kDroppedBit;
                    markDropped(at + k);
                }
                ++i;
                ++k;
            } else if (serialOf(entry) < serial) {
                ++k;
            } else {
                ++i;  // removed meanwhile
            }
        }
        at += k;
    }
}

}  // namespace corvane
