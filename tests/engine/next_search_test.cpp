#include <gtest/gtest.h>

#include <cstring>
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

constexpr std::uint64_t kTable = 0x10000000;
constexpr std::uint64_t kBlock = 0x20000000;

// Results over a one-pointer table: kTable -> kBlock, leaves at kBlock + 8i.
class NextSearchTest : public ::testing::Test {
protected:
    template <typename T>
    void layout(const std::vector<T>& values) {
        target.writePointer(kTable, kBlock);
        for (std::size_t i = 0; i < values.size(); ++i) set<T>(i, values[i]);
        count = static_cast<std::int32_t>(values.size());
    }
    template <typename T>
    void set(std::size_t i, T value) {
        target.writeValue<T>(kBlock + 8 * i, value);
    }

    void first(ValueType type, std::uint8_t baseMode = 0) {
        sink.set({type, baseMode, SearchCondition::None, "", ""});
        engine.runFirstSearch({{static_cast<std::int64_t>(kTable), 0, 0}, {0, count, 8}});
    }
    void next(SearchSettings settings) {
        sink.set(std::move(settings));
        engine.runNextSearch();
    }
    std::vector<std::string> values() const { return test::valueTexts(engine.results()); }

    FakeTarget target;
    TestSink sink;
    FakeTextCodec codec;
    SearchEngine engine{target, sink, codec};
    std::int32_t count = 0;
};

TEST_F(NextSearchTest, BetweenKeepsTheMatchesInTheirOldOrder) {
    layout<std::int32_t>({5, 7, 7, 9});
    first(ValueType::Long);
    next({ValueType::Long, 0, SearchCondition::Between, "7", "8"});
    EXPECT_EQ(values(), (std::vector<std::string>{"7", "7"}));
    EXPECT_EQ(engine.results().pathText(0), "10000000]8");
    EXPECT_EQ(engine.results().pathText(1), "10000000]10");
    EXPECT_EQ(sink.counts.back(), 2u);
    EXPECT_EQ(sink.status[StatusField::ValidData], "2");
    next({ValueType::Long, 0, SearchCondition::Between, "8", "7"});
    EXPECT_EQ(engine.results().count(), 0u);
    EXPECT_TRUE(engine.results().allocated());
}

TEST_F(NextSearchTest, ConditionsPerKind) {
    struct Case {
        ValueType type;
        std::uint8_t baseMode;
        SearchCondition condition;
        const char* value1;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {ValueType::Byte, 0, SearchCondition::AtLeast, "-1", {"255"}},  // -1 cut to a byte is 255
        {ValueType::Long, 1, SearchCondition::Equal, "FF", {"FF"}},
        {ValueType::Long, 1, SearchCondition::Equal, "&hff", {"FF"}},
        {ValueType::Long, 0, SearchCondition::Contains, "zzz", {"255", "7", "-3"}},  // numbers: keep all
        {ValueType::Long, 0, SearchCondition::AtMost, "0", {"-3"}},
        {ValueType::Long, 1, SearchCondition::AtMost, "0", {}},  // FFFFFFFD is large unsigned
    };
    for (const auto& c : cases) {
        layout<std::int32_t>({255, 7, -3});
        first(c.type, c.baseMode);
        next({c.type, c.baseMode, c.condition, c.value1, ""});
        EXPECT_EQ(values(), c.expected) << c.value1;
    }
}

TEST_F(NextSearchTest, DroppedResultsLeaveTheOthersCompacted) {
    layout<std::int32_t>({1, 2, 3, 4, 5});
    first(ValueType::Long);
    set<std::int32_t>(1, 20);
    set<std::int32_t>(3, 40);
    next({ValueType::Long, 0, SearchCondition::Unchanged, "", ""});
    EXPECT_EQ(values(), (std::vector<std::string>{"1", "3", "5"}));
    next({ValueType::Long, 0, SearchCondition::None, "", ""});
    EXPECT_EQ(engine.results().count(), 3u);
}

TEST_F(NextSearchTest, ChangeConditionsCompareWithTheListedValue) {
    layout<std::int32_t>({10, 10, 10});
    first(ValueType::Long);
    set<std::int32_t>(0, 11);
    set<std::int32_t>(2, 9);
    next({ValueType::Long, 0, SearchCondition::Increased, "", ""});
    EXPECT_EQ(values(), std::vector<std::string>{"11"});

    layout<std::int32_t>({10, 10, 10});
    first(ValueType::Long);
    set<std::int32_t>(0, 11);
    set<std::int32_t>(2, 9);
    next({ValueType::Long, 0, SearchCondition::Decreased, "", ""});
    EXPECT_EQ(values(), std::vector<std::string>{"9"});
    // Each pass compares with the pass before it.
    set<std::int32_t>(2, 8);
    next({ValueType::Long, 0, SearchCondition::Changed, "", ""});
    EXPECT_EQ(values(), std::vector<std::string>{"8"});
}

TEST_F(NextSearchTest, HexadecimalListedValuesAreReadBackInTheirBase) {
    layout<std::int32_t>({0x1F});
    first(ValueType::Long, 1);
    EXPECT_EQ(values(), std::vector<std::string>{"1F"});
    next({ValueType::Long, 1, SearchCondition::Unchanged, "", ""});
    EXPECT_EQ(values(), std::vector<std::string>{"1F"});
    // Listed in hexadecimal, searched in decimal: 1F is read back as 31.
    next({ValueType::Long, 0, SearchCondition::Unchanged, "", ""});
    EXPECT_EQ(values(), std::vector<std::string>{"31"});
}

TEST_F(NextSearchTest, UnchangedBitsStayUnchangedWhateverTheirText) {
    // 0.1f does not survive "%.7g"; 2^53 + 1 does not survive a double.
    layout<float>({0.1f, 3.2f});
    first(ValueType::Single, 1);
    next({ValueType::Single, 1, SearchCondition::Unchanged, "", ""});
    EXPECT_EQ(values(), (std::vector<std::string>{"0.1", "3.2"}));
    // Ignoring decimals, a steady 3.2 is unchanged too.
    first(ValueType::Single, 0);
    next({ValueType::Single, 0, SearchCondition::Unchanged, "", ""});
    EXPECT_EQ(values(), (std::vector<std::string>{"0.1", "3.2"}));

    layout<std::int64_t>({(std::int64_t{1} << 53) + 1});
    first(ValueType::Int64);
    set<std::int64_t>(0, std::int64_t{1} << 53);
    next({ValueType::Int64, 0, SearchCondition::Changed, "", ""});
    EXPECT_EQ(values(), std::vector<std::string>{"9007199254740992"});
}

TEST_F(NextSearchTest, FloatConditions) {
    layout<float>({3.2f, 1.5f, 1.25f});
    first(ValueType::Single, 0);
    next({ValueType::Single, 0, SearchCondition::Equal, "3.9", ""});
    EXPECT_EQ(values(), std::vector<std::string>{"3.2"});  // floors: 3 = 3, the text stays 3.2
    layout<float>({3.2f, 1.5f, 1.25f});
    first(ValueType::Single, 1);
    next({ValueType::Single, 1, SearchCondition::Equal, "1.5", ""});
    EXPECT_EQ(values(), std::vector<std::string>{"1.5"});
}

TEST_F(NextSearchTest, TextContainsIsCaseSensitive) {
    target.writePointer(kTable, kBlock);
    target.writeText(kBlock, std::string("xxabcxx\0", 8));
    target.writeText(kBlock + 0x100, std::string("xxABCxx\0", 8));
    target.map(kBlock + 0x200, 0x100);
    sink.set({ValueType::AnsiText, kNoBaseMode, SearchCondition::None, "", ""});
    engine.runFirstSearch({{static_cast<std::int64_t>(kTable), 0, 0}, {0, 2, 0x100}});
    next({ValueType::AnsiText, kNoBaseMode, SearchCondition::Contains, "abc", ""});
    EXPECT_EQ(values(), std::vector<std::string>{"xxabcxx"});
}

TEST_F(NextSearchTest, APathThatNoLongerResolvesDropsItsResult) {
    layout<std::int32_t>({1, 2});
    first(ValueType::Long);
    target.writePointer(kTable, 0x50000000);  // nothing mapped there
    next({ValueType::Long, 0, SearchCondition::None, "", ""});
    EXPECT_EQ(engine.results().count(), 0u);
}

TEST_F(NextSearchTest, EmptyOrClearedStoresGiveNoResults) {
    next({ValueType::Long, 0, SearchCondition::None, "", ""});
    EXPECT_EQ(engine.results().count(), 0u);
    EXPECT_EQ(sink.status[StatusField::ValidData], "0");
    layout<std::int32_t>({1});
    first(ValueType::Long);
    engine.results().clear();
    next({ValueType::Long, 0, SearchCondition::None, "", ""});
    EXPECT_EQ(engine.results().count(), 0u);
}

TEST_F(NextSearchTest, ThePassFollowsPointersThatMoved) {
    layout<std::int32_t>({1, 2});
    first(ValueType::Long);
    target.writePointer(kTable, 0x20100000);
    target.writeValue<std::int32_t>(0x20100008, 2);
    next({ValueType::Long, 0, SearchCondition::Equal, "2", ""});
    ASSERT_EQ(engine.results().count(), 1u);
    EXPECT_EQ(engine.results().address(0), 0x20100008u);
}

}  // namespace
}  // namespace corvane
