#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "engine/kit/stop_flag.h"
#include "engine/pointers/encoded_run_map.h"
#include "engine/pointers/run_map.h"

namespace corvane {

// The pointer map file: one run's RunMap. Binary, little-endian:
//   the 16 bytes "CORVANE-POINTMAP", a 32-bit version (1), the 32-bit
//   pointer width, the 64-bit address of the value;
//   a 32-bit image count, per image its 32-bit name length, the name (code
//   page 936), its 64-bit start and size;
//   a 32-bit region count, per region its 64-bit start and size and a byte
//   that is 1 when it is writable;
//   the 64-bit pointer count and the 64-bit length of the pointers' bytes;
//   per pointer three unsigned LEB128 numbers: the slot's distance from the
//   one before in pointer widths (the first's from 0), the index of the
//   region its word points into as the distance from the one before's,
//   zigzagged, and the word's distance from that region's start;
//   the 64-bit FNV-1a hash of every byte before it.
// Most pointers take 1 + 1 + 3 to 4 bytes.
inline constexpr std::string_view kPointerMapMagic = "CORVANE-POINTMAP";
inline constexpr unsigned kPointerMapVersion = 1;

std::string encodePointerMap(const RunMap& map);
std::string encodePointerMap(const EncodedRunMap& map);
// False, with what is wrong in `error`, for bytes that are not a whole pointer
// map of this version; `map` is then empty.
bool decodePointerMap(std::string_view bytes, RunMap& map, std::string& error);

// Written whole or not at all: into a file beside `file`, renamed to it when
// complete; a stop raised while writing leaves nothing. Empty, or why not.
std::string savePointerMap(const std::filesystem::path& file, const RunMap& map, const StopFlag& stop);
std::string savePointerMap(const std::filesystem::path& file, const EncodedRunMap& map, const StopFlag& stop);
// Empty, or what is wrong with the file (it cannot be read, it is no pointer
// map, it is cut short, damaged or of another version).
std::string loadPointerMap(const std::filesystem::path& file, RunMap& map);

}  // namespace corvane
