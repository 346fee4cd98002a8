#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <vector>

#include "engine/kit/huge_pages.h"

namespace corvane {

// Where a snapshot's stored pages lie (its pages that were read and were not
// all zeros), one after another in the order they were taken. Failures of
// the medium (a full disk, a file gone) throw std::runtime_error.
class SnapshotStore {
public:
    virtual ~SnapshotStore() = default;
    virtual void append(const unsigned char* bytes, std::size_t size) = 0;
    virtual void read(std::uint64_t offset, unsigned char* out, std::size_t size) const = 0;
    // Bytes appended so far.
    virtual std::uint64_t size() const = 0;
    // Of those, the bytes held in this process's memory.
    virtual std::uint64_t memoryBytes() const = 0;
};

// Stored pages in memory blocks, up to a budget; beyond it in a temporary
// file, deleted with the store. Blocks of an earlier snapshot may be handed
// in to be filled first: their pages are faulted in already, and fresh
// memory costs more to touch than the target's memory does to read.
class PagedStore : public SnapshotStore {
public:
    // Whole huge pages, where the system has them.
    static constexpr std::size_t kBlockBytes = std::size_t{4} << 20;
    using Block = FreshBytes;

    explicit PagedStore(std::vector<Block> spare = {}, std::uint64_t budget = std::numeric_limits<std::uint64_t>::max(),
                        std::filesystem::path spillPath = {});
    ~PagedStore() override;
    PagedStore(const PagedStore&) = delete;
    PagedStore& operator=(const PagedStore&) = delete;

    void append(const unsigned char* bytes, std::size_t size) override;
    void read(std::uint64_t offset, unsigned char* out, std::size_t size) const override;
    std::uint64_t size() const override { return size_; }
    std::uint64_t memoryBytes() const override { return (blocks_.size() + spare_.size()) * kBlockBytes; }

    // Bytes that went to the file, and where it is (empty until one was needed).
    std::uint64_t spilledBytes() const { return spilled_; }
    const std::filesystem::path& spillPath() const { return spillPath_; }
    // Every block, for the next snapshot; the store is empty afterwards.
    std::vector<Block> takeBlocks();

private:
    std::vector<Block> blocks_;
    std::vector<Block> spare_;
    std::uint64_t budgetBlocks_;
    std::uint64_t inMemory_ = 0;  // bytes in the blocks
    std::uint64_t spilled_ = 0;
    std::uint64_t size_ = 0;
    std::filesystem::path spillPath_;
    mutable std::fstream spill_;
    mutable bool moved_ = false;
};

}  // namespace corvane
