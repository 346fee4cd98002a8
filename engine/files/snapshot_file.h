#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <string>
#include <string_view>

#include "engine/search/memory_snapshot.h"
#include "engine/search/snapshot_store.h"

namespace corvane {

// The snapshot file of the command line: what a 不过滤 first search over a
// memory row kept, for a later `next` to narrow. Binary, little-endian.
//
// Version 2, written as the pages are read:
//   the 16 bytes "CORVANE-SNAPSHOT", the 32-bit version, the 32-bit value
//   size, the 64-bit step, the 64-bit region count and the 64-bit offset of
//   the region table (0 until the file is whole); then the stored pages,
//   region after region; then the region table: per region its 64-bit start
//   and byte count, its zero-page bits and its lost-page bits (a bit per
//   page, in 64-bit words). A page of zeros or one that could not be read is
//   only its bit; every other page is stored whole (a region's last one to
//   the region's end). The table ends the file.
// Version 1, still read: after the magic, the version, the 64-bit step, the
//   32-bit value size and the 64-bit region count, per region its 64-bit
//   start, byte count and lost page count, the lost pages' 64-bit addresses
//   and every byte.
inline constexpr unsigned kSnapshotFileVersion = 2;
inline constexpr std::string_view kSnapshotMagic = "CORVANE-SNAPSHOT";

// Writes a whole snapshot, whatever holds its pages, as the current version.
void writeSnapshotFile(std::ostream& out, const MemorySnapshot& snapshot);

// Whether the stream starts as a snapshot file does; reads nothing away.
bool isSnapshotFile(std::istream& in);

// False, with why in `error` (the field at fault named), for a file that is
// not a whole snapshot of a version this program reads, or whose header or
// region table contradicts itself. The pages are read into memory.
bool readSnapshotFile(std::istream& in, MemorySnapshot& snapshot, std::string& error);

// The same over a file on disk, whose pages of the current version stay in
// the file and are read as a next search needs them; the file is held open
// by the snapshot.
bool openSnapshotFile(const std::filesystem::path& path, MemorySnapshot& snapshot, std::string& error);

// A store that writes the pages into a snapshot file as they are taken, so
// that a first search never holds the whole snapshot. The file is whole only
// once finish() has written its table; a writer destroyed before that
// deletes it.
class SnapshotFileWriter : public SnapshotStore {
public:
    explicit SnapshotFileWriter(std::filesystem::path path);
    ~SnapshotFileWriter() override;
    SnapshotFileWriter(const SnapshotFileWriter&) = delete;
    SnapshotFileWriter& operator=(const SnapshotFileWriter&) = delete;

    void append(const unsigned char* bytes, std::size_t size) override;
    void read(std::uint64_t offset, unsigned char* out, std::size_t size) const override;
    std::uint64_t size() const override { return size_; }
    std::uint64_t memoryBytes() const override { return 0; }

    // Writes the table of `snapshot` (whose pages this store took) and the
    // header; throws std::runtime_error when the file cannot be written.
    void finish(const MemorySnapshot& snapshot);
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    mutable std::fstream file_;
    std::uint64_t size_ = 0;
    bool finished_ = false;
    mutable bool moved_ = false;
};

}  // namespace corvane
