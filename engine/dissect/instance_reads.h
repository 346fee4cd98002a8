#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/target/memory_reader.h"

namespace corvane {

// One instance's bytes as last read, and which of them could be read.
struct InstanceBytes {
    std::vector<unsigned char> bytes;
    std::vector<std::uint8_t> readable;  // 1 where the byte could be read
};

// Reads `size` bytes from `address` in one call; when that fails, page by
// page, so that each readable page still counts and an unreadable one costs
// one call, never one per field. Returns the number of read calls made.
unsigned readInstance(MemoryReader& reader, std::uint64_t address, std::size_t size, InstanceBytes& out);

}  // namespace corvane
