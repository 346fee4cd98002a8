#include "engine/kit/block_pool.h"

#include <mutex>
#include <new>
#include <utility>
#include <vector>

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

namespace corvane {
namespace {

struct Kept {
    std::size_t bytes;
    std::vector<void*> blocks;
};

// A few sizes only (one per array kind), so a short list beats a map.
struct Pool {
    std::mutex mutex;
    std::vector<Kept> kept;
    std::size_t total = 0;

    std::vector<void*>& of(std::size_t bytes) {
        for (Kept& entry : kept)
            if (entry.bytes == bytes) return entry.blocks;
        kept.push_back({bytes, {}});
        return kept.back().blocks;
    }

    // False when the block is not kept: the pool is full, or its list
    // cannot grow (it is called from destructors, so it never throws).
    bool keep(void* block, std::size_t bytes) noexcept {
        std::lock_guard lock(mutex);
        if (total + bytes > BlockPool::kKeptBytes) return false;
        try {
            of(bytes).push_back(block);
        } catch (...) {
            return false;
        }
        total += bytes;
        // Kept blocks are poisoned, so a use after the array let go is
        // still caught under AddressSanitizer.
        ASAN_POISON_MEMORY_REGION(block, bytes);
        return true;
    }
};

// Never destroyed: arrays freed by static destructors still hand blocks back.
Pool& pool() {
    static Pool* const instance = new Pool;
    return *instance;
}

}  // namespace

void* BlockPool::take(std::size_t bytes) {
    {
        Pool& p = pool();
        std::lock_guard lock(p.mutex);
        std::vector<void*>& blocks = p.of(bytes);
        if (!blocks.empty()) {
            void* block = blocks.back();
            blocks.pop_back();
            p.total -= bytes;
            ASAN_UNPOISON_MEMORY_REGION(block, bytes);
            return block;
        }
    }
    return ::operator new(bytes);
}

void BlockPool::give(void* block, std::size_t bytes) {
    if (block == nullptr) return;
    if (!pool().keep(block, bytes)) ::operator delete(block);
}

void BlockPool::releaseKept() {
    std::vector<Kept> gone;
    {
        Pool& p = pool();
        std::lock_guard lock(p.mutex);
        std::swap(gone, p.kept);
        p.total = 0;
    }
    for (Kept& entry : gone)
        for (void* block : entry.blocks) {
            ASAN_UNPOISON_MEMORY_REGION(block, entry.bytes);
            ::operator delete(block);
        }
}

std::size_t BlockPool::keptBytes() {
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    return p.total;
}

}  // namespace corvane
