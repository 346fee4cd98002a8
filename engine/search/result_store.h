#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/search/path_table.h"
#include "engine/search/result_entry.h"

namespace corvane {

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
    // The same for results whose path is their address alone: they are held
    // in 24 bytes each and read as ordinary entries everywhere. A pass that
    // writes one a compact entry cannot hold (a long text) turns the whole
    // store into ordinary entries, once.
    void replace(std::shared_ptr<const PathTable> paths, CompactResults entries,
                 Numbering numbering = Numbering::Renumber);
    bool compactForm() const;
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
    template <typename Entry>
    static std::uint32_t serialOf(const Entry& entry) {
        return entry.serial & ~kDroppedBit;
    }
    static std::uint32_t parentOf(const ResultEntry& entry) { return entry.parent; }
    static std::uint32_t parentOf(const CompactResult&) { return kNoPathNode; }
    static std::int64_t leafOffsetOf(const ResultEntry& entry) { return entry.leafOffset; }
    static std::int64_t leafOffsetOf(const CompactResult& entry) { return static_cast<std::int64_t>(entry.address); }
    static StoredValue valueOf(const ResultEntry& entry) { return entry.value.clone(); }
    static StoredValue valueOf(const CompactResult& entry) { return entry.value(); }

    // Calls `use(entries)` with the array of the form held.
    template <typename Use>
    decltype(auto) withEntries(Use&& use) {
        if (compactForm_) return use(compact_);
        return use(entries_);
    }
    template <typename Use>
    decltype(auto) withEntries(Use&& use) const {
        if (compactForm_) return use(compact_);
        return use(entries_);
    }
    std::size_t size() const { return compactForm_ ? compact_.size() : entries_.size(); }

    template <typename Entries>
    void install(std::shared_ptr<const PathTable> paths, Entries& entries, Numbering numbering);
    // Index of the first entry numbered `serial` or above (size() when none).
    template <typename Entries>
    static std::size_t lowerBound(const Entries& entries, std::uint32_t serial, std::size_t hint);
    template <typename Entries>
    void compactEntries(Entries& entries);

    // What a visit in updateBatch asks for its entry.
    enum class Visited : std::uint8_t { Kept, Dropped, Widen };
    // The merge walk of updateBatch from the batch's `i`th entry and the
    // store's place `at`; stops early, false, with both on the entry whose
    // visit asked to widen the store.
    template <typename Entries, typename Step>
    bool walkBatch(Entries& entries, const ResultBatch& batch, std::size_t& i, std::size_t& at, Step&& step);
    // Turns the compact entries into ordinary ones, chunk by chunk.
    void widen();

    mutable std::mutex mutex_;
    std::shared_ptr<const PathTable> paths_;
    ResultEntries entries_;
    // Held instead of entries_ while compactForm_.
    CompactResults compact_;
    bool compactForm_ = false;
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

template <typename Entries>
std::size_t ResultStore::lowerBound(const Entries& entries, std::uint32_t serial, std::size_t hint) {
    const std::size_t n = entries.size();
    if (hint < n && serialOf(entries[hint]) >= serial && (hint == 0 || serialOf(entries[hint - 1]) < serial))
        return hint;
    std::size_t low = 0, high = n;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (serialOf(entries[middle]) < serial)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

template <typename Entries, typename Step>
bool ResultStore::walkBatch(Entries& entries, const ResultBatch& batch, std::size_t& i, std::size_t& at, Step&& step) {
    const std::size_t n = entries.size();
    while (i < batch.count && at < n) {
        const auto [data, count] = entries.piece(at);
        std::size_t k = 0;
        while (i < batch.count && k < count) {
            auto& entry = data[k];
            const std::uint32_t serial = batch.serials[i];
            if (entry.serial == serial) {
                const Visited visited = step(i, entry);
                if (visited == Visited::Widen) {
                    at += k;
                    return false;
                }
                if (visited == Visited::Dropped) {
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
    return true;
}

template <typename Visit>
void ResultStore::updateBatch(const ResultBatch& batch, Visit&& visit) {
    std::lock_guard lock(mutex_);
    if (batch.count == 0) return;
    // Both the batch and the store are in serial order: one walk over the
    // two meets every entry of the batch still there, and skips those
    // removed meanwhile.
    std::size_t i = 0;
    std::size_t at =
        withEntries([&](const auto& entries) { return lowerBound(entries, batch.serials[0], batch.first); });
    if (compactForm_) {
        // A compact entry is visited as an ordinary one and packed again.
        ResultEntry scratch;
        bool kept = true;
        const bool done = walkBatch(compact_, batch, i, at, [&](std::size_t j, CompactResult& entry) {
            scratch.address = entry.address;
            scratch.leafOffset = static_cast<std::int64_t>(entry.address);
            scratch.serial = entry.serial;
            scratch.value = entry.value();
            kept = visit(j, scratch);
            if (!CompactResult::fits(scratch)) return Visited::Widen;
            entry.address = scratch.address;
            entry.pack(scratch.value);
            return kept ? Visited::Kept : Visited::Dropped;
        });
        if (done) return;
        widen();
        entries_[at] = std::move(scratch);
        if (!kept) {
            entries_[at].serial |= kDroppedBit;
            markDropped(at);
        }
        ++i;
        ++at;
    }
    walkBatch(entries_, batch, i, at,
              [&](std::size_t j, ResultEntry& entry) { return visit(j, entry) ? Visited::Kept : Visited::Dropped; });
}

}  // namespace corvane
