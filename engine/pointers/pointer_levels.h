#pragma once

// The levels of a pointer scan and the sweep that builds them: a level is a
// bit per slot of the map, walked in address order with each member's count
// of paths, and a sweep runs through ascending values (the map's, or the
// statics') against the level below.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/pointers/pointer_map.h"
#include "engine/pointers/pointer_scan.h"

namespace corvane::pointer_levels {

// Wide enough for a value plus any offset, and for a sum of counts.
using Wide = __int128;

// A slot's count stops here, to keep a level's slots small; a capped count
// understates, so the totals built from it are still lower bounds.
constexpr std::uint32_t kSlotCountCap = 0xFFFFFFFF;

inline std::uint32_t slotCount(Wide sum) {
    return sum >= Wide{kSlotCountCap} ? kSlotCountCap : static_cast<std::uint32_t>(sum);
}

// One level's slots: a bit per slot index of the map, so a level costs an
// eighth of a byte per pointer and walks in address order without a sort.
class LevelBits {
public:
    LevelBits() = default;
    explicit LevelBits(std::size_t size) : size_(size), words_((size + 63) / 64) {}

    void set(std::size_t index) { words_[index / 64] |= std::uint64_t{1} << (index % 64); }
    bool test(std::size_t index) const { return (words_[index / 64] >> (index % 64)) & 1; }
    // The first member at or after `index`, or size().
    std::size_t nextFrom(std::size_t index) const {
        if (index >= size_) return size_;
        std::size_t word = index / 64;
        std::uint64_t bits = words_[word] & (~std::uint64_t{0} << (index % 64));
        while (bits == 0) {
            if (++word == words_.size()) return size_;
            bits = words_[word];
        }
        return word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
    }
    std::size_t size() const { return size_; }
    std::size_t memoryBytes() const { return words_.capacity() * sizeof(std::uint64_t); }

    // How many members lie before `index`.
    std::size_t countBefore(std::size_t index) const {
        std::size_t count = 0;
        for (std::size_t word = 0; word < index / 64; ++word)
            count += static_cast<std::size_t>(std::popcount(words_[word]));
        if (index % 64 != 0 && index < size_)
            count +=
                static_cast<std::size_t>(std::popcount(words_[index / 64] & ((std::uint64_t{1} << (index % 64)) - 1)));
        return count;
    }

    // Adds these members to `all`; true when one of them was there already.
    bool mergeInto(LevelBits& all) const {
        std::uint64_t met = 0;
        for (std::size_t i = 0; i < words_.size(); ++i) {
            met |= all.words_[i] & words_[i];
            all.words_[i] |= words_[i];
        }
        return met != 0;
    }

private:
    std::size_t size_ = 0;
    std::vector<std::uint64_t> words_;
};

// The level below a sweep, in address order: the address itself for the
// first level.
class AddressWalk {
public:
    static constexpr bool kLeaps = false;
    explicit AddressWalk(std::uint64_t address) : address_(address) {}
    bool done() const { return done_; }
    std::size_t position() const { return done_ ? 1 : 0; }
    std::uint64_t slot() const { return address_; }
    std::uint32_t count() const { return 1; }
    void next() { done_ = true; }

private:
    std::uint64_t address_;
    bool done_ = false;
};

// A level's members in address order with their counts.
class MemberWalk {
public:
    static constexpr bool kLeaps = false;
    // From the member at `index` on, the `member`th of its level.
    MemberWalk(const PointerMap& map, const LevelBits& bits, const std::uint32_t* counts, std::size_t index,
               std::size_t member)
        : bits_(&bits), counts_(counts), slots_(map), index_(bits.nextFrom(index)), member_(member) {
        load();
    }
    bool done() const { return index_ >= bits_->size(); }
    std::size_t position() const { return member_; }
    std::uint64_t slot() const { return slot_; }
    std::uint32_t count() const { return counts_[member_]; }
    void next() {
        ++member_;
        index_ = bits_->nextFrom(index_ + 1);
        load();
    }

private:
    void load() {
        if (!done()) slot_ = slots_(index_);
    }
    const LevelBits* bits_;
    const std::uint32_t* counts_;
    PointerMap::SlotWalker slots_;
    std::size_t index_;
    std::size_t member_;
    std::uint64_t slot_ = 0;
};

// What the sweep that found a member left at its slot index: how many paths
// run from it to the address, and its rank. One write for both, as the
// sweep's writes miss the cache.
struct BySlot {
    std::uint32_t count;
    std::uint32_t rank;
};

// A level's members in address order, their counts read where the sweep that
// found them left them; it can leap ahead to a slot, for a sweep of a few
// values against a broad level.
class LeapingWalk {
public:
    static constexpr bool kLeaps = true;
    LeapingWalk(const PointerMap& map, const LevelBits& bits, const BySlot* bySlot)
        : map_(&map), bits_(&bits), bySlot_(bySlot), slots_(map), index_(bits.nextFrom(0)) {
        load();
    }
    bool done() const { return index_ >= bits_->size(); }
    std::size_t position() const { return index_; }
    std::uint64_t slot() const { return slot_; }
    std::uint32_t count() const { return bySlot_[index_].count; }
    void next() {
        index_ = bits_->nextFrom(index_ + 1);
        load();
    }
    void leapTo(std::uint64_t slot) {
        index_ = bits_->nextFrom(map_->firstSlotAtLeast(slot));
        load();
    }

private:
    void load() {
        if (!done()) slot_ = slots_(index_);
    }
    const PointerMap* map_;
    const LevelBits* bits_;
    const BySlot* bySlot_;
    PointerMap::SlotWalker slots_;
    std::size_t index_;
    std::uint64_t slot_ = 0;
};

// A walk leaps rather than steps over a gap this wide.
constexpr std::int64_t kLeapBytes = 0x10000;

// The first position of ascending values at least `value`.
template <typename FirstAtLeast>
std::size_t clampedSearch(Wide value, std::size_t size, FirstAtLeast firstAtLeast) {
    if (value <= 0) return 0;
    if (value > Wide{std::numeric_limits<std::uint64_t>::max()}) return size;
    return firstAtLeast(static_cast<std::uint64_t>(value));
}

// The map's values by rank, for a sweep.
class MapValues {
public:
    explicit MapValues(const PointerMap& map) : map_(map), walker_(map) {}
    std::size_t size() const { return map_.size(); }
    std::uint64_t value(std::size_t rank) { return walker_(rank); }
    std::size_t firstAtLeast(Wide value) const {
        return clampedSearch(value, size(), [this](std::uint64_t v) { return map_.firstValueAtLeast(v); });
    }

private:
    const PointerMap& map_;
    PointerMap::ValueWalker walker_;
};

class StaticValues {
public:
    explicit StaticValues(const std::vector<StaticPointer>& statics) : statics_(statics) {}
    std::size_t size() const { return statics_.size(); }
    std::uint64_t value(std::size_t at) const { return statics_[at].value; }
    std::size_t firstAtLeast(Wide value) const {
        return clampedSearch(value, size(), [this](std::uint64_t v) {
            return static_cast<std::size_t>(
                std::lower_bound(statics_.begin(), statics_.end(), v,
                                 [](const StaticPointer& p, std::uint64_t at) { return p.value < at; }) -
                statics_.begin());
        });
    }

private:
    const std::vector<StaticPointer>& statics_;
};

// One sorted sweep of ascending values against the level below: hit(position,
// sum) for each value v whose window [v + minOffset, v + maxOffset] holds
// slots of that level, sum being their counts. Where no slot is in reach the
// sweep jumps to the first value that reaches the next one, so a small level
// costs a search per slot rather than a pass over every value.
// The sweep of the values from `begin` to `end`, `from` at the first slot of
// the level below in reach of the first.
template <typename Values, typename Walk, typename Hit>
bool sweepPart(Values& values, std::size_t begin, std::size_t end, Walk from, const PointerScanSettings& settings,
               const StopFlag& stop, Hit&& hit) {
    Walk to = from;
    Wide sum = 0;
    std::size_t steps = 0;
    for (std::size_t at = begin; at < end; ++at) {
        // Often: a step may be a search of the whole map.
        if ((++steps & 0x3FF) == 0 && stop.raised()) return false;
        const std::uint64_t value = values.value(at);
        const Wide low = Wide{value} + settings.minOffset;
        const Wide high = Wide{value} + settings.maxOffset;
        if constexpr (Walk::kLeaps) {
            if (from.position() == to.position() && !to.done() && Wide{to.slot()} + kLeapBytes < low) {
                if (low > Wide{std::numeric_limits<std::uint64_t>::max()}) break;
                to.leapTo(static_cast<std::uint64_t>(low));
                from = to;
            }
        }
        while (!to.done() && Wide{to.slot()} <= high) {
            sum += to.count();
            to.next();
        }
        while (from.position() < to.position() && Wide{from.slot()} < low) {
            sum -= from.count();
            from.next();
        }
        if (from.position() == to.position()) {
            if (to.done()) break;
            const std::size_t reach = values.firstAtLeast(Wide{to.slot()} - settings.maxOffset);
            if (reach > at + 1) at = reach - 1;
            continue;
        }
        hit(at, sum);
    }
    return true;
}

template <typename Values, typename Walk, typename Hit>
bool sweep(Values& values, Walk from, const PointerScanSettings& settings, const StopFlag& stop, Hit&& hit) {
    return sweepPart(values, 0, values.size(), from, settings, stop, hit);
}

}  // namespace corvane::pointer_levels
