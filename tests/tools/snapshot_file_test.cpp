#include "engine/files/snapshot_file.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace corvane {
namespace {

MemorySnapshot sample() {
    MemorySnapshot snapshot;
    snapshot.step = 2;
    snapshot.itemSize = 4;
    for (std::uint64_t r = 0; r < 3; ++r) {
        MemorySnapshot::Region region{0x10000000 + r * 0x100000, MemorySnapshot::Bytes(0x2000 * (r + 1)), {}};
        for (std::size_t i = 0; i < region.bytes.size(); ++i)
            region.bytes.data()[i] = static_cast<unsigned char>(i * 7 + r);
        if (r == 1) region.lostPages = {region.start + 0x1000, region.start + 0x3000};
        snapshot.regions.push_back(std::move(region));
    }
    return snapshot;
}

TEST(SnapshotFile, ReadsBackWhatWasWritten) {
    const MemorySnapshot written = sample();
    std::stringstream file;
    writeSnapshotFile(file, written);
    EXPECT_TRUE(isSnapshotFile(file));
    MemorySnapshot read;
    std::string error;
    ASSERT_TRUE(readSnapshotFile(file, read, error)) << error;
    EXPECT_TRUE(read == written);
    EXPECT_EQ(read.addressCount(), written.addressCount());
    // The file holds the bytes and little more.
    std::uint64_t bytes = 0;
    for (const MemorySnapshot::Region& region : written.regions) bytes += region.bytes.size();
    EXPECT_LE(file.str().size(), bytes * 105 / 100 + 256);
}

TEST(SnapshotFile, ResultsFilesAndDamagedSnapshotsAreToldApart) {
    std::stringstream results("10000000\t5\t10000000\n");
    EXPECT_FALSE(isSnapshotFile(results));
    EXPECT_EQ(results.tellg(), 0) << "the test reads nothing away";

    std::stringstream whole;
    writeSnapshotFile(whole, sample());
    const std::string bytes = whole.str();
    struct Case {
        std::string file;
        const char* error;
    };
    std::string otherVersion = bytes;
    otherVersion[16] = 2;
    const Case cases[] = {
        {bytes.substr(0, 20), "header"},
        {"CORVANE-SNAPSHOX" + bytes.substr(16), "not a snapshot"},
        {otherVersion, "version 2"},
        {bytes.substr(0, 30), "header"},
        {bytes.substr(0, bytes.size() - 1), "cut short in region 3"},
        {bytes.substr(0, 60), "cut short in region 1"},
    };
    for (const Case& c : cases) {
        std::stringstream file(c.file);
        MemorySnapshot read = sample();
        read.step = 99;
        std::string error;
        EXPECT_FALSE(readSnapshotFile(file, read, error)) << c.file.size();
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(read.step, 99u) << "a failed read leaves the snapshot as it was";
    }
}

}  // namespace
}  // namespace corvane
