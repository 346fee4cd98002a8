// Structures anchored on a module: row 0 counts from where the target has the
// module loaded when each pass starts, and the paths keep the module form.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <thread>
#include <string>
#include <vector>

#include "engine/search/structure_row.h"
#include "engine/search/leaf_reads.h"
#include "engine/target/module_lookup.h"
#include "engine/search/resolve_path.h"
#include "engine/search/search_engine.h"
#include "engine/search/search_passes.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/result_texts.h"
#include "tests/support/test_sink.h"

namespace corvane {
namespace {

using test::FakeTarget;
using test::TestSink;

// A module image holding a table of pointers at +0x1A2B0, each to an object
// whose longs at 0, 8, 16 are 100 * (object + 1) + field. `load` lays the
// same image out at another base, with its objects elsewhere, as a restarted
// process would have it.
constexpr std::uint64_t kTableOffset = 0x1A2B0;
constexpr int kObjects = 3;
constexpr int kFields = 3;

std::int32_t fieldValue(int object, int field) { return 100 * (object + 1) + field; }

void load(FakeTarget& target, std::uint64_t base, std::uint64_t objects, const std::string& name = "game.exe") {
    target.loadModule(name, base);
    for (int i = 0; i < kObjects; ++i) {
        const std::uint64_t object = objects + 0x1000 * static_cast<std::uint64_t>(i);
        target.writePointer(base + kTableOffset + 8 * static_cast<std::uint64_t>(i), object);
        for (int f = 0; f < kFields; ++f)
            target.writeValue<std::int32_t>(object + 8 * static_cast<std::uint64_t>(f), fieldValue(i, f));
    }
}

class ModulePathsTest : public ::testing::Test {
protected:
    ModulePathsTest() {
        engine.setModuleLookup(&target);
        engine.onModuleMissing = [this](const std::string& module) { missing.push_back(module); };
        sink.set({ValueType::Long, 0, SearchCondition::None, "", ""});
    }
    std::vector<std::string> paths() const {
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < engine.results().count(); ++i) texts.push_back(engine.results().pathText(i));
        return texts;
    }
    std::vector<std::uint64_t> addresses() const {
        std::vector<std::uint64_t> out;
        for (std::size_t i = 0; i < engine.results().count(); ++i) out.push_back(engine.results().address(i));
        return out;
    }

    FakeTarget target;
    TestSink sink;
    FakeTextCodec codec;
    SearchEngine engine{target, sink, codec};
    std::vector<std::string> missing;
};

TEST_F(ModulePathsTest, CountsAndIncrementsUnderAModule) {
    load(target, 0x140000000, 0x30000000);
    engine.runFirstSearch({{static_cast<std::int64_t>(kTableOffset), kObjects, 8}, {0, kFields, 8}}, "game.exe");
    ASSERT_EQ(engine.results().count(), static_cast<std::size_t>(kObjects * kFields));
    std::vector<std::string> expectedPaths;
    std::vector<std::string> expectedValues;
    std::vector<std::uint64_t> expectedAddresses;
    for (int i = 0; i < kObjects; ++i)
        for (int f = 0; f < kFields; ++f) {
            char path[64];
            std::snprintf(path, sizeof path, "game.exe+%llX]%X",
                          static_cast<unsigned long long>(kTableOffset + 8 * static_cast<std::uint64_t>(i)), 8 * f);
            expectedPaths.push_back(path);
            expectedValues.push_back(std::to_string(fieldValue(i, f)));
            expectedAddresses.push_back(0x30000000 + 0x1000 * static_cast<std::uint64_t>(i) +
                                        8 * static_cast<std::uint64_t>(f));
        }
    EXPECT_EQ(paths(), expectedPaths);
    EXPECT_EQ(test::valueTexts(engine.results()), expectedValues);
    EXPECT_EQ(addresses(), expectedAddresses);
    EXPECT_TRUE(missing.empty());
}

TEST_F(ModulePathsTest, OneRowUnderAModuleIsTheModuleSpanItself) {
    load(target, 0x140000000, 0x30000000);
    target.writeValue<std::int32_t>(0x140000000, 0x5A4D);
    target.writeValue<std::int32_t>(0x140000004, 77);
    engine.runFirstSearch({{0, 2, 4}}, "game.exe");
    EXPECT_EQ(paths(), (std::vector<std::string>{"game.exe+0", "game.exe+4"}));
    EXPECT_EQ(test::valueTexts(engine.results()), (std::vector<std::string>{"23117", "77"}));
    EXPECT_EQ(addresses(), (std::vector<std::uint64_t>{0x140000000, 0x140000004}));
}

TEST_F(ModulePathsTest, TheNameIsComparedWithoutRegardToCaseAndKeptAsWritten) {
    load(target, 0x140000000, 0x30000000, "Game.EXE");
    engine.runFirstSearch({{static_cast<std::int64_t>(kTableOffset), 0, 0}, {8, 0, 0}}, "gAME.exe");
    EXPECT_EQ(paths(), (std::vector<std::string>{"gAME.exe+1A2B0]8"}));
    EXPECT_EQ(test::valueTexts(engine.results()), (std::vector<std::string>{"101"}));
}

TEST_F(ModulePathsTest, AModuleTheTargetLacksFindsNothingAndIsTold) {
    load(target, 0x140000000, 0x30000000);
    engine.runFirstSearch({{static_cast<std::int64_t>(kTableOffset), kObjects, 8}, {0, 0, 0}}, "engine.dll");
    EXPECT_EQ(engine.results().count(), 0u);
    EXPECT_EQ(missing, (std::vector<std::string>{"engine.dll"}));
    ASSERT_FALSE(sink.reports.empty());
    EXPECT_EQ(sink.reports.back().results, 0u);
    EXPECT_EQ(sink.counts.back(), 0u);
}

TEST_F(ModulePathsTest, AnAbsoluteStructureNeverAsksForModules) {
    load(target, 0x140000000, 0x30000000);
    engine.runFirstSearch({{static_cast<std::int64_t>(0x140000000 + kTableOffset), 0, 0}, {0, 0, 0}});
    EXPECT_EQ(paths(), (std::vector<std::string>{"14001A2B0]0"}));
    engine.runNextSearch();
    EXPECT_EQ(paths(), (std::vector<std::string>{"14001A2B0]0"}));
    EXPECT_EQ(target.moduleLookups(), 0u);
}

// A restart moves the module and everything its table points at; every later
// pass looks the module up again when it starts.
TEST_F(ModulePathsTest, NextSearchAndMonitorFollowTheModuleToItsNewBase) {
    load(target, 0x140000000, 0x30000000);
    engine.runFirstSearch({{static_cast<std::int64_t>(kTableOffset), kObjects, 8}, {8, 0, 0}}, "game.exe");
    ASSERT_EQ(engine.results().count(), 3u);

    target.unmap(0x140000000, 0x20000);
    target.unmap(0x30000000, 0x3000);
    load(target, 0x7FF600000000, 0x50000000);
    target.writeValue<std::int32_t>(0x50001008, 555);
    sink.set({ValueType::Long, 0, SearchCondition::AtLeast, "200", ""});
    engine.runNextSearch();
    EXPECT_EQ(paths(), (std::vector<std::string>{"game.exe+1A2B8]8", "game.exe+1A2C0]8"}));
    EXPECT_EQ(test::valueTexts(engine.results()), (std::vector<std::string>{"555", "301"}));
    EXPECT_EQ(addresses(), (std::vector<std::uint64_t>{0x50001008, 0x50002008}));

    target.writeValue<std::int32_t>(0x50002008, 999);
    runMonitorCycle(target, engine.results(), ValueType::Long, 0, codec);
    EXPECT_EQ(test::valueTexts(engine.results()), (std::vector<std::string>{"555", "301"}))
        << "without the module's base a monitor cycle leaves the rows as they were";
    const ModuleBases bases(*engine.results().paths(), &target);
    runMonitorCycle(target, engine.results(), ValueType::Long, 0, codec, &bases);
    EXPECT_EQ(test::valueTexts(engine.results()), (std::vector<std::string>{"555", "999"}));
    EXPECT_TRUE(missing.empty());
}

TEST_F(ModulePathsTest, ANextSearchAfterTheModuleWentKeepsNothingAndSaysSo) {
    load(target, 0x140000000, 0x30000000);
    engine.runFirstSearch({{static_cast<std::int64_t>(kTableOffset), kObjects, 8}, {0, 0, 0}}, "game.exe");
    ASSERT_EQ(engine.results().count(), 3u);
    target.unloadModule("game.exe");
    engine.runNextSearch();
    EXPECT_EQ(engine.results().count(), 0u);
    EXPECT_EQ(missing, (std::vector<std::string>{"game.exe"}));
}

TEST_F(ModulePathsTest, AMonitorTellsAMissingModuleOnceAndKeepsItsRows) {
    load(target, 0x140000000, 0x30000000);
    engine.runFirstSearch({{static_cast<std::int64_t>(kTableOffset), kObjects, 8}, {0, 0, 0}}, "game.exe");
    target.unloadModule("game.exe");
    ASSERT_TRUE(engine.startMonitor());
    while (sink.publishedCount() < 4) std::this_thread::yield();
    engine.stopMonitor();
    engine.waitForWorkers();
    EXPECT_EQ(missing, (std::vector<std::string>{"game.exe"}));
    EXPECT_EQ(test::valueTexts(engine.results()), (std::vector<std::string>{"100", "200", "300"}));
}

TEST(ModulePathText, ResolvesTheModuleFormAndRefusesItWithoutModules) {
    FakeTarget target;
    load(target, 0x140000000, 0x30000000);
    std::int32_t value = 0;
    std::uint64_t address = 0;
    struct Case {
        const char* path;
        bool withModules;
        bool ok;
        std::uint64_t address;
    };
    const Case cases[] = {
        {"game.exe+1A2B8]10", true, true, 0x30001010},
        {"GAME.EXE+1A2B8]10", true, true, 0x30001010},
        {"game.exe+1A2B8]10", false, false, 0},
        {"other.dll+1A2B8]10", true, false, 0},
        {"14001A2B8]10", true, true, 0x30001010},
        {"14001A2B8]10", false, true, 0x30001010},
        {"game.exe+", true, false, 0},
        {"+1A2B8]10", true, false, 0},
        {"game.exe+1A2B8]game.exe+10", true, false, 0},
        {"a*b+1A2B8]10", true, false, 0},
    };
    for (const Case& c : cases) {
        address = 0;
        const bool ok = resolvePath(target, c.path, sizeof value, reinterpret_cast<unsigned char*>(&value), address,
                                    c.withModules ? &target : nullptr);
        EXPECT_EQ(ok, c.ok) << c.path;
        if (ok) {
            EXPECT_EQ(address, c.address) << c.path;
        }
    }
}

TEST(ModulePathText, PathTablesRenderAndParseTheModuleForm) {
    PathTable paths;
    const std::uint32_t anchor = paths.anchor("game.exe");
    EXPECT_EQ(paths.anchor("game.exe"), anchor);
    EXPECT_NE(paths.anchor("engine.dll"), anchor);
    const std::uint32_t table = paths.intern(anchor, 0x1A2B0);
    const std::uint32_t field = paths.intern(table, 0x10);
    const std::uint32_t absolute = paths.intern(kNoPathNode, 0x1A2B0);
    struct Case {
        std::uint32_t parent;
        std::int64_t leaf;
        const char* text;
        const char* levels;
    };
    const Case cases[] = {
        {field, 8, "game.exe+1A2B0]10]8", "game.exe+1A2B0]10]"},
        {anchor, 0, "game.exe+0", "game.exe+"},
        {absolute, 8, "1A2B0]8", "1A2B0]"},
        {kNoPathNode, 0x1A2B0, "1A2B0", ""},
    };
    for (const Case& c : cases) {
        std::string text;
        paths.appendPathText(c.parent, c.leaf, text);
        EXPECT_EQ(text, c.text);
        std::string levels;
        paths.appendLevelsText(c.parent, levels);
        EXPECT_EQ(levels, c.levels);
        EXPECT_EQ(pathLeafStart(text), levels.size()) << text;
        std::vector<std::int64_t> offsets;
        std::string module;
        ASSERT_TRUE(parsePathText(text, offsets, module)) << text;
        EXPECT_EQ(module, paths.rootOf(c.parent) == kNoPathNode ? "" : paths.moduleName(paths.rootOf(c.parent)));
        std::vector<std::int64_t> stored;
        paths.offsets(c.parent, c.leaf, stored);
        EXPECT_EQ(offsets, stored) << text;
        // The plain parser knows no modules: a module path is malformed there.
        EXPECT_EQ(parsePathText(text, offsets), module.empty()) << text;
    }
}

TEST(ModuleStartCell, TheFormsOfAFirstStartOffset) {
    struct Case {
        const char* cell;
        StartCell::Form form;
        const char* module;
        std::int64_t offset;
    };
    const Case cases[] = {
        {"1A2B0", StartCell::Form::Offset, "", 0x1A2B0},
        {"1a2b0zz", StartCell::Form::Offset, "", 0x1A2B0},
        {"", StartCell::Form::Offset, "", 0},
        {"game.exe+1A2B0", StartCell::Form::Module, "game.exe", 0x1A2B0},
        {"game.exe+1a2b0", StartCell::Form::Module, "game.exe", 0x1A2B0},
        {"game.exe", StartCell::Form::Module, "game.exe", 0},
        {"sample_target+10", StartCell::Form::Module, "sample_target", 0x10},
        {"\xD3\xCE\xCF\xB7.exe+8", StartCell::Form::Module, "\xD3\xCE\xCF\xB7.exe", 8},
        {"game.exe+", StartCell::Form::Invalid, "", 0},
        {"+10", StartCell::Form::Invalid, "", 0},
        // A name may hold "+" itself: the last one ends it.
        {"a+b+10", StartCell::Form::Module, "a+b", 0x10},
        {"libstdc++.so.6+213FF0", StartCell::Form::Module, "libstdc++.so.6", 0x213FF0},
        {"game.exe+10h", StartCell::Form::Invalid, "", 0},
        {"game.exe+11112222333344445", StartCell::Form::Invalid, "", 0},
        {"a]b.dll+10", StartCell::Form::Invalid, "", 0},
        {"a*b.dll+10", StartCell::Form::Invalid, "", 0},
        // The memory word, the whole cell, in any letter case; anything
        // around it leaves the form it had.
        {"\xC4\xDA\xB4\xE6", StartCell::Form::Memory, "", 0},
        {"memory", StartCell::Form::Memory, "", 0},
        {"MEMORY", StartCell::Form::Memory, "", 0},
        {"MeMoRy", StartCell::Form::Memory, "", 0},
        {"\xC4\xDA\xB4\xE6+10", StartCell::Form::Module, "\xC4\xDA\xB4\xE6", 0x10},
        {"memory.dll", StartCell::Form::Module, "memory.dll", 0},
        {"memory ", StartCell::Form::Offset, "", 0},
        {"memor", StartCell::Form::Offset, "", 0},
        {"\xC4\xDA", StartCell::Form::Offset, "", 0},
        {"\xC4\xDA\xB4\xE6\xC4\xDA", StartCell::Form::Offset, "", 0},
    };
    for (const Case& c : cases) {
        const StartCell start = parseStartCell(c.cell);
        EXPECT_EQ(start.form, c.form) << c.cell;
        if (start.form == StartCell::Form::Invalid) continue;
        EXPECT_EQ(start.module, c.module) << c.cell;
        EXPECT_EQ(start.offset, c.offset) << c.cell;
        if (start.form == StartCell::Form::Offset) {
            EXPECT_EQ(start.offset, parseStartOffsetCell(c.cell)) << c.cell;
        }
    }
}

TEST(ModuleStartCell, NamesCompareByAsciiCaseOnly) {
    EXPECT_TRUE(sameModuleName("Game.EXE", "game.exe"));
    EXPECT_FALSE(sameModuleName("game.exe", "game.ex"));
    EXPECT_FALSE(sameModuleName("game1.exe", "game2.exe"));
    // Two-byte characters are compared as they stand, their trail bytes too.
    EXPECT_TRUE(sameModuleName("\xD3\xCE.exe", "\xD3\xCE.EXE"));
    EXPECT_FALSE(sameModuleName("\xD3\x61.exe", "\xD3\x41.exe"));
}

}  // namespace
}  // namespace corvane
