#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/text/hex_text.h"
#include "engine/search/traversal.h"
#include "tests/support/fake_target.h"

namespace corvane::test {

// The traversal exactly as the window's users know it, one read per pointer
// and the path kept as text: the reference that windowed and fused reads
// must match.
class ReferenceTraversal {
public:
    ReferenceTraversal(MemoryReader& reader, std::vector<StructureRow> rows)
        : reader_(reader), rows_(std::move(rows)), bases_(rows_.size() + 1, 0) {}

    std::vector<std::pair<std::string, std::uint64_t>> run() {
        if (!rows_.empty()) traverse(0, "");
        return leaves_;
    }

private:
    void traverse(std::size_t depth, const std::string& saved) {
        const StructureRow& row = rows_[depth];
        const bool last = depth + 1 == rows_.size();
        auto step = [&](std::int64_t offset) {
            std::string path = saved;
            appendHex(path, static_cast<std::uint64_t>(offset));
            const std::uint64_t address = bases_[depth] + static_cast<std::uint64_t>(offset);
            if (last) {
                leaves_.emplace_back(path, address);
                return;
            }
            path += ']';
            std::uint64_t pointer = 0;
            if (readPointer(reader_, address, pointer) && isFollowablePointer(pointer, reader_.pointerWidth())) {
                bases_[depth + 1] = pointer;
                traverse(depth + 1, path);
            }
        };
        if (row.count <= 0) return step(row.startOffset);
        for (std::int64_t k = 0; k < row.count; ++k) {
            const auto offset =
                static_cast<std::int64_t>(static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(row.increment) +
                                          static_cast<std::uint64_t>(row.startOffset));
            if (offset < 0) return;
            step(offset);
        }
    }

    MemoryReader& reader_;
    std::vector<StructureRow> rows_;
    std::vector<std::uint64_t> bases_;
    std::vector<std::pair<std::string, std::uint64_t>> leaves_;
};

// A web of pointers over 48 pages with unreadable holes, sometimes
// misaligned, with the markers the traversal must not follow and junk.
struct RandomWeb {
    static constexpr std::uint64_t kBase = 0x10000000;
    static constexpr std::uint64_t kPages = 48;

    static void fill(FakeTarget& target, std::mt19937_64& random, unsigned width) {
        std::vector<unsigned char> bytes(kPages * kPageSize);
        auto put = [&](std::uint64_t at, std::uint64_t value, unsigned size) {
            for (unsigned i = 0; i < size; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
        };
        for (std::uint64_t a = 0; a < bytes.size(); a += 4) {
            const auto roll = random() % 10;
            std::uint64_t value;
            if (roll < 6)
                value = kBase + random() % (kPages * kPageSize);
            else if (roll == 6)
                value = 0x7F7F7F7F;
            else if (roll == 7)
                value = 0xFFFFFFFF;
            else
                value = random() % 0x500000;
            put(a, value, 4);
            if (width == 8 && a % 8 == 0 && roll < 6) put(a, value, 8);
        }
        target.write(kBase, bytes.data(), bytes.size());
        for (int hole = 0; hole < 6; ++hole) target.unmap(kBase + (random() % kPages) * kPageSize, kPageSize);
    }

    // Up to `maxLevels` rows: counts from -3 to 36, increments zero, negative,
    // odd, wider than a page. `aligned` keeps the offsets below the first
    // row on pointer boundaries, so that most pointer levels lead on.
    static std::vector<StructureRow> rows(std::mt19937_64& random, std::uint64_t maxLevels = 4, unsigned aligned = 1,
                                          std::uint64_t minLevels = 1) {
        std::vector<StructureRow> rows;
        const auto depth = minLevels - 1 + random() % (maxLevels - minLevels + 1);
        for (std::uint64_t level = 0; level <= depth; ++level) {
            StructureRow row;
            if (level == 0)
                row.startOffset = static_cast<std::int64_t>(kBase + random() % (kPages * kPageSize));
            else
                row.startOffset = static_cast<std::int64_t>(random() % 0x3000 / aligned * aligned);
            row.count = static_cast<std::int32_t>(random() % 40) - 3;
            const std::int64_t increments[] = {4, 8, 8, 12, 0, -4, -8, 0x1800, 2, 1};
            row.increment = increments[random() % std::size(increments)];
            rows.push_back(row);
        }
        return rows;
    }
};

}  // namespace corvane::test
