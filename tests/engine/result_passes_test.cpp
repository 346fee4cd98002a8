#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/search/search_engine.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/result_texts.h"
#include "tests/support/test_sink.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::FakeTarget;
using test::TestSink;

constexpr std::uint64_t kTable = 0x10000000;
constexpr std::uint64_t kBlock = 0x20000000;

class ResultPassesTest : public ::testing::Test {
protected:
    void SetUp() override {
        target.writePointer(kTable, kBlock);
        for (std::uint64_t i = 0; i < 5; ++i)
            target.writeValue<std::int32_t>(kBlock + 4 * i, static_cast<std::int32_t>(i) - 1);
        sink.set({ValueType::Long, 0, SearchCondition::None, "", ""});
        engine.runFirstSearch({{static_cast<std::int64_t>(kTable), 0, 0}, {0, 5, 4}});
        ASSERT_EQ(engine.results().count(), 5u);
    }
    std::vector<std::string> values() const { return test::valueTexts(engine.results()); }
    template <typename Predicate>
    bool eventually(Predicate predicate) {
        for (int i = 0; i < 400; ++i) {
            if (predicate()) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    FakeTarget target;
    TestSink sink;
    FakeTextCodec codec;
    SearchEngine engine{target, sink, codec};
};

TEST_F(ResultPassesTest, ReformatRereadsAtTheStoredAddresses) {
    sink.set({ValueType::Long, 1, SearchCondition::None, "", ""});
    engine.runReformat();
    EXPECT_EQ(values(), (std::vector<std::string>{"FFFFFFFF", "0", "1", "2", "3"}));
    EXPECT_EQ(sink.reformats, 1);
    // Another kind: a 1-byte read at the same addresses; paths and addresses stay.
    target.writePointer(kTable, 0x50000000);  // the reformat does not walk paths
    sink.set({ValueType::Byte, 0, SearchCondition::None, "", ""});
    engine.runReformat();
    EXPECT_EQ(values(), (std::vector<std::string>{"255", "0", "1", "2", "3"}));
    EXPECT_EQ(engine.results().pathText(4), "10000000]10");
    EXPECT_EQ(engine.results().address(4), kBlock + 16);
    EXPECT_EQ(sink.status[StatusField::ValidData], "5");
}

TEST_F(ResultPassesTest, AValueThatCannotBeReadKeepsItsText) {
    target.unmap(kBlock, 0x1000);
    sink.set({ValueType::Long, 1, SearchCondition::None, "", ""});
    engine.runReformat();
    EXPECT_EQ(values(), (std::vector<std::string>{"-1", "0", "1", "2", "3"}));
}

TEST_F(ResultPassesTest, MonitorShowsNewValuesAndFollowsMovedPointers) {
    ASSERT_TRUE(engine.startMonitor());
    EXPECT_FALSE(engine.busyCheck());
    EXPECT_FALSE(engine.startNextSearch());  // busy while monitoring
    target.writeValue<std::int32_t>(kBlock, 10);
    EXPECT_TRUE(eventually([&] { return engine.results().valueText(0) == "10"; }));
    // The block moves: addresses follow the pointer.
    target.writePointer(kTable, 0x20100000);
    target.writeValue<std::int32_t>(0x20100004, 77);
    target.map(0x20100000, 0x1000);
    EXPECT_TRUE(eventually([&] { return engine.results().address(1) == 0x20100004u; }));
    EXPECT_EQ(engine.results().valueText(1), "77");
    // Unresolvable paths keep what they had; nothing is dropped.
    target.writePointer(kTable, 0x60000000);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(engine.results().count(), 5u);
    EXPECT_EQ(engine.results().valueText(1), "77");
    engine.stopMonitor();
    EXPECT_TRUE(eventually([&] { return engine.busyCheck(); }));
    EXPECT_GE(sink.publishedCount(), 3u);
}

TEST_F(ResultPassesTest, NothingStartsWhileAReformatRuns) {
    // The reformat's reads wait at a gate the test opens, so it is still
    // running when the other passes are asked to start.
    std::atomic<bool> open{false};
    target.onRead = [&] {
        while (!open) std::this_thread::sleep_for(1ms);
    };
    sink.set({ValueType::Byte, 0, SearchCondition::None, "", ""});
    ASSERT_TRUE(engine.startReformat());
    EXPECT_FALSE(engine.busyCheck());
    EXPECT_FALSE(engine.startFirstSearch({{static_cast<std::int64_t>(kTable), 0, 0}, {0, 5, 4}}));
    EXPECT_FALSE(engine.startNextSearch());
    EXPECT_FALSE(engine.startMonitor());
    EXPECT_FALSE(engine.startReformat());
    open = true;
    EXPECT_TRUE(eventually([&] { return engine.busyCheck(); }));
    target.onRead = nullptr;
    EXPECT_EQ(sink.reformats, 1);
    EXPECT_TRUE(engine.startNextSearch());
    engine.waitForWorkers();
}

TEST_F(ResultPassesTest, AWorkerWhoseThreadCannotBeCreatedLeavesNothingRunning) {
    engine.startThread = [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    EXPECT_FALSE(engine.startFirstSearch({{static_cast<std::int64_t>(kTable), 0, 0}, {0, 5, 4}}));
    EXPECT_FALSE(engine.startMonitor());
    EXPECT_FALSE(engine.startReformat());
    EXPECT_TRUE(engine.busyCheck());
    for (Worker worker : {Worker::FirstSearch, Worker::NextSearch, Worker::Reformat, Worker::Monitor})
        EXPECT_FALSE(engine.isWorkerRunning(worker)) << static_cast<int>(worker);
    // Once threads can be made again, searches start as before.
    engine.startThread = [](std::function<void()> body) { return std::thread(std::move(body)); };
    EXPECT_TRUE(engine.startNextSearch());
    engine.waitForWorkers();
    EXPECT_EQ(engine.results().count(), 5u);
}

TEST_F(ResultPassesTest, ANextSearchAfterMonitoringComparesWithTheRefreshedValues) {
    ASSERT_TRUE(engine.startMonitor());
    target.writeValue<std::int32_t>(kBlock + 8, 50);
    EXPECT_TRUE(eventually([&] { return engine.results().valueText(2) == "50"; }));
    engine.stopMonitor();
    engine.waitForWorkers();
    sink.set({ValueType::Long, 0, SearchCondition::Unchanged, "", ""});
    ASSERT_TRUE(engine.startNextSearch());
    engine.waitForWorkers();
    EXPECT_EQ(engine.results().count(), 5u);
}

TEST_F(ResultPassesTest, MonitoringAnEmptyStoreCycles) {
    engine.results().clear();
    ASSERT_TRUE(engine.startMonitor());
    EXPECT_TRUE(eventually([&] { return sink.publishedCount() >= 3; }));
    engine.stopMonitor();
    engine.waitForWorkers();
    EXPECT_EQ(sink.counts.back(), 0u);
}

TEST_F(ResultPassesTest, RemoveAndClearWhileMonitoringNeitherCrashNorResurrect) {
    ASSERT_TRUE(engine.startMonitor());
    std::this_thread::sleep_for(50ms);
    engine.results().removeAt(4);
    engine.results().removeAt(0);
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(engine.results().count(), 3u);
    EXPECT_EQ(engine.results().pathText(0), "10000000]4");
    EXPECT_EQ(engine.results().valueText(0), "0");
    engine.results().clear();
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(engine.results().count(), 0u);
    EXPECT_FALSE(engine.results().allocated());
    engine.stopMonitor();
    engine.waitForWorkers();
}

// Display reads, removals and a running monitor at once; under
// ThreadSanitizer this shows the store's lock covers every access.
TEST(ResultStoreConcurrency, DisplayRemoveAndMonitorRace) {
    FakeTarget target;
    target.writePointer(kTable, kBlock);
    for (std::uint64_t i = 0; i < 2000; ++i)
        target.writeValue<std::int32_t>(kBlock + 4 * i, static_cast<std::int32_t>(i));
    TestSink sink;
    FakeTextCodec codec;
    SearchEngine engine(target, sink, codec);
    sink.set({ValueType::Long, 0, SearchCondition::None, "", ""});
    engine.runFirstSearch({{static_cast<std::int64_t>(kTable), 0, 0}, {0, 2000, 4}});
    ASSERT_TRUE(engine.startMonitor());
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int round = 0; round < 200 && !done; ++round) {
            target.writeValue<std::int32_t>(kBlock + 4 * static_cast<std::uint64_t>(round), -round);
            std::this_thread::sleep_for(1ms);
        }
    });
    // The window's side: cells must always be whole and belong to their row.
    for (int i = 0; i < 3000; ++i) {
        const std::size_t n = engine.results().count();
        if (n == 0) break;
        const std::size_t row = static_cast<std::size_t>(i * 7919) % n;
        std::string path, value;
        if (!engine.results().appendCellText(row, 0, path)) continue;
        engine.results().appendCellText(row, 1, value);
        ASSERT_EQ(path.rfind("10000000]", 0), 0u) << path;
        if (i % 100 == 0) engine.results().removeAt(row);
    }
    done = true;
    writer.join();
    engine.stopMonitor();
    engine.waitForWorkers();
    EXPECT_EQ(engine.results().count(), 2000u - 30u);
}

}  // namespace
}  // namespace corvane
