#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/search/path_table.h"
#include "engine/search/result_entry.h"
#include "engine/values/value_compare.h"

namespace corvane {

// The results of a memory row: each one's path is its own address (under
// `parent`, when the row hangs below a path node), its value the bytes found
// there as `filter` stores them. Serials count up from the list's end.
inline void appendAddressResult(ResultEntries& out, std::uint64_t address, const ValueFilter& filter,
                                const unsigned char* bytes, std::uint32_t parent = kNoPathNode) {
    const auto serial = static_cast<std::uint32_t>(out.size());
    ResultEntry& entry = out.emplace_back();
    entry.address = address;
    entry.parent = parent;
    entry.serial = serial;
    entry.leafOffset = static_cast<std::int64_t>(address);
    filter.storeValue(bytes, entry.value);
}

inline void appendAddressResult(CompactResults& out, std::uint64_t address, const ValueFilter& filter,
                                const unsigned char* bytes) {
    const auto serial = static_cast<std::uint32_t>(out.size());
    out.push_back(CompactResult::number(address, serial, filter.type(), filter.baseMode(), bytes));
}

// Moves the results of `from` to the end of `to`, their serials counted on
// from there as if they had been appended to `to` in the first place. Each
// chunk of `from` goes back to the pool once moved, for `to` to take.
template <typename Results>
void appendRenumbered(Results& to, Results& from) {
    for (std::size_t i = 0; i < from.size();) {
        const auto piece = from.piece(i);
        for (std::size_t k = 0; k < piece.count; ++k) {
            piece.data[k].serial = static_cast<std::uint32_t>(to.size());
            to.push_back(std::move(piece.data[k]));
        }
        i += piece.count;
        from.releaseBefore(i);
    }
    from.clear();
}

}  // namespace corvane
