#include "engine/search/memory_snapshot.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/kit/both_cores.h"
#include "engine/memory/memory_scan.h"
#include "engine/search/chunk_pipe.h"

namespace corvane {
namespace {

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

}  // namespace corvane
