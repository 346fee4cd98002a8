#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/search/candidate_store.h"
#include "engine/target/memory_reader.h"
#include "engine/target/module_lookup.h"
#include "engine/search/result_store.h"
#include "engine/search/search_settings.h"
#include "engine/text/text_codec.h"
#include "engine/values/value_compare.h"

namespace corvane {

// The bodies of the passes, each run on one worker thread; SearchEngine puts
// them on threads and reports to the window.

// Walks every result's path again and keeps those whose value meets the
// settings' condition, with the fresh address and value; the rest go.
// Paths under a module count from its base in `modules`; those under a
// module it lacks (or all of them, without it) resolve nowhere.
void runNextSearchPass(MemoryReader& reader, ResultStore& results, const SearchSettings& settings,
                       const TextCodec& codec, const ModuleBases* modules = nullptr);

// The results a monitor cycle or a reformat could not read again, which keep
// what they had: a front end that has no list to show them in says so.
struct UnreadRows {
    // Paths kept of the first rows, for naming them.
    static constexpr std::size_t kNamed = 3;
    std::uint64_t count = 0;
    std::vector<std::string> firstPaths;
    // Every such row's serial, in store order.
    std::vector<std::uint32_t> serials;

    void clear() {
        count = 0;
        firstPaths.clear();
        serials.clear();
    }
};

// Walks every result's path again and writes the fresh address and value;
// a result that no longer resolves keeps what it had, and is listed in
// `unread` when given. Adds and drops nothing.
void runMonitorCycle(MemoryReader& reader, ResultStore& results, ValueType type, std::uint8_t baseMode,
                     const TextCodec& codec, const ModuleBases* modules = nullptr, UnreadRows* unread = nullptr);

// Reads every result again at its stored address in another kind or base;
// a value that cannot be read keeps its text, and is listed in `unread`.
void runReformatPass(MemoryReader& reader, ResultStore& results, ValueType type, std::uint8_t baseMode,
                     const TextCodec& codec, UnreadRows* unread = nullptr);

// The value as a result keeps it: numbers as read, texts as text.
StoredValue storedValueOf(ValueType type, std::uint8_t baseMode, const unsigned char* bytes, const TextCodec& codec);

// The condition a first search applies: the change conditions need a listed
// value and fall back to "keep everything".
SearchCondition firstSearchCondition(SearchCondition condition);

}  // namespace corvane
