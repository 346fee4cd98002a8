#pragma once

#include <sys/types.h>

#include "engine/target/memory_regions.h"
#include "engine/target/module_lookup.h"
#include "engine/target/target_access.h"

namespace corvane {

// Reads another Linux process's memory with process_vm_readv, all or nothing
// like ReadProcessMemory, so Linux processes can be searched from the command line.
class LinuxProcessReader : public TargetAccess, public ModuleLookup, public RegionLookup {
public:
    explicit LinuxProcessReader(pid_t pid) : pid_(pid) {}

    bool read(std::uint64_t address, void* buffer, std::size_t size) override;
    // 0 when the process exists and may be read, otherwise its errno.
    std::uint32_t openTarget() override;
    unsigned pointerWidth() const override { return sizeof(void*); }
    // Gone from the process table, or a zombie waiting for its parent.
    bool hasExited() const override;
    // The start of the module image with that file name (see moduleImages);
    // names are compared as bytes, ASCII letters in either case.
    std::optional<std::uint64_t> moduleBase(std::string_view name) override;
    // From /proc/PID/maps: the mappings that may be read.
    std::vector<MemoryRegion> readableRegions() override;
    // Each mapped program file (one with an executable mapping) from its
    // lowest mapping's start to its highest's end, and the anonymous mapping
    // right after it.
    std::vector<ModuleImage> moduleImages() override;

private:
    pid_t pid_;
};

}  // namespace corvane
