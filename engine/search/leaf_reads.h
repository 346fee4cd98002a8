#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/target/memory_reader.h"
#include "engine/target/module_lookup.h"
#include "engine/target/page_cache.h"
#include "engine/search/path_table.h"

namespace corvane {

// Resolves the path nodes of a pass once each: the results of one traversal
// share their pointer levels, so a million results under a thousand nodes
// cost a thousand pointer reads instead of a million. Within one pass every
// result under a node sees the same pointer, as it would through a page
// cache; nothing is carried over to the next pass.
class NodeResolver {
public:
    // `modules` gives the bases of the table's anchors; without it, or for a
    // module it does not know, every path under an anchor fails.
    NodeResolver(MemoryReader& reader, const PathTable& paths, const ModuleBases* modules = nullptr);

    // The pointer read at the end of `node`'s level, 0 for kNoPathNode (the
    // first offset is an absolute address), the module's base for an anchor.
    // False when a read on the way failed or a module is not loaded.
    bool base(std::uint32_t node, std::uint64_t& out);

private:
    enum : std::uint8_t { kUnknown, kResolved, kFailed };

    MemoryReader& reader_;
    const PathTable& paths_;
    std::vector<std::uint64_t> bases_;
    std::vector<std::uint8_t> states_;
    std::vector<std::uint32_t> pending_;
};

// One flag per item of a batch. Stored as bool, not as a byte type: a store
// through an unsigned char may alias anything, and would make the compiler
// reload every pointer of a pass's loop after each flag it sets.
class Flags {
public:
    void assign(std::size_t n, bool value) {
        if (n > capacity_) {
            data_ = std::make_unique<bool[]>(n);
            capacity_ = n;
        }
        std::fill_n(data_.get(), n, value);
    }
    bool& operator[](std::size_t i) { return data_[i]; }
    bool operator[](std::size_t i) const { return data_[i]; }
    const bool* data() const { return data_.get(); }

private:
    std::unique_ptr<bool[]> data_;
    std::size_t capacity_ = 0;
};

// Reads the values at a list of addresses in runs: neighbours in the list
// whose addresses move one way in steps of at most a page are read with one
// call, lone ones through a page cache. Where a run's read fails, its pages
// are read one by one and only values on readable pages are served: every
// value succeeds or fails exactly as its own read would.
class LeafReader {
public:
    // Largest single read of a run.
    static constexpr std::uint64_t kRunBytes = 64 * 1024;

    LeafReader(MemoryReader& reader, std::size_t size);

    // Bytes that may be loaded past a value's end: a number is loaded as a
    // whole word and masked to its width, without a branch on the width.
    static constexpr std::size_t kSlack = 8;

    // Calls `use(i, bytes)` for every i < n with wanted[i] set, in order;
    // `bytes` holds the value's `size` bytes followed by kSlack more that may
    // be loaded and must be ignored, or is null when they cannot be read, and
    // is valid during the call only.
    template <typename Use>
    void forEach(const std::uint64_t* addresses, const bool* wanted, std::size_t n, Use&& use) {
        std::size_t i = 0;
        while (i < n) {
            if (!wanted[i]) {
                ++i;
                continue;
            }
            std::uint64_t low = 0, high = 0;
            const std::size_t end = runEnd(addresses, wanted, i, n, low, high);
            if (end - i == 1) {
                use(i, cache_.read(addresses[i], single_.data(), size_) ? single_.data() : nullptr);
            } else {
                loadRun(low, high);
                for (std::size_t j = i; j < end; ++j) use(j, item(addresses[j]));
            }
            i = end;
        }
    }

private:
    // The end of the run from i, with the lowest and highest address in it.
    std::size_t runEnd(const std::uint64_t* addresses, const bool* wanted, std::size_t i, std::size_t n,
                       std::uint64_t& low, std::uint64_t& high) const;
    void loadRun(std::uint64_t low, std::uint64_t high);
    const unsigned char* item(std::uint64_t address) const {
        if (runWhole_) return buffer_.data() + (address - runBegin_);
        return itemOfPartialRun(address);
    }
    const unsigned char* itemOfPartialRun(std::uint64_t address) const;

    MemoryReader& reader_;
    PageCache cache_;
    std::size_t size_;
    std::vector<unsigned char> single_;
    std::vector<unsigned char> buffer_;
    std::uint64_t runBegin_ = 0;
    bool runWhole_ = false;
    std::vector<bool> pageOk_;
};

}  // namespace corvane
