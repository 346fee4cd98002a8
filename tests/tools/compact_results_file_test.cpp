// The results file over results held compact: written as the same results
// held as ordinary entries are, and read back to the same list.

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "engine/search/result_store.h"
#include "engine/search/search_engine.h"
#include "engine/text/text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/listed_rows.h"
#include "tests/support/test_sink.h"
#include "engine/files/results_file.h"

namespace corvane {
namespace {

std::string written(const ResultStore& results) {
    std::ostringstream out;
    writeResults(out, results, systemTextCodec());
    return out.str();
}

std::vector<std::string> cells(const ResultStore& results) {
    std::vector<std::string> texts;
    for (std::size_t row = 0; row < results.count(); ++row)
        for (int column = 0; column < 3; ++column) {
            std::string text;
            results.appendCellText(row, column, text);
            texts.push_back(std::move(text));
        }
    return texts;
}

TEST(CompactResultsFile, WrittenAsOrdinaryEntriesAreAndReadBackWhole) {
    test::FakeTarget target;
    test::TestSink sink;
    SearchEngine engine(target, sink, systemTextCodec());
    engine.setRegionLookup(&target);
    target.map(0x30000000, 0x2000);
    for (std::uint64_t at = 0x30000000; at < 0x30002000; at += 24)
        target.writeValue<std::int32_t>(at, -static_cast<std::int32_t>(at % 1000));
    struct Case {
        ValueType type;
        std::uint8_t baseMode;
        SearchCondition condition;
        std::string value;
    };
    const Case cases[] = {{ValueType::Long, 0, SearchCondition::AtMost, "-1"},
                          {ValueType::Long, 1, SearchCondition::NotEqual, "0"},
                          {ValueType::Short, 0, SearchCondition::AtMost, "-100"},
                          {ValueType::Double, 0, SearchCondition::NotEqual, "0"}};
    for (const Case& c : cases) {
        sink.set({c.type, c.baseMode, c.condition, c.value, ""});
        engine.runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
        const ResultStore& compact = engine.results();
        ASSERT_TRUE(compact.compactForm()) << static_cast<int>(c.type);
        ASSERT_GT(compact.count(), 10u) << static_cast<int>(c.type);

        // The same results as ordinary entries write the same file.
        ResultStore ordinary;
        test::copyAsOrdinary(compact, ordinary);
        const std::string text = written(compact);
        EXPECT_EQ(text, written(ordinary)) << static_cast<int>(c.type);

        ResultStore back;
        std::istringstream in(text);
        std::string error;
        ASSERT_TRUE(readResults(in, back, systemTextCodec(), error)) << error;
        EXPECT_EQ(cells(back), cells(compact)) << static_cast<int>(c.type);
        EXPECT_EQ(written(back), text) << static_cast<int>(c.type);
    }
}

}  // namespace
}  // namespace corvane
