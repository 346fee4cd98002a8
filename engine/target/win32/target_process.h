#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "engine/target/memory_regions.h"
#include "engine/target/module_lookup.h"
#include "engine/target/target_access.h"
#include "engine/target/win32/unique_handle.h"

namespace corvane {

// Reading needs no more than this; the tool never writes into its target.
inline constexpr DWORD kTargetAccess = PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ;

// 64 or 32: the bitness of Windows itself.
unsigned nativeSystemBits();

// True when `pid` is a native 64-bit process; a process that cannot be opened
// counts as 32-bit.
bool isNative64BitTarget(DWORD pid);

// The chosen process, the handle of the last first search and its pointer
// width. Only the first search writes the handle and the width, while no other
// worker runs; every pass reads through them.
class TargetProcess : public TargetAccess, public ModuleLookup, public RegionLookup {
public:
    // Under Wine the read calls of two threads queue for its server, and one
    // thread reads faster than two.
    bool readsInParallel() const override { return false; }

    std::atomic<DWORD> targetPid{0};

    // Opens `targetPid` afresh and fixes the pointer width; the previous
    // handle is closed. Returns 0 or the system's error code of the open; on
    // failure the handle is null and every read fails.
    std::uint32_t openTarget() override;

    bool readTarget(std::uint64_t address, void* buffer, std::size_t size) const;

    bool read(std::uint64_t address, void* buffer, std::size_t size) override {
        return readTarget(address, buffer, size);
    }
    unsigned pointerWidth() const override { return pointerWidth_.load(std::memory_order_relaxed); }

    HANDLE targetHandle() const { return handle_.get(); }

    // From the module list of the opened process, names compared as the
    // system compares file names (ordinal, ignoring case). The handle's
    // rights suffice where the system lets a limited-information handle read
    // the loader's list; where it does not, a module snapshot of the process
    // is asked instead.
    std::optional<std::uint64_t> moduleBase(std::string_view name) override;

    // From VirtualQueryEx: committed pages that are neither guard nor no-access.
    std::vector<MemoryRegion> readableRegions() override;
    // From a module snapshot: each module's load address and SizeOfImage.
    std::vector<ModuleImage> moduleImages() override;

    bool hasExited() const override {
        DWORD code = 0;
        return handle_ && GetExitCodeProcess(handle_.get(), &code) && code != STILL_ACTIVE;
    }

private:
    UniqueHandle handle_;
    std::atomic<unsigned> pointerWidth_{4};
};

}  // namespace corvane
