#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

// The first index below `size` whose key (at(index), ascending) is at least
// `key`, given `sample`, the key of every `every`-th index: the search runs
// through the sample, which the cache holds, and then through the stretch
// between two samples, so a search of millions of keys touches few lines.
template <typename At>
std::size_t sampledLowerBound(const std::vector<std::uint64_t>& sample, std::size_t every, std::size_t size,
                              std::uint64_t key, At at) {
    const auto after = static_cast<std::size_t>(std::lower_bound(sample.begin(), sample.end(), key) - sample.begin());
    std::size_t first = after == 0 ? 0 : (after - 1) * every + 1;
    std::size_t last = std::min(after * every, size);
    while (first < last) {
        const std::size_t middle = first + (last - first) / 2;
        if (at(middle) < key)
            first = middle + 1;
        else
            last = middle;
    }
    return first;
}

}  // namespace corvane
