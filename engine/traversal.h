#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/candidate_store.h"
#include "engine/memory_reader.h"
#include "engine/span_reader.h"
#include "engine/structure_row.h"

namespace corvane {

// Highest pointer followed in a 64-bit target: the top of user address space.
inline constexpr std::uint64_t kMaxUserAddress64 = 0x7FFFFFFEFFFF;
// Highest pointer followed in a 32-bit target.
inline constexpr std::uint64_t kMaxPointer32 = 0x200000000;

// Whether the traversal descends through the pointer value `v` read from a
// target whose pointers are `pointerWidth` bytes wide.
bool isFollowablePointer(std::uint64_t v, unsigned pointerWidth);

// Expands structure rows depth-first into every pointer path they describe.
// Row 0's offsets are absolute addresses; at each further level a pointer is
// read at the previous address and the next row's offsets are added to it.
// The last row's addresses are the candidates, appended in pre-order.
class Traversal {
public:
    Traversal(MemoryReader& reader, const std::atomic<std::int32_t>& stopRequested, CandidateStore& store);

    // Releases the store, then fills it from `rows`. A set stop flag (any
    // value but 0) ends the expansion at its next test; what was found stays.
    void run(std::vector<StructureRow> rows);

private:
    struct Level {
        std::uint64_t base = 0;  // the pointer read at the level above; 0 at level 0
        std::uint32_t index = 0;
        std::uint32_t node = kNoPathNode;
        SpanReader span;
        explicit Level(MemoryReader& reader) : span(reader) {}
    };

    void traverse(std::size_t depth);
    void visit(std::size_t depth, std::uint32_t index, std::uint64_t address);
    std::uint32_t parentNode(std::size_t depth);
    bool stopped() const { return stopRequested_.load(std::memory_order_relaxed) != 0; }

    MemoryReader& reader_;
    const std::atomic<std::int32_t>& stopRequested_;
    CandidateStore& store_;
    std::vector<Level> levels_;
    unsigned pointerWidth_ = 8;
};

}  // namespace corvane
