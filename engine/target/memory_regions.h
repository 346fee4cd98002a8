#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// A run of the target's address space that can be read: committed, not a
// guard page, not no-access.
struct MemoryRegion {
    std::uint64_t start = 0;
    std::uint64_t size = 0;
    bool writable = false;

    std::uint64_t end() const { return start + size; }
    bool operator==(const MemoryRegion&) const = default;
};

// Where the loader placed a module: on Windows its SizeOfImage range from the
// load address; natively the mappings of one file from the lowest start to
// the highest end, and an anonymous mapping that starts exactly where they
// end (the image's .bss).
struct ModuleImage {
    std::string name;  // the file name as the target has it loaded, code page 936
    std::uint64_t start = 0;
    std::uint64_t size = 0;

    std::uint64_t end() const { return start + size; }
    bool operator==(const ModuleImage&) const = default;
};

// The layout of the target's memory, for the scans that look at all of it:
// the memory row and the pointer scan. Kept beside the reader and the module
// lookup: a reader that only reads (a dump, a fake) need not know it.
class RegionLookup {
public:
    virtual ~RegionLookup() = default;

    // The readable regions, in address order, none overlapping. Neighbours
    // may come as one region or several; a region changes as the target
    // runs, so a read inside one may still fail.
    virtual std::vector<MemoryRegion> readableRegions() = 0;
    // The loaded modules' images, in address order.
    virtual std::vector<ModuleImage> moduleImages() = 0;
};

// The writable regions of `regions`, the memory a memory row scans.
std::vector<MemoryRegion> writableRegions(const std::vector<MemoryRegion>& regions);

// Cuts the regions (of `total` bytes) in two of about equal bytes, the cut on
// a chunk's bound within its region, so the two shares make the reads one
// reading would. The second share may be empty.
std::vector<std::vector<MemoryRegion>> splitInTwo(const std::vector<MemoryRegion>& regions, std::uint64_t total,
                                                  std::uint64_t chunkBytes);

}  // namespace corvane
