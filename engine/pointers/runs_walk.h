#pragma once

#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/pointers/pointer_scan.h"
#include "engine/pointers/run_map.h"

namespace corvane {

// The paths valid in every one of several runs of a target, each run given
// by its map: the intersection of the runs' path sets by the definition a
// scan holds to (see PointerScan), each run to its own address.
//
// The runs are walked together, level by level back from their addresses:
// a level's members are tuples of pointers, one per run, from whose slots
// the same offsets lead to the runs' addresses; each run is indexed by word,
// and a start's windows in the runs are walked together in word order, where
// the pointers one offset takes line up. A tuple whose slots all lie at the same
// place of the same module is a path's root; one with any static slot goes
// no further; the others are the next level's starts. So the work follows
// what the runs share, never one run's own paths. One run alone gives
// exactly the paths a scan of it finds.
//
// settings.address is not used: each map holds its run's address. The
// paths come shortest first, at most settings.limit of them; a stop keeps
// what was written.
PointerScanReport walkRuns(const std::vector<const RunMap*>& runs, const PointerScanSettings& settings,
                           const StopFlag& stop, PointerScanProgress& progress, const PathSink& emit);
// The same, letting each map go once the walk has indexed it: several runs
// then never take the room of their maps twice.
PointerScanReport walkRuns(std::vector<RunMap>&& runs, const PointerScanSettings& settings, const StopFlag& stop,
                           PointerScanProgress& progress, const PathSink& emit);

}  // namespace corvane
