#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/search/candidate_store.h"
#include "engine/target/memory_regions.h"
#include "engine/search/memory_snapshot.h"
#include "engine/target/module_lookup.h"
#include "engine/search/result_store.h"
#include "engine/search/search_passes.h"
#include "engine/search/search_sink.h"
#include "engine/search/structure_row.h"
#include "engine/target/target_access.h"
#include "engine/text/text_codec.h"
#include "engine/search/traversal.h"
#include "engine/kit/stop_flag.h"

namespace corvane {

enum class Worker : std::uint8_t { FirstSearch, NextSearch, Reformat, Monitor, PointerScan };

// What row 0 of a first search stands for: its offsets, or every writable
// address of the target (the memory row).
enum class FirstRow : std::uint8_t { Offsets, Memory };

// Which workers run. Shared, so that an observer on a thread of its own (the
// wait indicator) may outlive the engine and read all of them stopped.
class WorkerFlags {
public:
    bool running(Worker worker) const { return flags_[static_cast<std::size_t>(worker)].load(); }
    void set(Worker worker, bool running) { flags_[static_cast<std::size_t>(worker)] = running; }

private:
    std::array<std::atomic<bool>, 5> flags_{};
};

// The search state of the main window and the workers that change it. The
// window (or the command line) calls the start functions from one thread;
// each pass runs on a thread of its own and reports through the sink. No
// start waits for a worker.
class SearchEngine {
public:
    SearchEngine(TargetAccess& target, SearchSink& sink, const TextCodec& codec);
    // Asks the workers to end and waits for them.
    ~SearchEngine();
    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    // -1 asks a running first search to stop; only the first search looks at it.
    StopFlag stopRequested;
    // -1 while monitoring is on.
    std::atomic<std::int32_t> monitorActive{0};

    bool isWorkerRunning(Worker worker) const { return flags_->running(worker); }
    std::shared_ptr<const WorkerFlags> workerFlags() const { return flags_; }
    // True when no worker runs.
    bool busyCheck() const;

    // Each returns false, doing nothing, when busyCheck fails or the worker's
    // thread cannot be created.
    // With a module named, row 0's offsets count from its base in the target.
    bool startFirstSearch(std::vector<StructureRow> rows, std::string module = {}, FirstRow first = FirstRow::Offsets);
    bool startNextSearch();
    bool startMonitor();
    void stopMonitor() { monitorActive = 0; }
    bool startReformat();
    // A pointer scan or rescan, run by its dialog: no search starts beside it.
    bool startPointerScan(std::function<void()> body);

    // Where the passes look up the modules that structures and paths are
    // anchored on; without it every such structure finds nothing. Set while
    // no worker runs.
    void setModuleLookup(ModuleLookup* modules) { modules_ = modules; }
    // Where a memory row finds the target's writable memory; without it a
    // memory row finds nothing. Set while no worker runs.
    void setRegionLookup(RegionLookup* regions) { regions_ = regions; }
    // Told, on the worker's thread, of a module that a pass needed and the
    // target has not loaded: a first search, a next search, or a monitor
    // (once for each time it is started).
    std::function<void(const std::string&)> onModuleMissing;
    // Where each monitor cycle and reformat lists the rows it could not read
    // (for a front end without a list); none when null. Set while no worker
    // runs; read after a reformat or in a monitor's cycleEnded.
    UnreadRows* unreadRows = nullptr;

    // How a worker's thread is made; tests replace it to see a thread that
    // cannot be created.
    std::function<std::thread(std::function<void()>)> startThread = [](std::function<void()> body) {
        return std::thread(std::move(body));
    };

    // Blocks until no worker runs; for the command line and the tests.
    void waitForWorkers();
    // Blocks until `worker` has ended (its thread joined); from the thread
    // that starts the workers.
    void waitForWorker(Worker worker);

    ResultStore& results() { return results_; }
    const ResultStore& results() const { return results_; }
    // How far the running (or last) first search has got.
    const TraversalProgress& progress() const { return progress_; }

    // The snapshot a 不过滤 first search over a memory row kept instead of
    // results, until a next search narrows it into results; null when there
    // is none. Read and installed while no worker runs.
    const MemorySnapshot* snapshot() const { return snapshot_.get(); }
    void installSnapshot(MemorySnapshot snapshot);
    // Where the next snapshot's stored pages go; without it, to memory
    // blocks within the budget below. Set while no worker runs.
    std::function<std::unique_ptr<SnapshotStore>()> makeSnapshotStore;
    // Drops the snapshot and the memory kept for the next one (its file
    // too); for the list's 清空. While no worker runs.
    void clearSnapshot() {
        dropSnapshot();
        spareBlocks_.clear();
    }
    // The memory a snapshot may hold; beyond it, its pages go to the file
    // `spillPath` (deleted with the snapshot). Set while no worker runs.
    void setSnapshotBudget(std::uint64_t bytes, std::filesystem::path spillPath) {
        snapshotBudget_ = bytes;
        spillPath_ = std::move(spillPath);
    }
    // The addresses the snapshot stands for; 0 without one.
    std::uint64_t snapshotAddresses() const { return snapshotAddresses_.load(); }

    // The base captured by the last pass; monitoring formats with it.
    std::uint8_t baseMode() const { return baseMode_.load(); }
    // For a monitor that no pass of this engine came before (the command
    // line's, over a results file): the base it formats with.
    void setBaseMode(std::uint8_t baseMode) { baseMode_ = baseMode; }

    // Told after each monitor cycle, with its number from 1, on the
    // monitor's thread; false ends the monitor there.
    using MonitorCycleEnded = std::function<bool(std::uint64_t cycle)>;

    // The passes themselves, on the calling thread.
    FirstSearchReport runFirstSearch(std::vector<StructureRow> rows, std::string module = {},
                                     FirstRow first = FirstRow::Offsets);
    void runNextSearch();
    // Cycles until monitorActive is cleared or `cycleEnded` says so, 200 ms apart.
    void runMonitorLoop(const MonitorCycleEnded& cycleEnded = {});
    void runReformat();

private:
    std::shared_ptr<WorkerFlags> flags_ = std::make_shared<WorkerFlags>();
    bool launch(Worker worker, std::function<void()> body);
    // The count to the list, and the time and count to the status bar.
    void reportPass(std::chrono::steady_clock::time_point start);
    // The results a next search over a snapshot may keep: as many as its
    // budget's memory holds.
    std::uint64_t resultLimit() const;
    // A next search over the snapshot that keeps more: the snapshot taken
    // again, its kept addresses marked, in place of the old one.
    void keepNarrowedSnapshot(const SearchSettings& settings);

    // The bases of the modules the listed paths are anchored on, as they
    // are now; missing ones are told, each once per `told`.
    ModuleBases moduleBases(std::vector<std::string>* told = nullptr);
    void tellMissing(const std::string& module);

    TargetAccess& target_;
    ModuleLookup* modules_ = nullptr;
    RegionLookup* regions_ = nullptr;
    SearchSink& sink_;
    const TextCodec& codec_;
    CandidateStore candidates_;
    ResultStore results_;
    std::atomic<std::uint8_t> baseMode_{0};
    std::unique_ptr<MemorySnapshot> snapshot_;
    std::atomic<std::uint64_t> snapshotAddresses_{0};
    std::uint64_t snapshotBudget_ = std::numeric_limits<std::uint64_t>::max();
    std::filesystem::path spillPath_;
    // The memory blocks of the last snapshot, for the next one to fill.
    std::vector<PagedStore::Block> spareBlocks_;
    void dropSnapshot();
    std::unique_ptr<SnapshotStore> newSnapshotStore();
    TraversalProgress progress_;
    std::array<std::thread, 5> workers_;
};

// The number of leaves a structure describes at most: the product of the
// counts above 0, wrapping at 64 bits; 1 for no rows.
std::uint64_t traversalTotal(const std::vector<StructureRow>& rows);

}  // namespace corvane
