#include "engine/search/search_engine.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <system_error>

#include "engine/kit/elapsed_time.h"
#include "engine/search/search_passes.h"
#include "engine/search/spill_file.h"
#include "engine/search/traversal.h"
#include "engine/values/value_compare.h"

namespace corvane {
namespace {

void reportFailure(const char* pass) {
    try {
        throw;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s failed: %s\n", pass, error.what());
    } catch (...) {
        std::fprintf(stderr, "%s failed\n", pass);
    }
}

// A search over a memory row alone fills the compact array, any other the
// ordinary one.
void install(ResultStore& store, std::shared_ptr<const PathTable> paths, ResultEntries& entries,
             CompactResults& compact) {
    if (!compact.empty())
        store.replace(std::move(paths), std::move(compact), ResultStore::Numbering::InOrder);
    else
        store.replace(std::move(paths), std::move(entries), ResultStore::Numbering::InOrder);
}

}  // namespace

std::uint64_t traversalTotal(const std::vector<StructureRow>& rows) {
    std::uint64_t total = 1;
    for (const StructureRow& row : rows)
        if (row.count > 0) total *= static_cast<std::uint64_t>(row.count);
    return total;
}

SearchEngine::SearchEngine(TargetAccess& target, SearchSink& sink, const TextCodec& codec)
    : target_(target), sink_(sink), codec_(codec) {}

SearchEngine::~SearchEngine() {
    stopRequested.raise();
    monitorActive = 0;
    waitForWorkers();
}

bool SearchEngine::busyCheck() const {
    // The reformat counts too: it writes the store and resets nothing, so a
    // search started beside it would be a second writer.
    return !isWorkerRunning(Worker::FirstSearch) && !isWorkerRunning(Worker::NextSearch) &&
           !isWorkerRunning(Worker::Monitor) && !isWorkerRunning(Worker::Reformat) &&
           !isWorkerRunning(Worker::PointerScan);
}

bool SearchEngine::startPointerScan(std::function<void()> body) {
    if (!busyCheck()) return false;
    return launch(Worker::PointerScan, std::move(body));
}

bool SearchEngine::launch(Worker worker, std::function<void()> body) {
    if (flags_->running(worker)) return false;
    std::thread& thread = workers_[static_cast<std::size_t>(worker)];
    // A finished worker's thread is joined before its slot is reused.
    if (thread.joinable()) thread.join();
    // The flag goes up before the thread runs, so the worker's own end always
    // lowers it; a thread that cannot be created lowers it again at once.
    flags_->set(worker, true);
    try {
        thread = startThread([flags = flags_, worker, body = std::move(body)] {
            body();
            flags->set(worker, false);
        });
    } catch (const std::system_error& error) {
        flags_->set(worker, false);
        std::fprintf(stderr, "cannot start a worker: %s\n", error.what());
        return false;
    }
    return true;
}

bool SearchEngine::startFirstSearch(std::vector<StructureRow> rows, std::string module, FirstRow first) {
    if (!busyCheck()) return false;
    stopRequested.clear();
    return launch(Worker::FirstSearch, [this, rows = std::move(rows), module = std::move(module), first]() mutable {
        runFirstSearch(std::move(rows), std::move(module), first);
    });
}

void SearchEngine::tellMissing(const std::string& module) {
    if (onModuleMissing) onModuleMissing(module);
}

ModuleBases SearchEngine::moduleBases(std::vector<std::string>* told) {
    const auto paths = results_.paths();
    if (!paths) return {};
    ModuleBases bases(*paths, modules_);
    for (const std::string& module : bases.missing()) {
        if (told != nullptr) {
            bool known = false;
            for (const std::string& earlier : *told) known = known || earlier == module;
            if (known) continue;
            told->push_back(module);
        }
        tellMissing(module);
    }
    return bases;
}

bool SearchEngine::startNextSearch() {
    if (!busyCheck()) return false;
    return launch(Worker::NextSearch, [this] { runNextSearch(); });
}

bool SearchEngine::startMonitor() {
    if (!busyCheck()) return false;
    monitorActive = -1;
    return launch(Worker::Monitor, [this] { runMonitorLoop(); });
}

bool SearchEngine::startReformat() {
    if (!busyCheck()) return false;
    return launch(Worker::Reformat, [this] { runReformat(); });
}

void SearchEngine::waitForWorkers() {
    for (std::thread& thread : workers_)
        if (thread.joinable()) thread.join();
}

void SearchEngine::waitForWorker(Worker worker) {
    std::thread& thread = workers_[static_cast<std::size_t>(worker)];
    if (thread.joinable()) thread.join();
}

FirstSearchReport SearchEngine::runFirstSearch(std::vector<StructureRow> rows, std::string module, FirstRow first) {
    const auto start = std::chrono::steady_clock::now();
    FirstSearchReport report;
    try {
        // The list was emptied when the search started; the old results go
        // now rather than after the traversal, so they never share the peak
        // with the new candidates.
        results_.clear();
        dropSnapshot();
        report.openError = target_.openTarget();
        const SearchSettings settings = sink_.captureSettings();
        baseMode_ = settings.baseMode;
        const ValueFilter filter(settings.type, settings.baseMode, firstSearchCondition(settings.condition),
                                 settings.value1, settings.value2, codec_);
        ResultEntries entries;
        CompactResults compact;
        Traversal traversal(target_, stopRequested, candidates_);
        progress_.leaves = 0;
        progress_.results = 0;
        // The module's base is taken once, after the open: the whole walk
        // counts from where the module is loaded now.
        std::optional<std::uint64_t> base;
        if (!module.empty() && modules_ != nullptr && report.openError == 0) base = modules_->moduleBase(module);
        if (first == FirstRow::Memory) {
            std::vector<MemoryRegion> regions;
            if (regions_ != nullptr && report.openError == 0) regions = writableRegions(regions_->readableRegions());
            // Values not known yet: one result per address would be hundreds
            // of millions of them; the bytes are kept instead.
            if (rows.size() == 1 && filter.keepsAll()) {
                const std::uint64_t step = memoryRowStep(rows[0]);
                auto snapshot = std::make_unique<MemorySnapshot>(
                    takeMemorySnapshot(target_, regions, step, filter.readSize(), stopRequested, newSnapshotStore()));
                report.candidates = static_cast<std::size_t>(snapshot->addressCount());
                if (!stopRequested.raised()) {
                    snapshotAddresses_ = snapshot->addressCount();
                    snapshot_ = std::move(snapshot);
                }
            } else {
                spareBlocks_.clear();
                traversal.runFilteredOverMemory(std::move(rows), std::move(regions), filter, entries, compact,
                                                &progress_);
            }
        } else if (module.empty() || base) {
            traversal.anchorOn(module, base.value_or(0));
            traversal.runFiltered(std::move(rows), filter, entries, &progress_);
        } else {
            candidates_.reset({});
            // A target that cannot be opened has been told already; its modules are not.
            if (report.openError == 0) tellMissing(module);
        }
        if (!snapshot_) report.candidates = static_cast<std::size_t>(traversal.leafCount());
        // A stop before the walk is done keeps nothing: the values are tested
        // as the leaves are met, so what was kept is only part of the leaves.
        if (stopRequested.raised()) {
            entries.clear();
            compact.clear();
        }
        install(results_, candidates_.paths(), entries, compact);
        candidates_.reset({});
    } catch (...) {
        reportFailure("first search");
    }
    report.stopped = stopRequested.raised();
    report.results = results_.count();
    report.snapshotAddresses = snapshotAddresses_.load();
    report.elapsedMs = millisecondsSince(start);
    sink_.publishCount(report.results);
    sink_.setStatusText(StatusField::SearchTime, std::to_string(report.elapsedMs) + "ms");
    // A snapshot lists nothing until a next search narrows it; the status
    // bar counts the addresses it stands for.
    sink_.setStatusText(StatusField::ValidData,
                        std::to_string(report.snapshotAddresses != 0 ? report.snapshotAddresses : report.results));
    sink_.firstSearchEnded(report);
    return report;
}

void SearchEngine::dropSnapshot() {
    // Added to the spare blocks: a snapshot narrowed from another leaves
    // the other's blocks spare beside its own.
    if (snapshot_)
        if (auto* paged = dynamic_cast<PagedStore*>(snapshot_->store.get()))
            for (PagedStore::Block& block : paged->takeBlocks()) spareBlocks_.push_back(std::move(block));
    snapshot_.reset();
    snapshotAddresses_ = 0;
}

std::unique_ptr<SnapshotStore> SearchEngine::newSnapshotStore() {
    if (makeSnapshotStore) return makeSnapshotStore();
    return std::make_unique<PagedStore>(std::move(spareBlocks_), snapshotBudget_, spillPath_);
}

void SearchEngine::installSnapshot(MemorySnapshot snapshot) {
    results_.clear();
    snapshotAddresses_ = snapshot.addressCount();
    snapshot_ = std::make_unique<MemorySnapshot>(std::move(snapshot));
}

void SearchEngine::runNextSearch() {
    const auto start = std::chrono::steady_clock::now();
    try {
        const SearchSettings settings = sink_.captureSettings();
        baseMode_ = settings.baseMode;
        if (snapshot_) {
            ResultEntries entries;
            CompactResults compact;
            if (keepsItsBytes(settings)) {
                // Marked in the snapshot first, listed from it when few
                // enough: trying results first would fill the budget's worth
                // of them before finding out.
                const StopFlag runsToTheEnd;
                narrowInPlace(target_, *snapshot_, settings, codec_, runsToTheEnd);
                snapshotAddresses_ = snapshot_->addressCount();
                if (snapshotAddresses_ <= resultLimit()) {
                    listKept(*snapshot_, settings, codec_, compact);
                    install(results_, std::make_shared<PathTable>(), entries, compact);
                    dropSnapshot();
                }
            } else if (narrowMemorySnapshot(target_, *snapshot_, settings, codec_, entries, compact, resultLimit())) {
                install(results_, std::make_shared<PathTable>(), entries, compact);
                dropSnapshot();
            } else {
                entries.clear();
                compact.clear();
                keepNarrowedSnapshot(settings);
            }
        } else {
            const ModuleBases bases = moduleBases();
            runNextSearchPass(target_, results_, settings, codec_, &bases);
        }
    } catch (...) {
        reportFailure("next search");
    }
    reportPass(start);
}

std::uint64_t SearchEngine::resultLimit() const {
    if (snapshotBudget_ == std::numeric_limits<std::uint64_t>::max()) return snapshotBudget_;
    return snapshotBudget_ / sizeof(CompactResult);
}

void SearchEngine::keepNarrowedSnapshot(const SearchSettings& settings) {
    // The two snapshots are held at once while the new one is taken: the new
    // one's memory is what the old one leaves of the budget, and its file is
    // the other of the two names.
    const auto* paged = dynamic_cast<const PagedStore*>(snapshot_->store.get());
    const std::uint64_t held = snapshot_->store ? snapshot_->store->memoryBytes() : 0;
    const std::filesystem::path spill =
        paged != nullptr && paged->spillPath() == spillPath_ ? secondSpillPath(spillPath_) : spillPath_;
    auto store = std::make_unique<PagedStore>(std::move(spareBlocks_),
                                              snapshotBudget_ > held ? snapshotBudget_ - held : 0, spill);
    const StopFlag runsToTheEnd;
    MemorySnapshot narrowed = narrowIntoSnapshot(target_, *snapshot_, settings, codec_, runsToTheEnd, std::move(store));
    dropSnapshot();
    results_.clear();
    snapshotAddresses_ = narrowed.addressCount();
    snapshot_ = std::make_unique<MemorySnapshot>(std::move(narrowed));
}

void SearchEngine::reportPass(std::chrono::steady_clock::time_point start) {
    const std::size_t count = results_.count();
    sink_.publishCount(count);
    sink_.setStatusText(StatusField::SearchTime, std::to_string(millisecondsSince(start)) + "ms");
    // A snapshot kept by a next search lists nothing; the status bar counts
    // the addresses it kept.
    sink_.setStatusText(StatusField::ValidData,
                        std::to_string(snapshot_ ? snapshotAddresses_.load() : std::uint64_t{count}));
}

void SearchEngine::runMonitorLoop(const MonitorCycleEnded& cycleEnded) {
    try {
        // Every cycle looks the modules up again, but a missing one is told
        // once for the whole run, not five times a second.
        std::vector<std::string> told;
        for (std::uint64_t cycle = 1; monitorActive.load() == -1; ++cycle) {
            const ModuleBases bases = moduleBases(&told);
            runMonitorCycle(target_, results_, sink_.currentType(), baseMode_.load(), codec_, &bases, unreadRows);
            sink_.publishCount(results_.count());
            if (cycleEnded && !cycleEnded(cycle)) break;
            // 200 ms between cycles, in steps short enough to end soon after a stop.
            for (int step = 0; step < 4 && monitorActive.load() == -1; ++step)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    } catch (...) {
        reportFailure("monitor");
    }
}

void SearchEngine::runReformat() {
    const auto start = std::chrono::steady_clock::now();
    try {
        const SearchSettings settings = sink_.captureSettings();
        baseMode_ = settings.baseMode;
        runReformatPass(target_, results_, settings.type, settings.baseMode, codec_, unreadRows);
    } catch (...) {
        reportFailure("reformat");
    }
    reportPass(start);
    sink_.reformatEnded();
}

}  // namespace corvane
