#include "tests/support/fake_target.h"

#include <algorithm>

namespace corvane::test {

void FakeTarget::map(std::uint64_t address, std::uint64_t size) {
    std::lock_guard lock(mutex_);
    if (size == 0) return;
    const std::uint64_t last = (address + size - 1) & ~(kPageSize - 1);
    for (std::uint64_t page = address & ~(kPageSize - 1);; page += kPageSize) {
        pages_.try_emplace(page, Page{});
        if (page == last) break;
    }
}

void FakeTarget::unmap(std::uint64_t address, std::uint64_t size) {
    std::lock_guard lock(mutex_);
    if (size == 0) return;
    const std::uint64_t last = (address + size - 1) & ~(kPageSize - 1);
    for (std::uint64_t page = address & ~(kPageSize - 1);; page += kPageSize) {
        pages_.erase(page);
        if (page == last) break;
    }
}

void FakeTarget::protect(std::uint64_t address, std::uint64_t size, bool writable) {
    std::lock_guard lock(mutex_);
    if (size == 0) return;
    const std::uint64_t last = (address + size - 1) & ~(kPageSize - 1);
    for (std::uint64_t page = address & ~(kPageSize - 1);; page += kPageSize) {
        if (writable)
            readOnly_.erase(page);
        else
            readOnly_.insert(page);
        if (page == last) break;
    }
}

std::vector<MemoryRegion> FakeTarget::readableRegions() {
    std::lock_guard lock(mutex_);
    std::vector<MemoryRegion> regions;
    for (const auto& [page, bytes] : pages_) {
        const bool writable = !readOnly_.contains(page);
        if (!regions.empty() && regions.back().end() == page && regions.back().writable == writable)
            regions.back().size += kPageSize;
        else
            regions.push_back({page, kPageSize, writable});
    }
    return regions;
}

std::vector<ModuleImage> FakeTarget::moduleImages() {
    std::lock_guard lock(mutex_);
    std::vector<ModuleImage> images = modules_;
    std::sort(images.begin(), images.end(),
              [](const ModuleImage& a, const ModuleImage& b) { return a.start < b.start; });
    return images;
}

void FakeTarget::write(std::uint64_t address, const void* data, std::size_t size) {
    std::lock_guard lock(mutex_);
    map(address, size);
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const std::uint64_t page = address & ~(kPageSize - 1);
        const auto within = static_cast<std::size_t>(address - page);
        const std::size_t piece = std::min<std::size_t>(size, kPageSize - within);
        std::memcpy(pages_[page].data() + within, bytes, piece);
        address += piece;
        bytes += piece;
        size -= piece;
    }
}

void FakeTarget::writePointer(std::uint64_t address, std::uint64_t value) {
    unsigned char bytes[8];
    for (unsigned i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    write(address, bytes, pointerWidth_);
}

bool FakeTarget::read(std::uint64_t address, void* buffer, std::size_t size) {
    if (onRead) onRead();
    std::lock_guard lock(mutex_);
    ++readCalls_;
    if (openError != 0) return false;
    if (size == 0) return true;
    if (address + size < address) return false;
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const std::uint64_t page = address & ~(kPageSize - 1);
        const auto found = pages_.find(page);
        if (found == pages_.end()) return false;
        const auto within = static_cast<std::size_t>(address - page);
        const std::size_t piece = std::min<std::size_t>(size, kPageSize - within);
        std::memcpy(out, found->second.data() + within, piece);
        address += piece;
        out += piece;
        size -= piece;
    }
    return true;
}

void FakeTarget::loadModule(std::string name, std::uint64_t base, std::uint64_t size) {
    std::lock_guard lock(mutex_);
    for (ModuleImage& module : modules_)
        if (module.name == name) {
            module.start = base;
            module.size = size;
            return;
        }
    modules_.push_back({std::move(name), base, size});
}

void FakeTarget::unloadModule(std::string_view name) {
    std::lock_guard lock(mutex_);
    std::erase_if(modules_, [name](const ModuleImage& module) { return module.name == name; });
}

std::optional<std::uint64_t> FakeTarget::moduleBase(std::string_view name) {
    std::lock_guard lock(mutex_);
    ++moduleLookups_;
    for (const ModuleImage& module : modules_)
        if (sameModuleName(module.name, name)) return module.start;
    return std::nullopt;
}

}  // namespace corvane::test
