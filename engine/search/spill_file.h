#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace corvane {

// The temporary file the window's snapshot spills to past its memory
// budget: named with the process id, so that a later start can tell the
// files of programs that ended without deleting them (killed, crashed).
std::filesystem::path spillFilePath(const std::filesystem::path& folder, std::uint32_t pid);
// The second name of a spill file: a snapshot narrowed from a spilled one
// spills there while the old one's file is still read.
std::filesystem::path secondSpillPath(const std::filesystem::path& spill);

// Deletes the spill files in `folder` whose process `alive` says has gone;
// the number deleted. A file that cannot be deleted is left.
std::size_t removeStaleSpillFiles(const std::filesystem::path& folder,
                                  const std::function<bool(std::uint32_t pid)>& alive);

}  // namespace corvane
