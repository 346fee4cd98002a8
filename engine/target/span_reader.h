#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/target/memory_reader.h"

namespace corvane {

// Serves the items of one row of evenly spaced addresses from few large reads.
// A read call costs the same for one pointer as for a page, so a row of
// pointers a few bytes apart is read a window at a time. Where a window read
// fails, its pages are read one by one and only items on readable pages are
// served: readability is granted per page, so every item succeeds or fails
// exactly as its own single read would.
class SpanReader {
public:
    // Largest single read of a window.
    static constexpr std::uint64_t kWindowBytes = 64 * 1024;

    explicit SpanReader(MemoryReader& reader) : reader_(reader) {}

    // Starts a row: `count` items of `itemSize` bytes, the first at `first`,
    // each `step` bytes after the one before (a negative step descends).
    void beginRow(std::uint64_t first, std::int64_t step, std::uint64_t count, std::size_t itemSize);

    // Reads the item at `address`, which must belong to the current row.
    bool read(std::uint64_t address, void* out);

    // Whether the row is read in windows; rows of one item, rows whose steps
    // are wider than a page and rows that wrap are not.
    bool windowed() const { return windowed_; }
    // The item at `address` of a windowed row where it lies in the window
    // buffer, or null when it cannot be read. Valid until the next call.
    const unsigned char* view(std::uint64_t address) {
        if (!inWindow(address) && !loadWindow(address)) return nullptr;
        if (!windowWhole_ && !pagesReadable(address)) return nullptr;
        return buffer_.data() + (address - windowBegin_);
    }

    // The items from `address` on, `step` bytes apart, that the window
    // holds and that can be read, at most `remaining`: their count into
    // `items` and the first one's bytes, or null with `items` 1 for an item
    // that cannot be read. The run's items are consecutive in the buffer,
    // `step` bytes apart. Valid until the next call.
    const unsigned char* viewRun(std::uint64_t address, std::int64_t step, std::uint64_t remaining,
                                 std::uint64_t& items);

private:
    bool inWindow(std::uint64_t address) const { return address >= windowBegin_ && address + itemSize_ <= windowEnd_; }
    bool loadWindow(std::uint64_t address);
    bool pagesReadable(std::uint64_t address) const;

    MemoryReader& reader_;
    std::size_t itemSize_ = 0;
    bool windowed_ = false;
    bool ascending_ = true;
    std::uint64_t spanBegin_ = 0;
    std::uint64_t spanEnd_ = 0;
    std::uint64_t windowBegin_ = 0;
    std::uint64_t windowEnd_ = 0;  // windowBegin_ == windowEnd_: no window
    bool windowWhole_ = false;
    std::vector<unsigned char> buffer_;
    std::vector<bool> pageOk_;  // per page of a window that was read page by page
};

}  // namespace corvane
