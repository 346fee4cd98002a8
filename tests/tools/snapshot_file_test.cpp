#include "engine/files/snapshot_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/search/search_engine.h"
#include "engine/text/text_codec.h"
#include "tests/support/fake_target.h"
#include "tests/support/test_sink.h"

namespace corvane {
namespace {

constexpr std::uint64_t kBase = 0x10000000;

// Three regions: plain bytes; zero pages among them and a lost page; a
// region whose last page is short and zero.
class SnapshotFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<unsigned char> bytes(0x30000);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(1 + i * 7 % 250);
        std::memset(bytes.data() + 0x13000, 0, 0x4000);
        std::memset(bytes.data() + 0x28000, 0, 0x8000);
        target.write(kBase, bytes.data(), bytes.size());
        target.unmap(kBase + 0x18000, 0x1000);
        regions = {{kBase, 0x10000, true}, {kBase + 0x10000, 0x10000, true}, {kBase + 0x20000, 0xF800, true}};
    }

    MemorySnapshot take(std::unique_ptr<SnapshotStore> store = nullptr) {
        return takeMemorySnapshot(target, regions, 2, 4, stop, std::move(store));
    }

    static std::string written(const MemorySnapshot& snapshot) {
        std::stringstream file;
        writeSnapshotFile(file, snapshot);
        return file.str();
    }

    test::FakeTarget target;
    std::vector<MemoryRegion> regions;
    StopFlag stop;
};

TEST_F(SnapshotFileTest, ReadsBackWhatWasWrittenAndKeepsNoZeroPage) {
    const MemorySnapshot taken = take();
    ASSERT_TRUE(taken.regions[1].lost(8));
    ASSERT_TRUE(taken.regions[2].zero(15));
    std::stringstream file(written(taken));
    EXPECT_TRUE(isSnapshotFile(file));
    MemorySnapshot read;
    std::string error;
    ASSERT_TRUE(readSnapshotFile(file, read, error)) << error;
    EXPECT_TRUE(read.sameAs(taken));
    EXPECT_EQ(read.addressCount(), taken.addressCount());
    // The file holds the non-zero bytes and its tables, not the zero pages.
    const std::uint64_t nonZero = 0x30000 - 0x800 - 4 * 0x1000 - 7 * 0x1000 - 0x800 - 0x1000;
    EXPECT_EQ(taken.storedBytes(), nonZero);
    EXPECT_LE(file.str().size(), nonZero * 105 / 100 + 256);
    // A changed byte is a different snapshot.
    MemorySnapshot other = take();
    target.writeValue<std::uint8_t>(kBase + 0x2F000, 9);
    const MemorySnapshot changed = take();
    EXPECT_TRUE(other.sameAs(taken));
    EXPECT_FALSE(changed.sameAs(taken));
}

TEST_F(SnapshotFileTest, AWrittenFileIsReadWhereItLies) {
    const auto path = std::filesystem::temp_directory_path() / "corvane_snapshot_file_test.snap";
    {
        auto writer = std::make_unique<SnapshotFileWriter>(path);
        SnapshotFileWriter& file = *writer;
        const MemorySnapshot streamed = take(std::move(writer));
        file.finish(streamed);
    }
    MemorySnapshot opened;
    std::string error;
    ASSERT_TRUE(openSnapshotFile(path, opened, error)) << error;
    EXPECT_TRUE(opened.sameAs(take()));
    EXPECT_LT(opened.memoryBytes(), 4096u) << "the pages stay in the file";
    opened = MemorySnapshot{};
    std::ifstream in(path, std::ios::binary);
    std::stringstream copy;
    copy << in.rdbuf();
    EXPECT_EQ(copy.str(), written(take())) << "streamed and written whole, the same file";
    in.close();

    // A writer that never finishes leaves no file behind.
    {
        auto writer = std::make_unique<SnapshotFileWriter>(path);
        take(std::move(writer));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

// A stop while the first search streams its snapshot keeps nothing, and
// the file it was writing is gone.
TEST_F(SnapshotFileTest, AStopWhileStreamingLeavesNoFile) {
    const auto path = std::filesystem::temp_directory_path() / "corvane_snapshot_stop_test.snap";
    target.map(0x40000000, 8 * PagedStore::kBlockBytes);
    test::TestSink sink;
    sink.set({ValueType::Long, 0, SearchCondition::None, "", ""});
    SearchEngine engine(target, sink, systemTextCodec());
    engine.setRegionLookup(&target);
    bool created = false;
    engine.makeSnapshotStore = [&]() -> std::unique_ptr<SnapshotStore> {
        created = true;
        return std::make_unique<SnapshotFileWriter>(path);
    };
    int reads = 0;
    target.onRead = [&] {
        if (++reads == 3) {
            EXPECT_TRUE(std::filesystem::exists(path));
            engine.stopRequested.raise();
        }
    };
    const FirstSearchReport report = engine.runFirstSearch({{0, 0, 4}}, {}, FirstRow::Memory);
    EXPECT_TRUE(created);
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(engine.snapshot(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// The first version's layout, written here as the program once wrote it.
std::string versionOneFile(const std::vector<std::vector<unsigned char>>& regions,
                           const std::vector<std::uint64_t>& lostInSecond) {
    std::string file = "CORVANE-SNAPSHOT";
    auto put = [&file](auto value) { file.append(reinterpret_cast<const char*>(&value), sizeof value); };
    put(std::uint32_t{1});
    put(std::uint64_t{4});
    put(std::uint32_t{4});
    put(std::uint64_t{regions.size()});
    for (std::size_t r = 0; r < regions.size(); ++r) {
        put(std::uint64_t{kBase + r * 0x100000});
        put(std::uint64_t{regions[r].size()});
        const std::vector<std::uint64_t> lost = r == 1 ? lostInSecond : std::vector<std::uint64_t>{};
        put(std::uint64_t{lost.size()});
        for (const std::uint64_t page : lost) put(page);
        file.append(reinterpret_cast<const char*>(regions[r].data()), regions[r].size());
    }
    return file;
}

TEST(SnapshotFileVersionOne, StillReads) {
    std::vector<unsigned char> first(0x3000, 0);
    first[0x1FFF] = 5;
    std::vector<unsigned char> second(0x2800, 0x77);
    const std::string file = versionOneFile({first, second}, {kBase + 0x100000 + 0x1000});
    std::stringstream in(file);
    MemorySnapshot read;
    std::string error;
    ASSERT_TRUE(readSnapshotFile(in, read, error)) << error;
    ASSERT_EQ(read.regions.size(), 2u);
    EXPECT_EQ(read.step, 4u);
    EXPECT_TRUE(read.regions[0].zero(0));
    EXPECT_FALSE(read.regions[0].zero(1));
    EXPECT_TRUE(read.regions[0].zero(2));
    EXPECT_TRUE(read.regions[1].lost(1));
    EXPECT_EQ(read.storedBytes(), 0x1000u + 0x1800u);
    std::vector<unsigned char> bytes(0x3000);
    read.copyOut(0, kBase, kBase + 0x3000, bytes.data());
    EXPECT_EQ(bytes, first);
    bytes.resize(0x800);
    read.copyOut(1, kBase + 0x102000, kBase + 0x102800, bytes.data());
    EXPECT_EQ(bytes, std::vector<unsigned char>(0x800, 0x77));
    // Cut short anywhere, it is refused.
    for (const std::size_t cut : {std::size_t{30}, std::size_t{60}, file.size() - 1}) {
        std::stringstream part(file.substr(0, cut));
        EXPECT_FALSE(readSnapshotFile(part, read, error)) << cut;
    }
}

template <typename T>
void poke(std::string& file, std::size_t at, T value) {
    std::memcpy(file.data() + at, &value, sizeof value);
}

TEST_F(SnapshotFileTest, AFileThatContradictsItselfIsRefusedByItsField) {
    const std::string bytes = written(take());
    // Where the header's fields and the table lie.
    constexpr std::size_t kVersion = 16, kValueSize = 20, kStep = 24, kRegions = 32, kTable = 40;
    std::uint64_t table = 0;
    std::memcpy(&table, bytes.data() + kTable, 8);
    const std::size_t region2 = table + 16 + 2 * 8;  // after region 1's start, size and one word of each bits
    struct Case {
        const char* what;
        std::string file;
        const char* error;
    };
    std::vector<Case> cases;
    auto changed = [&](auto&& change) {
        std::string file = bytes;
        change(file);
        return file;
    };
    cases.push_back({"no magic", "CORVANE-SNAPSHOX" + bytes.substr(16), "not a snapshot"});
    cases.push_back({"version", changed([&](std::string& f) { poke<std::uint32_t>(f, kVersion, 3); }), "version 3"});
    cases.push_back({"header cut", bytes.substr(0, 30), "header"});
    cases.push_back(
        {"value size", changed([&](std::string& f) { poke<std::uint32_t>(f, kValueSize, 3); }), "value size 3"});
    cases.push_back({"step", changed([&](std::string& f) { poke<std::uint64_t>(f, kStep, 0); }), "step"});
    cases.push_back({"table past the end",
                     changed([&](std::string& f) { poke<std::uint64_t>(f, kTable, bytes.size() + 1); }),
                     "region table offset"});
    cases.push_back(
        {"never finished", changed([&](std::string& f) { poke<std::uint64_t>(f, kTable, 0); }), "not whole"});
    cases.push_back({"region count", changed([&](std::string& f) { poke<std::uint64_t>(f, kRegions, 1ull << 40); }),
                     "region count"});
    cases.push_back({"fewer regions", changed([&](std::string& f) { poke<std::uint64_t>(f, kRegions, 2); }),
                     "after its region table"});
    cases.push_back({"overlapping regions", changed([&](std::string& f) { poke<std::uint64_t>(f, region2, kBase); }),
                     "region 2 start"});
    cases.push_back({"huge region",
                     changed([&](std::string& f) { poke<std::uint64_t>(f, region2 + 8, std::uint64_t{1} << 50); }),
                     "region 2 size"});
    cases.push_back({"page both zero and lost",
                     changed([&](std::string& f) { poke<std::uint64_t>(f, region2 + 16, 1ull << 8); }),
                     "both zero and lost"});
    cases.push_back({"bits past the size",
                     changed([&](std::string& f) { poke<std::uint64_t>(f, region2 + 16, 1ull << 20); }),
                     "run past its size"});
    cases.push_back(
        {"a zero bit more", changed([&](std::string& f) { poke<std::uint64_t>(f, region2 + 16, 1); }), "stores"});
    cases.push_back({"cut short", bytes.substr(0, bytes.size() - 1), "past the file's end"});
    for (const Case& c : cases) {
        std::stringstream file(c.file);
        MemorySnapshot read;
        read.step = 99;
        std::string error;
        EXPECT_FALSE(readSnapshotFile(file, read, error)) << c.what;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(read.step, 99u) << "a failed read leaves the snapshot as it was";
    }
    std::stringstream results("10000000\t5\t10000000\n");
    EXPECT_FALSE(isSnapshotFile(results));
    EXPECT_EQ(results.tellg(), 0) << "the test reads nothing away";
}

}  // namespace
}  // namespace corvane
