#include "engine/dissect/field_compare.h"

#include <cstring>
#include <optional>

namespace corvane {
namespace {

bool sameField(const InstanceBytes& a, const InstanceBytes& b, std::size_t at, unsigned width) {
    if (at + width > a.bytes.size() || at + width > b.bytes.size()) return false;
    for (std::size_t i = at; i < at + width; ++i)
        if (a.readable[i] != b.readable[i]) return false;
    return std::memcmp(a.bytes.data() + at, b.bytes.data() + at, width) == 0;
}

// The one instance every member of `group` agrees with, or nothing when the
// group is empty or its members disagree.
std::optional<std::size_t> agreedMember(std::span<const InstanceBytes> instances, std::span<const Group> groups,
                                        Group group, std::size_t at, unsigned width) {
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i < instances.size() && i < groups.size(); ++i) {
        if (groups[i] != group) continue;
        if (!first) {
            first = i;
        } else if (!sameField(instances[*first], instances[i], at, width)) {
            return std::nullopt;
        }
    }
    return first;
}

}  // namespace

bool fieldDiffers(std::span<const InstanceBytes> instances, std::size_t at, unsigned width) {
    for (std::size_t i = 1; i < instances.size(); ++i)
        if (!sameField(instances[0], instances[i], at, width)) return true;
    return false;
}

bool fieldSeparates(std::span<const InstanceBytes> instances, std::span<const Group> groups, std::size_t at,
                    unsigned width) {
    const auto a = agreedMember(instances, groups, Group::A, at, width);
    const auto b = agreedMember(instances, groups, Group::B, at, width);
    return a && b && !sameField(instances[*a], instances[*b], at, width);
}

std::vector<std::size_t> separatingFields(std::span<const InstanceBytes> instances, std::span<const Group> groups,
                                          unsigned width) {
    std::vector<std::size_t> fields;
    if (instances.empty()) return fields;
    for (std::size_t at = 0; at + width <= instances[0].bytes.size(); at += width)
        if (fieldSeparates(instances, groups, at, width)) fields.push_back(at);
    return fields;
}

}  // namespace corvane
