#include "engine/pointers/encoded_pointers.h"

#include <utility>

#include "engine/kit/block_pool.h"

namespace corvane {
namespace {

unsigned char* putNumber(unsigned char* out, std::uint64_t value) {
    while (value >= 0x80) {
        *out++ = static_cast<unsigned char>(value | 0x80);
        value >>= 7;
    }
    *out++ = static_cast<unsigned char>(value);
    return out;
}

std::uint64_t zigzag(std::int64_t value) {
    return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
}

}  // namespace

unsigned char* putMapEntry(unsigned char* out, const MapEntry& before, const MapEntry& entry, unsigned width) {
    out = putNumber(out, (entry.slot - before.slot) / width);
    out = putNumber(out, zigzag(static_cast<std::int64_t>(entry.region) - static_cast<std::int64_t>(before.region)));
    return putNumber(out, entry.offset);
}

EncodedPointers::EncodedPointers(EncodedPointers&& other) noexcept
    : width_(other.width_),
      count_(std::exchange(other.count_, 0)),
      first_(other.first_),
      last_(other.last_),
      blocks_(std::move(other.blocks_)),
      used_(std::move(other.used_)),
      at_(std::exchange(other.at_, nullptr)),
      end_(std::exchange(other.end_, nullptr)) {
    other.blocks_.clear();
    other.used_.clear();
}

EncodedPointers& EncodedPointers::operator=(EncodedPointers&& other) noexcept {
    if (this != &other) {
        clear();
        width_ = other.width_;
        count_ = std::exchange(other.count_, 0);
        first_ = other.first_;
        last_ = other.last_;
        std::swap(blocks_, other.blocks_);
        std::swap(used_, other.used_);
        at_ = std::exchange(other.at_, nullptr);
        end_ = std::exchange(other.end_, nullptr);
    }
    return *this;
}

void EncodedPointers::clear() {
    for (unsigned char* block : blocks_) BlockPool::give(block, kBlockBytes);
    blocks_.clear();
    used_.clear();
    at_ = end_ = nullptr;
    count_ = 0;
}

std::uint64_t EncodedPointers::restBytes() const {
    std::uint64_t bytes = 0;
    eachPiece([&bytes](const unsigned char*, std::size_t size) { bytes += size; });
    return bytes;
}

void EncodedPointers::grow() {
    // Both lists grow before the block is taken, so a failure to grow them
    // loses no block.
    blocks_.reserve(blocks_.size() + 1);
    used_.reserve(used_.size() + 1);
    auto* block = static_cast<unsigned char*>(BlockPool::take(kBlockBytes));
    if (!blocks_.empty()) used_.push_back(static_cast<std::size_t>(at_ - blocks_.back()));
    blocks_.push_back(block);
    at_ = block;
    end_ = block + kBlockBytes;
}

}  // namespace corvane
