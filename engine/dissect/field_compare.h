#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/dissect/instance_reads.h"

namespace corvane {

// Which side of a comparison an instance stands on.
enum class Group : std::uint8_t { None, A, B };

// Whether the field of `width` bytes at `at` holds different bytes in any
// two instances; a field one instance cannot read differs from one it can.
bool fieldDiffers(std::span<const InstanceBytes> instances, std::size_t at, unsigned width);

// Whether the field separates the groups: the same bytes in every instance of
// group A, the same in every instance of group B, and different between the
// two. Instances in no group do not count; with an empty group nothing
// separates.
bool fieldSeparates(std::span<const InstanceBytes> instances, std::span<const Group> groups, std::size_t at,
                    unsigned width);

// The offsets (from the range's start) of the fields that separate the groups.
std::vector<std::size_t> separatingFields(std::span<const InstanceBytes> instances, std::span<const Group> groups,
                                          unsigned width);

}  // namespace corvane
