// The dissection against the objects of the dissection test program, laid
// out in a fake target: the guessed kinds scored against the declared
// layout, the comparison of friends and foes, the structures made from a
// field (one object, an inline array, a table of pointers, through a
// follow) searched again by a first search, and the live view's reads and
// marks.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/dissect/dissect_view.h"
#include "engine/search/search_engine.h"
#include "settings/structure_text.h"
#include "tests/engine/fake_text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/test_sink.h"
#include "tests/tools/dissect_sample.h"

namespace corvane {
namespace {

using test::FakeTarget;

constexpr std::uint64_t kModuleBase = 0x400000;
constexpr std::uint64_t kWorld = kModuleBase + 0x2000;

// The heap of the fake target: blocks 16 bytes aligned, one after another.
struct FakeMemory {
    FakeTarget& target;
    std::uint64_t next = 0x10000000;
    std::uint64_t allocate(std::size_t bytes) {
        const std::uint64_t at = next;
        next += (bytes + 15) / 16 * 16;
        target.map(at, bytes);
        return at;
    }
    void write(std::uint64_t address, const void* data, std::size_t size) { target.write(address, data, size); }
};

class DissectSampleTest : public ::testing::Test {
protected:
    DissectSampleTest() {
        target.map(kModuleBase, 0x4000);
        target.loadModule("dissect_target", kModuleBase, 0x4000);
        FakeMemory memory{target};
        world = sample::build(memory, kWorld);
    }

    std::uint64_t entity(std::size_t index) const { return world.entities + index * sizeof(sample::Entity); }
    std::uint64_t tableEntity(std::size_t index) {
        std::uint64_t slot = 0;
        target.read(world.table + 8 * index, &slot, 8);
        return slot;
    }

    // The first search of a structure text, all values listed: the addresses found.
    std::vector<std::uint64_t> search(const std::string& text, ValueType type) {
        Structure structure;
        EXPECT_EQ(structureFromTexts(parseStructureText(text), structure), StructureProblem::None) << text;
        test::TestSink sink;
        sink.set({type, 0, SearchCondition::None, "", ""});
        SearchEngine engine(target, sink, codec);
        engine.setModuleLookup(&target);
        engine.runFirstSearch(structure.rows, structure.module);
        std::vector<std::uint64_t> found;
        for (std::size_t i = 0; i < engine.results().count(); ++i) found.push_back(engine.results().address(i));
        return found;
    }

    FakeTarget target;
    FakeTextCodec codec;
    sample::World world{};
    DissectView view{target, &target, &target, codec};
};

std::string guessedName(const DissectView& view, std::uint32_t offset) {
    const std::size_t field = offset / view.width();
    const FieldKind kind = view.kind(field);
    if (kind != FieldKind::Halves) return std::string(kindName(kind));
    const FieldGuess& guess = view.guess(field);
    return std::string(kindName(offset % 8 == 0 ? guess.low : guess.high));
}

struct Score {
    int declared = 0;
    int guessed = 0;
    int right = 0;
};

TEST_F(DissectSampleTest, GuessedKindsMatchTheDeclaredLayout) {
    std::map<std::string, Score> scores;
    const auto scoreObject = [&](std::uint64_t address, std::span<const sample::DeclaredField> layout,
                                 std::int64_t size) {
        char text[32];
        std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(address));
        ASSERT_EQ(view.open(text), PathProblem::None);
        view.setRange(0, size);
        view.refresh(0);
        for (const sample::DeclaredField& field : layout) {
            if (std::string(field.kind) == "flag") continue;
            const std::string guessed = guessedName(view, field.offset);
            ++scores[field.kind].declared;
            ++scores[guessed].guessed;
            if (guessed == field.kind) ++scores[field.kind].right;
        }
    };
    for (std::size_t i = 0; i < sample::kRecords; ++i)
        scoreObject(world.records + i * sizeof(sample::Record), sample::kRecordLayout, sizeof(sample::Record));
    for (std::size_t i = 0; i < sample::kEntities; ++i) {
        scoreObject(entity(i), sample::kEntityLayout, sizeof(sample::Entity));
        scoreObject(tableEntity(i), sample::kEntityLayout, sizeof(sample::Entity));
    }
    int declared = 0;
    int right = 0;
    for (const auto& [kind, score] : scores) {
        if (score.declared == 0) {
            ADD_FAILURE() << "guessed a kind never declared: " << kind << " x" << score.guessed;
            continue;
        }
        std::printf("%-8s declared %3d guessed %3d right %3d  precision %5.1f%%  recall %5.1f%%\n", kind.c_str(),
                    score.declared, score.guessed, score.right,
                    score.guessed ? 100.0 * score.right / score.guessed : 0.0, 100.0 * score.right / score.declared);
        EXPECT_GE(score.declared, 30) << kind;
        declared += score.declared;
        right += score.right;
    }
    EXPECT_EQ(scores.size(), 9u);
    std::printf("all      declared %3d right %3d  %5.1f%%\n", declared, right, 100.0 * right / declared);
    EXPECT_GE(100.0 * right / declared, 95.0);
}

TEST_F(DissectSampleTest, GroupsFindExactlyTheFieldsThatTellFoesFromFriends) {
    char text[32];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(entity(0)));
    ASSERT_EQ(view.open(text), PathProblem::None);
    view.setRange(0, sizeof(sample::Entity));
    for (std::size_t i = 1; i < sample::kEntities; ++i) view.addInstance(entity(i));
    for (std::size_t i = 0; i < sample::kEntities; ++i) view.setGroup(i, sample::kFoe[i] ? Group::B : Group::A);
    view.refresh(0);
    std::vector<std::uint32_t> separating;
    std::vector<std::uint32_t> differing;
    for (std::size_t field = 0; field < view.fieldCount(); ++field) {
        if (view.separates(field)) separating.push_back(static_cast<std::uint32_t>(view.fieldOffset(field)));
        if (view.differs(field)) differing.push_back(static_cast<std::uint32_t>(view.fieldOffset(field)));
    }
    EXPECT_EQ(separating, std::vector<std::uint32_t>(std::begin(sample::kFoeFields), std::end(sample::kFoeFields)));
    // The drawn fields differ too, the shared pointer and the padding do not.
    EXPECT_EQ(differing, (std::vector<std::uint32_t>{0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38, 0x40}));

    // One group alone separates nothing.
    for (std::size_t i = 0; i < sample::kEntities; ++i) view.setGroup(i, Group::A);
    view.refresh(1);
    for (std::size_t field = 0; field < view.fieldCount(); ++field) EXPECT_FALSE(view.separates(field));
}

TEST_F(DissectSampleTest, AStructureMadeFromAFieldFindsItsValue) {
    ASSERT_EQ(view.open("dissect_target+2010]0"), PathProblem::None);
    view.setRange(0, sizeof(sample::Entity));
    EXPECT_EQ(view.makeStructure(3).text, "") << "nothing is known before the first read";
    view.refresh(0);
    // x, the low half at 0x18.
    const MadeStructure one = view.makeStructure(3, 0);
    EXPECT_EQ(one.text, "dissect_target+2010]18]");
    EXPECT_EQ(one.type, ValueType::Single);
    EXPECT_EQ(one.shape, MadeStructure::Shape::One);
    EXPECT_EQ(search(one.text, one.type), std::vector<std::uint64_t>{entity(0) + 0x18});
    // y, the high half.
    EXPECT_EQ(view.makeStructure(3, 1).text, "dissect_target+2010]1C]");

    for (std::size_t i = 1; i < sample::kEntities; ++i) view.addInstance(entity(i));
    view.refresh(1);
    const MadeStructure row = view.makeStructure(2);
    EXPECT_EQ(row.text, "dissect_target+2010]10*8*96]");
    EXPECT_EQ(row.type, ValueType::Double);
    EXPECT_EQ(row.shape, MadeStructure::Shape::InlineArray);
    std::vector<std::uint64_t> expected;
    for (std::size_t i = 0; i < sample::kEntities; ++i) expected.push_back(entity(i) + 0x10);
    EXPECT_EQ(search(row.text, row.type), expected);
}

TEST_F(DissectSampleTest, ObjectsInATableOfPointersCountOverTheTable) {
    ASSERT_EQ(view.open("dissect_target+2018]0]0"), PathProblem::None);
    EXPECT_EQ(view.base(), tableEntity(0));
    view.setRange(0, sizeof(sample::Entity));
    // Added out of order: the table says which is which.
    for (std::size_t i = sample::kEntities - 1; i >= 1; --i) view.addInstance(tableEntity(i));
    view.refresh(0);
    const MadeStructure table = view.makeStructure(4, 1);
    EXPECT_EQ(table.text, "dissect_target+2018]0*8*8]24]");
    EXPECT_EQ(table.type, ValueType::Long);
    EXPECT_EQ(table.shape, MadeStructure::Shape::PointerTable);
    std::vector<std::uint64_t> expected;
    for (std::size_t i = 0; i < sample::kEntities; ++i) expected.push_back(tableEntity(i) + 0x24);
    EXPECT_EQ(search(table.text, table.type), expected);

    // Objects that fit neither shape give the one field.
    view.removeInstance(1);
    view.addInstance(entity(3));
    EXPECT_EQ(view.makeStructure(4, 1).shape, MadeStructure::Shape::One);
}

TEST_F(DissectSampleTest, FollowingAPointerShowsItsObjectAndComesBack) {
    ASSERT_EQ(view.open("dissect_target+2000"), PathProblem::None);
    view.setRange(0, sizeof(sample::World));
    view.refresh(0);
    ASSERT_EQ(view.kind(2), FieldKind::Pointer);
    EXPECT_EQ(view.valueText(1, 0), "40 / 0");
    EXPECT_FALSE(view.follow(1));  // the count is no pointer
    ASSERT_TRUE(view.follow(2));
    EXPECT_EQ(view.base(), entity(0));
    EXPECT_EQ(view.pathCaption(), "base]10]");
    EXPECT_EQ(pathText(view.path()), "dissect_target+2010]0");
    view.refresh(1);
    // The shared pointer points into the module: shown from its base.
    EXPECT_EQ(view.valueText(0, 0), "dissect_target+2000");
    const MadeStructure health = view.makeStructure(2);
    EXPECT_EQ(health.text, "dissect_target+2010]10]");
    EXPECT_EQ(search(health.text, health.type), std::vector<std::uint64_t>{entity(0) + 0x10});
    ASSERT_TRUE(view.back());
    EXPECT_EQ(view.base(), kWorld);
    EXPECT_EQ(view.pathCaption(), "base");
    EXPECT_FALSE(view.back());
}

TEST_F(DissectSampleTest, APointerToATextShowsTheText) {
    char text[32];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(world.records));
    ASSERT_EQ(view.open(text), PathProblem::None);
    view.refresh(0);
    std::string name(64, '\0');
    std::uint64_t at = 0;
    target.read(world.records + 0x10, &at, 8);
    target.read(at, name.data(), name.size());
    name.resize(name.find('\0'));
    EXPECT_TRUE(view.valueText(2, 0).ends_with(" \"" + name + "\"")) << view.valueText(2, 0);
    // The text inline at 0x40, and the field set by hand as a double.
    EXPECT_EQ(view.kind(8), FieldKind::AnsiText);
    view.setKind(3, FieldKind::Int64);
    EXPECT_EQ(view.kind(3), FieldKind::Int64);
    std::int64_t health = 0;
    target.read(world.records + 0x18, &health, 8);
    EXPECT_EQ(view.valueText(3, 0), std::to_string(health));
    view.setKind(3, std::nullopt);
    EXPECT_EQ(view.kind(3), FieldKind::Double);
}

TEST_F(DissectSampleTest, AChangedFieldIsMarkedAndTheMarkFades) {
    char text[32];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(entity(0)));
    ASSERT_EQ(view.open(text), PathProblem::None);
    view.addInstance(entity(1));
    view.refresh(0);
    EXPECT_EQ(view.markStrength(4, 0, 0), 0.0);
    target.writeValue<std::int32_t>(entity(0) + 0x24, 7);
    view.refresh(1000);
    EXPECT_EQ(view.markStrength(4, 0, 1000), 1.0);
    EXPECT_NEAR(view.markStrength(4, 0, 2500), 0.5, 1e-9);
    EXPECT_EQ(view.markStrength(4, 0, 4500), 0.0);
    EXPECT_EQ(view.markStrength(3, 0, 1000), 0.0);
    EXPECT_EQ(view.markStrength(4, 1, 1000), 0.0);
}

TEST_F(DissectSampleTest, EachInstanceIsOneReadUnlessAPageFails) {
    const std::uint64_t first = 0x30000000;
    for (std::uint64_t i = 0; i < 8; ++i) target.map(first + i * 0x10000, 0x1000);
    ASSERT_EQ(view.open("30000000"), PathProblem::None);
    view.setRange(0, 0x1000);
    for (std::uint64_t i = 1; i < 8; ++i) view.addInstance(first + i * 0x10000);
    target.resetCounters();
    EXPECT_EQ(view.refresh(0), 8u);
    EXPECT_EQ(target.readCalls(), 8u);
    // Half the range past the mapped page: the whole read, then one per page.
    view.setRange(0x800, 0x1000);
    target.resetCounters();
    EXPECT_EQ(view.refresh(1), 8u * 3);
    EXPECT_EQ(view.kind(0), FieldKind::Zero);
    EXPECT_EQ(view.kind(view.fieldCount() - 1), FieldKind::Unreadable);
    EXPECT_EQ(view.valueText(view.fieldCount() - 1, 3), "??");
}

struct PathCase {
    const char* text;
    PathProblem problem;
    const char* path = "";
};

TEST(DissectPath, TheAddressBoxTakesAddressesPathsAndOneLeafStructures) {
    const std::vector<PathCase> cases = {
        {"1A2B0", PathProblem::None, "1A2B0"},
        {"0x1a2b0", PathProblem::None, "1A2B0"},
        {"game.exe+1A2B0]18]0", PathProblem::None, "game.exe+1A2B0]18]0"},
        {"game.exe+1A2B0]18]0]", PathProblem::None, "game.exe+1A2B0]18]0"},
        {"game.exe+1A2B0]18*1*8]2C]", PathProblem::None, "game.exe+1A2B0]18]2C"},
        {"game.exe+1A2B0]18*8*8]2C]", PathProblem::ManyLeaves},
        {"", PathProblem::Malformed},
        {"12]]4", PathProblem::Malformed},
        {"xyz", PathProblem::Malformed},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.text);
        DissectPath path;
        ASSERT_EQ(parseDissectPath(c.text, path), c.problem);
        if (c.problem == PathProblem::None) {
            EXPECT_EQ(pathText(path), c.path);
        }
    }
}

}  // namespace
}  // namespace corvane
