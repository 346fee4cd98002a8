#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/target/memory_reader.h"

namespace corvane {

// Serves small reads scattered over the target from whole pages, one read
// call per page. A pass over a million results touches a few thousand pages;
// reading each once instead of every value on its own is what makes a pass
// fast. Readability is granted per page, so a value succeeds or fails exactly
// as its own read would. The cache lives for one pass or one monitor cycle:
// nothing is carried over between them.
class PageCache : public MemoryReader {
public:
    explicit PageCache(MemoryReader& reader, std::size_t capacityPages = 1024);

    bool read(std::uint64_t address, void* buffer, std::size_t size) override;
    unsigned pointerWidth() const override { return reader_.pointerWidth(); }

private:
    struct Slot {
        std::uint64_t page = 0;
        bool readable = false;
        bool used = false;
        std::uint64_t lastUse = 0;
    };

    // The slot holding `page`, reading it first when it is not cached.
    const Slot& fetch(std::uint64_t page);

    MemoryReader& reader_;
    std::vector<Slot> slots_;
    std::unique_ptr<unsigned char[]> data_;
    std::unordered_map<std::uint64_t, std::size_t> index_;
    std::uint64_t clock_ = 0;
};

}  // namespace corvane
