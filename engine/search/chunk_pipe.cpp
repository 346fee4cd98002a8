#include "engine/search/chunk_pipe.h"

namespace corvane {

ChunkPipe::ChunkPipe(std::size_t chunks, std::size_t bytes) : ring_(chunks) {
    for (Chunk& chunk : ring_) chunk.bytes.resize(bytes);
}

ChunkPipe::Chunk* ChunkPipe::empty() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return gaveUp_ || filled_ - stored_ < ring_.size(); });
    if (gaveUp_) return nullptr;
    return &ring_[static_cast<std::size_t>(filled_ % ring_.size())];
}

void ChunkPipe::filled() {
    {
        const std::lock_guard lock(mutex_);
        ++filled_;
    }
    changed_.notify_all();
}

void ChunkPipe::close() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

ChunkPipe::Chunk* ChunkPipe::next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || filled_ > stored_; });
    if (filled_ == stored_) return nullptr;
    return &ring_[static_cast<std::size_t>(stored_ % ring_.size())];
}

void ChunkPipe::stored() {
    {
        const std::lock_guard lock(mutex_);
        ++stored_;
    }
    changed_.notify_all();
}

void ChunkPipe::giveUp() {
    {
        const std::lock_guard lock(mutex_);
        gaveUp_ = true;
    }
    changed_.notify_all();
}

}  // namespace corvane
