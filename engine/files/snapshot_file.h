#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "engine/search/memory_snapshot.h"

namespace corvane {

// The snapshot file of the command line: what a 不过滤 first search over a
// memory row kept, for a later `next` to narrow. Binary, little-endian:
//   the 16 bytes "CORVANE-SNAPSHOT", a 32-bit version (1), the 64-bit step,
//   the 32-bit value size, the 64-bit region count, then per region its
//   64-bit start, byte count and lost page count, the lost pages' 64-bit
//   addresses and the bytes.
inline constexpr unsigned kSnapshotFileVersion = 1;
inline constexpr std::string_view kSnapshotMagic = "CORVANE-SNAPSHOT";

void writeSnapshotFile(std::ostream& out, const MemorySnapshot& snapshot);

// Whether the stream starts as a snapshot file does; reads nothing away.
bool isSnapshotFile(std::istream& in);

// False, with why in `error`, for a file that is not a whole snapshot of a
// version this program reads.
bool readSnapshotFile(std::istream& in, MemorySnapshot& snapshot, std::string& error);

}  // namespace corvane
