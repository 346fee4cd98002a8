#include "engine/search/snapshot_store.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace corvane {

PagedStore::PagedStore(std::vector<Block> spare, std::uint64_t budget, std::filesystem::path spillPath)
    : spare_(std::move(spare)), budgetBlocks_(budget / kBlockBytes), spillPath_(std::move(spillPath)) {
    // A budget below the spare blocks keeps only what it allows.
    if (spare_.size() > budgetBlocks_) spare_.resize(static_cast<std::size_t>(budgetBlocks_));
}

PagedStore::~PagedStore() {
    if (!spill_.is_open()) return;
    spill_.close();
    std::error_code ignored;
    std::filesystem::remove(spillPath_, ignored);
}

void PagedStore::append(const unsigned char* bytes, std::size_t size) {
    // The memory part ends where the file begins: once spilling, all goes on
    // to the file, so that an offset says which holds it.
    while (size > 0 && spilled_ == 0) {
        const std::size_t used = static_cast<std::size_t>(inMemory_ % kBlockBytes);
        if (used == 0 && inMemory_ / kBlockBytes == blocks_.size()) {
            if (blocks_.size() >= budgetBlocks_) break;
            if (!spare_.empty()) {
                blocks_.push_back(std::move(spare_.back()));
                spare_.pop_back();
            } else {
                blocks_.push_back(freshBytes(kBlockBytes));
            }
        }
        const std::size_t take = std::min(size, kBlockBytes - used);
        std::memcpy(blocks_.back().get() + used, bytes, take);
        inMemory_ += take;
        size_ += take;
        bytes += take;
        size -= take;
    }
    if (size == 0) return;
    if (!spill_.is_open()) {
        if (spillPath_.empty()) throw std::runtime_error("the snapshot is over its memory budget");
        spill_.open(spillPath_, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
        if (!spill_) throw std::runtime_error("cannot create " + spillPath_.string());
    }
    // A seek empties the stream's buffer: only after a read moved it.
    if (moved_) spill_.seekp(static_cast<std::streamoff>(spilled_));
    moved_ = false;
    spill_.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    if (!spill_) throw std::runtime_error("cannot write " + spillPath_.string());
    spilled_ += size;
    size_ += size;
}

void PagedStore::read(std::uint64_t offset, unsigned char* out, std::size_t size) const {
    if (offset + size > size_) throw std::out_of_range("snapshot bytes past its end");
    while (size > 0 && offset < inMemory_) {
        const std::size_t at = static_cast<std::size_t>(offset % kBlockBytes);
        const std::size_t take = std::min({size, kBlockBytes - at, static_cast<std::size_t>(inMemory_ - offset)});
        std::memcpy(out, blocks_[static_cast<std::size_t>(offset / kBlockBytes)].get() + at, take);
        offset += take;
        out += take;
        size -= take;
    }
    if (size == 0) return;
    moved_ = true;
    spill_.seekg(static_cast<std::streamoff>(offset - inMemory_));
    if (!spill_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size)))
        throw std::runtime_error("cannot read " + spillPath_.string());
}

std::vector<PagedStore::Block> PagedStore::takeBlocks() {
    std::vector<Block> blocks = std::move(blocks_);
    for (Block& block : spare_) blocks.push_back(std::move(block));
    blocks_.clear();
    spare_.clear();
    inMemory_ = 0;
    size_ = 0;
    return blocks;
}

}  // namespace corvane
