// Results of a memory row alone are held compact; every pass over them must
// leave the same list as over the same results held as ordinary entries.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/search/search_engine.h"
#include "engine/search/search_passes.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/listed_rows.h"
#include "tests/support/test_sink.h"

namespace corvane {
namespace {

using test::copyAsOrdinary;
using test::FakeTarget;
using test::Row;
using test::rowsOf;
using test::TestSink;

constexpr std::uint64_t kBase = 0x20000000;
constexpr std::uint64_t kPages = 6;

// Small numbers, so that every condition keeps some and drops others, and
// now and then a run of letters for the text kinds.
void scribble(std::mt19937_64& random, FakeTarget& target, std::size_t writes) {
    for (std::size_t i = 0; i < writes; ++i) {
        const std::uint64_t at = kBase + random() % (kPages * kPageSize - 8);
        if (random() % 8 == 0) {
            target.writeText(at, std::string(1 + random() % 7, static_cast<char>('a' + random() % 3)));
        } else {
            const auto value = static_cast<std::uint8_t>(random() % 4);
            target.write(at, &value, 1);
        }
    }
}

const ValueType kKinds[] = {ValueType::Byte,   ValueType::Short,    ValueType::Long,      ValueType::Int64,
                            ValueType::Single, ValueType::AnsiText, ValueType::Utf16Text, ValueType::Long};

SearchSettings randomSettings(std::mt19937_64& random) {
    SearchSettings settings;
    settings.type = kKinds[random() % std::size(kKinds)];
    settings.baseMode = isTextType(settings.type) ? kNoBaseMode : static_cast<std::uint8_t>(random() % 2);
    settings.condition = static_cast<SearchCondition>(random() % static_cast<std::uint64_t>(kSearchConditionCount));
    if (isTextType(settings.type))
        settings.value1 = std::string(1, static_cast<char>('a' + random() % 3));
    else
        settings.value1 = std::to_string(random() % 3);
    settings.value2 = std::to_string(2 + random() % 3);
    return settings;
}

class CompactResultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.setRegionLookup(&target);
        target.map(kBase, kPages * kPageSize);
    }

    // A first search over the memory row alone, its results compact.
    void firstSearch(const SearchSettings& settings, std::int64_t step = 4) {
        sink.set(settings);
        engine.runFirstSearch({{0, 0, step}}, {}, FirstRow::Memory);
    }

    FakeTarget target;
    TestSink sink;
    FakeTextCodec codec;
    SearchEngine engine{target, sink, codec};
};

TEST_F(CompactResultsTest, EveryPassLeavesWhatItLeavesOverOrdinaryEntries) {
    std::mt19937_64 random(4242);
    std::size_t compared = 0;
    std::size_t widened = 0;
    for (int round = 0; round < 24; ++round) {
        target.unmap(kBase, kPages * kPageSize);
        target.map(kBase, kPages * kPageSize);
        scribble(random, target, 3000);
        const std::int64_t steps[] = {1, 2, 4, 8};
        firstSearch({ValueType::Long, 0, SearchCondition::Between, "0", std::to_string(random() % 0x30000)},
                    steps[round % 4]);
        ResultStore& compact = engine.results();
        ASSERT_TRUE(compact.compactForm()) << "round " << round;
        ASSERT_GT(compact.count(), 0u) << "round " << round;
        ResultStore ordinary;
        copyAsOrdinary(compact, ordinary);
        ASSERT_FALSE(ordinary.compactForm());
        ASSERT_EQ(rowsOf(compact), rowsOf(ordinary));

        for (int step = 0; step < 12 && compact.count() > 0; ++step) {
            scribble(random, target, 200);
            if (random() % 6 == 0) target.unmap(kBase + (random() % kPages) * kPageSize, kPageSize);
            std::string what;
            switch (random() % 5) {
                case 0:
                case 1: {
                    const SearchSettings settings = randomSettings(random);
                    what = "next search " + std::to_string(static_cast<int>(settings.condition)) + " kind " +
                           std::to_string(static_cast<int>(settings.type));
                    runNextSearchPass(target, compact, settings, codec);
                    runNextSearchPass(target, ordinary, settings, codec);
                    break;
                }
                case 2: {
                    const ValueType type = kKinds[random() % std::size(kKinds)];
                    what = "monitor " + std::to_string(static_cast<int>(type));
                    runMonitorCycle(target, compact, type, 0, codec);
                    runMonitorCycle(target, ordinary, type, 0, codec);
                    break;
                }
                case 3: {
                    const ValueType type = kKinds[random() % std::size(kKinds)];
                    const std::uint8_t baseMode =
                        isTextType(type) ? kNoBaseMode : static_cast<std::uint8_t>(random() % 2);
                    what = "reformat " + std::to_string(static_cast<int>(type));
                    runReformatPass(target, compact, type, baseMode, codec);
                    runReformatPass(target, ordinary, type, baseMode, codec);
                    break;
                }
                default: {
                    what = "removals";
                    for (int i = 0; i < 5 && compact.count() > 0; ++i) {
                        const std::size_t at = random() % compact.count();
                        compact.removeAt(at);
                        ordinary.removeAt(at);
                    }
                    break;
                }
            }
            const bool wasCompact = compact.compactForm();
            ASSERT_EQ(rowsOf(compact), rowsOf(ordinary)) << "round " << round << " step " << step << ": " << what;
            ++compared;
            if (!wasCompact) ++widened;
            if (!compact.compactForm()) break;
        }
    }
    // Both forms met, and long texts turned some stores ordinary.
    EXPECT_GT(compared, 100u);
    EXPECT_GT(widened, 0u);
}

TEST_F(CompactResultsTest, ACompactResultTakesAtMost24BytesInTheStore) {
    std::vector<unsigned char> zeros(kPages * kPageSize, 0);
    target.write(kBase, zeros.data(), zeros.size());
    firstSearch({ValueType::Long, 0, SearchCondition::Equal, "0", ""}, 1);
    const ResultStore& results = engine.results();
    ASSERT_TRUE(results.compactForm());
    ASSERT_EQ(results.count(), kPages * kPageSize - 3);
    EXPECT_LE(results.memoryBytes(), results.count() * 24 + 4096) << results.memoryBytes() << " bytes";

    // A next search that drops most of them keeps the rest in order.
    const std::size_t before = results.memoryBytes();
    for (std::uint64_t at = kBase; at < kBase + kPages * kPageSize; at += 64) target.writeValue<std::int32_t>(at, 9);
    sink.set({ValueType::Long, 0, SearchCondition::Equal, "9", ""});
    engine.runNextSearch();
    ASSERT_EQ(results.count(), kPages * kPageSize / 64);
    EXPECT_TRUE(results.compactForm());
    EXPECT_LE(results.memoryBytes(), before);
    EXPECT_EQ(results.pathText(1), "20000040");
    EXPECT_EQ(results.valueText(1), "9");
}

TEST_F(CompactResultsTest, TheNextSearchOverASnapshotKeepsNumbersCompactAndTextsOrdinary) {
    const std::string text = "a text longer than eight bytes";
    target.writeText(kBase + 0x100, text);
    firstSearch({ValueType::Long, 0, SearchCondition::None, "", ""});
    ASSERT_NE(engine.snapshot(), nullptr);
    target.writeValue<std::int32_t>(kBase + 0x200, 77);
    sink.set({ValueType::Long, 0, SearchCondition::Changed, "", ""});
    engine.runNextSearch();
    ASSERT_TRUE(engine.results().compactForm());
    ASSERT_EQ(rowsOf(engine.results()), (std::vector<Row>{{"20000200", kBase + 0x200, "77"}}));

    // Long texts on a memory row: held as ordinary entries, read whole.
    firstSearch({ValueType::AnsiText, kNoBaseMode, SearchCondition::Contains, "longer", ""}, 4);
    EXPECT_FALSE(engine.results().compactForm());
    ASSERT_EQ(engine.results().count(), 2u);  // from 20000100 and from 20000104
    EXPECT_EQ(engine.results().pathText(0), "20000100");
    EXPECT_EQ(engine.results().valueText(0).substr(0, text.size()), text);

    // A reformat of compact numbers into long texts turns the store ordinary.
    firstSearch({ValueType::Long, 0, SearchCondition::Equal, "77", ""});
    ASSERT_TRUE(engine.results().compactForm());
    target.writeText(kBase + 0x200, text);
    runReformatPass(target, engine.results(), ValueType::AnsiText, kNoBaseMode, codec);
    EXPECT_FALSE(engine.results().compactForm());
    ASSERT_EQ(engine.results().count(), 1u);
    EXPECT_EQ(engine.results().pathText(0), "20000200");
    EXPECT_EQ(engine.results().valueText(0).substr(0, text.size()), text);
}

}  // namespace
}  // namespace corvane
