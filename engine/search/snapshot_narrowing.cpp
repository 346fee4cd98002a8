#include "engine/search/memory_snapshot.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/memory/memory_scan.h"
#include "engine/search/address_results.h"
#include "engine/values/change_compare.h"
#include "engine/values/value_compare.h"
#include "engine/values/value_type.h"

// The next search over a snapshot: into results, or into a snapshot marked
// with the addresses it keeps when they are more than results may hold.

namespace corvane {
namespace {

bool isChangeCondition(SearchCondition condition) { return condition >= SearchCondition::Unchanged; }

// The snapshot's regions as regions of memory to read.
std::vector<MemoryRegion> rowRegions(const MemorySnapshot& snapshot) {
    std::vector<MemoryRegion> regions;
    for (const MemorySnapshot::Region& region : snapshot.regions) regions.push_back({region.start, region.size, true});
    return regions;
}

// Calls `keep(filter, r, address, bytes)` for every address the next search
// keeps, region `r`'s, or `keepRun(filter, r, address, count, bytes)` for a
// run of `count` addresses from `address` of which it keeps every one the
// snapshot counts; `full()` after each chunk ends it early, false.
template <typename Keep, typename KeepRun, typename Full>
bool narrow(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
            const TextCodec& codec, Keep&& keep, KeepRun&& keepRun, Full&& full) {
    const bool change = isChangeCondition(settings.condition);
    const ValueFilter filter(settings.type, settings.baseMode, change ? SearchCondition::None : settings.condition,
                             settings.value1, settings.value2, codec);
    const ChangeTest changeTest(settings.condition, settings.type, settings.baseMode, codec);
    const std::size_t size = filter.readSize();
    MemoryRowScan scan(reader, rowRegions(snapshot), snapshot.step, size);
    // An integer is changed exactly when its bytes are: a run of memory
    // that did not change holds nothing that changed, increased or decreased,
    // and every one of its integers is unchanged.
    const bool byBytes = isIntegerType(settings.type) && change;
    const bool keepsSame = byBytes && settings.condition == SearchCondition::Unchanged;
    // Whether the bytes alone decide, as they do for changed and unchanged.
    const bool bytesDecide = keepsSame || (byBytes && settings.condition == SearchCondition::Changed);
    StoredValue previous;
    // The snapshot's bytes of the chunk, when a change condition needs them.
    std::vector<unsigned char> was;
    while (scan.next()) {
        if (full()) return false;
        const std::size_t r = scan.region();
        const MemorySnapshot::Region& region = snapshot.regions[r];
        std::uint64_t address = scan.first();
        const unsigned char* bytes = scan.bytes();
        const bool whole = scan.whole();
        const std::size_t span = static_cast<std::size_t>((scan.count() - 1) * snapshot.step + size);
        const unsigned char* before = nullptr;
        if (change) {
            was.resize(span);
            snapshot.copyOut(r, address, address + span, was.data());
            before = was.data();
            if (byBytes && whole && std::memcmp(bytes, before, span) == 0) {
                if (keepsSame && snapshot.keptWhole(r, address, span))
                    keepRun(filter, r, address, scan.count(), bytes);
                else if (keepsSame)
                    for (std::uint64_t k = 0; k < scan.count(); ++k)
                        if (snapshot.keptWhole(r, address + k * snapshot.step, size))
                            keepRun(filter, r, address + k * snapshot.step, 1, bytes + k * snapshot.step);
                continue;
            }
        }
        for (std::uint64_t k = 0; k < scan.count(); ++k, address += snapshot.step, bytes += snapshot.step) {
            if (!region.keeps((address - region.start) / snapshot.step)) continue;
            if (!filter.matches(bytes) || (!whole && !scan.readable(address))) continue;
            if (change) {
                const unsigned char* old = before + k * snapshot.step;
                if (byBytes && (std::memcmp(bytes, old, size) == 0) != keepsSame) continue;
                if (!snapshot.keptWhole(r, address, size)) continue;
                if (!bytesDecide) {
                    filter.storeValue(old, previous);
                    if (!changeTest.keeps(bytes, previous)) continue;
                }
            }
            keep(filter, r, address, bytes);
        }
    }
    return !full();
}

// `keep` for every address of a run that the snapshot counts.
template <typename Keep>
auto eachOfRun(const MemorySnapshot& snapshot, Keep& keep) {
    return [&snapshot, &keep](const ValueFilter& filter, std::size_t r, std::uint64_t address, std::uint64_t count,
                              const unsigned char* bytes) {
        const MemorySnapshot::Region& region = snapshot.regions[r];
        for (std::uint64_t k = 0; k < count; ++k, address += snapshot.step, bytes += snapshot.step)
            if (region.keeps((address - region.start) / snapshot.step)) keep(filter, r, address, bytes);
    };
}

}  // namespace

void narrowMemorySnapshot(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                          const TextCodec& codec, ResultEntries& out) {
    auto keep = [&out](const ValueFilter& filter, std::size_t, std::uint64_t address, const unsigned char* bytes) {
        appendAddressResult(out, address, filter, bytes);
    };
    narrow(reader, snapshot, settings, codec, keep, eachOfRun(snapshot, keep), [] { return false; });
}

bool narrowMemorySnapshot(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                          const TextCodec& codec, ResultEntries& out, CompactResults& compact, std::uint64_t limit) {
    if (isTextType(settings.type)) {
        auto keep = [&out](const ValueFilter& filter, std::size_t, std::uint64_t address, const unsigned char* bytes) {
            appendAddressResult(out, address, filter, bytes);
        };
        return narrow(reader, snapshot, settings, codec, keep, eachOfRun(snapshot, keep),
                      [&] { return out.size() > limit; });
    }
    auto keep = [&compact](const ValueFilter& filter, std::size_t, std::uint64_t address, const unsigned char* bytes) {
        appendAddressResult(compact, address, filter, bytes);
    };
    return narrow(reader, snapshot, settings, codec, keep, eachOfRun(snapshot, keep),
                  [&] { return compact.size() > limit; });
}

namespace {

// The addresses of one region's row the next search keeps: a bit each, or
// while they are all kept from the first on, only how many. Bits are made
// only when a run breaks off: a gigabyte's row would take 32 MiB of them.
struct KeptRow {
    std::vector<std::uint64_t> bits;
    std::uint64_t leading = 0;  // kept from the first, while `bits` is empty
    bool marked = false;

    // Marks `count` addresses from `first`, as far as `was` (the snapshot's
    // own bits, or none for all) counts them.
    void keep(std::uint64_t first, std::uint64_t count, std::uint64_t rows, const std::vector<std::uint64_t>& was) {
        if (!marked && was.empty() && first == leading) {
            leading += count;
            return;
        }
        if (!marked) mark(rows);
        setRun(first, count, was);
    }
    // Makes the bits of the leading run.
    void mark(std::uint64_t rows) {
        bits.assign(static_cast<std::size_t>((rows + 63) / 64), 0);
        marked = true;
        setRun(0, leading, {});
    }
    void setRun(std::uint64_t first, std::uint64_t count, const std::vector<std::uint64_t>& was) {
        for (std::uint64_t at = first; at < first + count;) {
            const auto w = static_cast<std::size_t>(at / 64);
            const std::uint64_t from = at % 64;
            const std::uint64_t to = std::min<std::uint64_t>(64, from + (first + count - at));
            const std::uint64_t mask = (to - from == 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << (to - from)) - 1))
                                       << from;
            bits[w] |= mask & (was.empty() ? ~std::uint64_t{0} : was[w]);
            at += to - from;
        }
    }
};

// What the next search keeps of each region of `snapshot`'s row, reading the
// memory through `reader`.
std::vector<KeptRow> keptRows(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                              const TextCodec& codec, const StopFlag& stop) {
    std::vector<KeptRow> kept(snapshot.regions.size());
    auto keepRun = [&](const ValueFilter&, std::size_t r, std::uint64_t address, std::uint64_t count,
                       const unsigned char*) {
        const MemorySnapshot::Region& region = snapshot.regions[r];
        kept[r].keep((address - region.start) / snapshot.step, count, snapshot.rowAddresses(region),
                     region.keptAddresses);
    };
    narrow(
        reader, snapshot, settings, codec,
        [&](const ValueFilter& filter, std::size_t r, std::uint64_t address, const unsigned char* bytes) {
            keepRun(filter, r, address, 1, bytes);
        },
        keepRun, [&] { return stop.raised(); });
    return kept;
}

// Gives `snapshot`'s regions what `kept` says: a region whose addresses are
// all kept needs no bits, and one with none kept is dropped.
void markKept(MemorySnapshot& snapshot, std::vector<KeptRow> kept) {
    std::vector<bool> none(snapshot.regions.size(), false);
    for (std::size_t r = 0; r < snapshot.regions.size(); ++r) {
        MemorySnapshot::Region& region = snapshot.regions[r];
        KeptRow& row = kept[r];
        const std::uint64_t rows = snapshot.rowAddresses(region);
        if (!row.marked) {
            if (row.leading == rows) {
                std::vector<std::uint64_t>().swap(region.keptAddresses);
                continue;
            }
            row.mark(rows);
        }
        std::uint64_t count = 0;
        for (const std::uint64_t word : row.bits) count += static_cast<std::uint64_t>(std::popcount(word));
        none[r] = count == 0;
        if (count == rows)
            std::vector<std::uint64_t>().swap(region.keptAddresses);
        else
            region.keptAddresses = std::move(row.bits);
    }
    std::size_t r = 0;
    std::erase_if(snapshot.regions, [&](const MemorySnapshot::Region&) { return none[r++]; });
}

}  // namespace

bool keepsItsBytes(const SearchSettings& settings) {
    return isIntegerType(settings.type) && settings.condition == SearchCondition::Unchanged;
}

void narrowInPlace(MemoryReader& reader, MemorySnapshot& snapshot, const SearchSettings& settings,
                   const TextCodec& codec, const StopFlag& stop) {
    std::vector<KeptRow> kept = keptRows(reader, snapshot, settings, codec, stop);
    if (!stop.raised()) markKept(snapshot, std::move(kept));
}

void listKept(const MemorySnapshot& snapshot, const SearchSettings& settings, const TextCodec& codec,
              CompactResults& out) {
    const ValueFilter filter(settings.type, settings.baseMode, SearchCondition::None, "", "", codec);
    const std::uint64_t perChunk = rowChunkStride(snapshot.step) / snapshot.step;
    std::vector<unsigned char> bytes;
    for (std::size_t r = 0; r < snapshot.regions.size(); ++r) {
        const MemorySnapshot::Region& region = snapshot.regions[r];
        const std::uint64_t rows = snapshot.rowAddresses(region);
        for (std::uint64_t first = 0; first < rows; first += perChunk) {
            const std::uint64_t count = std::min(perChunk, rows - first);
            // A chunk none of whose addresses is kept is not read.
            if (!region.keptAddresses.empty() &&
                std::all_of(region.keptAddresses.begin() + static_cast<std::ptrdiff_t>(first / 64),
                            region.keptAddresses.begin() + static_cast<std::ptrdiff_t>((first + count - 1) / 64 + 1),
                            [](std::uint64_t word) { return word == 0; }))
                continue;
            const std::uint64_t from = region.start + first * snapshot.step;
            bytes.resize(static_cast<std::size_t>((count - 1) * snapshot.step + snapshot.itemSize));
            snapshot.copyOut(r, from, from + bytes.size(), bytes.data());
            for (std::uint64_t k = 0; k < count; ++k)
                if (region.keeps(first + k))
                    appendAddressResult(out, from + k * snapshot.step, filter, bytes.data() + k * snapshot.step);
        }
    }
}

MemorySnapshot narrowIntoSnapshot(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                                  const TextCodec& codec, const StopFlag& stop, std::unique_ptr<SnapshotStore> store) {
    MemorySnapshot next =
        takeMemorySnapshot(reader, rowRegions(snapshot), snapshot.step, snapshot.itemSize, stop, std::move(store));
    if (stop.raised()) return next;
    // The search compares the bytes just taken, the ones the new snapshot
    // keeps; its regions are the old one's, and so are the bits' places.
    SnapshotReader taken(next, reader.pointerWidth());
    markKept(next, keptRows(taken, snapshot, settings, codec, stop));
    return next;
}

}  // namespace corvane
