#include "engine/files/snapshot_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/values/value_type.h"

namespace corvane {
namespace {

constexpr std::string_view kMagic = kSnapshotMagic;
// Magic, version, value size, step, region count, table offset.
constexpr std::uint64_t kHeaderBytes = 16 + 4 + 4 + 8 + 8 + 8;
// The pages are copied between the file and the store this much at a time.
constexpr std::size_t kCopyBytes = std::size_t{1} << 20;

template <typename T>
void put(std::ostream& out, T value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.write(bytes, sizeof value);
}

template <typename T>
bool get(std::istream& in, T& value) {
    char bytes[sizeof value];
    if (!in.read(bytes, sizeof value)) return false;
    std::memcpy(&value, bytes, sizeof value);
    return true;
}

std::uint64_t streamSize(std::istream& in) {
    const std::streampos here = in.tellg();
    in.seekg(0, std::ios::end);
    const std::streampos end = in.tellg();
    in.seekg(here);
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

bool isValueSize(std::uint64_t size) {
    for (const ValueType type : {ValueType::Byte, ValueType::Short, ValueType::Long, ValueType::Int64,
                                 ValueType::Single, ValueType::Double, ValueType::AnsiText})
        if (valueReadSize(type) == size) return true;
    return false;
}

void writeHeader(std::ostream& out, const MemorySnapshot& snapshot, std::uint64_t tableOffset) {
    out.write(kMagic.data(), static_cast<std::streamsize>(kMagic.size()));
    put<std::uint32_t>(out, kSnapshotFileVersion);
    put<std::uint32_t>(out, snapshot.itemSize);
    put<std::uint64_t>(out, snapshot.step);
    put<std::uint64_t>(out, snapshot.regions.size());
    put<std::uint64_t>(out, tableOffset);
}

void writeTable(std::ostream& out, const MemorySnapshot& snapshot) {
    for (const MemorySnapshot::Region& region : snapshot.regions) {
        put<std::uint64_t>(out, region.start);
        put<std::uint64_t>(out, region.size);
        for (const std::uint64_t word : region.zeroPages) put<std::uint64_t>(out, word);
        for (const std::uint64_t word : region.lostPages) put<std::uint64_t>(out, word);
    }
}

std::string regionName(std::uint64_t i) { return "region " + std::to_string(i + 1); }

// A region must lie in the address space after the one before it; both
// versions are held to it, so that what one reads the other can write.
bool placeRegion(const MemorySnapshot::Region& region, std::uint64_t i, std::uint64_t& previousEnd,
                 std::string& error) {
    if (region.start + region.size < region.start) {
        error = "the snapshot file's " + regionName(i) + " size runs past the address space";
        return false;
    }
    if (region.start < previousEnd) {
        error = "the snapshot file's " + regionName(i) + " start lies inside the region before it";
        return false;
    }
    previousEnd = region.end();
    return true;
}

// The pages of a version 2 file, read where they lie as the next search asks.
class SnapshotFileReader : public SnapshotStore {
public:
    SnapshotFileReader(std::filesystem::path path, std::uint64_t dataStart, std::uint64_t size)
        : path_(std::move(path)), file_(path_, std::ios::binary), dataStart_(dataStart), size_(size) {}
    bool opened() const { return static_cast<bool>(file_); }
    void append(const unsigned char*, std::size_t) override {
        throw std::logic_error("a snapshot file being read takes no pages");
    }
    void read(std::uint64_t offset, unsigned char* out, std::size_t size) const override {
        file_.seekg(static_cast<std::streamoff>(dataStart_ + offset));
        if (!file_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size)))
            throw std::runtime_error("cannot read " + path_.string());
    }
    std::uint64_t size() const override { return size_; }
    std::uint64_t memoryBytes() const override { return 0; }

private:
    std::filesystem::path path_;
    mutable std::ifstream file_;
    std::uint64_t dataStart_;
    std::uint64_t size_;
};

// Version 1: every byte inline; read into memory, its zero pages found as
// they are.
bool readVersion1(std::istream& in, MemorySnapshot& read, std::string& error) {
    std::uint64_t regions = 0;
    if (!get(in, read.step) || !get(in, read.itemSize) || !get(in, regions)) {
        error = "the snapshot file's header is cut short";
        return false;
    }
    if (read.step == 0) {
        error = "the snapshot file's step is 0";
        return false;
    }
    if (!isValueSize(read.itemSize)) {
        error = "the snapshot file's value size " + std::to_string(read.itemSize) + " matches no value kind";
        return false;
    }
    const std::uint64_t fileSize = streamSize(in);
    auto store = std::make_unique<PagedStore>();
    std::vector<unsigned char> page(kPageSize);
    std::uint64_t previousEnd = 0;
    for (std::uint64_t i = 0; i < regions; ++i) {
        MemorySnapshot::Region region;
        std::uint64_t lost = 0;
        const std::string cut = "the snapshot file is cut short in " + regionName(i);
        if (!get(in, region.start) || !get(in, region.size) || !get(in, lost)) {
            error = cut;
            return false;
        }
        if (!placeRegion(region, i, previousEnd, error)) return false;
        // Damaged counts must not ask for more memory than the file holds.
        const std::uint64_t here = static_cast<std::uint64_t>(in.tellg());
        if (lost > (fileSize - here) / 8 || region.size > fileSize - here - lost * 8) {
            error = cut;
            return false;
        }
        region.clearPages();
        for (std::uint64_t p = 0; p < lost; ++p) {
            std::uint64_t address = 0;
            if (!get(in, address)) {
                error = cut;
                return false;
            }
            if (address >= region.start && address < region.end()) {
                const std::uint64_t index = (address - region.start) / kPageSize;
                region.lostPages[static_cast<std::size_t>(index / 64)] |= std::uint64_t{1} << (index % 64);
            }
        }
        region.storedFrom = store->size();
        for (std::uint64_t p = 0; p < region.pages(); ++p) {
            const auto bytes = static_cast<std::size_t>(std::min(kPageSize, region.size - p * kPageSize));
            if (!in.read(reinterpret_cast<char*>(page.data()), static_cast<std::streamsize>(bytes))) {
                error = cut;
                return false;
            }
            if (region.lost(p)) continue;
            if (allZero(page.data(), bytes))
                region.zeroPages[static_cast<std::size_t>(p / 64)] |= std::uint64_t{1} << (p % 64);
            else
                store->append(page.data(), bytes);
        }
        region.index();
        read.regions.push_back(std::move(region));
    }
    read.store = std::move(store);
    return true;
}

// Version 2's header and table, checked against each other and the file's
// size; `dataStart` and `dataBytes` say where the pages lie.
bool readVersion2Table(std::istream& in, MemorySnapshot& read, std::uint64_t& dataBytes, std::string& error) {
    std::uint64_t regions = 0;
    std::uint64_t tableOffset = 0;
    if (!get(in, read.itemSize) || !get(in, read.step) || !get(in, regions) || !get(in, tableOffset)) {
        error = "the snapshot file's header is cut short";
        return false;
    }
    const std::uint64_t fileSize = streamSize(in);
    if (!isValueSize(read.itemSize)) {
        error = "the snapshot file's value size " + std::to_string(read.itemSize) + " matches no value kind";
        return false;
    }
    if (read.step == 0) {
        error = "the snapshot file's step is 0";
        return false;
    }
    if (tableOffset == 0) {
        error = "the snapshot file is not whole: its region table offset was never written";
        return false;
    }
    if (tableOffset < kHeaderBytes || tableOffset > fileSize) {
        error = "the snapshot file's region table offset " + std::to_string(tableOffset) + " lies past the file's end";
        return false;
    }
    const std::uint64_t tableBytes = fileSize - tableOffset;
    if (regions > tableBytes / 16) {
        error = "the snapshot file's region count " + std::to_string(regions) + " is more than its table holds";
        return false;
    }
    in.seekg(static_cast<std::streamoff>(tableOffset));
    std::uint64_t stored = 0;
    std::uint64_t previousEnd = 0;
    for (std::uint64_t i = 0; i < regions; ++i) {
        MemorySnapshot::Region region;
        if (!get(in, region.start) || !get(in, region.size)) {
            error = "the snapshot file's region table is cut short in " + regionName(i);
            return false;
        }
        if (!placeRegion(region, i, previousEnd, error)) return false;
        const std::uint64_t words = (region.pages() + 63) / 64;
        const std::uint64_t left = fileSize - static_cast<std::uint64_t>(in.tellg());
        if (words > left / 16) {
            error = "the snapshot file's " + regionName(i) + " size needs page bits past the file's end";
            return false;
        }
        region.clearPages();
        for (std::uint64_t& word : region.zeroPages) get(in, word);
        for (std::uint64_t& word : region.lostPages) get(in, word);
        const std::uint64_t spare = region.pages() % 64;
        for (std::size_t w = 0; w < region.zeroPages.size(); ++w) {
            if ((region.zeroPages[w] & region.lostPages[w]) != 0) {
                error = "the snapshot file's " + regionName(i) + " page bits call a page both zero and lost";
                return false;
            }
            const bool last = w + 1 == region.zeroPages.size();
            if (last && spare != 0 && ((region.zeroPages[w] | region.lostPages[w]) >> spare) != 0) {
                error = "the snapshot file's " + regionName(i) + " page bits run past its size";
                return false;
            }
        }
        region.index();
        region.storedFrom = stored;
        stored += region.storedBytes();
        read.regions.push_back(std::move(region));
    }
    if (static_cast<std::uint64_t>(in.tellg()) != fileSize) {
        error = "the snapshot file has bytes after its region table";
        return false;
    }
    dataBytes = tableOffset - kHeaderBytes;
    if (stored != dataBytes) {
        error = "the snapshot file's region table stores " + std::to_string(stored) + " bytes of pages where " +
                std::to_string(dataBytes) + " lie";
        return false;
    }
    return true;
}

// The magic and the version; false with why otherwise.
bool readHead(std::istream& in, std::uint32_t& version, std::string& error) {
    char head[kMagic.size()];
    if (!in.read(head, static_cast<std::streamsize>(kMagic.size())) ||
        std::string_view(head, kMagic.size()) != kMagic) {
        error = "not a snapshot file";
        return false;
    }
    if (!get(in, version) || (version != 1 && version != kSnapshotFileVersion)) {
        error = "snapshot file version " + std::to_string(version) + " is not one this program reads";
        return false;
    }
    return true;
}

// Reads a whole file's pages; `path` set keeps version 2 pages in the file.
bool readSnapshot(std::istream& in, const std::filesystem::path* path, MemorySnapshot& snapshot, std::string& error) {
    std::uint32_t version = 0;
    if (!readHead(in, version, error)) return false;
    MemorySnapshot read;
    if (version == 1) {
        if (!readVersion1(in, read, error)) return false;
        snapshot = std::move(read);
        return true;
    }
    std::uint64_t dataBytes = 0;
    if (!readVersion2Table(in, read, dataBytes, error)) return false;
    if (path != nullptr) {
        auto store = std::make_unique<SnapshotFileReader>(*path, kHeaderBytes, dataBytes);
        if (!store->opened()) {
            error = "cannot read the snapshot file";
            return false;
        }
        read.store = std::move(store);
    } else {
        auto store = std::make_unique<PagedStore>();
        in.seekg(static_cast<std::streamoff>(kHeaderBytes));
        std::vector<unsigned char> block(kCopyBytes);
        for (std::uint64_t at = 0; at < dataBytes; at += block.size()) {
            const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), dataBytes - at));
            if (!in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(bytes))) {
                error = "the snapshot file's pages are cut short";
                return false;
            }
            store->append(block.data(), bytes);
        }
        read.store = std::move(store);
    }
    snapshot = std::move(read);
    return true;
}

}  // namespace

void writeSnapshotFile(std::ostream& out, const MemorySnapshot& snapshot) {
    writeHeader(out, snapshot, kHeaderBytes + snapshot.storedBytes());
    std::vector<unsigned char> block(kCopyBytes);
    for (std::uint64_t at = 0; at < snapshot.storedBytes(); at += block.size()) {
        const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), snapshot.storedBytes() - at));
        snapshot.store->read(at, block.data(), bytes);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(bytes));
    }
    writeTable(out, snapshot);
}

bool isSnapshotFile(std::istream& in) {
    char head[kMagic.size()] = {};
    const std::streampos start = in.tellg();
    in.read(head, static_cast<std::streamsize>(kMagic.size()));
    const bool snapshot =
        in.gcount() == static_cast<std::streamsize>(kMagic.size()) && std::string_view(head, kMagic.size()) == kMagic;
    in.clear();
    in.seekg(start);
    return snapshot;
}

bool readSnapshotFile(std::istream& in, MemorySnapshot& snapshot, std::string& error) {
    return readSnapshot(in, nullptr, snapshot, error);
}

bool openSnapshotFile(const std::filesystem::path& path, MemorySnapshot& snapshot, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the snapshot file";
        return false;
    }
    return readSnapshot(in, &path, snapshot, error);
}

SnapshotFileWriter::SnapshotFileWriter(std::filesystem::path path)
    : path_(std::move(path)), file_(path_, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc) {
    if (!file_) throw std::runtime_error("cannot write " + path_.string());
    // The table offset stays 0 until finish(): a file cut short by a crash
    // is never taken for a whole one.
    writeHeader(file_, MemorySnapshot{}, 0);
    if (!file_) throw std::runtime_error("cannot write " + path_.string());
}

SnapshotFileWriter::~SnapshotFileWriter() {
    if (finished_) return;
    file_.close();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

void SnapshotFileWriter::append(const unsigned char* bytes, std::size_t size) {
    // A seek empties the stream's buffer: only after a read moved it.
    if (moved_) file_.seekp(static_cast<std::streamoff>(kHeaderBytes + size_));
    moved_ = false;
    file_.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    if (!file_) throw std::runtime_error("cannot write " + path_.string());
    size_ += size;
}

void SnapshotFileWriter::read(std::uint64_t offset, unsigned char* out, std::size_t size) const {
    moved_ = true;
    file_.seekg(static_cast<std::streamoff>(kHeaderBytes + offset));
    if (!file_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size)))
        throw std::runtime_error("cannot read " + path_.string());
}

void SnapshotFileWriter::finish(const MemorySnapshot& snapshot) {
    file_.seekp(static_cast<std::streamoff>(kHeaderBytes + size_));
    writeTable(file_, snapshot);
    file_.seekp(0);
    writeHeader(file_, snapshot, kHeaderBytes + size_);
    file_.flush();
    if (!file_) throw std::runtime_error("cannot write " + path_.string());
    file_.close();
    if (file_.fail()) throw std::runtime_error("cannot write " + path_.string());
    finished_ = true;
}

}  // namespace corvane
