#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

// One pointer as the pointer map file holds it: its slot, the index of the
// region its word points into and the word's distance from that region's
// start.
struct MapEntry {
    std::uint64_t slot = 0;
    std::uint64_t region = 0;
    std::uint64_t offset = 0;
};

// Three unsigned LEB128 numbers at most.
inline constexpr std::size_t kMaxEntryBytes = 30;

// Writes `entry` as the file's three numbers, its deltas taken from `before`
// (the pointer before it, or a MapEntry{} for a map's first), and returns
// the end of what it wrote.
unsigned char* putMapEntry(unsigned char* out, const MapEntry& before, const MapEntry& entry, unsigned width);

// The pointers of a stretch of slots, encoded as the file holds them while
// they are read: some 6 bytes a pointer where the slot and the word took 16.
// The first is kept as it is, since its deltas come from the pointer before
// the stretch, which another thread may still be reading; each later one is
// encoded from the one before. The bytes grow in blocks that never move and
// are handed back to the block pool, so a capture after another reuses
// pages already touched.
class EncodedPointers {
public:
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

    explicit EncodedPointers(unsigned width = 8) : width_(width) {}
    EncodedPointers(const EncodedPointers&) = delete;
    EncodedPointers& operator=(const EncodedPointers&) = delete;
    EncodedPointers(EncodedPointers&& other) noexcept;
    EncodedPointers& operator=(EncodedPointers&& other) noexcept;
    ~EncodedPointers() { clear(); }

    // In ascending slot order.
    void add(const MapEntry& entry) {
        if (count_ != 0) {
            if (static_cast<std::size_t>(end_ - at_) < kMaxEntryBytes) grow();
            at_ = putMapEntry(at_, last_, entry, width_);
        } else {
            first_ = entry;
        }
        last_ = entry;
        ++count_;
    }
    void clear();

    std::uint64_t size() const { return count_; }
    unsigned width() const { return width_; }
    // Meaningful only when size() is not 0.
    const MapEntry& first() const { return first_; }
    const MapEntry& last() const { return last_; }
    // The bytes of every pointer but the first.
    std::uint64_t restBytes() const;
    // Calls piece(const unsigned char*, std::size_t) for the bytes of every
    // pointer but the first, in order.
    template <typename Piece>
    void eachPiece(Piece&& piece) const {
        for (std::size_t i = 0; i < blocks_.size(); ++i) {
            const std::size_t used = i + 1 == blocks_.size() ? static_cast<std::size_t>(at_ - blocks_[i]) : used_[i];
            if (used != 0) piece(static_cast<const unsigned char*>(blocks_[i]), used);
        }
    }

private:
    void grow();

    unsigned width_;
    std::uint64_t count_ = 0;
    MapEntry first_;
    MapEntry last_;
    std::vector<unsigned char*> blocks_;
    std::vector<std::size_t> used_;  // of each full block
    unsigned char* at_ = nullptr;
    unsigned char* end_ = nullptr;
};

}  // namespace corvane
