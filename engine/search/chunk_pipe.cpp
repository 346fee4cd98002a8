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
    change([this] { ++filled_; });
}

void ChunkPipe::close() {
    change([this] { closed_ = true; });
}

ChunkPipe::Chunk* ChunkPipe::next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || filled_ > stored_; });
    if (filled_ == stored_) return nullptr;
    return &ring_[static_cast<std::size_t>(stored_ % ring_.size())];
}

void ChunkPipe::stored() {
    change([this] { ++stored_; });
}

void ChunkPipe::giveUp() {
    change([this] { gaveUp_ = true; });
}

}  // namespace corvane
