// The passes against single reads: the fused first search against the plain
// traversal with one read per candidate, the node-shared next search,
// monitor cycle and reformat against one walk per result with one read per
// level, over random pointer webs with unreadable pages inside the spans.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/values/change_compare.h"
#include "engine/search/resolve_path.h"
#include "engine/search/search_engine.h"
#include "engine/search/search_passes.h"
#include "engine/values/value_compare.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/listed_rows.h"
#include "tests/support/reference_traversal.h"
#include "tests/support/test_sink.h"

namespace corvane {
namespace {

using test::FakeTarget;
using test::RandomWeb;
using test::Row;
using test::rowsOf;

// Kinds of every width, the text kinds reading 256 bytes across pages.
const ValueType kKinds[] = {ValueType::Byte,   ValueType::Short,    ValueType::Long,      ValueType::Int64,
                            ValueType::Single, ValueType::AnsiText, ValueType::Utf16Text, ValueType::Long};

// A condition that keeps some values and drops others: the value 1 is taken
// from memory, so 等于 finds something.
SearchSettings randomSettings(std::mt19937_64& random, FakeTarget& target, bool changeConditions) {
    SearchSettings settings;
    settings.type = kKinds[random() % std::size(kKinds)];
    settings.baseMode = isTextType(settings.type) ? kNoBaseMode : static_cast<std::uint8_t>(random() % 2);
    const int top = changeConditions ? kSearchConditionCount : 7;
    settings.condition = static_cast<SearchCondition>(random() % static_cast<std::uint64_t>(top));
    if (isTextType(settings.type)) {
        settings.value1 = std::string(1, static_cast<char>(0x20 + random() % 0x60));
        settings.value2 = "\x90";
        return settings;
    }
    std::uint32_t word = 0;
    target.read(RandomWeb::kBase + (random() % (RandomWeb::kPages * kPageSize / 4)) * 4, &word, sizeof word);
    const std::uint64_t bits = word & (valueReadSize(settings.type) >= 4 ? 0xFFFFFFFFu : 0xFFu);
    settings.value1 =
        settings.baseMode == 1 && isIntegerType(settings.type) ? std::to_string(bits % 10) : std::to_string(bits % 200);
    settings.value2 = std::to_string(bits);
    return settings;
}

// The first search as two plain steps: every candidate of the reference
// traversal read on its own and tested.
std::vector<Row> referenceFirstSearch(FakeTarget& target, const std::vector<StructureRow>& rows,
                                      const ValueFilter& filter, std::size_t& leaves) {
    const auto candidates = test::ReferenceTraversal(target, rows).run();
    leaves = candidates.size();
    std::vector<Row> kept;
    std::vector<unsigned char> bytes(filter.readSize());
    for (const auto& [path, address] : candidates) {
        if (address == 0 || !target.read(address, bytes.data(), bytes.size()) || !filter.matches(bytes.data()))
            continue;
        kept.push_back({path, address, filter.storedValue(bytes.data()).text()});
    }
    return kept;
}

TEST(PassDifferential, FusedFirstSearchMatchesSingleReads) {
    std::mt19937_64 random(77031);
    FakeTextCodec codec;
    std::size_t matched = 0;
    for (int round = 0; round < 80; ++round) {
        const unsigned width = round % 2 == 0 ? 8 : 4;
        FakeTarget target(width);
        RandomWeb::fill(target, random, width);
        const std::vector<StructureRow> rows = RandomWeb::rows(random, 4, round % 4 < 2 ? width : 1);
        const SearchSettings settings = randomSettings(random, target, false);
        const ValueFilter filter(settings.type, settings.baseMode, settings.condition, settings.value1, settings.value2,
                                 codec);
        std::size_t leaves = 0;
        const std::vector<Row> expected = referenceFirstSearch(target, rows, filter, leaves);

        test::TestSink sink;
        sink.set(settings);
        SearchEngine engine(target, sink, codec);
        const FirstSearchReport report = engine.runFirstSearch(rows);
        ASSERT_EQ(report.candidates, leaves) << "round " << round;
        ASSERT_EQ(rowsOf(engine.results()), expected) << "round " << round;
        matched += expected.size();
    }
    EXPECT_GT(matched, 500u);  // the rounds did find something to compare
}

// A result of the store before a pass, with its listed value.
struct Before {
    std::string path;
    std::uint64_t address;
    StoredValue value;
};

std::vector<Before> before(const ResultStore& results) {
    std::vector<ResultSnapshot> snaps;
    const std::size_t n = results.snapshot(true, 0, results.count() + 1, snaps);
    std::vector<Before> rows;
    for (std::size_t i = 0; i < n; ++i)
        rows.push_back({results.pathText(i), snaps[i].address, std::move(snaps[i].value)});
    return rows;
}

// Between passes the game goes on: pointers are re-pointed, pages vanish,
// values change, and the user deletes rows.
void disturb(std::mt19937_64& random, FakeTarget& target, ResultStore& results) {
    for (int i = 0; i < 40; ++i) {
        const std::uint64_t at = RandomWeb::kBase + (random() % (RandomWeb::kPages * kPageSize / 8)) * 8;
        if (random() % 2 == 0)
            target.writePointer(at, RandomWeb::kBase + random() % (RandomWeb::kPages * kPageSize));
        else
            target.writeValue<std::uint32_t>(at, static_cast<std::uint32_t>(random()));
    }
    target.unmap(RandomWeb::kBase + (random() % RandomWeb::kPages) * kPageSize, kPageSize);
    for (int i = 0; i < 5 && results.count() > 0; ++i) results.removeAt(random() % results.count());
}

// Re-lists the store's results in a shuffled order with their paths interned
// from the texts, as a results file brings them: runs of leaves then break
// anywhere, and nodes are shared by value instead of by traversal.
void shuffleAsFromAFile(std::mt19937_64& random, ResultStore& results) {
    std::vector<Before> rows = before(results);
    std::shuffle(rows.begin(), rows.end(), random);
    auto paths = std::make_shared<PathTable>();
    ResultEntries entries;
    std::vector<std::int64_t> offsets;
    for (Before& row : rows) {
        ASSERT_TRUE(parsePathText(row.path, offsets));
        std::uint32_t parent = kNoPathNode;
        for (std::size_t level = 0; level + 1 < offsets.size(); ++level) parent = paths->intern(parent, offsets[level]);
        ResultEntry entry;
        entry.parent = parent;
        entry.leafOffset = offsets.back();
        entry.address = row.address;
        entry.value = std::move(row.value);
        entries.push_back(std::move(entry));
    }
    results.replace(std::move(paths), std::move(entries));
}

TEST(PassDifferential, NodeSharedPassesMatchOneWalkPerResult) {
    std::mt19937_64 random(90210);
    FakeTextCodec codec;
    std::size_t compared = 0;
    for (int round = 0; round < 60; ++round) {
        const unsigned width = round % 2 == 0 ? 8 : 4;
        FakeTarget target(width);
        RandomWeb::fill(target, random, width);
        test::TestSink sink;
        SearchEngine engine(target, sink, codec);
        sink.set({ValueType::Long, 0, SearchCondition::None, "", ""});
        engine.runFirstSearch(RandomWeb::rows(random, 3, width));
        ResultStore& results = engine.results();

        if (round % 3 == 2) shuffleAsFromAFile(random, results);

        // Next search.
        disturb(random, target, results);
        const SearchSettings settings = randomSettings(random, target, true);
        const ValueFilter filter(settings.type, settings.baseMode, settings.condition, settings.value1, settings.value2,
                                 codec);
        std::vector<Row> expected;
        std::vector<unsigned char> bytes(filter.readSize());
        for (const Before& row : before(results)) {
            std::uint64_t address = 0;
            if (row.address == 0 || !resolvePath(target, row.path, bytes.size(), bytes.data(), address) ||
                !filter.matches(bytes.data()) ||
                !keepsChange(settings.condition, settings.type, settings.baseMode, bytes.data(), row.value, codec))
                continue;
            expected.push_back({row.path, address, filter.storedValue(bytes.data()).text()});
        }
        runNextSearchPass(target, results, settings, codec);
        ASSERT_EQ(rowsOf(results), expected) << "round " << round << " next search";
        compared += expected.size();

        // Monitor cycle: a result that no longer resolves keeps what it had.
        disturb(random, target, results);
        const ValueType type = kKinds[random() % std::size(kKinds)];
        const std::uint8_t baseMode = isTextType(type) ? kNoBaseMode : static_cast<std::uint8_t>(random() % 2);
        expected = rowsOf(results);
        bytes.assign(valueReadSize(type), 0);
        for (Row& row : expected) {
            std::uint64_t address = 0;
            if (!resolvePath(target, row.path, bytes.size(), bytes.data(), address)) continue;
            row.address = address;
            row.value = storedValueOf(type, baseMode, bytes.data(), codec).text();
        }
        runMonitorCycle(target, results, type, baseMode, codec);
        ASSERT_EQ(rowsOf(results), expected) << "round " << round << " monitor";

        // Reformat: read again at the listed address, paths not walked.
        disturb(random, target, results);
        const ValueType to = kKinds[random() % std::size(kKinds)];
        expected = rowsOf(results);
        bytes.assign(valueReadSize(to), 0);
        for (Row& row : expected)
            if (target.read(row.address, bytes.data(), bytes.size()))
                row.value = storedValueOf(to, 1, bytes.data(), codec).text();
        runReformatPass(target, results, to, 1, codec);
        ASSERT_EQ(rowsOf(results), expected) << "round " << round << " reformat";
    }
    EXPECT_GT(compared, 300u);
}

}  // namespace
}  // namespace corvane
