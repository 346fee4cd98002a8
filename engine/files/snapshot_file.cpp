#include "engine/files/snapshot_file.h"

#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <string_view>

namespace corvane {
namespace {

constexpr std::string_view kMagic = kSnapshotMagic;

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

std::uint64_t remainingBytes(std::istream& in) {
    const std::streampos here = in.tellg();
    in.seekg(0, std::ios::end);
    const std::streampos end = in.tellg();
    in.seekg(here);
    return here < 0 || end < here ? 0 : static_cast<std::uint64_t>(end - here);
}

}  // namespace

void writeSnapshotFile(std::ostream& out, const MemorySnapshot& snapshot) {
    out.write(kMagic.data(), static_cast<std::streamsize>(kMagic.size()));
    put<std::uint32_t>(out, kSnapshotFileVersion);
    put<std::uint64_t>(out, snapshot.step);
    put<std::uint32_t>(out, snapshot.itemSize);
    put<std::uint64_t>(out, snapshot.regions.size());
    for (const MemorySnapshot::Region& region : snapshot.regions) {
        put<std::uint64_t>(out, region.start);
        put<std::uint64_t>(out, region.bytes.size());
        put<std::uint64_t>(out, region.lostPages.size());
        for (std::uint64_t page : region.lostPages) put<std::uint64_t>(out, page);
        out.write(reinterpret_cast<const char*>(region.bytes.data()),
                  static_cast<std::streamsize>(region.bytes.size()));
    }
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
    char head[kMagic.size()];
    std::uint32_t version = 0;
    if (!in.read(head, static_cast<std::streamsize>(kMagic.size())) ||
        std::string_view(head, kMagic.size()) != kMagic) {
        error = "not a snapshot file";
        return false;
    }
    if (!get(in, version) || version != kSnapshotFileVersion) {
        error = "snapshot file version " + std::to_string(version) + " is not one this program reads";
        return false;
    }
    MemorySnapshot read;
    std::uint64_t regions = 0;
    if (!get(in, read.step) || !get(in, read.itemSize) || !get(in, regions) || read.step == 0) {
        error = "the snapshot file's header is cut short";
        return false;
    }
    for (std::uint64_t i = 0; i < regions; ++i) {
        MemorySnapshot::Region region;
        std::uint64_t size = 0;
        std::uint64_t lost = 0;
        if (!get(in, region.start) || !get(in, size) || !get(in, lost)) {
            error = "the snapshot file is cut short in region " + std::to_string(i + 1);
            return false;
        }
        for (std::uint64_t p = 0; p < lost; ++p) {
            std::uint64_t page = 0;
            if (!get(in, page)) {
                error = "the snapshot file is cut short in region " + std::to_string(i + 1);
                return false;
            }
            region.lostPages.push_back(page);
        }
        // A damaged size must not ask for more memory than the file holds.
        bool cut = size > remainingBytes(in);
        if (!cut) {
            region.bytes = MemorySnapshot::Bytes(static_cast<std::size_t>(size));
            cut = !in.read(reinterpret_cast<char*>(region.bytes.data()), static_cast<std::streamsize>(size));
        }
        if (cut) {
            error = "the snapshot file is cut short in region " + std::to_string(i + 1);
            return false;
        }
        read.regions.push_back(std::move(region));
    }
    snapshot = std::move(read);
    return true;
}

}  // namespace corvane
