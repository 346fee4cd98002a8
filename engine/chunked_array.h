#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace corvane {

// Append-only array that grows by whole chunks: entries never move, so growing
// a store of millions costs no copying and no doubling of peak memory.
template <typename T, std::size_t ChunkSize>
class ChunkedArray {
public:
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return chunks_.size() * ChunkSize; }

    T& operator[](std::size_t i) { return chunks_[i / ChunkSize][i % ChunkSize]; }
    const T& operator[](std::size_t i) const { return chunks_[i / ChunkSize][i % ChunkSize]; }

    void push_back(T value) {
        if (size_ == capacity()) chunks_.push_back(std::make_unique<T[]>(ChunkSize));
        (*this)[size_++] = std::move(value);
    }

    // Frees the whole chunks below `i`; their entries must not be used again.
    void releaseBefore(std::size_t i) {
        for (std::size_t chunk = 0; chunk < i / ChunkSize && chunk < chunks_.size(); ++chunk) chunks_[chunk].reset();
    }

    // Keeps the first `n` entries and frees the chunks past them.
    void truncate(std::size_t n) {
        if (n >= size_) return;
        size_ = n;
        chunks_.resize((n + ChunkSize - 1) / ChunkSize);
    }

    // Releases every chunk.
    void clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        size_ = 0;
    }

    std::size_t memoryBytes() const {
        std::size_t bytes = chunks_.capacity() * sizeof(std::unique_ptr<T[]>);
        for (const auto& chunk : chunks_)
            if (chunk) bytes += ChunkSize * sizeof(T);
        return bytes;
    }

private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t size_ = 0;
};

}  // namespace corvane
