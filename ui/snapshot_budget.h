#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

// What the window's snapshot of values not known yet may hold in memory
// before its pages go to a temporary file: a quarter of the physical memory,
// or less where the key SnapshotBudgetMiB of section [Corvane] in the
// settings folder's Config.ini says so (MiB, a whole number above 0; a
// larger one does not raise it).
std::uint64_t snapshotBudgetBytes(std::u16string_view configFile);

// Whether a process of that id still runs, for deleting the spill files of
// programs that ended without doing it themselves. A process that is there
// but may not be opened counts as running.
bool processRuns(std::uint32_t pid);

}  // namespace corvane
