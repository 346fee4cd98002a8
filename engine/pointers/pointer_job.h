#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/pointers/encoded_run_map.h"
#include "engine/pointers/pointer_rescan.h"
#include "engine/pointers/pointer_scan.h"
#include "engine/pointers/run_map.h"
#include "engine/search/search_engine.h"
#include "engine/target/module_lookup.h"
#include "engine/target/target_access.h"

namespace corvane {

enum class PointerJobKind : std::uint8_t {
    // Paths to the address; with saved runs, only those valid in each of
    // them and in the live target.
    Scan,
    // The given paths that still lead to the address.
    Rescan,
    // The live run's map, handed to `keepMap`.
    CaptureMap,
};

// What a job is asked to do. A Rescan and a CaptureMap take only the
// address of the settings.
struct PointerJob {
    PointerJobKind kind = PointerJobKind::Scan;
    PointerScanSettings settings;
    std::vector<std::shared_ptr<const RunMap>> savedRuns;  // Scan
    std::vector<PointerPath> paths;                        // Rescan
    // CaptureMap: keeps the map (writes its file), on the job's thread. An
    // empty text, or why the map could not be kept. The map comes already
    // in its file's encoded form, as it was read.
    std::function<std::string(const EncodedRunMap&, const StopFlag&)> keepMap;
};

// Where a job stands, as a copy its sink may keep.
struct PointerJobProgress {
    int phase = PointerScanProgress::Idle;
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesTotal = 0;
    std::uint64_t pointers = 0;
    std::uint64_t level = 0;
    std::uint64_t paths = 0;
};

struct PointerJobReport {
    PointerJobKind kind = PointerJobKind::Scan;
    // The system's code when the target could not be opened; nothing ran.
    std::uint32_t openError = 0;
    bool stopped = false;
    std::optional<PointerScanReport> scan;      // a Scan's figures
    std::optional<PointerRescanReport> rescan;  // a Rescan's
    std::string failure;                        // why a map was not kept
};

// What a job tells its front end, on threads of the job's own, never on the
// thread that started it: so a window thread may wait for a job's end
// without a call of its sink waiting on it.
class PointerJobSink {
public:
    virtual ~PointerJobSink() = default;
    // Paths as the job finds them, in batches, in order: a scan's shortest
    // first, a rescan's kept ones (which replace the paths it was given).
    virtual void pathsFound(std::vector<PointerPath> paths) = 0;
    // Every kProgressEvery while the job runs.
    virtual void progressed(const PointerJobProgress& progress) = 0;
    // Last, once; nothing of the job's follows it.
    virtual void ended(const PointerJobReport& report) = 0;
};

// Runs pointer jobs one at a time on the engine's pointer worker, so that
// no search runs beside one.
class PointerJobs {
public:
    static constexpr std::chrono::milliseconds kProgressEvery{100};
    // A batch of paths goes to the sink when it holds this many, or at the
    // next progress report.
    static constexpr std::size_t kBatchPaths = 4096;

    PointerJobs(SearchEngine& engine, TargetAccess& target, RegionLookup& regions, ModuleLookup* modules)
        : engine_(engine), target_(target), regions_(regions), modules_(modules) {}
    // Stops a running job and waits for it.
    ~PointerJobs() { stopAndWait(); }
    PointerJobs(const PointerJobs&) = delete;
    PointerJobs& operator=(const PointerJobs&) = delete;

    // False, doing nothing, while a search or another job runs. `sink` must
    // outlive the job (this object's destructor waits for it).
    bool start(PointerJob job, PointerJobSink& sink);
    // Asks the running job to end soon; its sink still hears `ended`, with
    // what was found so far.
    void stop() { stop_.raise(); }
    // Stops the running job and waits for its thread.
    void stopAndWait();
    // From the start until the sink has been told `ended`.
    bool running() const { return engine_.isWorkerRunning(Worker::PointerScan) && !ended_.load(); }

private:
    void run(const PointerJob& job, PointerJobSink& sink);

    SearchEngine& engine_;
    TargetAccess& target_;
    RegionLookup& regions_;
    ModuleLookup* modules_;
    StopFlag stop_;
    std::atomic<bool> ended_{true};
};

}  // namespace corvane
