#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/pointers/encoded_pointers.h"
#include "engine/pointers/run_map.h"

namespace corvane {

// One run's map with its pointers already in the map file's encoded form,
// as the reading threads left them: what a map that is only to be saved
// needs, at some 6 bytes a pointer and no sorting or joining of arrays.
struct EncodedRunMap {
    // Width, address, images and regions; no slots nor words.
    RunMap outline;
    // In slot order: each stretch's first pointer is encoded from the last
    // of the stretch before when the map is written.
    std::vector<EncodedPointers> stretches;

    std::uint64_t size() const;
    // The length of the file's pointer bytes.
    std::uint64_t pointerBytes() const;
    // Calls piece(const unsigned char*, std::size_t) for the file's pointer
    // bytes, in order.
    template <typename Piece>
    void eachPointerPiece(Piece&& piece) const {
        MapEntry before;
        for (const EncodedPointers& stretch : stretches) {
            if (stretch.size() == 0) continue;
            unsigned char first[kMaxEntryBytes];
            const unsigned char* end = putMapEntry(first, before, stretch.first(), outline.width);
            piece(static_cast<const unsigned char*>(first), static_cast<std::size_t>(end - first));
            stretch.eachPiece(piece);
            before = stretch.last();
        }
    }
};

// Reads every readable region of the target once, as captureRunMap does,
// each reading thread encoding its share as it reads. False when `stop` was
// raised; `map` is then empty.
bool captureEncodedRunMap(MemoryReader& reader, RegionLookup& lookup, std::uint64_t address, const StopFlag& stop,
                          PointerScanProgress& progress, EncodedRunMap& map, std::size_t chunkBytes = kReadChunkBytes);

// A map held whole, encoded. Its words must point into its regions.
EncodedRunMap encodeRunMap(const RunMap& map);

}  // namespace corvane
