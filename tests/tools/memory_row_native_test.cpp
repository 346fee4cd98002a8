// The memory row against a real process: every address it finds is one that
// a plain scan of /proc/PID/mem finds, and the unknown-value session runs
// through the command line from a snapshot down to one row.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/files/snapshot_file.h"
#include "engine/target/native/process_reader.h"
#include "engine/search/search_engine.h"
#include "engine/text/text_codec.h"
#include "engine/values/value_compare.h"
#include "tests/support/test_sink.h"
#include "tests/tools/native_child.h"

namespace corvane {
namespace {

constexpr std::int32_t kPlanted = 0x5A5A1234;

// Every region read whole from /proc/PID/mem, or page by page where that
// fails, and every `step`-th value of it compared on its own.
std::set<std::uint64_t> plainScan(pid_t pid, const std::vector<MemoryRegion>& regions, std::uint64_t step,
                                  std::int32_t low, std::int32_t high) {
    std::set<std::uint64_t> found;
    const int mem = open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY);
    if (mem < 0) return found;
    for (const MemoryRegion& region : regions) {
        std::vector<unsigned char> bytes(region.size);
        std::vector<bool> pageOk(region.size / 4096, true);
        if (pread(mem, bytes.data(), bytes.size(), static_cast<off_t>(region.start)) !=
            static_cast<ssize_t>(bytes.size())) {
            for (std::size_t p = 0; p < pageOk.size(); ++p)
                pageOk[p] =
                    pread(mem, bytes.data() + p * 4096, 4096, static_cast<off_t>(region.start + p * 4096)) == 4096;
        }
        for (std::uint64_t at = 0; at + 4 <= region.size; at += step) {
            if (!pageOk[at / 4096] || !pageOk[(at + 3) / 4096]) continue;
            std::int32_t value;
            std::memcpy(&value, bytes.data() + at, 4);
            if (value >= low && value <= high) found.insert(region.start + at);
        }
    }
    close(mem);
    return found;
}

TEST(MemoryRowNative, FindsWhatAPlainScanOfTheProcessFinds) {
    test::NativeChild target(CORVANE_MEMORY_TARGET_PATH);
    ASSERT_GT(target.pid(), 0);
    const std::uint64_t block = target.value("block");
    LinuxProcessReader reader(target.pid());
    test::TestSink sink;
    SearchEngine engine(reader, sink, systemTextCodec());
    engine.setRegionLookup(&reader);
    for (const std::int64_t step : {4, 1}) {
        for (const bool between : {false, true}) {
            sink.set({ValueType::Long, 0, between ? SearchCondition::Between : SearchCondition::Equal,
                      std::to_string(kPlanted), between ? std::to_string(kPlanted + 3) : ""});
            const FirstSearchReport report = engine.runFirstSearch({{0, 0, step}}, {}, FirstRow::Memory);
            ASSERT_EQ(report.openError, 0u);
            // The region list of the same moment as the scan: the target waits on its input.
            const std::set<std::uint64_t> expected =
                plainScan(target.pid(), writableRegions(reader.readableRegions()), static_cast<std::uint64_t>(step),
                          kPlanted, between ? kPlanted + 3 : kPlanted);
            std::set<std::uint64_t> found;
            for (std::size_t i = 0; i < engine.results().count(); ++i) found.insert(engine.results().address(i));
            EXPECT_EQ(found, expected) << "step " << step << (between ? " between" : " equal");
            // The planted ones at the step's alignment are among them.
            for (const std::uint64_t offset : {0x100u, 0x1001u, 0x2002u, 0x3003u, 0x4FFEu, 0xFFFF8u})
                EXPECT_EQ(found.contains(block + offset), offset % static_cast<std::uint64_t>(step) == 0)
                    << std::hex << offset << " step " << step;
        }
    }
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(MemoryRowNative, AValueNotKnownYetIsFollowedDownToOneRow) {
    test::NativeChild target(CORVANE_MEMORY_TARGET_PATH);
    ASSERT_GT(target.pid(), 0);
    const std::string pid = std::to_string(target.pid());
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string tag = std::to_string(getpid());
    const std::string snapshot = (folder / ("corvane_snapshot_" + tag)).string();
    const std::string results = (folder / ("corvane_unknown_" + tag + ".txt")).string();
    auto cli = [](const std::vector<std::string>& arguments) { return test::runProgram(CORVANE_CLI_PATH, arguments); };

    const test::ProgramRun first =
        cli({"first", "--pid", pid, "--structure", "\xE5\x86\x85\xE5\xAD\x98]", "--condition", "0", "--out", snapshot});
    ASSERT_EQ(first.exitCode, 0) << first.errors;
    EXPECT_EQ(slurp(snapshot).substr(0, 16), "CORVANE-SNAPSHOT");
    EXPECT_FALSE(std::filesystem::exists(snapshot + ".part")) << "the file takes its name once whole";
    EXPECT_NE(first.errors.find("snapshot: "), std::string::npos) << first.errors;
    // A snapshot whose header contradicts itself is refused by its field.
    {
        std::string damaged = slurp(snapshot);
        damaged[20] = 3;  // the value size
        const std::string path = snapshot + ".damaged";
        std::ofstream(path, std::ios::binary) << damaged;
        const test::ProgramRun refused = cli({"next", "--pid", pid, "--in", path, "--condition", "8"});
        EXPECT_EQ(refused.exitCode, 2) << refused.errors;
        EXPECT_NE(refused.errors.find("value size 3"), std::string::npos) << refused.errors;
        std::filesystem::remove(path);
    }
    // Without a file to keep the snapshot in, nothing is written.
    const test::ProgramRun nowhere = cli({"first", "--pid", pid, "--structure", "memory]", "--condition", "0"});
    EXPECT_EQ(nowhere.exitCode, 2) << nowhere.errors;

    struct Step {
        const char* value;      // set in the target before the pass
        const char* condition;  // of the pass
    };
    const Step steps[] = {{"900", "8"}, {"950", "9"}, {"700", "10"}, {"650", "10"}};
    std::string in = snapshot;
    test::ProgramRun next;
    for (const Step& step : steps) {
        ASSERT_EQ(target.ask(std::string("set ") + step.value), "done");
        next = cli({"next", "--pid", pid, "--in", in, "--condition", step.condition, "--out", results});
        ASSERT_EQ(next.exitCode, 0) << next.errors;
        in = results;
    }
    char address[20];
    std::snprintf(address, sizeof address, "%llX", static_cast<unsigned long long>(target.value("health")));
    EXPECT_EQ(slurp(results), std::string(address) + "\t650\t" + address + "\n");
    // A snapshot is narrowed by a next search before anything else reads it.
    const test::ProgramRun monitor = cli({"monitor", "--pid", pid, "--in", snapshot, "--cycles", "1"});
    EXPECT_EQ(monitor.exitCode, 2) << monitor.errors;
    std::filesystem::remove(snapshot);
    std::filesystem::remove(results);
}

std::vector<std::uint64_t> addresses(const ResultEntries& entries, const CompactResults& compact) {
    std::vector<std::uint64_t> found;
    for (std::size_t i = 0; i < entries.size(); ++i) found.push_back(entries[i].address);
    for (std::size_t i = 0; i < compact.size(); ++i) found.push_back(compact[i].address);
    return found;
}

// The snapshot streamed to its file and the one held in memory, taken of the
// same moment, narrow to the same survivors whatever the condition; a zero
// page that gains a value is changed, and a region that shrinks or goes
// loses only what went.
TEST(MemoryRowNative, AStreamedSnapshotKeepsWhatOneInMemoryKeeps) {
    test::NativeChild target(CORVANE_MEMORY_TARGET_PATH);
    ASSERT_GT(target.pid(), 0);
    const std::uint64_t block = target.value("block");
    const std::uint64_t spare = target.value("spare");
    LinuxProcessReader reader(target.pid());
    ASSERT_EQ(reader.openTarget(), 0u);
    const std::vector<MemoryRegion> regions = writableRegions(reader.readableRegions());
    const StopFlag stop;
    const MemorySnapshot inMemory = takeMemorySnapshot(reader, regions, 4, 4, stop);
    const auto path = std::filesystem::temp_directory_path() / ("corvane_streamed_" + std::to_string(getpid()));
    {
        auto writer = std::make_unique<SnapshotFileWriter>(path);
        SnapshotFileWriter& file = *writer;
        const MemorySnapshot streamed = takeMemorySnapshot(reader, regions, 4, 4, stop, std::move(writer));
        file.finish(streamed);
    }
    MemorySnapshot fromFile;
    std::string error;
    ASSERT_TRUE(openSnapshotFile(path, fromFile, error)) << error;
    ASSERT_TRUE(fromFile.sameAs(inMemory));
    // The block's untouched pages are zeros, kept as bits.
    std::uint64_t zeroPages = 0;
    for (const MemorySnapshot::Region& region : inMemory.regions)
        for (std::uint64_t page = 0; page < region.pages(); ++page) zeroPages += region.zero(page);
    EXPECT_GT(zeroPages, 200u);
    EXPECT_LT(std::filesystem::file_size(path), inMemory.storedBytes() + 64 * 1024);

    ASSERT_EQ(target.ask("set 900"), "done");
    ASSERT_EQ(target.ask("poke 40000 77"), "done");
    ASSERT_EQ(target.ask("shrink"), "done");
    const std::uint64_t health = target.value("health");
    struct Case {
        SearchCondition condition;
        const char* value1;
    };
    const Case cases[] = {{SearchCondition::Changed, ""},   {SearchCondition::Unchanged, ""},
                          {SearchCondition::Increased, ""}, {SearchCondition::Decreased, ""},
                          {SearchCondition::Equal, "77"},   {SearchCondition::NotEqual, "0"}};
    const TextCodec& codec = systemTextCodec();
    for (const Case& c : cases) {
        const SearchSettings settings{ValueType::Long, 0, c.condition, c.value1, ""};
        ResultEntries entries[2];
        CompactResults compact[2];
        narrowMemorySnapshot(reader, inMemory, settings, codec, entries[0], compact[0]);
        narrowMemorySnapshot(reader, fromFile, settings, codec, entries[1], compact[1]);
        const std::vector<std::uint64_t> kept = addresses(entries[0], compact[0]);
        EXPECT_EQ(addresses(entries[1], compact[1]), kept) << static_cast<int>(c.condition);
        const auto has = [&kept](std::uint64_t address) {
            return std::find(kept.begin(), kept.end(), address) != kept.end();
        };
        for (std::uint64_t at = spare + 32 * 4096; at < spare + 64 * 4096; at += 4096)
            EXPECT_FALSE(has(at + 64)) << "an address of the half that went";
        if (c.condition == SearchCondition::Changed || c.condition == SearchCondition::Decreased) {
            EXPECT_TRUE(has(health));
            EXPECT_EQ(has(block + 0x40000), c.condition == SearchCondition::Changed) << "zero page gained 77";
        }
        if (c.condition == SearchCondition::Unchanged || c.condition == SearchCondition::NotEqual) {
            EXPECT_TRUE(has(spare + 64)) << "the half that stayed";
        }
    }
    // All of it gone: nothing of it is kept, and the rest narrows as before.
    ASSERT_EQ(target.ask("vanish"), "done");
    ResultEntries entries;
    CompactResults compact;
    narrowMemorySnapshot(reader, fromFile, {ValueType::Long, 0, SearchCondition::Equal, "77", ""}, codec, entries,
                         compact);
    const std::vector<std::uint64_t> kept = addresses(entries, compact);
    EXPECT_NE(std::find(kept.begin(), kept.end(), block + 0x40000), kept.end());
    for (const std::uint64_t address : kept)
        EXPECT_FALSE(address >= spare && address < spare + 64 * 4096) << "an address of the block that went";
    fromFile = MemorySnapshot{};
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace corvane
