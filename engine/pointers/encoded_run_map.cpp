#include "engine/pointers/encoded_run_map.h"

#include <algorithm>
#include <utility>

#include "engine/kit/both_cores.h"

namespace corvane {

std::uint64_t EncodedRunMap::size() const {
    std::uint64_t count = 0;
    for (const EncodedPointers& stretch : stretches) count += stretch.size();
    return count;
}

std::uint64_t EncodedRunMap::pointerBytes() const {
    std::uint64_t bytes = 0;
    eachPointerPiece([&bytes](const unsigned char*, std::size_t size) { bytes += size; });
    return bytes;
}

bool captureEncodedRunMap(MemoryReader& reader, RegionLookup& lookup, std::uint64_t address, const StopFlag& stop,
                          PointerScanProgress& progress, EncodedRunMap& map, std::size_t chunkBytes) {
    map.stretches.clear();
    map.outline = outlineRun(reader, lookup, address, progress);
    // Each share encodes into a stretch of its own, in slot order.
    struct Share {
        std::vector<MemoryRegion> regions;
        EncodedPointers* stretch = nullptr;
        bool read = false;
    };
    std::vector<Share> shares;
    for (std::vector<MemoryRegion>& regions : readingShares(reader, map.outline.regions, chunkBytes))
        shares.push_back({std::move(regions), nullptr, false});
    for (std::size_t i = 0; i < shares.size(); ++i) map.stretches.emplace_back(map.outline.width);
    for (std::size_t i = 0; i < shares.size(); ++i) shares[i].stretch = &map.stretches[i];
    const RegionBounds bounds(map.outline.regions);
    eachShare(shares, [&](Share& share) {
        RegionBounds own = bounds;
        share.read = readPointerWords(reader, share.regions, own, stop, progress, chunkBytes,
                                      [&](std::uint64_t slot, std::uint64_t word, std::size_t region) {
                                          share.stretch->add({slot, region, word - own.start(region)});
                                      });
    });
    if (std::any_of(shares.begin(), shares.end(), [](const Share& share) { return !share.read; })) {
        map = EncodedRunMap{};
        return false;
    }
    progress.pointers = map.size();
    progress.phase = PointerScanProgress::Done;
    return true;
}

EncodedRunMap encodeRunMap(const RunMap& map) {
    EncodedRunMap encoded;
    encoded.outline.width = map.width;
    encoded.outline.address = map.address;
    encoded.outline.images = map.images;
    encoded.outline.regions = map.regions;
    encoded.stretches.emplace_back(map.width);
    RegionBounds finder(map.regions);
    for (std::size_t i = 0; i < map.size(); ++i) {
        const auto region = static_cast<std::size_t>(finder.find(map.words[i]));
        encoded.stretches.back().add({map.slots[i], region, map.words[i] - finder.start(region)});
    }
    return encoded;
}

}  // namespace corvane
