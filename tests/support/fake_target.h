#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/target/memory_regions.h"
#include "engine/target/module_lookup.h"
#include "engine/target/target_access.h"

namespace corvane::test {

// An in-memory target of mapped pages. A read that touches any unmapped byte
// fails whole, as ReadProcessMemory does for an unreadable page. Its regions
// are the runs of mapped pages; pages may be marked read-only.
class FakeTarget : public TargetAccess, public ModuleLookup, public RegionLookup {
public:
    explicit FakeTarget(unsigned pointerWidth = 8) : pointerWidth_(pointerWidth) {}

    // Maps the pages covering [address, address + size), zero-filled.
    void map(std::uint64_t address, std::uint64_t size);
    void unmap(std::uint64_t address, std::uint64_t size);
    // Marks the pages covering the range read-only (or writable again); they
    // still read, but a scan of writable memory passes them over.
    void protect(std::uint64_t address, std::uint64_t size, bool writable);
    // Writes bytes into mapped pages, mapping them first when needed.
    void write(std::uint64_t address, const void* data, std::size_t size);
    void writePointer(std::uint64_t address, std::uint64_t value);
    template <typename T>
    void writeValue(std::uint64_t address, T value) {
        write(address, &value, sizeof value);
    }
    void writeText(std::uint64_t address, std::string_view bytes) { write(address, bytes.data(), bytes.size()); }

    bool read(std::uint64_t address, void* buffer, std::size_t size) override;
    std::uint32_t openTarget() override { return openError; }
    // What the next openTarget reports; while it is not 0 every read fails.
    std::uint32_t openError = 0;
    unsigned pointerWidth() const override { return pointerWidth_; }
    // Whether the scans that read all of the target may read it with two
    // threads; a test can hold them to one for the figures to compare with.
    bool readsInParallel() const override { return parallelReads; }
    bool parallelReads = true;

    // Loads a module at `base` (another base for a name loaded already, as
    // after a restart); unloadModule takes it away again.
    // `size` is the image's extent for moduleImages().
    void loadModule(std::string name, std::uint64_t base, std::uint64_t size = 0);
    void unloadModule(std::string_view name);
    std::optional<std::uint64_t> moduleBase(std::string_view name) override;
    std::vector<MemoryRegion> readableRegions() override;
    std::vector<ModuleImage> moduleImages() override;
    std::uint64_t moduleLookups() const {
        std::lock_guard lock(mutex_);
        return moduleLookups_;
    }

    std::uint64_t readCalls() const {
        std::lock_guard lock(mutex_);
        return readCalls_;
    }
    void resetCounters() {
        std::lock_guard lock(mutex_);
        readCalls_ = 0;
    }
    // Called before every read, outside the lock; a test can use it to stop a
    // traversal midway.
    std::function<void()> onRead;

private:
    using Page = std::array<unsigned char, kPageSize>;
    // A real target changes while a worker reads it; tests do the same here.
    mutable std::recursive_mutex mutex_;
    std::map<std::uint64_t, Page> pages_;
    unsigned pointerWidth_;
    std::uint64_t readCalls_ = 0;
    std::set<std::uint64_t> readOnly_;
    std::vector<ModuleImage> modules_;
    std::uint64_t moduleLookups_ = 0;
};

}  // namespace corvane::test
