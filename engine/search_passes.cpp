#include "engine/search_passes.h"

#include <vector>

#include "engine/change_compare.h"
#include "engine/page_cache.h"
#include "engine/resolve_path.h"
#include "engine/value_text.h"

namespace corvane {
namespace {

// Entries a pass takes from the store at a time: the lock is held only to
// copy them out and to write the outcome back.
constexpr std::size_t kBatch = 4096;

// Runs `decide` on every result, batch by batch, outside the store's lock.
// `decide` fills one update from one snapshot.
template <typename Decide>
void forEachResult(ResultStore& results, Decide&& decide) {
    std::vector<ResultSnapshot> batch;
    std::vector<ResultStore::Update> updates;
    bool fromStart = true;
    std::uint32_t last = 0;
    for (;;) {
        const std::size_t taken = results.snapshot(fromStart, last, kBatch, batch);
        if (taken == 0) return;
        updates.clear();
        updates.resize(taken);
        for (std::size_t i = 0; i < taken; ++i) {
            updates[i].serial = batch[i].serial;
            decide(batch[i], updates[i]);
        }
        results.apply(updates);
        fromStart = false;
        last = batch[taken - 1].serial;
    }
}

}  // namespace

SearchCondition firstSearchCondition(SearchCondition condition) {
    return condition >= SearchCondition::Unchanged ? SearchCondition::None : condition;
}

StoredValue storedValueOf(ValueType type, std::uint8_t baseMode, const unsigned char* bytes, const TextCodec& codec) {
    if (isTextType(type)) return StoredValue::text(valueText(type, baseMode, bytes, codec));
    return StoredValue::number(type, baseMode, bytes);
}

StoredValue storedValueOf(const ValueFilter& filter, const unsigned char* bytes) {
    if (isTextType(filter.type())) return StoredValue::text(filter.valueText(bytes));
    return StoredValue::number(filter.type(), filter.baseMode(), bytes);
}

ResultEntries filterCandidates(MemoryReader& reader, CandidateStore& candidates, const ValueFilter& filter,
                               const std::atomic<std::int32_t>& stopRequested) {
    ResultEntries results;
    PageCache cache(reader);
    // One spare byte ends a UTF-8 text that fills the whole read.
    std::vector<unsigned char> bytes(filter.readSize() + 1, 0);
    const std::size_t count = candidates.candidateCount();
    for (std::size_t j = 0; j < count; ++j) {
        if (stopRequested.load(std::memory_order_relaxed) != 0) break;
        if (j % CandidateChunk == 0) candidates.releaseBefore(j);
        const CandidateEntry& candidate = candidates.entry(j);
        if (candidate.address == 0) continue;
        if (!cache.read(candidate.address, bytes.data(), filter.readSize())) continue;
        if (!filter.matches(bytes.data())) continue;
        ResultEntry entry;
        entry.address = candidate.address;
        entry.parent = candidate.parent;
        entry.leafOffset = candidates.leafOffset(j);
        entry.value = storedValueOf(filter, bytes.data());
        results.push_back(std::move(entry));
    }
    return results;
}

void runNextSearchPass(MemoryReader& reader, ResultStore& results, const SearchSettings& settings,
                       const TextCodec& codec) {
    const auto paths = results.paths();
    if (paths) {
        const ValueFilter filter(settings.type, settings.baseMode, settings.condition, settings.value1, settings.value2,
                                 codec);
        PageCache cache(reader);
        std::vector<unsigned char> bytes(filter.readSize() + 1, 0);
        std::vector<std::int64_t> scratch;
        forEachResult(results, [&](const ResultSnapshot& entry, ResultStore::Update& update) {
            std::uint64_t address = 0;
            update.keep =
                entry.address != 0 &&
                resolvePath(cache, *paths, entry.parent, entry.leafOffset, filter.readSize(), bytes.data(), address,
                            scratch) &&
                filter.matches(bytes.data()) &&
                keepsChange(settings.condition, settings.type, settings.baseMode, bytes.data(), entry.value, codec);
            if (!update.keep) return;
            update.changed = true;
            update.address = address;
            update.value = storedValueOf(filter, bytes.data());
        });
    }
    results.compact();
}

void runMonitorCycle(MemoryReader& reader, ResultStore& results, ValueType type, std::uint8_t baseMode,
                     const TextCodec& codec) {
    const auto paths = results.paths();
    if (!paths) return;
    PageCache cache(reader);
    const std::size_t size = valueReadSize(type);
    std::vector<unsigned char> bytes(size + 1, 0);
    std::vector<std::int64_t> scratch;
    forEachResult(results, [&](const ResultSnapshot& entry, ResultStore::Update& update) {
        std::uint64_t address = 0;
        if (!resolvePath(cache, *paths, entry.parent, entry.leafOffset, size, bytes.data(), address, scratch)) return;
        update.changed = true;
        update.address = address;
        update.value = storedValueOf(type, baseMode, bytes.data(), codec);
    });
}

void runReformatPass(MemoryReader& reader, ResultStore& results, ValueType type, std::uint8_t baseMode,
                     const TextCodec& codec) {
    PageCache cache(reader);
    const std::size_t size = valueReadSize(type);
    std::vector<unsigned char> bytes(size + 1, 0);
    forEachResult(results, [&](const ResultSnapshot& entry, ResultStore::Update& update) {
        if (!cache.read(entry.address, bytes.data(), size)) return;
        update.changed = true;
        update.address = entry.address;
        update.value = storedValueOf(type, baseMode, bytes.data(), codec);
    });
}

}  // namespace corvane
