#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

// The high halves of an ascending array of 64-bit addresses whose low halves
// are kept elsewhere as 32-bit words: a process's memory lies in a few 4 GiB
// windows, so the high half changes only a few times along millions of
// addresses, and the array costs half the room of whole words.
class HighHalves {
    struct Run {
        std::size_t first;
        std::uint32_t high;
    };

public:
    // Notes the address at `index`; indices come in order, addresses ascending.
    void note(std::size_t index, std::uint64_t address) {
        const auto high = static_cast<std::uint32_t>(address >> 32);
        if (runs_.empty() || runs_.back().high != high) runs_.push_back({index, high});
    }
    // Notes the addresses of `other` as following on from `offset`.
    void append(const HighHalves& other, std::size_t offset) {
        for (const Run& run : other.runs_) note(offset + run.first, std::uint64_t{run.high} << 32);
    }
    void clear() { runs_.clear(); }

    // The high half of the address at `index`, in place.
    std::uint64_t at(std::size_t index) const {
        const auto it = std::upper_bound(runs_.begin(), runs_.end(), index,
                                         [](std::size_t i, const Run& run) { return i < run.first; });
        return it == runs_.begin() ? 0 : std::uint64_t{std::prev(it)->high} << 32;
    }

    std::size_t memoryBytes() const { return runs_.capacity() * sizeof(Run); }

    // Walks the high halves forward: each index at least the one before.
    class Walker {
    public:
        explicit Walker(const HighHalves& halves) : runs_(&halves.runs_) { enter(0); }
        std::uint64_t at(std::size_t index) {
            if (index < end_ && index >= start_) return high_;
            const auto it = std::upper_bound(runs_->begin(), runs_->end(), index,
                                             [](std::size_t i, const Run& run) { return i < run.first; });
            enter(it == runs_->begin() ? 0 : static_cast<std::size_t>(it - runs_->begin()) - 1);
            return high_;
        }

    private:
        void enter(std::size_t run) {
            const std::vector<Run>& runs = *runs_;
            if (runs.empty()) {
                start_ = end_ = 0;
                high_ = 0;
                return;
            }
            start_ = run == 0 ? 0 : runs[run].first;
            end_ = run + 1 < runs.size() ? runs[run + 1].first : SIZE_MAX;
            high_ = std::uint64_t{runs[run].high} << 32;
        }
        const std::vector<Run>* runs_;
        std::size_t start_ = 0;
        std::size_t end_ = 0;
        std::uint64_t high_ = 0;
    };

private:
    std::vector<Run> runs_;
};

}  // namespace corvane
