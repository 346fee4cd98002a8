#include "engine/pointers/pointer_job.h"

#include "engine/kit/ticker.h"
#include "engine/pointers/runs_walk.h"

namespace corvane {
namespace {

PointerJobProgress copyOf(const PointerScanProgress& progress) {
    return {progress.phase.load(),    progress.bytesRead.load(), progress.bytesTotal.load(),
            progress.pointers.load(), progress.level.load(),     progress.paths.load()};
}

// Paths on their way to the sink: gathered on the job's thread and handed on
// in batches, from there or from the progress ticker, in the order found.
class PathBatch {
public:
    explicit PathBatch(PointerJobSink& sink) : sink_(sink) {}

    void add(const PointerPath& path) {
        const std::lock_guard lock(mutex_);
        batch_.push_back(path);
        if (batch_.size() >= PointerJobs::kBatchPaths) flushLocked();
    }
    void flush() {
        const std::lock_guard lock(mutex_);
        flushLocked();
    }

private:
    // Under the lock, so two batches never overtake each other.
    void flushLocked() {
        if (batch_.empty()) return;
        sink_.pathsFound(std::move(batch_));
        batch_ = {};
    }

    PointerJobSink& sink_;
    std::mutex mutex_;
    std::vector<PointerPath> batch_;
};

}  // namespace

bool PointerJobs::start(PointerJob job, PointerJobSink& sink) {
    // A job that has told its end may still be leaving its thread.
    if (ended_) engine_.waitForWorker(Worker::PointerScan);
    stop_.clear();
    ended_ = false;
    if (engine_.startPointerScan([this, job = std::move(job), &sink] { run(job, sink); })) return true;
    ended_ = true;
    return false;
}

void PointerJobs::stopAndWait() {
    stop_.raise();
    engine_.waitForWorker(Worker::PointerScan);
}

void PointerJobs::run(const PointerJob& job, PointerJobSink& sink) {
    PointerJobReport report;
    report.kind = job.kind;
    PointerScanProgress progress;
    PathBatch batch(sink);
    {
        const PathSink emit = [&batch](const PointerPath& path) { batch.add(path); };
        const Ticker ticker(kProgressEvery, kProgressEvery, [&] {
            batch.flush();
            sink.progressed(copyOf(progress));
        });
        report.openError = target_.openTarget();
        if (report.openError == 0) {
            const std::uint64_t address = job.settings.address;
            switch (job.kind) {
                case PointerJobKind::Scan:
                    if (job.savedRuns.empty()) {
                        report.scan = PointerScan(target_, regions_).run(job.settings, emit, stop_, progress);
                        report.stopped = report.scan->stopped;
                        break;
                    }
                    if (RunMap live; captureRunMap(target_, regions_, address, stop_, progress, live)) {
                        // The live target is one run more beside the saved ones.
                        std::vector<const RunMap*> runs;
                        for (const auto& saved : job.savedRuns) runs.push_back(saved.get());
                        runs.push_back(&live);
                        report.scan = walkRuns(runs, job.settings, stop_, progress, emit);
                        report.stopped = report.scan->stopped;
                    } else {
                        report.stopped = true;
                    }
                    break;
                case PointerJobKind::Rescan: {
                    std::vector<PointerPath> kept;
                    progress.phase = PointerScanProgress::Paths;
                    report.rescan = rescanPaths(target_, modules_, address, job.paths, stop_, kept);
                    report.stopped = report.rescan->stopped;
                    for (const PointerPath& path : kept) batch.add(path);
                    break;
                }
                case PointerJobKind::CaptureMap:
                    if (EncodedRunMap map; captureEncodedRunMap(target_, regions_, address, stop_, progress, map))
                        report.failure = job.keepMap ? job.keepMap(map, stop_) : std::string();
                    // A map stopped on its way is no failure: it was asked for.
                    report.stopped = stop_.raised();
                    if (report.stopped) report.failure.clear();
                    break;
            }
        }
    }
    // The ticker has ended: the last batch and the last figures cannot be
    // overtaken.
    batch.flush();
    progress.phase = PointerScanProgress::Done;
    sink.progressed(copyOf(progress));
    // Lowered before the sink hears it, so a job started from its answer
    // finds this one gone.
    ended_ = true;
    sink.ended(report);
}

}  // namespace corvane
