#include "engine/search/memory_snapshot.h"

#include <algorithm>
#include <cstring>

#include "engine/memory/memory_scan.h"
#include "engine/memory/prefault_ahead.h"
#include "engine/search/address_results.h"
#include "engine/values/change_compare.h"
#include "engine/values/value_compare.h"
#include "engine/values/value_type.h"

namespace corvane {
namespace {

bool isChangeCondition(SearchCondition condition) { return condition >= SearchCondition::Unchanged; }


// Whether the `size` bytes at `address` of the region were read.
bool keptWhole(const MemorySnapshot::Region& region, std::uint64_t address, std::size_t size) {
    if (region.lostPages.empty()) return true;
    const auto lost = std::lower_bound(region.lostPages.begin(), region.lostPages.end(), pageOf(address));
    return lost == region.lostPages.end() || *lost > pageOf(address + size - 1);
}

}  // namespace

std::uint64_t MemorySnapshot::addressCount() const {
    std::uint64_t count = 0;
    for (const Region& region : regions)
        if (region.bytes.size() >= itemSize) count += (region.bytes.size() - itemSize) / step + 1;
    return count;
}

std::uint64_t MemorySnapshot::memoryBytes() const {
    std::uint64_t bytes = sizeof *this + regions.capacity() * sizeof(Region);
    for (const Region& region : regions)
        bytes += region.bytes.size() + region.lostPages.capacity() * sizeof(std::uint64_t);
    return bytes;
}

MemorySnapshot takeMemorySnapshot(MemoryReader& reader, const std::vector<MemoryRegion>& regions, std::uint64_t step,
                                  std::size_t itemSize, const StopFlag& stop) {
    MemorySnapshot snapshot;
    snapshot.step = step == 0 ? 1 : step;
    snapshot.itemSize = static_cast<std::uint32_t>(itemSize);
    // Every byte of a region is some value's byte (or lies between values
    // the next search may read in another type): each region is kept whole,
    // read in the memory row's chunks straight into place. The buffers are
    // all taken first, so that their pages can be faulted in ahead of the
    // reads.
    snapshot.regions.reserve(regions.size());
    std::vector<PrefaultAhead::Span> chunks;
    for (const MemoryRegion& region : regions) {
        MemorySnapshot::Region& kept = snapshot.regions.emplace_back(
            MemorySnapshot::Region{region.start, MemorySnapshot::Bytes(static_cast<std::size_t>(region.size)), {}});
        for (std::uint64_t at = 0; at < region.size; at += kReadChunkBytes)
            chunks.push_back({kept.bytes.data() + at,
                              static_cast<std::size_t>(std::min(region.size - at, kReadChunkBytes))});
    }
    PrefaultAhead prefault(chunks);
    std::size_t chunk = 0;
    for (MemorySnapshot::Region& kept : snapshot.regions) {
        for (std::uint64_t at = kept.start; at < kept.end(); at += kReadChunkBytes, ++chunk) {
            if (stop.raised()) return snapshot;
            prefault.claim(chunk);
            readByHalves(reader, at, at + chunks[chunk].size, chunks[chunk].data,
                         [&kept](std::uint64_t page) { kept.lostPages.push_back(page); });
        }
    }
    return snapshot;
}

namespace {

// Calls `keep(address, bytes)` for every address the next search keeps.
template <typename Keep>
void narrow(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
            const TextCodec& codec, Keep&& keep) {
    const bool change = isChangeCondition(settings.condition);
    const ValueFilter filter(settings.type, settings.baseMode, change ? SearchCondition::None : settings.condition,
                             settings.value1, settings.value2, codec);
    const ChangeTest changeTest(settings.condition, settings.type, settings.baseMode, codec);
    const std::size_t size = filter.readSize();
    std::vector<MemoryRegion> regions;
    for (const MemorySnapshot::Region& region : snapshot.regions)
        regions.push_back({region.start, region.bytes.size(), true});
    MemoryRowScan scan(reader, regions, snapshot.step, size);
    // An integer is changed exactly when its bytes are: a run of memory
    // that did not change holds nothing that changed, increased or decreased.
    const bool skipsSame = isIntegerType(settings.type) && change && settings.condition != SearchCondition::Unchanged;
    StoredValue previous;
    while (scan.next()) {
        const MemorySnapshot::Region& region = snapshot.regions[scan.region()];
        std::uint64_t address = scan.first();
        const unsigned char* bytes = scan.bytes();
        const unsigned char* before = region.bytes.data() + (address - region.start);
        const bool whole = scan.whole();
        const std::size_t span = static_cast<std::size_t>((scan.count() - 1) * snapshot.step + size);
        if (skipsSame && whole && std::memcmp(bytes, before, span) == 0) continue;
        for (std::uint64_t k = 0; k < scan.count();
             ++k, address += snapshot.step, bytes += snapshot.step, before += snapshot.step) {
            if (!filter.matches(bytes) || (!whole && !scan.readable(address))) continue;
            if (change) {
                if (skipsSame && std::memcmp(bytes, before, size) == 0) continue;
                if (!keptWhole(region, address, size)) continue;
                filter.storeValue(before, previous);
                if (!changeTest.keeps(bytes, previous)) continue;
            }
            keep(filter, address, bytes);
        }
    }
}

}  // namespace

void narrowMemorySnapshot(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                          const TextCodec& codec, ResultEntries& out) {
    narrow(reader, snapshot, settings, codec,
           [&out](const ValueFilter& filter, std::uint64_t address, const unsigned char* bytes) {
               appendAddressResult(out, address, filter, bytes);
           });
}

void narrowMemorySnapshot(MemoryReader& reader, const MemorySnapshot& snapshot, const SearchSettings& settings,
                          const TextCodec& codec, ResultEntries& out, CompactResults& compact) {
    if (isTextType(settings.type)) return narrowMemorySnapshot(reader, snapshot, settings, codec, out);
    narrow(reader, snapshot, settings, codec,
           [&compact](const ValueFilter& filter, std::uint64_t address, const unsigned char* bytes) {
               appendAddressResult(compact, address, filter, bytes);
           });
}

}  // namespace corvane
