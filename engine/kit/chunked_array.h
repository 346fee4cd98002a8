#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "engine/kit/block_pool.h"

namespace corvane {

// Append-only array that grows by whole chunks: full chunks never move, so
// growing a store of millions costs no copying and no doubling of peak
// memory. The first chunk starts small and doubles up to the chunk size, and
// entries are constructed only when they are appended: a store of one entry
// costs a few bytes, not a zero-filled chunk.
template <typename T, std::size_t ChunkSize>
class ChunkedArray {
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "pooled chunks are aligned as operator new aligns");

public:
    // First capacity of a chunk; small stores stay small.
    static constexpr std::size_t kFirstCapacity = ChunkSize < 16 ? ChunkSize : 16;

    ChunkedArray() = default;
    ChunkedArray(const ChunkedArray&) = delete;
    ChunkedArray& operator=(const ChunkedArray&) = delete;
    ChunkedArray(ChunkedArray&& other) noexcept
        : chunks_(std::move(other.chunks_)),
          size_(other.size_),
          lastCapacity_(other.lastCapacity_),
          released_(other.released_) {
        other.chunks_.clear();
        other.size_ = other.lastCapacity_ = other.released_ = 0;
    }
    ChunkedArray& operator=(ChunkedArray&& other) noexcept {
        if (this != &other) {
            clear();
            std::swap(chunks_, other.chunks_);
            std::swap(size_, other.size_);
            std::swap(lastCapacity_, other.lastCapacity_);
            std::swap(released_, other.released_);
        }
        return *this;
    }
    ~ChunkedArray() { clear(); }

    friend void swap(ChunkedArray& a, ChunkedArray& b) noexcept {
        std::swap(a.chunks_, b.chunks_);
        std::swap(a.size_, b.size_);
        std::swap(a.lastCapacity_, b.lastCapacity_);
        std::swap(a.released_, b.released_);
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t capacity() const { return chunks_.empty() ? 0 : (chunks_.size() - 1) * ChunkSize + lastCapacity_; }

    T& operator[](std::size_t i) { return chunks_[i / ChunkSize][i % ChunkSize]; }
    const T& operator[](std::size_t i) const { return chunks_[i / ChunkSize][i % ChunkSize]; }

    // The entries from `i` (< size()) that lie in one piece of memory: up to
    // the end of i's chunk or of the array. Walking them by pointer spares a
    // chunk lookup per entry.
    template <typename U>
    struct PieceOf {
        U* data;
        std::size_t count;
    };
    PieceOf<T> piece(std::size_t i) { return {&(*this)[i], pieceCount(i)}; }
    PieceOf<const T> piece(std::size_t i) const { return {&(*this)[i], pieceCount(i)}; }

    void push_back(T value) { emplace_back(std::move(value)); }

    template <typename... Args>
    T& emplace_back(Args&&... args) {
        if (size_ == capacity()) grow();
        T* slot = ::new (static_cast<void*>(&(*this)[size_])) T(std::forward<Args>(args)...);
        ++size_;
        return *slot;
    }

    // Frees the whole chunks below `i`; their entries must not be used again.
    void releaseBefore(std::size_t i) {
        const std::size_t whole = std::min(i, size_) / ChunkSize;
        for (std::size_t chunk = released_; chunk < whole; ++chunk) freeChunk(chunk, ChunkSize);
        if (whole > released_) released_ = whole;
    }

    // Keeps the first `n` entries and frees the chunks past them.
    void truncate(std::size_t n) {
        if (n >= size_) return;
        for (std::size_t i = n; i < size_; ++i) (*this)[i].~T();
        forgetDestroyedTail(n);
    }

    // As truncate, for entries from `n` on that the caller has destroyed
    // already: a compaction that destroys what it drops as it goes touches
    // every entry once instead of twice.
    void forgetDestroyedTail(std::size_t n) {
        if (n >= size_) return;
        size_ = n;
        const std::size_t keep = (n + ChunkSize - 1) / ChunkSize;
        for (std::size_t chunk = keep; chunk < chunks_.size(); ++chunk) {
            deallocate(chunks_[chunk], chunk + 1 == chunks_.size() ? lastCapacity_ : ChunkSize);
        }
        if (keep < chunks_.size()) {
            chunks_.resize(keep);
            lastCapacity_ = keep == 0 ? 0 : ChunkSize;
        }
    }

    // Gives back the unused end of the last chunk.
    void shrinkToFit() {
        const std::size_t inLast = size_ - (chunks_.empty() ? 0 : (chunks_.size() - 1) * ChunkSize);
        if (chunks_.empty() || inLast == lastCapacity_ || chunks_.size() <= released_) return;
        if (inLast == 0) {
            deallocate(chunks_.back(), lastCapacity_);
            chunks_.pop_back();
            lastCapacity_ = chunks_.empty() ? 0 : ChunkSize;
            return;
        }
        reallocateLast(inLast);
    }

    // Releases every chunk.
    void clear() {
        for (std::size_t chunk = released_; chunk < chunks_.size(); ++chunk) {
            const std::size_t first = chunk * ChunkSize;
            const std::size_t used = size_ > first ? std::min(size_ - first, ChunkSize) : 0;
            for (std::size_t i = 0; i < used; ++i) chunks_[chunk][i].~T();
            deallocate(chunks_[chunk], chunk + 1 == chunks_.size() ? lastCapacity_ : ChunkSize);
        }
        chunks_.clear();
        chunks_.shrink_to_fit();
        size_ = lastCapacity_ = released_ = 0;
    }

    std::size_t memoryBytes() const {
        std::size_t bytes = chunks_.capacity() * sizeof(T*);
        for (std::size_t chunk = released_; chunk < chunks_.size(); ++chunk)
            bytes += (chunk + 1 == chunks_.size() ? lastCapacity_ : ChunkSize) * sizeof(T);
        return bytes;
    }

private:
    std::size_t pieceCount(std::size_t i) const { return std::min(ChunkSize - i % ChunkSize, size_ - i); }

    // Whole chunks come from the pool and go back to it: a large array
    // after another reuses its pages.
    static T* allocate(std::size_t n) {
        if (n == ChunkSize) return static_cast<T*>(BlockPool::take(n * sizeof(T)));
        return std::allocator<T>().allocate(n);
    }
    static void deallocate(T* p, std::size_t n) {
        if (p == nullptr) return;
        if (n == ChunkSize)
            BlockPool::give(p, n * sizeof(T));
        else
            std::allocator<T>().deallocate(p, n);
    }

    void freeChunk(std::size_t chunk, std::size_t used) {
        for (std::size_t i = 0; i < used; ++i) chunks_[chunk][i].~T();
        deallocate(chunks_[chunk], chunk + 1 == chunks_.size() ? lastCapacity_ : ChunkSize);
        chunks_[chunk] = nullptr;
    }

    // Only the first chunk grows by doubling: an array that needs a second
    // chunk is large, and its further chunks are taken whole, unconstructed,
    // so no entry is moved twice.
    void grow() {
        if (chunks_.empty() || lastCapacity_ == ChunkSize) {
            const std::size_t capacity = chunks_.empty() ? kFirstCapacity : ChunkSize;
            chunks_.push_back(nullptr);
            chunks_.back() = allocate(capacity);
            lastCapacity_ = capacity;
            return;
        }
        reallocateLast(std::min(lastCapacity_ * 2, ChunkSize));
    }

    void reallocateLast(std::size_t capacity) {
        const std::size_t used = size_ - (chunks_.size() - 1) * ChunkSize;
        T* fresh = allocate(capacity);
        T* old = chunks_.back();
        for (std::size_t i = 0; i < used; ++i) {
            ::new (static_cast<void*>(fresh + i)) T(std::move(old[i]));
            old[i].~T();
        }
        deallocate(old, lastCapacity_);
        chunks_.back() = fresh;
        lastCapacity_ = capacity;
    }

    std::vector<T*> chunks_;
    std::size_t size_ = 0;
    std::size_t lastCapacity_ = 0;  // of chunks_.back(); every other chunk holds ChunkSize
    std::size_t released_ = 0;      // chunks below this were freed by releaseBefore
};

}  // namespace corvane
