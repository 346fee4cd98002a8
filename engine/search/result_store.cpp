#include "engine/search/result_store.h"

#include <algorithm>
#include <cassert>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "engine/text/hex_text.h"

namespace corvane {

std::size_t ResultStore::count() const {
    std::lock_guard lock(mutex_);
    return size();
}

bool ResultStore::allocated() const {
    std::lock_guard lock(mutex_);
    return allocated_;
}

bool ResultStore::compactForm() const {
    std::lock_guard lock(mutex_);
    return compactForm_;
}

template <typename Entries>
void ResultStore::install(std::shared_ptr<const PathTable> paths, Entries& entries, Numbering numbering) {
    const std::size_t n = entries.size();
    if (n >= kDroppedBit) throw std::length_error("too many results");
    if (numbering == Numbering::Renumber)
        for (std::size_t i = 0; i < n; ++i) entries[i].serial = static_cast<std::uint32_t>(i);
    assert(n == 0 || (entries[0].serial == 0 && entries[n - 1].serial == n - 1));
    entries.shrinkToFit();
    // The old entries, of either form, are freed after the lock is released.
    ResultEntries oldEntries;
    CompactResults oldCompact;
    std::lock_guard lock(mutex_);
    std::swap(entries_, oldEntries);
    std::swap(compact_, oldCompact);
    if constexpr (std::is_same_v<Entries, CompactResults>)
        std::swap(compact_, entries);
    else
        std::swap(entries_, entries);
    compactForm_ = std::is_same_v<Entries, CompactResults>;
    paths_ = std::move(paths);
    allocated_ = true;
    dropped_ = 0;
    droppedBitsValid_ = false;
}

void ResultStore::replace(std::shared_ptr<const PathTable> paths, ResultEntries entries, Numbering numbering) {
    install(std::move(paths), entries, numbering);
}

void ResultStore::replace(std::shared_ptr<const PathTable> paths, CompactResults entries, Numbering numbering) {
    install(std::move(paths), entries, numbering);
}

void ResultStore::removeAt(std::size_t index) {
    ResultEntry removed;
    std::lock_guard lock(mutex_);
    const std::size_t n = size();
    // A store that holds no results has nothing to remove and is given up:
    // it counts as unallocated from here on, as after a clear.
    if (n == 0) {
        paths_.reset();
        allocated_ = false;
        return;
    }
    if (index >= n) return;
    // The entries behind it move up one place.
    if (index < firstDropped_) --firstDropped_;
    droppedBitsValid_ = false;
    withEntries([&](auto& entries) {
        if constexpr (std::is_same_v<std::remove_reference_t<decltype(entries)>, ResultEntries>)
            removed = std::move(entries[index]);
        for (std::size_t i = index + 1; i < n; ++i) entries[i - 1] = std::move(entries[i]);
        entries.truncate(n - 1);
    });
}

void ResultStore::clear() {
    ResultEntries gone;
    CompactResults goneCompact;
    {
        std::lock_guard lock(mutex_);
        std::swap(entries_, gone);
        std::swap(compact_, goneCompact);
        compactForm_ = false;
        paths_.reset();
        allocated_ = false;
        dropped_ = 0;
        droppedBitsValid_ = false;
    }
    // These entries are this call's alone now: when no long text lives
    // anywhere, none of them holds one, and their destructors would do nothing.
    if (StoredValue::liveLongTexts() == 0) gone.forgetDestroyedTail(0);
}

bool ResultStore::appendCellText(std::size_t row, int column, std::string& out) const {
    std::lock_guard lock(mutex_);
    if (row >= size()) return false;
    return withEntries([&](const auto& entries) {
        const auto& entry = entries[row];
        switch (column) {
            case 0:
                if (paths_) paths_->appendPathText(parentOf(entry), leafOffsetOf(entry), out);
                return true;
            case 1:
                if constexpr (std::is_same_v<std::decay_t<decltype(entry)>, ResultEntry>)
                    entry.value.appendText(out);
                else
                    entry.value().appendText(out);
                return true;
            case 2: appendHex(out, entry.address); return true;
            default: return false;
        }
    });
}

std::string ResultStore::pathText(std::size_t row) const {
    std::string text;
    appendCellText(row, 0, text);
    return text;
}

std::string ResultStore::valueText(std::size_t row) const {
    std::string text;
    appendCellText(row, 1, text);
    return text;
}

std::uint64_t ResultStore::address(std::size_t row) const {
    std::lock_guard lock(mutex_);
    if (row >= size()) return 0;
    return withEntries([&](const auto& entries) { return entries[row].address; });
}

std::shared_ptr<const PathTable> ResultStore::paths() const {
    std::lock_guard lock(mutex_);
    return paths_;
}

std::size_t ResultStore::snapshot(bool fromStart, std::uint32_t after, std::size_t max,
                                  std::vector<ResultSnapshot>& out, bool withValues) const {
    std::lock_guard lock(mutex_);
    if (out.size() < max) out.resize(max);
    return withEntries([&](const auto& entries) {
        const std::size_t n = entries.size();
        std::size_t i = fromStart ? 0 : lowerBound(entries, after + 1, 0);
        std::size_t taken = 0;
        for (; i < n && taken < max; ++i) {
            const auto& entry = entries[i];
            if (entry.serial & kDroppedBit) continue;
            ResultSnapshot& snap = out[taken++];
            snap.serial = entry.serial;
            snap.parent = parentOf(entry);
            snap.leafOffset = leafOffsetOf(entry);
            snap.address = entry.address;
            if (withValues)
                snap.value = valueOf(entry);
            else if (snap.value.form() != StoredValue::Form::Empty)
                snap.value = StoredValue();
        }
        return taken;
    });
}

std::size_t ResultStore::takeBatch(bool fromStart, std::uint32_t after, std::size_t max, ResultBatch& out) const {
    if (out.serials.size() < max) {
        out.serials.resize(max);
        out.parents.resize(max);
        out.leafOffsets.resize(max);
        out.addresses.resize(max);
    }
    std::lock_guard lock(mutex_);
    return withEntries([&](const auto& entries) {
        const std::size_t n = entries.size();
        std::size_t i = fromStart ? 0 : lowerBound(entries, after + 1, out.end);
        std::size_t taken = 0;
        while (i < n && taken < max) {
            const auto [data, count] = entries.piece(i);
            std::size_t k = 0;
            for (; k < count && taken < max; ++k) {
                const auto& entry = data[k];
                if (entry.serial & kDroppedBit) continue;
                if (taken == 0) out.first = i + k;
                out.serials[taken] = entry.serial;
                out.parents[taken] = parentOf(entry);
                out.leafOffsets[taken] = leafOffsetOf(entry);
                out.addresses[taken] = entry.address;
                ++taken;
            }
            i += k;
        }
        out.count = taken;
        out.end = i;
        return taken;
    });
}

void ResultStore::markFirstDropped(std::size_t place) {
    droppedBits_.assign(size() / 64 + 1, 0);
    droppedBitsValid_ = true;
    firstDropped_ = place;
    droppedBits_[place / 64] |= std::uint64_t{1} << (place % 64);
}

void ResultStore::widen() {
    ResultEntries wide;
    const std::size_t n = compact_.size();
    for (std::size_t i = 0; i < n;) {
        wide.push_back(compact_[i].widened());
        if (++i % kResultChunk == 0) compact_.releaseBefore(i);
    }
    compact_.clear();
    std::swap(entries_, wide);
    compactForm_ = false;
}

void ResultStore::compact() {
    std::lock_guard lock(mutex_);
    allocated_ = true;
    if (dropped_ == 0) return;
    withEntries([&](auto& entries) { compactEntries(entries); });
    dropped_ = 0;
    droppedBitsValid_ = false;
}

template <typename Entries>
void ResultStore::compactEntries(Entries& entries) {
    const std::size_t n = entries.size();
    // No long text lives anywhere, so no entry here needs its destructor.
    const bool destroys = StoredValue::liveLongTexts() != 0;
    auto drop = [&](std::size_t j) {
        if (destroys) std::destroy_at(&entries[j]);
    };
    // The places from `kept` to `j` hold no entry: each entry is destroyed
    // or moved down once, as the scan meets it.
    std::size_t kept = std::min(firstDropped_, n);
    auto keep = [&](std::size_t j) {
        if (kept != j) {
            std::construct_at(&entries[kept], std::move(entries[j]));
            std::destroy_at(&entries[j]);
        }
        ++kept;
    };
    std::size_t j = kept;
    if (droppedBitsValid_) {
        while (j < n) {
            const std::uint64_t word = droppedBits_[j / 64];
            if (j % 64 == 0 && word == ~std::uint64_t{0} && n - j >= 64) {
                if (destroys)
                    for (std::size_t t = j; t < j + 64; ++t) drop(t);
                j += 64;
                continue;
            }
            if (word >> (j % 64) & 1)
                drop(j);
            else
                keep(j);
            ++j;
        }
    } else {
        for (; j < n; ++j) {
            if (entries[j].serial & kDroppedBit)
                drop(j);
            else
                keep(j);
        }
    }
    entries.forgetDestroyedTail(kept);
}

std::size_t ResultStore::memoryBytes() const {
    std::lock_guard lock(mutex_);
    return entries_.memoryBytes() + compact_.memoryBytes() + (paths_ ? paths_->memoryBytes() : 0);
}

}  // namespace corvane
