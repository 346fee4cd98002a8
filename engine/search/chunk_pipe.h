#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace corvane {

// Chunks read on one thread and stored on another, a few in flight, in the
// order they were read: writing a chunk to its store (a file, or memory
// touched for the first time) overlaps reading the next ones.
class ChunkPipe {
public:
    struct Chunk {
        std::vector<unsigned char> bytes;
        // The runs of `bytes` to store, [from, to), in order.
        std::vector<std::pair<std::size_t, std::size_t>> runs;
    };

    ChunkPipe(std::size_t chunks, std::size_t bytes);

    // Reading side. The next chunk to fill, or null once the storing side has
    // given up; then `filled()` when it is full. `close()` when no more come.
    Chunk* empty();
    void filled();
    void close();

    // Storing side. The next filled chunk, or null once closed and every
    // chunk stored; then `stored()` when its runs are kept. `giveUp()` when
    // the store failed: the reading side is told at its next chunk.
    Chunk* next();
    void stored();
    void giveUp();

private:
    // Changes the counts or flags under the lock, then wakes the other side.
    template <typename Change>
    void change(Change&& apply) {
        {
            const std::lock_guard lock(mutex_);
            apply();
        }
        changed_.notify_all();
    }

    std::vector<Chunk> ring_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t filled_ = 0;  // chunks handed over
    std::uint64_t stored_ = 0;  // of those, stored
    bool closed_ = false;
    bool gaveUp_ = false;
};

}  // namespace corvane
