#include "engine/dissect/structure_maker.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "engine/text/hex_text.h"

namespace corvane {
namespace {

struct Row {
    std::int64_t offset = 0;
    std::uint64_t count = 0;  // 0: the offset alone
    std::int64_t increment = 0;
};

std::string writeRows(const std::string& module, const std::vector<Row>& rows) {
    std::string text;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i == 0 && !module.empty()) text += module + "+";
        appendHex(text, static_cast<std::uint64_t>(rows[i].offset));
        if (rows[i].count > 0) {
            text += '*';
            text += std::to_string(rows[i].count);
            text += '*';
            text += std::to_string(rows[i].increment);
        }
        text += ']';
    }
    return text;
}

// The stride of addresses that stand in a row from `first` up, or 0.
std::int64_t evenStride(std::vector<std::uint64_t> addresses, std::uint64_t first) {
    std::sort(addresses.begin(), addresses.end());
    if (addresses.size() < 2 || addresses.front() != first) return 0;
    const std::uint64_t stride = addresses[1] - addresses[0];
    if (stride == 0 || stride > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return 0;
    for (std::size_t i = 2; i < addresses.size(); ++i)
        if (addresses[i] - addresses[i - 1] != stride) return 0;
    return static_cast<std::int64_t>(stride);
}

// Whether the slots from `slot` on, one per instance, point at exactly the
// instances (the last offset added).
bool tableHolds(MemoryReader& reader, std::uint64_t slot, std::int64_t lastOffset,
                std::span<const std::uint64_t> instances) {
    const unsigned width = reader.pointerWidth();
    std::vector<unsigned char> bytes(instances.size() * width);
    if (!reader.read(slot, bytes.data(), bytes.size())) return false;
    std::vector<std::uint64_t> pointed;
    for (std::size_t i = 0; i < instances.size(); ++i)
        pointed.push_back(loadPointer(bytes.data() + i * width, width) + static_cast<std::uint64_t>(lastOffset));
    std::vector<std::uint64_t> wanted(instances.begin(), instances.end());
    std::sort(wanted.begin(), wanted.end());
    if (pointed.front() != instances.front()) return false;
    std::sort(pointed.begin(), pointed.end());
    return pointed == wanted;
}

}  // namespace

MadeStructure makeStructure(const DissectPath& path, std::int64_t fieldOffset, ValueType type,
                            std::span<const std::uint64_t> instances, MemoryReader& reader, ModuleLookup* modules) {
    MadeStructure made;
    made.type = type;
    std::vector<Row> rows;
    for (std::int64_t offset : path.offsets) rows.push_back(Row{offset, 0, 0});
    if (rows.empty()) return made;
    rows.back().offset += fieldOffset;
    // A table that holds every instance is the stronger evidence: any two
    // objects stand evenly spaced.
    if (instances.size() >= 2 && path.offsets.size() >= 2) {
        DissectPath toSlot = path;
        toSlot.offsets.pop_back();
        const auto slot = resolveDissectPath(reader, toSlot, modules);
        if (slot && tableHolds(reader, *slot, path.offsets.back(), instances)) {
            Row& table = rows[rows.size() - 2];
            table.count = instances.size();
            table.increment = reader.pointerWidth();
            made.shape = MadeStructure::Shape::PointerTable;
        }
    }
    if (instances.size() >= 2 && made.shape == MadeStructure::Shape::One) {
        if (const std::int64_t stride = evenStride({instances.begin(), instances.end()}, instances.front())) {
            rows.back().count = instances.size();
            rows.back().increment = stride;
            made.shape = MadeStructure::Shape::InlineArray;
        }
    }
    made.text = writeRows(path.module, rows);
    return made;
}

}  // namespace corvane
