#include "engine/search/memory_snapshot.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/kit/both_cores.h"
#include "engine/memory/memory_scan.h"
#include "engine/search/chunk_pipe.h"
#include "engine/search/address_results.h"
#include "engine/values/change_compare.h"
#include "engine/values/value_compare.h"
#include "engine/values/value_type.h"

namespace corvane {
namespace {

bool isChangeCondition(SearchCondition condition) { return condition >= SearchCondition::Unchanged; }

std::size_t wordsFor(std::uint64_t pages) { return static_cast<std::size_t>((pages + 63) / 64); }

void setBit(std::vector<std::uint64_t>& bits, std::uint64_t page) {
    bits[static_cast<std::size_t>(page / 64)] |= std::uint64_t{1} << (page % 64);
}

}  // namespace

bool allZero(const unsigned char* bytes, std::size_t size) {
    // Blocks of words or'ed together in a loop the compiler widens, the first
    // block with a bit set ending it: a page of zeros is found at the speed
    // memory is read, and most other pages within their first block.
    constexpr std::size_t kBlock = 256;
    std::size_t at = 0;
    for (; at + kBlock <= size; at += kBlock) {
        std::uint64_t any = 0;
        for (std::size_t k = 0; k < kBlock; k += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes + at + k, 8);
            any |= word;
        }
        if (any != 0) return false;
    }
    unsigned char any = 0;
    for (; at < size; ++at) any |= bytes[at];
    return any == 0;
}

void MemorySnapshot::Region::clearPages() {
    zeroPages.assign(wordsFor(pages()), 0);
    lostPages.assign(wordsFor(pages()), 0);
}

void MemorySnapshot::Region::index() {
    storedBeforeWord_.assign(zeroPages.size(), 0);
    std::uint64_t stored = 0;
    for (std::size_t w = 0; w < zeroPages.size(); ++w) {
        storedBeforeWord_[w] = stored;
        const std::uint64_t inWord = std::min<std::uint64_t>(64, pages() - w * 64);
        stored += inWord - static_cast<std::uint64_t>(std::popcount(zeroPages[w] | lostPages[w]));
    }
}

std::uint64_t MemorySnapshot::Region::storedBefore(std::uint64_t page) const {
    const auto w = static_cast<std::size_t>(page / 64);
    const std::uint64_t below = (std::uint64_t{1} << (page % 64)) - 1;
    const auto skipped = static_cast<std::uint64_t>(std::popcount((zeroPages[w] | lostPages[w]) & below));
    return storedBeforeWord_[w] + page % 64 - skipped;
}

std::uint64_t MemorySnapshot::Region::storedBytes() const {
    if (size == 0) return 0;
    const std::uint64_t last = pages() - 1;
    const std::uint64_t lastBytes = size - last * kPageSize;
    return storedBefore(last) * kPageSize + (zero(last) || lost(last) ? 0 : lastBytes);
}

std::uint64_t MemorySnapshot::addressCount() const {
    std::uint64_t count = 0;
    for (const Region& region : regions) {
        if (region.keptAddresses.empty()) {
            count += rowAddresses(region);
            continue;
        }
        for (const std::uint64_t word : region.keptAddresses) count += static_cast<std::uint64_t>(std::popcount(word));
    }
    return count;
}

std::uint64_t MemorySnapshot::memoryBytes() const {
    std::uint64_t bytes = sizeof *this + regions.capacity() * sizeof(Region);
    for (const Region& region : regions)
        bytes += (region.zeroPages.capacity() * 3 + region.keptAddresses.capacity()) * sizeof(std::uint64_t);
    return bytes + (store ? store->memoryBytes() : 0);
}

void MemorySnapshot::copyOut(std::size_t r, std::uint64_t from, std::uint64_t to, unsigned char* out) const {
    const Region& region = regions[r];
    // Runs of stored pages are read in one call each; no run while runOut is
    // null (an address, even 0, cannot tell).
    std::uint64_t runFrom = 0;
    std::uint64_t runTo = 0;
    unsigned char* runOut = nullptr;
    auto flush = [&] {
        if (runOut != nullptr && runTo > runFrom) {
            const std::uint64_t page = (runFrom - region.start) / kPageSize;
            const std::uint64_t offset =
                region.storedFrom + region.storedBefore(page) * kPageSize + (runFrom - region.start) % kPageSize;
            store->read(offset, runOut, static_cast<std::size_t>(runTo - runFrom));
        }
        runOut = nullptr;
    };
    for (std::uint64_t at = from; at < to;) {
        const std::uint64_t page = (at - region.start) / kPageSize;
        const std::uint64_t pageEnd = std::min(to, region.start + (page + 1) * kPageSize);
        unsigned char* const place = out + (at - from);
        if (region.zero(page) || region.lost(page)) {
            flush();
            std::memset(place, 0, static_cast<std::size_t>(pageEnd - at));
        } else {
            if (runOut == nullptr || runTo != at) {
                flush();
                runFrom = at;
                runOut = place;
            }
            runTo = pageEnd;
        }
        at = pageEnd;
    }
    flush();
}

bool MemorySnapshot::keptWhole(std::size_t r, std::uint64_t address, std::size_t size) const {
    const Region& region = regions[r];
    for (std::uint64_t page = (address - region.start) / kPageSize;
         page <= (address + size - 1 - region.start) / kPageSize; ++page)
        if (region.lost(page)) return false;
    return true;
}

bool MemorySnapshot::sameAs(const MemorySnapshot& other) const {
    if (step != other.step || itemSize != other.itemSize || regions.size() != other.regions.size()) return false;
    std::vector<unsigned char> mine;
    std::vector<unsigned char> theirs;
    for (std::size_t r = 0; r < regions.size(); ++r) {
        const Region& a = regions[r];
        const Region& b = other.regions[r];
        if (a.start != b.start || a.size != b.size || a.zeroPages != b.zeroPages || a.lostPages != b.lostPages ||
            a.keptAddresses != b.keptAddresses)
            return false;
        for (std::uint64_t at = a.start; at < a.end(); at += PagedStore::kBlockBytes) {
            const std::uint64_t to = std::min(a.end(), at + PagedStore::kBlockBytes);
            mine.resize(static_cast<std::size_t>(to - at));
            theirs.resize(mine.size());
            copyOut(r, at, to, mine.data());
            other.copyOut(r, at, to, theirs.data());
            // Lost pages hold nothing to compare.
            for (std::uint64_t page = at; page < to; page += kPageSize)
                if (a.lost((page - a.start) / kPageSize)) {
                    const auto offset = static_cast<std::size_t>(page - at);
                    const std::size_t bytes = std::min<std::size_t>(kPageSize, mine.size() - offset);
                    std::memset(mine.data() + offset, 0, bytes);
                    std::memset(theirs.data() + offset, 0, bytes);
                }
            if (mine != theirs) return false;
        }
    }
    return true;
}

namespace {

// Reads the regions chunk by chunk into `snapshot`'s page tables, handing
// each chunk's stored runs on with `hand(chunk)`; `next()` gives the chunk
// to read into, null to end early. False when stopped.
template <typename Next, typename Hand>
bool readSnapshotChunks(MemoryReader& reader, const std::vector<MemoryRegion>& regions, const StopFlag& stop,
                        MemorySnapshot& snapshot, Next&& next, Hand&& hand) {
    // Where the next stored page will lie in the store, counted here: the
    // store itself may lag behind on its own thread.
    std::uint64_t stored = snapshot.store->size();
    for (const MemoryRegion& from : regions) {
        MemorySnapshot::Region& region = snapshot.regions.emplace_back();
        region.start = from.start;
        region.size = from.size;
        region.storedFrom = stored;
        region.clearPages();
        for (std::uint64_t at = 0; at < region.size; at += kReadChunkBytes) {
            if (stop.raised()) return false;
            ChunkPipe::Chunk* chunk = next();
            if (chunk == nullptr) return true;
            unsigned char* bytes = chunk->bytes.data();
            chunk->runs.clear();
            const std::uint64_t size = std::min(region.size - at, kReadChunkBytes);
            const std::uint64_t begin = region.start + at;
            readByHalves(reader, begin, begin + size, bytes, [&](std::uint64_t page) {
                // Regions begin on a page; were one not to, the lost page
                // takes both of the region's pages it touches.
                const std::uint64_t low = std::max(page, begin);
                const std::uint64_t high = std::min(page + kPageSize, begin + size) - 1;
                for (std::uint64_t p = (low - region.start) / kPageSize; p <= (high - region.start) / kPageSize; ++p)
                    setBit(region.lostPages, p);
            });
            // The stored pages in runs; a zero page only sets its bit.
            for (std::uint64_t offset = 0; offset < size; offset += kPageSize) {
                const std::uint64_t page = (at + offset) / kPageSize;
                const auto here = static_cast<std::size_t>(offset);
                const std::size_t length = static_cast<std::size_t>(std::min(kPageSize, size - offset));
                if (region.lost(page)) continue;
                if (allZero(bytes + here, length)) {
                    setBit(region.zeroPages, page);
                    continue;
                }
                if (!chunk->runs.empty() && chunk->runs.back().second == here)
                    chunk->runs.back().second = here + length;
                else
                    chunk->runs.emplace_back(here, here + length);
                stored += length;
            }
            hand(*chunk);
        }
        region.index();
    }
    return true;
}

void storeRuns(SnapshotStore& store, const ChunkPipe::Chunk& chunk) {
    for (const auto& [from, to] : chunk.runs) store.append(chunk.bytes.data() + from, to - from);
}

}  // namespace

MemorySnapshot takeMemorySnapshot(MemoryReader& reader, const std::vector<MemoryRegion>& regions, std::uint64_t step,
                                  std::size_t itemSize, const StopFlag& stop, std::unique_ptr<SnapshotStore> store,
                                  bool storingThread) {
    MemorySnapshot snapshot;
    snapshot.step = step == 0 ? 1 : step;
    snapshot.itemSize = static_cast<std::uint32_t>(itemSize);
    snapshot.store = store ? std::move(store) : std::make_unique<PagedStore>();
    SnapshotStore& kept = *snapshot.store;
    snapshot.regions.reserve(regions.size());
    if (!storingThread) {
        ChunkPipe::Chunk chunk;
        chunk.bytes.resize(static_cast<std::size_t>(kReadChunkBytes));
        readSnapshotChunks(
            reader, regions, stop, snapshot, [&] { return &chunk; },
            [&](const ChunkPipe::Chunk& full) { storeRuns(kept, full); });
        return snapshot;
    }
    // Four chunks in flight: enough to ride out a slow write, little memory.
    ChunkPipe pipe(4, static_cast<std::size_t>(kReadChunkBytes));
    runBoth(
        [&] {
            struct Closer {
                ChunkPipe& pipe;
                ~Closer() { pipe.close(); }
            } closer{pipe};
            readSnapshotChunks(
                reader, regions, stop, snapshot, [&] { return pipe.empty(); },
                [&](const ChunkPipe::Chunk&) { pipe.filled(); });
        },
        [&] {
            try {
                while (const ChunkPipe::Chunk* chunk = pipe.next()) {
                    storeRuns(kept, *chunk);
                    pipe.stored();
                }
            } catch (...) {
                pipe.giveUp();
                throw;
            }
        });
    return snapshot;
}

bool SnapshotReader::read(std::uint64_t address, void* buffer, std::size_t size) {
    if (size == 0) return true;
    const auto& regions = snapshot_.regions;
    auto after =
        std::upper_bound(regions.begin(), regions.end(), address,
                         [](std::uint64_t at, const MemorySnapshot::Region& region) { return at < region.start; });
    if (after == regions.begin()) return false;
    const auto r = static_cast<std::size_t>(after - regions.begin() - 1);
    const MemorySnapshot::Region& region = regions[r];
    if (address + size > region.end() || address + size < address) return false;
    if (!snapshot_.keptWhole(r, address, size)) return false;
    snapshot_.copyOut(r, address, address + size, static_cast<unsigned char*>(buffer));
    return true;
}

namespace {

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
    std::vector<MemoryRegion> regions;
    for (const MemorySnapshot::Region& region : snapshot.regions) regions.push_back({region.start, region.size, true});
    MemoryRowScan scan(reader, regions, snapshot.step, size);
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
        bits.assign(wordsFor(rows), 0);
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
    std::vector<MemoryRegion> regions;
    for (const MemorySnapshot::Region& region : snapshot.regions) regions.push_back({region.start, region.size, true});
    MemorySnapshot next = takeMemorySnapshot(reader, regions, snapshot.step, snapshot.itemSize, stop, std::move(store));
    if (stop.raised()) return next;
    // The search compares the bytes just taken, the ones the new snapshot
    // keeps; its regions are the old one's, and so are the bits' places.
    SnapshotReader taken(next, reader.pointerWidth());
    markKept(next, keptRows(taken, snapshot, settings, codec, stop));
    return next;
}

}  // namespace corvane
