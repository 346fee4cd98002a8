#pragma once

#include <cstdint>

namespace corvane::bench {

// bench --memory: the memory row over a process holding 256 MiB and 1 GiB of
// writable memory, with the limit of reading every region once measured in
// the same run. With `spill`, the window's session over 4 GiB with a snapshot
// budget of 1 GiB instead.
int runMemoryBench(int repeats, bool spill);

// bench --hold MIB [--half-zero]: the holding process itself, started by
// runMemoryBench.
int holdMemory(std::uint64_t mebibytes, bool halfZero);

}  // namespace corvane::bench
