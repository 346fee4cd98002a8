#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/search/search_engine.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/result_texts.h"
#include "tests/support/test_sink.h"

namespace corvane {
namespace {

using test::FakeTarget;
using test::TestSink;

// A table of four pointers at 0x10000000 to blocks of eight longs; block i
// holds i * 10 + j at +4j. Slot 2 points at nothing mapped.
class FirstSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::uint64_t i = 0; i < 4; ++i) {
            const std::uint64_t block = 0x20000000 + i * 0x1000;
            target.writePointer(0x10000000 + 8 * i, i == 2 ? 0x30000000 : block);
            for (std::uint64_t j = 0; j < 8; ++j)
                target.writeValue<std::int32_t>(block + 4 * j, static_cast<std::int32_t>(i * 10 + j));
        }
    }

    std::vector<StructureRow> rows() const { return {{0x10000000, 4, 8}, {0, 8, 4}}; }

    FirstSearchReport search(SearchSettings settings) {
        sink.set(std::move(settings));
        return engine.runFirstSearch(rows());
    }

    std::vector<std::string> values() const { return test::valueTexts(engine.results()); }

    FakeTarget target;
    TestSink sink;
    FakeTextCodec codec;
    SearchEngine engine{target, sink, codec};
};

TEST_F(FirstSearchTest, NoFilterKeepsEveryReadableLeafInTraversalOrder) {
    const FirstSearchReport report = search({ValueType::Long, 0, SearchCondition::None, "", ""});
    EXPECT_EQ(report.openError, 0u);
    EXPECT_EQ(report.candidates, 32u);  // slot 2's leaves are candidates; their reads fail
    EXPECT_EQ(report.results, 24u);
    ASSERT_EQ(engine.results().count(), 24u);
    EXPECT_EQ(engine.results().pathText(0), "10000000]0");
    EXPECT_EQ(engine.results().pathText(9), "10000008]4");
    EXPECT_EQ(engine.results().pathText(16), "10000018]0");
    EXPECT_EQ(engine.results().valueText(16), "30");
    EXPECT_EQ(engine.results().address(16), 0x20003000u);
    EXPECT_EQ(sink.counts, std::vector<std::size_t>{24});
    EXPECT_EQ(sink.status[StatusField::ValidData], "24");
    EXPECT_NE(sink.status[StatusField::SearchTime].find("ms"), std::string::npos);
    ASSERT_EQ(sink.reports.size(), 1u);
}

TEST_F(FirstSearchTest, ConditionsOfTheFirstSearch) {
    struct Case {
        SearchSettings settings;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{ValueType::Long, 0, SearchCondition::Between, "10", "12"}, {"10", "11", "12"}},
        {{ValueType::Long, 0, SearchCondition::Between, "12", "10"}, {}},
        {{ValueType::Long, 0, SearchCondition::Equal, "33", ""}, {"33"}},
        {{ValueType::Long, 1, SearchCondition::Equal, "21", ""}, {"21"}},  // hexadecimal 21 is 33
        {{ValueType::Long, 0, SearchCondition::AtMost, "1", ""}, {"0", "1"}},
        {{ValueType::Long, 0, SearchCondition::AtLeast, "&H20", ""}, {"32", "33", "34", "35", "36", "37"}},
    };
    for (const auto& c : cases) {
        search(c.settings);
        EXPECT_EQ(values(), c.expected) << c.settings.value1 << " " << c.settings.value2;
    }
}

TEST_F(FirstSearchTest, ChangeConditionsSearchWithoutAFilter) {
    for (auto condition : {SearchCondition::Unchanged, SearchCondition::Changed, SearchCondition::Increased,
                           SearchCondition::Decreased}) {
        search({ValueType::Long, 0, condition, "5", ""});
        EXPECT_EQ(engine.results().count(), 24u);
    }
}

TEST_F(FirstSearchTest, StopDuringTraversalEndsWithNoResults) {
    target.onRead = [&] { engine.stopRequested.raise(); };
    const FirstSearchReport report = search({ValueType::Long, 0, SearchCondition::None, "", ""});
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.results, 0u);
    EXPECT_EQ(sink.status[StatusField::ValidData], "0");
    EXPECT_EQ(sink.reports.size(), 1u);
}

TEST_F(FirstSearchTest, StopWhileTheLeavesAreReadKeepsNothing) {
    // Read 1 is the table, read 2 block 0's values: the stop comes with the
    // second block, when block 0's leaves have matched already.
    int reads = 0;
    target.onRead = [&] {
        if (++reads == 3) engine.stopRequested.raise();
    };
    const FirstSearchReport report = search({ValueType::Long, 0, SearchCondition::None, "", ""});
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.results, 0u);
    EXPECT_EQ(engine.results().count(), 0u);
    EXPECT_GE(report.candidates, 8u);
    EXPECT_LT(report.candidates, 32u);
    EXPECT_EQ(sink.status[StatusField::ValidData], "0");
}

TEST_F(FirstSearchTest, ATargetThatCannotBeOpenedIsReportedAndFindsNothing) {
    target.openError = 5;
    const FirstSearchReport report = search({ValueType::Long, 0, SearchCondition::None, "", ""});
    EXPECT_EQ(report.openError, 5u);
    EXPECT_EQ(report.results, 0u);
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].openError, 5u);
    EXPECT_EQ(sink.status[StatusField::ValidData], "0");
}

TEST_F(FirstSearchTest, ANewSearchReplacesTheResults) {
    search({ValueType::Long, 0, SearchCondition::None, "", ""});
    search({ValueType::Long, 0, SearchCondition::Equal, "7", ""});
    EXPECT_EQ(values(), std::vector<std::string>{"7"});
    EXPECT_EQ(engine.results().pathText(0), "10000000]1C");
}

TEST_F(FirstSearchTest, ValueReadsAreCoalescedIntoPages) {
    target.resetCounters();
    search({ValueType::Long, 0, SearchCondition::None, "", ""});
    // One window for the table, one per block, one for the unmapped one.
    EXPECT_LE(target.readCalls(), 1u + 4u);
}

TEST(TraversalTotal, IsTheProductOfThePositiveCounts) {
    EXPECT_EQ(traversalTotal({}), 1u);
    EXPECT_EQ(traversalTotal({{0, 1000, 8}, {0, 0, 0}, {0, -3, 4}, {0, 1000, 4}}), 1000000u);
    EXPECT_EQ(traversalTotal({{0, 65536, 1}, {0, 65536, 1}, {0, 65536, 1}, {0, 65536, 1}}), 0u);  // wraps
}

}  // namespace
}  // namespace corvane
