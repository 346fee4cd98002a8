#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "engine/search/result_store.h"

namespace corvane::test {

// A listed result as the list shows it, for comparing two stores.
struct Row {
    std::string path;
    std::uint64_t address;
    std::string value;
    bool operator==(const Row&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Row& row) {
    return os << row.path << " @" << std::hex << row.address << std::dec << " = " << row.value;
}

inline std::vector<Row> rowsOf(const ResultStore& results) {
    std::vector<Row> rows;
    for (std::size_t i = 0; i < results.count(); ++i)
        rows.push_back({results.pathText(i), results.address(i), results.valueText(i)});
    return rows;
}

// The store's results again, as ordinary entries (a store of compact ones
// held the other way).
inline void copyAsOrdinary(const ResultStore& from, ResultStore& to) {
    std::vector<ResultSnapshot> taken;
    const std::size_t n = from.snapshot(true, 0, from.count(), taken);
    ResultEntries entries;
    for (std::size_t i = 0; i < n; ++i) {
        ResultEntry& entry = entries.emplace_back();
        entry.address = taken[i].address;
        entry.parent = taken[i].parent;
        entry.leafOffset = taken[i].leafOffset;
        entry.value = std::move(taken[i].value);
    }
    to.replace(from.paths(), std::move(entries));
}

}  // namespace corvane::test
