// The traversal over a fuzzed target: pages mapped here and there, pointers
// into them and beside them, rows of every kind. What the engine finds, with
// its windowed reads, must be exactly what a plain walk finds that reads one
// pointer at a time, written here from the traversal's rules.

#include <atomic>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/search/candidate_store.h"
#include "engine/search/traversal.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_target.h"

namespace corvane::fuzz {
namespace {

// Places pages are mapped at: the lowest followable address, the 32-bit
// bound, ordinary heap addresses, and the top of the 64-bit user space, so
// that pointers meet both bounds of what is followed.
constexpr std::uint64_t kRegions[] = {0x401000, 0x10000000, 0x1FFFFF000, 0x200000000, 0x7FFFFFFEF000, 0x7FFFFFFF0000};

struct Leaf {
    std::vector<std::int64_t> offsets;
    std::uint64_t address = 0;
    bool operator==(const Leaf&) const = default;
};

class PlainWalk {
public:
    PlainWalk(test::FakeTarget& target, const std::vector<StructureRow>& rows) : target_(target), rows_(rows) {}

    std::vector<Leaf> run() {
        if (!rows_.empty()) walk(0, 0);
        return leaves_;
    }

private:
    void step(std::size_t depth, std::uint64_t base, std::int64_t offset) {
        const std::uint64_t address = base + static_cast<std::uint64_t>(offset);
        path_.push_back(offset);
        if (depth + 1 == rows_.size()) {
            leaves_.push_back({path_, address});
        } else {
            const unsigned width = target_.pointerWidth();
            unsigned char bytes[8] = {};
            if (target_.read(address, bytes, width)) {
                std::uint64_t pointer = 0;
                for (unsigned i = 0; i < width; ++i) pointer |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
                if (isFollowablePointer(pointer, width)) walk(depth + 1, pointer);
            }
        }
        path_.pop_back();
    }

    void walk(std::size_t depth, std::uint64_t base) {
        const StructureRow& row = rows_[depth];
        if (row.count <= 0) {
            step(depth, base, row.startOffset);
            return;
        }
        for (std::int32_t k = 0; k < row.count; ++k) {
            const __int128 offset = static_cast<__int128>(k) * row.increment + row.startOffset;
            // Past the largest offset the signed sum would turn negative.
            if (offset < 0 || offset > std::numeric_limits<std::int64_t>::max()) return;
            step(depth, base, static_cast<std::int64_t>(offset));
        }
    }

    test::FakeTarget& target_;
    const std::vector<StructureRow>& rows_;
    std::vector<std::int64_t> path_;
    std::vector<Leaf> leaves_;
};

std::uint64_t anAddress(Input& input) {
    const std::uint64_t region = kRegions[input.byte() % std::size(kRegions)];
    const std::uint64_t page = input.byte() % 4;
    const std::uint64_t within = input.integer(2) % (kPageSize + 16);
    return region + page * kPageSize + within - 8;
}

std::int64_t anOffset(Input& input) {
    switch (input.byte() % 5) {
        case 0: return static_cast<std::int64_t>(anAddress(input));
        case 1: return static_cast<std::int64_t>(input.byte() % 64) - 8;
        case 2: return static_cast<std::int64_t>(input.integer(2));
        case 3: return static_cast<std::int64_t>(input.integer(8));
        default: return static_cast<std::int64_t>(input.byte()) * 8;
    }
}

std::int64_t anIncrement(Input& input) {
    static constexpr std::int64_t kSteps[] = {0, 1, 4, 8, -4, -8, 16, 4096, -4096, 2147483647, -2147483647 - 1};
    const std::uint8_t choice = input.byte();
    if (choice < 200) return kSteps[choice % std::size(kSteps)];
    return static_cast<std::int32_t>(input.integer(4));
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane;
    using namespace corvane::fuzz;
    const InputScope scope(data, size);
    Input input(data, size);
    test::FakeTarget target(input.flag() ? 4 : 8);

    // Pages, then values in them: pointers to somewhere mapped or not,
    // the pointer values that are never followed, and plain bytes.
    const std::size_t pages = input.byte() % 12;
    for (std::size_t i = 0; i < pages; ++i) {
        const std::uint64_t region = kRegions[input.byte() % std::size(kRegions)];
        target.map(region + (input.byte() % 4) * kPageSize, kPageSize);
    }
    const std::size_t writes = input.byte() % 48;
    for (std::size_t i = 0; i < writes; ++i) {
        const std::uint64_t at = anAddress(input);
        static constexpr std::uint64_t kOdd[] = {0x400FFF, 0x7F7F7F7F, 0xFFFFFFFF, 0xFFFFFFFE, 0x200000001, 0};
        switch (input.byte() % 4) {
            case 0: target.writePointer(at, anAddress(input)); break;
            case 1: target.writePointer(at, kOdd[input.byte() % std::size(kOdd)]); break;
            case 2: target.writePointer(at, input.integer(8)); break;
            default: target.unmap(at, 1); break;
        }
    }

    std::vector<StructureRow> rows(input.byte() % 5);
    std::uint64_t leaves = 1;
    for (StructureRow& row : rows) {
        row.startOffset = anOffset(input);
        row.count = static_cast<std::int32_t>(input.byte() % 12) - 2;
        row.increment = anIncrement(input);
        // Keep the number of paths small enough for the plain walk.
        if (row.count > 0 && leaves * static_cast<std::uint64_t>(row.count) > 4096) row.count = 1;
        if (row.count > 0) leaves *= static_cast<std::uint64_t>(row.count);
    }

    const std::vector<Leaf> expected = PlainWalk(target, rows).run();

    StopFlag stop;
    CandidateStore store;
    Traversal traversal(target, stop, store);
    traversal.run(rows);
    FUZZ_CHECK(store.candidateCount() == expected.size(), "found " + std::to_string(store.candidateCount()) +
                                                              " leaves, the plain walk " +
                                                              std::to_string(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Leaf found{store.pathOffsets(i), store.address(i)};
        FUZZ_CHECK(found == expected[i], "leaf " + std::to_string(i) + ": " + store.pathText(i));
    }
    return 0;
}
