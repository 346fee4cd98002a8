#include "engine/pointers/run_index.h"

#include <algorithm>
#include <limits>

#include "engine/kit/huge_pages.h"
#include "engine/pointers/radix_sort.h"
#include "engine/pointers/sampled_search.h"
#include "engine/target/module_lookup.h"

namespace corvane {

bool RunIndex::build(const RunMap& map, const std::vector<std::string>& modules, const StopFlag& stop) {
    return index(map, nullptr, modules, stop);
}

bool RunIndex::build(RunMap&& map, const std::vector<std::string>& modules, const StopFlag& stop) {
    const bool built = index(map, &map, modules, stop);
    map = RunMap{};
    return built;
}

bool RunIndex::index(const RunMap& map, RunMap* owned, const std::vector<std::string>& modules, const StopFlag& stop) {
    *this = RunIndex{};
    address_ = map.address;
    for (const ModuleImage& image : map.images) {
        if (!isWritableModuleName(image.name) || image.size == 0) continue;
        if (!modules.empty() && std::none_of(modules.begin(), modules.end(),
                                             [&](const std::string& name) { return sameModuleName(name, image.name); }))
            continue;
        statics_.push_back(image);
    }
    std::sort(statics_.begin(), statics_.end(),
              [](const ModuleImage& a, const ModuleImage& b) { return a.start < b.start; });

    size_ = map.size();
    if (size_ > std::numeric_limits<std::uint32_t>::max()) return false;
    slotLow_.reset(new std::uint32_t[size_]);
    adviseHugePages(slotLow_.get(), size_ * sizeof(std::uint32_t));
    for (std::size_t i = 0; i < size_; ++i) {
        if ((i & 0xFFFFF) == 0 && stop.raised()) {
            *this = RunIndex{};
            return false;
        }
        slotLow_[i] = static_cast<std::uint32_t>(map.slots[i]);
        slotHigh_.note(i, map.slots[i]);
    }
    if (!sortByWord(map, owned, stop)) {
        *this = RunIndex{};
        return false;
    }
    return true;
}

// Grouped by the words' high halves, few as they are, then each group sorted
// by its low halves: a sort of 8-byte items by 32-bit keys, in bounded room.
bool RunIndex::sortByWord(const RunMap& map, RunMap* owned, const StopFlag& stop) {
    struct Group {
        std::uint32_t high;
        std::size_t count;
    };
    std::vector<Group> groups;
    std::size_t last = 0;
    const auto groupOf = [&](std::uint32_t high) {
        if (last < groups.size() && groups[last].high == high) return last;
        auto it = std::lower_bound(groups.begin(), groups.end(), high,
                                   [](const Group& g, std::uint32_t h) { return g.high < h; });
        if (it == groups.end() || it->high != high) it = groups.insert(it, {high, 0});
        last = static_cast<std::size_t>(it - groups.begin());
        return last;
    };
    for (std::size_t i = 0; i < size_; ++i) {
        if ((i & 0xFFFFF) == 0 && stop.raised()) return false;
        ++groups[groupOf(static_cast<std::uint32_t>(map.words[i] >> 32))].count;
    }
    std::vector<std::size_t> next(groups.size());
    std::size_t sum = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        next[g] = sum;
        wordHigh_.note(sum, std::uint64_t{groups[g].high} << 32);
        sum += groups[g].count;
    }
    // A map let go lends its slots' array to the items and its words' to
    // the sort: fresh memory is what costs most here.
    if (owned != nullptr) byWord_ = std::move(owned->slots);
    resizeFresh(byWord_, size_);
    for (std::size_t i = 0; i < size_; ++i) {
        if ((i & 0xFFFFF) == 0 && stop.raised()) return false;
        const std::uint64_t word = map.words[i];
        byWord_[next[groupOf(static_cast<std::uint32_t>(word >> 32))]++] =
            (std::uint64_t{i} << 32) | (word & 0xFFFFFFFF);
    }
    std::vector<std::uint64_t> scratch;
    if (owned != nullptr) scratch = std::move(owned->words);
    // Room for the largest group: each group is then sorted in three passes
    // that stream, rather than split in place first.
    std::size_t scratchSize = 0;
    for (const Group& group : groups) scratchSize = std::max(scratchSize, group.count);
    resizeFresh(scratch, std::max(scratch.size(), scratchSize));
    std::size_t first = 0;
    for (const Group& group : groups) {
        if (!radixSortInBoundedRoom(byWord_.data() + first, group.count, 32, wordLow, scratch.data(), scratch.size(),
                                    &stop))
            return false;
        first += group.count;
    }
    wordSample_.reserve(size_ / kSampleEvery + 1);
    for (std::size_t rank = 0; rank < size_; rank += kSampleEvery)
        wordSample_.push_back(word(static_cast<std::uint32_t>(rank)));
    return true;
}

RunIndex::Ranks RunIndex::wordsBetween(__int128 low, __int128 high) const {
    const auto firstAtLeast = [this](__int128 value) -> std::size_t {
        if (value <= 0) return 0;
        if (value > __int128{std::numeric_limits<std::uint64_t>::max()}) return size_;
        return sampledLowerBound(wordSample_, kSampleEvery, size_, static_cast<std::uint64_t>(value),
                                 [this](std::size_t rank) { return word(static_cast<std::uint32_t>(rank)); });
    };
    if (low > high) return {};
    const std::size_t first = firstAtLeast(low);
    // A window holds a few words: a step at a time until it is plainly more.
    std::size_t end = first;
    for (int steps = 0; end < size_ && steps < 32; ++steps, ++end)
        if (__int128{word(static_cast<std::uint32_t>(end))} > high) break;
    if (end < size_ && __int128{word(static_cast<std::uint32_t>(end))} <= high) end = firstAtLeast(high + 1);
    return {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(end)};
}

const ModuleImage* RunIndex::staticImage(std::uint64_t slot) const {
    auto it = std::upper_bound(statics_.begin(), statics_.end(), slot,
                               [](std::uint64_t s, const ModuleImage& image) { return s < image.start; });
    if (it == statics_.begin()) return nullptr;
    --it;
    return slot < it->end() ? &*it : nullptr;
}

std::size_t RunIndex::memoryBytes() const {
    return byWord_.capacity() * sizeof(std::uint64_t) + size_ * sizeof(std::uint32_t) +
           wordSample_.capacity() * sizeof(std::uint64_t) + wordHigh_.memoryBytes() + slotHigh_.memoryBytes();
}

}  // namespace corvane
