#include "engine/search_passes.h"

#include <vector>

#include "engine/change_compare.h"
#include "engine/leaf_reads.h"
#include "engine/value_text.h"

namespace corvane {
namespace {

// Entries a pass takes from the store at a time: the lock is held only to
// copy them out and to write the outcome back.
constexpr std::size_t kBatch = 4096;

// Runs `decide` on every batch of results outside the store's lock;
// `decide(batch, taken, updates)` fills one update per snapshot, whose
// serials are set already.
template <typename Decide>
void forEachBatch(ResultStore& results, bool withValues, Decide&& decide) {
    std::vector<ResultSnapshot> batch;
    std::vector<ResultStore::Update> updates;
    bool fromStart = true;
    std::uint32_t last = 0;
    for (;;) {
        const std::size_t taken = results.snapshot(fromStart, last, kBatch, batch, withValues);
        if (taken == 0) return;
        updates.clear();
        updates.resize(taken);
        for (std::size_t i = 0; i < taken; ++i) updates[i].serial = batch[i].serial;
        decide(batch, taken, updates);
        results.apply(updates);
        fromStart = false;
        last = batch[taken - 1].serial;
    }
}

// Walks the paths of a batch again: each node once per pass, then the leaves
// in runs. Calls `use(i, address, bytes)` for every result whose path
// resolved and whose value could be read; results skipped by `wanted` or
// failing are not passed.
class BatchResolver {
public:
    BatchResolver(MemoryReader& reader, const PathTable& paths, std::size_t size, const ModuleBases* modules)
        : nodeCache_(reader), nodes_(nodeCache_, paths, modules), leaves_(reader, size) {}

    template <typename Wanted, typename Use>
    void resolve(const std::vector<ResultSnapshot>& batch, std::size_t taken, Wanted&& wanted, Use&& use) {
        addresses_.resize(taken);
        ok_.resize(taken);
        // Neighbours mostly share their node: its base is looked up once for them.
        std::uint32_t lastParent = kNoPathNode;
        std::uint64_t base = 0;
        bool baseOk = true;
        for (std::size_t i = 0; i < taken; ++i) {
            const ResultSnapshot& entry = batch[i];
            if (i == 0 || entry.parent != lastParent) {
                lastParent = entry.parent;
                baseOk = nodes_.base(entry.parent, base);
            }
            ok_[i] = baseOk && wanted(entry);
            addresses_[i] = base + static_cast<std::uint64_t>(entry.leafOffset);
        }
        leaves_.forEach(addresses_.data(), ok_.data(), taken, [&](std::size_t i, const unsigned char* bytes) {
            if (bytes != nullptr) use(i, addresses_[i], bytes);
        });
    }

private:
    // Pointer levels of neighbouring results lie on the same pages.
    PageCache nodeCache_;
    NodeResolver nodes_;
    LeafReader leaves_;
    std::vector<std::uint64_t> addresses_;
    std::vector<std::uint8_t> ok_;
};

}  // namespace

SearchCondition firstSearchCondition(SearchCondition condition) {
    return condition >= SearchCondition::Unchanged ? SearchCondition::None : condition;
}

StoredValue storedValueOf(ValueType type, std::uint8_t baseMode, const unsigned char* bytes, const TextCodec& codec) {
    if (isTextType(type)) return StoredValue::text(valueText(type, baseMode, bytes, codec));
    return StoredValue::number(type, baseMode, bytes);
}

StoredValue storedValueOf(const ValueFilter& filter, const unsigned char* bytes) { return filter.storedValue(bytes); }

void runNextSearchPass(MemoryReader& reader, ResultStore& results, const SearchSettings& settings,
                       const TextCodec& codec, const ModuleBases* modules) {
    const auto paths = results.paths();
    if (paths) {
        const ValueFilter filter(settings.type, settings.baseMode, settings.condition, settings.value1, settings.value2,
                                 codec);
        const bool compares = settings.condition >= SearchCondition::Unchanged;
        BatchResolver resolver(reader, *paths, filter.readSize(), modules);
        forEachBatch(results, compares,
                     [&](const std::vector<ResultSnapshot>& batch, std::size_t taken,
                         std::vector<ResultStore::Update>& updates) {
                         for (std::size_t i = 0; i < taken; ++i) updates[i].keep = false;
                         resolver.resolve(
                             batch, taken, [](const ResultSnapshot& entry) { return entry.address != 0; },
                             [&](std::size_t i, std::uint64_t address, const unsigned char* bytes) {
                                 if (!filter.matches(bytes)) return;
                                 if (compares && !keepsChange(settings.condition, settings.type, settings.baseMode,
                                                              bytes, batch[i].value, codec))
                                     return;
                                 ResultStore::Update& update = updates[i];
                                 update.keep = true;
                                 update.changed = true;
                                 update.address = address;
                                 update.value = filter.storedValue(bytes);
                             });
                     });
    }
    results.compact();
}

void runMonitorCycle(MemoryReader& reader, ResultStore& results, ValueType type, std::uint8_t baseMode,
                     const TextCodec& codec, const ModuleBases* modules) {
    const bool numbers = !isTextType(type);
    const auto paths = results.paths();
    if (!paths) return;
    BatchResolver resolver(reader, *paths, valueReadSize(type), modules);
    forEachBatch(
        results, false,
        [&](const std::vector<ResultSnapshot>& batch, std::size_t taken, std::vector<ResultStore::Update>& updates) {
            resolver.resolve(
                batch, taken, [](const ResultSnapshot&) { return true; },
                [&](std::size_t i, std::uint64_t address, const unsigned char* bytes) {
                    ResultStore::Update& update = updates[i];
                    update.changed = true;
                    update.address = address;
                    update.value = numbers ? StoredValue::number(type, baseMode, bytes)
                                           : storedValueOf(type, baseMode, bytes, codec);
                });
        });
}

void runReformatPass(MemoryReader& reader, ResultStore& results, ValueType type, std::uint8_t baseMode,
                     const TextCodec& codec) {
    LeafReader leaves(reader, valueReadSize(type));
    const bool numbers = !isTextType(type);
    std::vector<std::uint64_t> addresses;
    std::vector<std::uint8_t> all;
    forEachBatch(
        results, false,
        [&](const std::vector<ResultSnapshot>& batch, std::size_t taken, std::vector<ResultStore::Update>& updates) {
            addresses.resize(taken);
            all.assign(taken, 1);
            for (std::size_t i = 0; i < taken; ++i) addresses[i] = batch[i].address;
            leaves.forEach(addresses.data(), all.data(), taken, [&](std::size_t i, const unsigned char* bytes) {
                if (bytes == nullptr) return;
                ResultStore::Update& update = updates[i];
                update.changed = true;
                update.address = addresses[i];
                update.value =
                    numbers ? StoredValue::number(type, baseMode, bytes) : storedValueOf(type, baseMode, bytes, codec);
            });
        });
}

}  // namespace corvane
