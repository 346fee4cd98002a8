#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/target/memory_reader.h"
#include "engine/target/memory_regions.h"
#include "engine/pointers/pointer_map.h"
#include "engine/kit/stop_flag.h"
#include "engine/pointers/pointer_path.h"

namespace corvane {

inline constexpr unsigned kMaxPointerDepth = 10;

// What a pointer scan looks for: paths of pointers from module statics to
// `address`, of 1 to `depth` levels, each level's offset in [minOffset,
// maxOffset] (the minimum may be negative, for links into the middle of an
// object).
struct PointerScanSettings {
    std::uint64_t address = 0;
    unsigned depth = 5;
    std::int64_t maxOffset = 0x1000;
    std::int64_t minOffset = 0;
    // Only these modules' images hold statics; the others count as ordinary
    // memory. Empty: every module's image.
    std::vector<std::string> modules;
    std::uint64_t limit = 1000000;
    // Only the paths that end with these offsets, in this order (the field's
    // offset in its object: {0x2C}, or {0x18, 0x2C}). Empty: every path.
    std::vector<std::int64_t> lastOffsets;
};

// Where a scan's paths go, one call each, shortest first.
using PathSink = std::function<void(const PointerPath&)>;

struct PointerScanReport {
    std::uint64_t regions = 0;
    std::uint64_t bytes = 0;
    std::uint64_t pointers = 0;
    std::uint64_t paths = 0;  // written
    // All paths there are, or at least how many when totalIsLowerBound.
    std::uint64_t total = 0;
    bool totalIsLowerBound = false;
    bool stopped = false;
    // A walk of several runs found more partial paths in common than it
    // may hold, and went no deeper: the paths of the levels before stand.
    bool crowded = false;
    std::uint32_t mapMs = 0;
    std::uint32_t sortMs = 0;
    std::uint32_t levelsMs = 0;
    std::uint32_t pathsMs = 0;
    std::size_t peakBytes = 0;  // the map and the levels at their largest
};

// The search from an address back to module statics. A slot is an address
// aligned to the pointer width in a readable region; a static slot lies in a
// chosen module's image. A path s1 … sk with offsets o1 … ok has s1 static,
// s2 … sk not, s(i+1) = value(si) + oi, value(sk) + ok = the address, and no
// slot twice; so it ends at its first static slot, seen from the address.
//
// Every word is read once and those that point into readable memory are kept
// sorted by value, the static slots' apart; the levels are then built
// backwards from the address, one sweep of the map per level (the last level
// sweeps the statics alone), each level a bit per slot and each slot keeping
// how many paths run from it to the address. Paths of k levels are written
// when level k is built, so the shortest come first and the deeper levels are
// never built once the limit is met.
class PointerScan {
public:
    PointerScan(MemoryReader& reader, RegionLookup& regions) : reader_(reader), regions_(regions) {}

    // Calls `emit` with each path, at most settings.limit times. A stop (set from any thread) is answered within
    // a chunk's read or a slice of a sweep; the paths written so far stand.
    PointerScanReport run(const PointerScanSettings& settings, const PathSink& emit) {
        return run(settings, emit, stop, progress);
    }
    // The same, answering `stopFlag` and telling `progressOut` instead of the members.
    PointerScanReport run(const PointerScanSettings& settings, const PathSink& emit, const StopFlag& stopFlag,
                          PointerScanProgress& progressOut);

    StopFlag stop;
    PointerScanProgress progress;
    // Told once every word of the target is read, before the scan sorts
    // them: a saved run read as a target may be let go then.
    std::function<void()> afterReading;
    // A map of this many pointers has its broad levels swept by two threads
    // when there are two cores.
    std::size_t twoThreadsFrom = std::size_t{1} << 20;

private:
    MemoryReader& reader_;
    RegionLookup& regions_;
};

}  // namespace corvane
