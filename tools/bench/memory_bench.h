#pragma once

#include <cstdint>

namespace corvane::bench {

// bench --memory: the memory row over a process holding 256 MiB and 1 GiB of
// writable memory, with the limit of reading every region once measured in
// the same run.
int runMemoryBench(int repeats);

// bench --hold MIB: the holding process itself, started by runMemoryBench
// where it cannot fork.
int holdMemory(std::uint64_t mebibytes);

}  // namespace corvane::bench
