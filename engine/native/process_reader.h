#pragma once

#include <sys/types.h>

#include "engine/memory_reader.h"

namespace corvane {

// Reads another Linux process's memory with process_vm_readv, all or nothing
// like ReadProcessMemory, so Linux processes can be searched from the command line.
class LinuxProcessReader : public MemoryReader {
public:
    explicit LinuxProcessReader(pid_t pid) : pid_(pid) {}

    bool read(std::uint64_t address, void* buffer, std::size_t size) override;
    unsigned pointerWidth() const override { return sizeof(void*); }

private:
    pid_t pid_;
};

}  // namespace corvane
