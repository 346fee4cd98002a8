#include "engine/target/win32/target_process.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/text/text_codec.h"
#include "engine/search/traversal.h"
#include "engine/values/value_text.h"
#include "tools/sample_target/sample_process.h"
#include "tools/sample_target/sample_layout.h"

namespace corvane {
namespace {

using sample::SampleProcess;
namespace sample = corvane::sample;

// Runs every test against the 64-bit and the 32-bit sample target.
class SampleTargetTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        std::string why;
        process_ = SampleProcess::start(bits32(), false, why);
        // Only a machine that cannot start 32-bit processes at all is excused.
        if (!process_ && bits32() && why.rfind("CreateProcess failed", 0) == 0)
            GTEST_SKIP() << "this machine cannot run 32-bit processes: " << why;
        ASSERT_TRUE(process_) << why;
        target_.targetPid = process_->pid();
        ASSERT_EQ(target_.openTarget(), 0u);
    }

    bool bits32() const { return GetParam(); }
    unsigned width() const { return bits32() ? 4 : 8; }
    const sample::Places& places() const { return bits32() ? sample::kPlaces32 : sample::kPlaces64; }

    std::vector<std::pair<std::string, std::uint64_t>> traverse(std::vector<StructureRow> rows) {
        const StopFlag stop;
        CandidateStore store;
        Traversal(target_, stop, store).run(std::move(rows));
        std::vector<std::pair<std::string, std::uint64_t>> leaves;
        for (std::size_t i = 0; i < store.candidateCount(); ++i)
            leaves.emplace_back(store.pathText(i), store.address(i));
        return leaves;
    }

    std::int32_t readLong(std::uint64_t address) {
        std::int32_t value = 0;
        EXPECT_TRUE(target_.readTarget(address, &value, sizeof value)) << std::hex << address;
        return value;
    }

    std::unique_ptr<SampleProcess> process_;
    TargetProcess target_;
};

std::string hex(std::uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

TEST_P(SampleTargetTest, PointerWidthFollowsTheTargetsBitness) {
    EXPECT_EQ(nativeSystemBits(), 64u);
    EXPECT_EQ(target_.pointerWidth(), width());
    EXPECT_EQ(isNative64BitTarget(process_->pid()), !bits32());
    EXPECT_EQ(process_->value("pointerWidth"), width());
    EXPECT_EQ(process_->value("root"), places().root);
}

TEST_P(SampleTargetTest, TwoLevelsFollowOnlyFollowablePointers) {
    auto slot = [&](unsigned k) { return hex(places().root + k * width()); };
    const auto leaves =
        traverse({{static_cast<std::int64_t>(places().root), sample::kRootSlots, static_cast<std::int64_t>(width())},
                  {sample::kIdOffset, 0, 0}});
    // Slot 3 points where nothing is mapped: followable, so its leaf is a
    // candidate; only reading its value fails.
    const std::vector<std::pair<std::string, std::uint64_t>> expected{
        {slot(0) + "]0", places().objects[0]},
        {slot(3) + "]0", places().unmapped},
        {slot(4) + "]0", places().objects[1]},
        {slot(6) + "]0", places().objects[2]},
    };
    EXPECT_EQ(leaves, expected);
    for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(readLong(places().objects[i]), 1000 + static_cast<int>(i));
    std::int32_t value;
    EXPECT_FALSE(target_.readTarget(places().unmapped, &value, sizeof value));
}

TEST_P(SampleTargetTest, ThreeLevelsReachEveryDataArray) {
    const auto leaves =
        traverse({{static_cast<std::int64_t>(places().root), sample::kRootSlots, static_cast<std::int64_t>(width())},
                  {sample::kDataPointerOffset, 0, 0},
                  {0, sample::kDataCount, 4}});
    ASSERT_EQ(leaves.size(), 3u * sample::kDataCount);
    for (unsigned object = 0; object < 3; ++object) {
        for (unsigned j = 0; j < sample::kDataCount; ++j) {
            const auto& [path, address] = leaves[object * sample::kDataCount + j];
            EXPECT_EQ(path, hex(places().root + sample::kObjectSlot[object] * width()) + "]8]" + hex(4 * j));
            EXPECT_EQ(address, places().objects[object] + sample::kDataOffset + 4 * j);
            EXPECT_EQ(readLong(address), sample::dataValue(object, j));
        }
    }
}

TEST_P(SampleTargetTest, ATextBlockRunningIntoUnmappedMemoryIsNotReadAtAll) {
    unsigned char block[256];
    EXPECT_TRUE(target_.readTarget(places().edge + sample::kEdgeFitOffset, block, sizeof block));
    EXPECT_FALSE(target_.readTarget(places().edge + sample::kEdgeCrossOffset, block, sizeof block));
    // The same bytes in a shorter read are there.
    EXPECT_TRUE(target_.readTarget(places().edge + sample::kEdgeCrossOffset, block, 0x80));
}

TEST_P(SampleTargetTest, ReadsSeeTheTargetChangeItsPointers) {
    const std::uint64_t slot0 = places().root;
    ASSERT_TRUE(process_->command("setptr " + hex(slot0) + " " + hex(places().objects[2])));
    const auto leaves = traverse({{static_cast<std::int64_t>(slot0), 0, 0}, {0, 0, 0}});
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(leaves[0].second, places().objects[2]);
    EXPECT_EQ(readLong(leaves[0].second), 1002);
}

struct ValueCase {
    unsigned offset;
    ValueType type;
    std::uint8_t baseMode;
    const char* text;
};

// Every kind read cross-process and written as its value text, the texts
// through the system's code-page conversions (936 here).
TEST_P(SampleTargetTest, ValuesOfEveryKindReadAsTheirTexts) {
    const ValueCase cases[] = {
        {sample::kIdOffset, ValueType::Long, 0, "1001"},
        {sample::kNegativeOffset, ValueType::Long, 0, "-5"},
        {sample::kNegativeOffset, ValueType::Long, 1, "FFFFFFFB"},
        {sample::kSingleOffset, ValueType::Single, 0, "3.75"},
        {sample::kBigSingleOffset, ValueType::Single, 1, "1e+010"},
        {sample::kDoubleOffset, ValueType::Double, 1, "0.1"},
        {sample::kByteOffset, ValueType::Byte, 0, "200"},
        {sample::kByteOffset, ValueType::Byte, 1, "C8"},
        {sample::kShortOffset, ValueType::Short, 0, "-1"},
        {sample::kShortOffset, ValueType::Short, 1, "FFFF"},
        {sample::kInt64Offset, ValueType::Int64, 1, "123456789ABCDEF0"},
        {sample::kAnsiOffset, ValueType::AnsiText, kNoBaseMode, sample::kGbkText},
        {sample::kUtf16Offset, ValueType::Utf16Text, kNoBaseMode, sample::kGbkText},
        {sample::kUtf8Offset, ValueType::Utf8Text, kNoBaseMode, sample::kGbkText},
    };
    for (const auto& c : cases) {
        unsigned char bytes[257] = {};
        ASSERT_TRUE(target_.readTarget(places().objects[1] + c.offset, bytes, valueReadSize(c.type)));
        EXPECT_EQ(valueText(c.type, c.baseMode, bytes, systemTextCodec()), c.text) << "offset " << c.offset;
    }
}

// The module base comes from the target's own module list: the table the
// sample keeps in its image lies at the printed offset from it, in either
// letter case of the name; a module the target lacks has no base.
TEST_P(SampleTargetTest, ModuleBasesFromTheTargetsModuleList) {
    const std::string module = bits32() ? "sample_target32.exe" : "sample_target.exe";
    const std::optional<std::uint64_t> base = target_.moduleBase(module);
    ASSERT_TRUE(base.has_value());
    std::uint64_t pointer = 0;
    ASSERT_TRUE(readPointer(target_, *base + process_->value("moduleTable"), pointer));
    EXPECT_EQ(pointer, process_->value("moduleObject0"));
    std::string upper = module;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(target_.moduleBase(upper), base);
    EXPECT_TRUE(target_.moduleBase("kernel32.dll").has_value());
    EXPECT_FALSE(target_.moduleBase("nosuch.dll").has_value());
    EXPECT_FALSE(target_.moduleBase("sample_target").has_value()) << "the whole file name is compared";
    TargetProcess unopened;
    EXPECT_FALSE(unopened.moduleBase(module).has_value());
}

INSTANTIATE_TEST_SUITE_P(Bitness, SampleTargetTest, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Target32" : "Target64"; });

TEST(TargetProcess, NoProcessChosenOpensNothingAndReadsNothing) {
    TargetProcess target;
    EXPECT_NE(target.openTarget(), 0u);
    EXPECT_EQ(target.targetHandle(), nullptr);
    EXPECT_EQ(target.pointerWidth(), 4u);
    std::uint32_t value = 0;
    EXPECT_FALSE(target.readTarget(reinterpret_cast<std::uintptr_t>(&value), &value, sizeof value));
    const StopFlag stop;
    CandidateStore store;
    Traversal(target, stop, store).run({{0x10000, 10, 4}, {0, 0, 0}});
    EXPECT_EQ(store.candidateCount(), 0u);
}

TEST(TargetProcess, AProcessThatDoesNotExistReportsTheSystemsError) {
    TargetProcess target;
    target.targetPid = 0xFFFFFFF0;
    EXPECT_EQ(target.openTarget(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(isNative64BitTarget(0xFFFFFFF0));
}

}  // namespace
}  // namespace corvane
