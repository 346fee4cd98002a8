// Pointer jobs on the engine's worker, against the fake target: each kind
// tells its sink the same paths as the scan, the rescan or the map it runs,
// in order and in batches, ends once and last, and answers a stop. And the
// ticker that reports their progress.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "engine/files/pointer_map_file.h"
#include "engine/kit/ticker.h"
#include "engine/pointers/pointer_job.h"
#include "engine/pointers/runs_walk.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/test_sink.h"

namespace corvane {
namespace {

using test::FakeTarget;

constexpr std::uint64_t kGame = 0x400000;
constexpr std::uint64_t kHeap = 0x10000000;
constexpr std::uint64_t kValue = kHeap + 0x118;

// Records what a job tells it, and whether anything came after `ended`.
class RecordingSink : public PointerJobSink {
public:
    void pathsFound(std::vector<PointerPath> paths) override {
        const std::lock_guard lock(mutex_);
        afterEnd_ |= report_.has_value();
        batches.push_back(paths.size());
        for (const PointerPath& path : paths) texts.push_back(pointerPathText(path));
    }
    void progressed(const PointerJobProgress& progress) override {
        const std::lock_guard lock(mutex_);
        afterEnd_ |= report_.has_value();
        phases.push_back(progress.phase);
    }
    void ended(const PointerJobReport& report) override {
        {
            const std::lock_guard lock(mutex_);
            afterEnd_ |= report_.has_value();
            report_ = report;
        }
        done_.notify_all();
    }
    // Waits for `ended`, then for the worker's thread.
    PointerJobReport wait(PointerJobs& jobs) {
        {
            std::unique_lock lock(mutex_);
            done_.wait(lock, [this] { return report_.has_value(); });
        }
        jobs.stopAndWait();
        const std::lock_guard lock(mutex_);
        EXPECT_FALSE(afterEnd_) << "the sink was told something after the job's end";
        return *report_;
    }

    std::vector<std::string> texts;
    std::vector<std::size_t> batches;
    std::vector<int> phases;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    std::optional<PointerJobReport> report_;
    bool afterEnd_ = false;
};

class PointerJobTest : public ::testing::Test {
protected:
    PointerJobTest() {
        target.loadModule("game.exe", kGame, 0x2000);
        target.map(kGame, 0x2000);
        target.map(kHeap, 0x4000);
        target.writePointer(kGame + 0x1A8, kHeap + 0x100);  // game.exe+1A8]18
        target.writePointer(kGame + 0x40, kHeap + 0x2000);  // game.exe+40]8]118
        target.writePointer(kHeap + 0x2008, kHeap);
    }

    std::vector<std::string> directScan(const PointerScanSettings& settings) {
        std::vector<std::string> paths;
        PointerScan(target, target).run(settings, [&](const PointerPath& path) {
            paths.push_back(pointerPathText(path));
        });
        return paths;
    }

    FakeTarget target;
    test::TestSink searchSink;
    const FakeTextCodec codec;
    SearchEngine engine{target, searchSink, codec};
    PointerJobs jobs{engine, target, target, &target};
    RecordingSink sink;
};

TEST_F(PointerJobTest, AScanTellsTheScansPathsInOrderThenItsFiguresLast) {
    PointerJob job;
    job.settings.address = kValue;
    ASSERT_TRUE(jobs.start(job, sink));
    const PointerJobReport report = sink.wait(jobs);
    EXPECT_EQ(sink.texts, directScan(job.settings));
    EXPECT_EQ(sink.texts, (std::vector<std::string>{"game.exe+1A8]18", "game.exe+40]8]118"}));
    ASSERT_TRUE(report.scan.has_value());
    EXPECT_EQ(report.scan->paths, 2u);
    EXPECT_FALSE(report.stopped);
    EXPECT_EQ(report.openError, 0u);
    ASSERT_FALSE(sink.phases.empty());
    EXPECT_EQ(sink.phases.back(), PointerScanProgress::Done) << "the last figures come after the last path";
    EXPECT_FALSE(jobs.running());
}

TEST_F(PointerJobTest, ManyPathsComeInBatchesThatKeepTheirOrder) {
    // More static slots than a batch holds, each a path of one level.
    const std::size_t slots = PointerJobs::kBatchPaths + 300;
    target.map(kGame + 0x2000, slots * 8);
    target.loadModule("big.dll", kGame + 0x2000, slots * 8);
    for (std::size_t i = 0; i < slots; ++i) target.writePointer(kGame + 0x2000 + i * 8, kHeap + 0x100);
    PointerJob job;
    job.settings.address = kValue;
    job.settings.depth = 1;
    ASSERT_TRUE(jobs.start(job, sink));
    sink.wait(jobs);
    EXPECT_EQ(sink.texts, directScan(job.settings));
    ASSERT_EQ(sink.texts.size(), slots + 1);
    for (std::size_t batch : sink.batches) EXPECT_LE(batch, PointerJobs::kBatchPaths);
    EXPECT_GE(sink.batches.size(), 2u);
}

TEST_F(PointerJobTest, AScanWithSavedRunsKeepsWhatEveryRunAndTheLiveOneShare) {
    auto saved = std::make_shared<RunMap>();
    PointerScanProgress progress;
    ASSERT_TRUE(captureRunMap(target, target, kValue, StopFlag(), progress, *saved));
    // After the map was saved the longer path broke in the live run.
    target.writePointer(kHeap + 0x2008, kHeap + 0x3000);
    PointerJob job;
    job.settings.address = kValue;
    job.savedRuns = {saved};
    ASSERT_TRUE(jobs.start(job, sink));
    const PointerJobReport report = sink.wait(jobs);
    EXPECT_EQ(sink.texts, std::vector<std::string>{"game.exe+1A8]18"});
    ASSERT_TRUE(report.scan.has_value());
    EXPECT_EQ(report.scan->paths, 1u);
}

TEST_F(PointerJobTest, ARescanTellsTheKeptPathsAndItsReport) {
    PointerJob job;
    job.kind = PointerJobKind::Rescan;
    job.settings.address = kValue;
    for (const char* text : {"game.exe+1A8]18", "game.exe+40]8]118", "gone.dll+10]0"}) {
        const std::optional<PointerPath> path = parsePointerPath(text);
        ASSERT_TRUE(path) << text;
        job.paths.push_back(*path);
    }
    target.writePointer(kGame + 0x1A8, 0);  // the first path is broken now
    ASSERT_TRUE(jobs.start(job, sink));
    const PointerJobReport report = sink.wait(jobs);
    EXPECT_EQ(sink.texts, std::vector<std::string>{"game.exe+40]8]118"});
    ASSERT_TRUE(report.rescan.has_value());
    EXPECT_EQ(report.rescan->kept, 1u);
    EXPECT_EQ(report.rescan->missingModules, std::vector<std::string>{"gone.dll"});
}

TEST_F(PointerJobTest, AMapGoesToItsKeeperAndAFailureToKeepItIsReported) {
    RunMap expected;
    PointerScanProgress progress;
    ASSERT_TRUE(captureRunMap(target, target, kValue, StopFlag(), progress, expected));
    const struct { std::string answer; } cases[] = {{""}, {"cannot write x.map"}};
    for (const auto& c : cases) {
        RecordingSink mapSink;
        RunMap kept;
        PointerJob job;
        job.kind = PointerJobKind::CaptureMap;
        job.settings.address = kValue;
        job.keepMap = [&](const EncodedRunMap& map, const StopFlag&) {
            std::string error;
            EXPECT_TRUE(decodePointerMap(encodePointerMap(map), kept, error)) << error;
            return c.answer;
        };
        ASSERT_TRUE(jobs.start(job, mapSink));
        const PointerJobReport report = mapSink.wait(jobs);
        EXPECT_EQ(kept, expected);
        EXPECT_EQ(report.failure, c.answer);
        EXPECT_FALSE(report.stopped);
        EXPECT_TRUE(mapSink.texts.empty());
    }
}

TEST_F(PointerJobTest, AMapStoppedWhileItIsReadLeavesNoFile) {
    // Kept as the window keeps it: written whole beside its name, then named.
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "corvane_job_stopped.map";
    std::filesystem::path partial = file;
    partial += ".partial";
    std::filesystem::remove(file);
    bool kept = false;
    PointerJob job;
    job.kind = PointerJobKind::CaptureMap;
    job.settings.address = kValue;
    job.keepMap = [&](const EncodedRunMap& map, const StopFlag& stop) {
        kept = true;
        return savePointerMap(file, map, stop);
    };
    target.onRead = [this] { jobs.stop(); };
    ASSERT_TRUE(jobs.start(job, sink));
    const PointerJobReport report = sink.wait(jobs);
    target.onRead = nullptr;
    EXPECT_TRUE(report.stopped);
    EXPECT_TRUE(report.failure.empty()) << report.failure;
    EXPECT_FALSE(kept) << "a map stopped on its way reached its keeper";
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(partial));

    // Not stopped, the same job leaves the whole map.
    RecordingSink again;
    ASSERT_TRUE(jobs.start(job, again));
    EXPECT_FALSE(again.wait(jobs).stopped);
    RunMap expected;
    RunMap saved;
    PointerScanProgress progress;
    ASSERT_TRUE(captureRunMap(target, target, kValue, StopFlag(), progress, expected));
    EXPECT_EQ(loadPointerMap(file, saved), "");
    EXPECT_EQ(saved, expected);
    EXPECT_FALSE(std::filesystem::exists(partial));
    std::filesystem::remove(file);
}

TEST_F(PointerJobTest, ATargetThatCannotBeOpenedRunsNothingAndSaysSo) {
    target.openError = 5;
    PointerJob job;
    job.settings.address = kValue;
    ASSERT_TRUE(jobs.start(job, sink));
    const PointerJobReport report = sink.wait(jobs);
    EXPECT_EQ(report.openError, 5u);
    EXPECT_FALSE(report.scan.has_value());
    EXPECT_TRUE(sink.texts.empty());
}

TEST_F(PointerJobTest, WhileAJobRunsNoSecondJobNorSearchStartsAndAStopEndsIt) {
    // A map whose keeper holds the job until the stop reaches it.
    std::promise<void> entered;
    PointerJob job;
    job.kind = PointerJobKind::CaptureMap;
    job.settings.address = kValue;
    job.keepMap = [&](const EncodedRunMap&, const StopFlag& stop) {
        entered.set_value();
        while (!stop.raised()) std::this_thread::yield();
        return std::string("stopped");
    };
    ASSERT_TRUE(jobs.start(job, sink));
    entered.get_future().wait();
    EXPECT_TRUE(jobs.running());
    RecordingSink other;
    EXPECT_FALSE(jobs.start(PointerJob{}, other));
    EXPECT_FALSE(engine.startReformat());
    jobs.stop();
    const PointerJobReport report = sink.wait(jobs);
    EXPECT_TRUE(report.stopped);
    EXPECT_TRUE(report.failure.empty()) << "a map stopped on request is no failure: " << report.failure;
    EXPECT_TRUE(engine.busyCheck());

    // The next job starts at once after the last one's end.
    RecordingSink next;
    PointerJob scan;
    scan.settings.address = kValue;
    ASSERT_TRUE(jobs.start(scan, next));
    EXPECT_EQ(next.wait(jobs).scan->paths, 2u);
}

TEST(Ticker, TicksUntilDestroyedAndNotBeforeItsDelay) {
    std::mutex mutex;
    std::condition_variable ticked;
    int ticks = 0;
    {
        const Ticker ticker(std::chrono::milliseconds(1), std::chrono::milliseconds(1), [&] {
            const std::lock_guard lock(mutex);
            ++ticks;
            ticked.notify_all();
        });
        std::unique_lock lock(mutex);
        ticked.wait(lock, [&] { return ticks >= 3; });
    }
    const int atEnd = ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ticks, atEnd) << "a tick came after the ticker was destroyed";

    // Destroyed long before its delay: it never ticks, and does not wait out
    // the delay.
    int early = 0;
    {
        const Ticker idle(std::chrono::hours(1), std::chrono::hours(1), [&] { ++early; });
    }
    EXPECT_EQ(early, 0);
}

}  // namespace
}  // namespace corvane
