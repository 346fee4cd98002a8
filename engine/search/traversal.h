#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include <memory>
#include <string>

#include "engine/search/candidate_store.h"
#include "engine/target/memory_reader.h"
#include "engine/target/memory_regions.h"
#include "engine/target/page_cache.h"
#include "engine/search/result_store.h"
#include "engine/target/span_reader.h"
#include "engine/search/structure_row.h"
#include "engine/values/value_compare.h"
#include "engine/kit/stop_flag.h"

namespace corvane {

struct RowShare;

// Highest pointer followed in a 64-bit target: the top of user address space.
inline constexpr std::uint64_t kMaxUserAddress64 = 0x7FFFFFFEFFFF;
// Highest pointer followed in a 32-bit target.
inline constexpr std::uint64_t kMaxPointer32 = 0x200000000;

// Whether the traversal descends through the pointer value `v` read from a
// target whose pointers are `pointerWidth` bytes wide.
bool isFollowablePointer(std::uint64_t v, unsigned pointerWidth);

// How far a filtered walk has got, published now and then for another
// thread to show; the walk itself counts in plain variables.
struct TraversalProgress {
    std::atomic<std::uint64_t> leaves{0};
    std::atomic<std::uint64_t> results{0};
};

// Expands structure rows depth-first into every pointer path they describe.
// Row 0's offsets are absolute addresses; at each further level a pointer is
// read at the previous address and the next row's offsets are added to it.
// The last row's addresses are the candidates, appended in pre-order.
class Traversal {
public:
    Traversal(MemoryReader& reader, const StopFlag& stopRequested, CandidateStore& store);

    // Releases the store, then fills it from `rows`. A set stop flag (any
    // value but 0) ends the expansion at its next test; what was found stays.
    void run(std::vector<StructureRow> rows);

    // The first search in one walk: the last row is read like the pointer
    // rows, a window at a time, and every value is tested where it lies, so
    // only the leaves that match are kept (appended to `results` in
    // traversal order) and nothing at all is kept of the others. The store
    // receives the rows and the path nodes of the kept leaves, no candidates.
    // A leaf is kept exactly when its own read would succeed and match.
    void runFiltered(std::vector<StructureRow> rows, const ValueFilter& filter, ResultEntries& results,
                     TraversalProgress* progress = nullptr);

    // runFiltered over a memory row: row 0 is every address of `regions`
    // stepped by its increment (4 when it is below 1), read in chunks (see
    // MemoryRowScan), and its offset in every path is the absolute address;
    // the rows below are walked as runFiltered walks them. leafCount() then
    // counts the addresses of row 0 looked at.
    void runFilteredOverMemory(std::vector<StructureRow> rows, std::vector<MemoryRegion> regions,
                               const ValueFilter& filter, ResultEntries& results,
                               TraversalProgress* progress = nullptr);
    // The same, with the results of a memory row alone over a number kind
    // appended to `compact` instead (their path is their address; a text
    // kind's values may be too long to pack, and go to `results`).
    void runFilteredOverMemory(std::vector<StructureRow> rows, std::vector<MemoryRegion> regions,
                               const ValueFilter& filter, ResultEntries& results, CompactResults& compact,
                               TraversalProgress* progress = nullptr);

    // The next runs count row 0's offsets from `base`, the load address of
    // `module`, and their paths hang from that module's anchor; an empty
    // module name goes back to absolute addresses.
    void anchorOn(std::string module, std::uint64_t base) {
        module_ = std::move(module);
        moduleBase_ = base;
    }

    // Leaves met so far: the candidates a plain run appends, counted the same
    // way by a filtered run.
    std::uint64_t leafCount() const { return leafCount_; }

private:
    struct Level {
        std::uint64_t base = 0;  // the pointer read at the level above; 0 at level 0
        std::uint32_t index = 0;
        std::uint32_t node = kNoPathNode;
        SpanReader span;
        explicit Level(MemoryReader& reader) : span(reader) {}
    };

    void start(std::vector<StructureRow> rows);
    bool prepare(std::vector<StructureRow> rows);
    // Runs `walk` with the filter and the results in place for it.
    void filtered(const ValueFilter& filter, ResultEntries& results, TraversalProgress* progress,
                  const std::function<void()>& walk);
    void scanMemoryRow(std::vector<MemoryRegion> regions);
    // A memory row with no rows below it, its shares read by two threads
    // where the reader gains by it; the results as one thread keeps them.
    void scanMemoryRowAlone(std::vector<MemoryRegion> regions);
    // Scans one share into `results`, or `compact` when not null, and
    // returns how many addresses it looked at; changes no member, so that
    // two shares may run at once.
    std::uint64_t scanRowShare(const RowShare& share, std::uint64_t step, ResultEntries& results,
                               CompactResults* compact) const;
    void traverse(std::size_t depth);
    void filterLeafRow(std::size_t depth);
    void visit(std::size_t depth, std::uint32_t index, std::uint64_t address);
    std::uint32_t parentNode(std::size_t depth);
    bool stopped() const { return stopRequested_.raised(); }

    MemoryReader& reader_;
    const StopFlag& stopRequested_;
    CandidateStore& store_;
    std::vector<Level> levels_;
    unsigned pointerWidth_ = 8;
    std::uint64_t leafCount_ = 0;
    std::string module_;
    std::uint64_t moduleBase_ = 0;
    std::uint32_t rootNode_ = kNoPathNode;
    // Over a memory row, the address row 0 stands at: its offset in paths.
    bool memoryRow_ = false;
    std::uint64_t memoryAddress_ = 0;
    // Filtered runs only.
    const ValueFilter* filter_ = nullptr;
    ResultEntries* results_ = nullptr;
    CompactResults* compactResults_ = nullptr;  // over a memory row only
    std::unique_ptr<PageCache> leafCache_;      // leaves of rows that are not read in windows
    std::vector<unsigned char> scratch_;
    TraversalProgress* progress_ = nullptr;
    void publish() {
        if (progress_ == nullptr) return;
        progress_->leaves.store(leafCount_, std::memory_order_relaxed);
        const std::size_t compact = compactResults_ != nullptr ? compactResults_->size() : 0;
        progress_->results.store(results_->size() + compact, std::memory_order_relaxed);
    }
};

}  // namespace corvane
