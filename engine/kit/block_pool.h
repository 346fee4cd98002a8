#pragma once

#include <cstddef>

namespace corvane {

// Whole chunks of the large arrays (results, candidates, path nodes), kept
// when an array lets them go and handed to the next array that grows. Fresh
// memory costs a page fault on every page at first touch, more than a pass
// itself spends on a million results: a search after another reuses the
// pages of the results it replaced instead. At most kKeptBytes stay kept;
// beyond that, blocks go back to the system at once.
class BlockPool {
public:
    static constexpr std::size_t kKeptBytes = std::size_t{128} << 20;

    // A block of `bytes`, a kept one when there is one; suitably aligned for
    // any object. Throws std::bad_alloc like operator new.
    static void* take(std::size_t bytes);
    // Hands back a block that take(bytes) gave.
    static void give(void* block, std::size_t bytes);
    // Gives every kept block back to the system.
    static void releaseKept();
    static std::size_t keptBytes();
};

}  // namespace corvane
