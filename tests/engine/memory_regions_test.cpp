// The region list of a real process (this one) and of the fake target:
// protections as the system reports them, and module images that cover
// their static data.
#include "engine/target/memory_regions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/fake_target.h"

#ifdef _WIN32
#include <windows.h>

#include "engine/target/win32/target_process.h"
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

#include "engine/target/native/process_reader.h"
#endif

namespace corvane {
namespace {

// Global, so that it lies in the test executable's own image.
std::uint64_t staticWord = 0x5EED;

std::string describe(const std::vector<MemoryRegion>& regions) {
    std::string text;
    char line[64];
    for (const MemoryRegion& region : regions) {
        std::snprintf(line, sizeof line, "%llx+%llx%s ", static_cast<unsigned long long>(region.start),
                      static_cast<unsigned long long>(region.size), region.writable ? " w" : "");
        text += line;
    }
    return text;
}

// The region holding `address`, or nothing.
const MemoryRegion* regionAt(const std::vector<MemoryRegion>& regions, std::uint64_t address) {
    for (const MemoryRegion& region : regions)
        if (address >= region.start && address < region.end()) return &region;
    return nullptr;
}

TEST(FakeTargetRegions, RunsOfPagesSplitWhereWritabilityChanges) {
    test::FakeTarget target;
    target.map(0x10000, 3 * kPageSize);
    target.protect(0x11000, kPageSize, false);
    target.map(0x20000, kPageSize);  // after a hole
    const std::vector<MemoryRegion> expected = {{0x10000, kPageSize, true},
                                                {0x11000, kPageSize, false},
                                                {0x12000, kPageSize, true},
                                                {0x20000, kPageSize, true}};
    EXPECT_EQ(target.readableRegions(), expected) << describe(target.readableRegions());
    const std::vector<MemoryRegion> writable = {expected[0], expected[2], expected[3]};
    EXPECT_EQ(writableRegions(target.readableRegions()), writable);

    target.loadModule("b.dll", 0x50000, 0x2000);
    target.loadModule("a.exe", 0x40000, 0x1000);
    const std::vector<ModuleImage> images = target.moduleImages();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0], (ModuleImage{"a.exe", 0x40000, 0x1000}));
    EXPECT_EQ(images[1], (ModuleImage{"b.dll", 0x50000, 0x2000}));
}

#ifdef _WIN32
struct OwnPages {
    unsigned char* base = nullptr;
    OwnPages() {
        base =
            static_cast<unsigned char*>(VirtualAlloc(nullptr, 3 * kPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base + kPageSize, kPageSize, PAGE_READONLY, &old);
        VirtualProtect(base + 2 * kPageSize, kPageSize, PAGE_NOACCESS, &old);
    }
    ~OwnPages() { VirtualFree(base, 0, MEM_RELEASE); }
};

class OwnProcess {
public:
    OwnProcess() {
        target.targetPid = GetCurrentProcessId();
        opened = target.openTarget();
    }
    TargetProcess target;
    std::uint32_t opened = 0;
};
#else
struct OwnPages {
    unsigned char* base = nullptr;
    OwnPages() {
        void* pages = mmap(nullptr, 3 * kPageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base = pages == MAP_FAILED ? nullptr : static_cast<unsigned char*>(pages);
        if (base == nullptr) return;
        mprotect(base + kPageSize, kPageSize, PROT_READ);
        mprotect(base + 2 * kPageSize, kPageSize, PROT_NONE);
    }
    ~OwnPages() {
        if (base != nullptr) munmap(base, 3 * kPageSize);
    }
};

class OwnProcess {
public:
    OwnProcess() : target(getpid()) { opened = target.openTarget(); }
    LinuxProcessReader target;
    std::uint32_t opened = 0;
};
#endif

TEST(ProcessRegions, ProtectionsAsTheSystemReportsThem) {
    OwnPages pages;
    ASSERT_NE(pages.base, nullptr);
    pages.base[0] = 1;
    OwnProcess own;
    ASSERT_EQ(own.opened, 0u);
    const std::vector<MemoryRegion> regions = own.target.readableRegions();
    const auto address = [&](std::size_t page) {
        return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pages.base + page * kPageSize));
    };
    const MemoryRegion* writable = regionAt(regions, address(0));
    ASSERT_NE(writable, nullptr) << describe(regions);
    EXPECT_TRUE(writable->writable);
    const MemoryRegion* readOnly = regionAt(regions, address(1));
    ASSERT_NE(readOnly, nullptr) << describe(regions);
    EXPECT_FALSE(readOnly->writable);
    EXPECT_EQ(regionAt(regions, address(2)), nullptr) << "a no-access page is listed: " << describe(regions);

    for (std::size_t i = 1; i < regions.size(); ++i)
        EXPECT_LE(regions[i - 1].end(), regions[i].start)
            << "regions out of order or overlapping: " << describe(regions);
}

TEST(ProcessRegions, OwnImageHoldsItsStaticData) {
    OwnProcess own;
    ASSERT_EQ(own.opened, 0u);
    const auto at = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&staticWord));
    const std::vector<ModuleImage> images = own.target.moduleImages();
    const ModuleImage* holder = nullptr;
    for (const ModuleImage& image : images)
        if (at >= image.start && at < image.end()) holder = &image;
    ASSERT_NE(holder, nullptr) << "no image holds " << std::hex << at;
    EXPECT_NE(holder->name.find("memory_regions_test"), std::string::npos) << holder->name;
    EXPECT_EQ(own.target.moduleBase(holder->name), holder->start) << holder->name;
    for (std::size_t i = 1; i < images.size(); ++i) EXPECT_LE(images[i - 1].start, images[i].start);
    // Its static data is readable memory.
    const std::vector<MemoryRegion> regions = own.target.readableRegions();
    const MemoryRegion* region = regionAt(regions, at);
    ASSERT_NE(region, nullptr);
    EXPECT_TRUE(region->writable);
}

#ifndef _WIN32
TEST(ProcessRegions, ProgramFilesAreModulesAndDataFilesAreNot) {
    // A data file read into memory, an anonymous mapping right after it (as
    // a locale archive often has), and a library whose name holds "+".
    char path[] = "/tmp/corvane_data_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::vector<unsigned char> bytes(2 * kPageSize, 0x5A);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    auto* reserved = static_cast<unsigned char*>(
        mmap(nullptr, 3 * kPageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(reserved, MAP_FAILED);
    ASSERT_NE(mmap(reserved, 2 * kPageSize, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0), MAP_FAILED);
    close(fd);
    OwnProcess own;
    ASSERT_EQ(own.opened, 0u);
    const std::vector<ModuleImage> images = own.target.moduleImages();
    const std::string name = std::string(path).substr(5);
    bool library = false;
    for (const ModuleImage& image : images) {
        EXPECT_NE(image.name, name) << "a data file taken for a module";
        const auto data = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(reserved));
        EXPECT_FALSE(data + 2 * kPageSize >= image.start && data + 2 * kPageSize < image.end())
            << "the mapping after a data file taken for the .bss of " << image.name;
        if (image.name.starts_with("libstdc++")) {
            library = true;
            EXPECT_EQ(own.target.moduleBase(image.name), image.start);
        }
    }
    EXPECT_TRUE(library) << "no image of libstdc++, whose name holds a plus";
    EXPECT_FALSE(own.target.moduleBase(name).has_value());
    munmap(reserved, 3 * kPageSize);
    std::remove(path);
}
#endif

}  // namespace
}  // namespace corvane
