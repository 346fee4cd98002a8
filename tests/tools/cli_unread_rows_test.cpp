#include <gtest/gtest.h>

#include <sstream>

#include "engine/files/results_file.h"
#include "engine/search/search_passes.h"
#include "engine/text/text_codec.h"
#include "tests/support/fake_target.h"
#include "tools/cli/monitor_changes.h"

namespace corvane {
namespace {

// Three slots of a table pointing at objects; the rows of a results file
// that found each object's first long, and one row far away.
class UnreadRowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::uint64_t slot = 0; slot < 3; ++slot) {
            target_.writePointer(0x1000 + 8 * slot, 0x10000 * (slot + 2));
            target_.writeValue<std::int32_t>(0x10000 * (slot + 2), static_cast<std::int32_t>(100 + slot));
        }
        std::istringstream file(
            "1000]0\t100\t20000\n"
            "1008]0\t101\t30000\n"
            "1010]0\t102\t40000\n"
            "9000]0\t7\t90000\n");
        std::string error;
        ASSERT_TRUE(readResults(file, results_, systemTextCodec(), error)) << error;
    }
    void cycle(UnreadRows& unread) {
        runMonitorCycle(target_, results_, ValueType::Long, 0, systemTextCodec(), nullptr, &unread);
    }
    test::FakeTarget target_;
    ResultStore results_;
};

TEST_F(UnreadRowsTest, AMonitorCycleAndAReformatListTheRowsTheyCouldNotRead) {
    UnreadRows unread;
    cycle(unread);
    EXPECT_EQ(unread.count, 1u);
    EXPECT_EQ(unread.firstPaths, std::vector<std::string>{"9000]0"});
    EXPECT_EQ(unread.serials.size(), 1u);
    // The row keeps what the file listed.
    EXPECT_EQ(results_.valueText(3), "7");

    // Slot 1 pointed nowhere: its path no longer resolves, and the next
    // cycle forgets the last one's list.
    target_.writePointer(0x1008, 0x700000);
    cycle(unread);
    EXPECT_EQ(unread.count, 2u);
    EXPECT_EQ(unread.firstPaths, (std::vector<std::string>{"1008]0", "9000]0"}));

    // The reformat reads at the listed addresses: 90000 is not mapped.
    runReformatPass(target_, results_, ValueType::Short, 1, systemTextCodec(), &unread);
    EXPECT_EQ(unread.count, 1u);
    EXPECT_EQ(unread.firstPaths, std::vector<std::string>{"9000]0"});
    EXPECT_EQ(results_.valueText(0), "64");
}

TEST_F(UnreadRowsTest, OnlyTheFirstFewAreNamed) {
    for (std::uint64_t slot = 0; slot < 3; ++slot) target_.writePointer(0x1000 + 8 * slot, 0x700000);
    UnreadRows unread;
    cycle(unread);
    EXPECT_EQ(unread.count, 4u);
    EXPECT_EQ(unread.firstPaths.size(), UnreadRows::kNamed);
    EXPECT_EQ(unread.serials.size(), 4u);
}

// With --changes a row that became unreadable is written once with an empty
// value and address, and again with its value once it reads again.
TEST_F(UnreadRowsTest, ChangedRowsWriteALostRowEmptyOnce) {
    ChangedRows changes(results_, systemTextCodec());
    UnreadRows unread;
    const auto written = [&](std::uint32_t time) {
        cycle(unread);
        std::ostringstream out;
        changes.write(out, time, &unread);
        return out.str();
    };
    EXPECT_EQ(written(1), "1\t9000]0\t\t\n");
    EXPECT_EQ(written(2), "");
    target_.writePointer(0x1008, 0x700000);
    EXPECT_EQ(written(3), "3\t1008]0\t\t\n");
    target_.writePointer(0x1008, 0x30000);
    EXPECT_EQ(written(4), "4\t1008]0\t101\t30000\n");
    target_.writeValue<std::int32_t>(0x30000, 5);
    EXPECT_EQ(written(5), "5\t1008]0\t5\t30000\n");
    target_.writePointer(0x9000, 0x90000);
    target_.writeValue<std::int32_t>(0x90000, 9);
    EXPECT_EQ(written(6), "6\t9000]0\t9\t90000\n");
}

// A row written without value and address reads back (with address 0,
// which a next search passes over as the window's list does); a line missing
// only one of them is still malformed.
TEST_F(UnreadRowsTest, ARowWrittenEmptyIsReadBack) {
    std::istringstream file("1000]0\t100\t20000\n1008]0\t\t\r\n1010]0\t102\t40000\n");
    ResultStore back;
    std::string error;
    ASSERT_TRUE(readResults(file, back, systemTextCodec(), error)) << error;
    ASSERT_EQ(back.count(), 3u);
    EXPECT_EQ(back.pathText(1), "1008]0");
    EXPECT_EQ(back.valueText(1), "");
    EXPECT_EQ(back.address(1), 0u);
    EXPECT_EQ(back.pathText(2), "1010]0");
    runNextSearchPass(target_, back, {ValueType::Long, 0, SearchCondition::AtLeast, "100", ""}, systemTextCodec());
    ASSERT_EQ(back.count(), 2u);
    EXPECT_EQ(back.pathText(1), "1010]0");

    for (const char* line : {"1008]0\t5\t\n", "1008]0\t\t30000x\n", "1008]0\t\n"}) {
        std::istringstream bad(std::string("1000]0\t100\t20000\n") + line);
        ResultStore refused;
        EXPECT_FALSE(readResults(bad, refused, systemTextCodec(), error)) << line;
    }
}

}  // namespace
}  // namespace corvane
