#pragma once

#include <cstddef>
#include <memory>
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

    void push_back(const T& value) {
        if (size_ == capacity()) chunks_.push_back(std::make_unique<T[]>(ChunkSize));
        (*this)[size_++] = value;
    }

    // Releases every chunk.
    void clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        size_ = 0;
    }

    std::size_t memoryBytes() const {
        return capacity() * sizeof(T) + chunks_.capacity() * sizeof(std::unique_ptr<T[]>);
    }

private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t size_ = 0;
};

}  // namespace corvane
