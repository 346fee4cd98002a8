#include "engine/target/page_cache.h"

#include <algorithm>
#include <cstring>

namespace corvane {

PageCache::PageCache(MemoryReader& reader, std::size_t capacityPages)
    : reader_(reader),
      slots_(std::max<std::size_t>(capacityPages, 2)),
      data_(new unsigned char[slots_.size() * kPageSize]) {
    index_.reserve(slots_.size() * 2);
}

const PageCache::Slot& PageCache::fetch(std::uint64_t page) {
    ++clock_;
    if (const auto found = index_.find(page); found != index_.end()) {
        Slot& slot = slots_[found->second];
        slot.lastUse = clock_;
        return slot;
    }
    // Least recently used slot; the scan is cheap next to a read call.
    std::size_t victim = 0;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (!slots_[i].used) {
            victim = i;
            break;
        }
        if (slots_[i].lastUse < slots_[victim].lastUse) victim = i;
    }
    Slot& slot = slots_[victim];
    if (slot.used) index_.erase(slot.page);
    slot.page = page;
    slot.used = true;
    slot.lastUse = clock_;
    slot.readable = reader_.read(page, data_.get() + victim * kPageSize, kPageSize);
    index_[page] = victim;
    return slot;
}

bool PageCache::read(std::uint64_t address, void* buffer, std::size_t size) {
    if (size == 0) return reader_.read(address, buffer, size);
    if (address + size < address) return false;
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const std::uint64_t page = address & ~(kPageSize - 1);
        const Slot& slot = fetch(page);
        if (!slot.readable) return false;
        const auto within = static_cast<std::size_t>(address - page);
        const std::size_t piece = std::min<std::size_t>(size, kPageSize - within);
        const auto slotIndex = static_cast<std::size_t>(&slot - slots_.data());
        std::memcpy(out, data_.get() + slotIndex * kPageSize + within, piece);
        address += piece;
        out += piece;
        size -= piece;
    }
    return true;
}

}  // namespace corvane
