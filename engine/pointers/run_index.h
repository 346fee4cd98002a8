#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/kit/stop_flag.h"
#include "engine/pointers/high_halves.h"
#include "engine/pointers/run_map.h"

namespace corvane {

// One run's pointers by word, as a walk back from the value asks for them:
// which pointers hold a word in a window, where each of them is, and whether
// a slot is static. Words and slots are kept as 32-bit low halves beside
// their few high halves: 12 bytes a pointer, less than the map it is built
// from, which may be let go once the index stands.
class RunIndex {
public:
    // False when `stop` was raised; the index is then empty. The slots of
    // the images of `modules` are static (every module's when empty).
    bool build(const RunMap& map, const std::vector<std::string>& modules, const StopFlag& stop);
    // The same, letting the map's arrays go as soon as they are read: the
    // map is empty afterwards.
    bool build(RunMap&& map, const std::vector<std::string>& modules, const StopFlag& stop);

    std::size_t size() const { return size_; }
    std::uint64_t address() const { return address_; }

    // The ranks [first, last) of the pointers whose words lie in [low, high].
    struct Ranks {
        std::uint32_t first = 0;
        std::uint32_t last = 0;
        bool empty() const { return first == last; }
    };
    Ranks wordsBetween(__int128 low, __int128 high) const;

    std::uint64_t word(std::uint32_t rank) const { return wordHigh_.at(rank) | wordLow(byWord_[rank]); }
    // Words by rank for a walk that goes forward.
    class WordWalker {
    public:
        explicit WordWalker(const RunIndex& index) : index_(&index), high_(index.wordHigh_) {}
        std::uint64_t operator()(std::uint32_t rank) { return high_.at(rank) | wordLow(index_->byWord_[rank]); }

    private:
        const RunIndex* index_;
        HighHalves::Walker high_;
    };
    std::uint64_t slot(std::uint32_t rank) const {
        const auto index = static_cast<std::uint32_t>(byWord_[rank] >> 32);
        return slotHigh_.at(index) | slotLow_[index];
    }

    // The static image holding a slot, or null.
    const ModuleImage* staticImage(std::uint64_t slot) const;

    std::size_t memoryBytes() const;

private:
    // By word: the word's low half, the slot's index above it. Whole 64-bit
    // items, so that a map let go lends its arrays to the sort.
    static std::uint64_t wordLow(std::uint64_t item) { return item & 0xFFFFFFFF; }
    static constexpr std::size_t kSampleEvery = 64;

    bool index(const RunMap& map, RunMap* owned, const std::vector<std::string>& modules, const StopFlag& stop);
    bool sortByWord(const RunMap& map, RunMap* owned, const StopFlag& stop);

    std::size_t size_ = 0;
    std::uint64_t address_ = 0;
    std::vector<std::uint64_t> byWord_;
    HighHalves wordHigh_;
    std::vector<std::uint64_t> wordSample_;
    std::unique_ptr<std::uint32_t[]> slotLow_;
    HighHalves slotHigh_;
    std::vector<ModuleImage> statics_;
};

}  // namespace corvane
