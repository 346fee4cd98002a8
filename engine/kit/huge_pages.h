#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace corvane {

// Asks that fresh memory about to be filled be backed by huge pages where
// the system gives them on request: faulting in a large array a page at a
// time costs more here than reading as much of a target. The advice covers
// the whole huge pages inside [data, data + bytes); it changes nothing of
// what the memory holds, and where there is no such advice it is nothing.
void adviseHugePages(void* data, std::size_t bytes);

// Arrays this large are worth the advice.
inline constexpr std::size_t kHugePageWorthy = std::size_t{4} << 20;

// A block of fresh bytes, for a large buffer about to be filled: where the
// system gives huge pages on request it starts on a huge page's bound and is
// advised, so that a block of whole huge pages is faulted in a few at a
// time. Freed with its own deleter.
struct FreeFreshBytes {
    void operator()(unsigned char* bytes) const;
};
using FreshBytes = std::unique_ptr<unsigned char[], FreeFreshBytes>;
FreshBytes freshBytes(std::size_t size);

// Resizes a vector to `size` items, the room taken first and advised before
// any of it is touched.
template <typename T>
void resizeFresh(std::vector<T>& items, std::size_t size) {
    if (size > items.capacity() && size * sizeof(T) >= kHugePageWorthy) {
        std::vector<T> fresh;
        fresh.reserve(size);
        adviseHugePages(fresh.data(), size * sizeof(T));
        fresh.assign(items.begin(), items.end());
        items.swap(fresh);
    }
    items.resize(size);
}

}  // namespace corvane
