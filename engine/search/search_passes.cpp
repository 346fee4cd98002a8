#include "engine/search/search_passes.h"

#include <cstring>
#include <vector>

#include "engine/values/change_compare.h"
#include "engine/search/leaf_reads.h"
#include "engine/values/value_text.h"

namespace corvane {
namespace {

// Entries a pass takes from the store at a time: the lock is held only to
// copy their paths out and to write the outcome back.
constexpr std::size_t kBatch = 4096;

// What a pass read for one batch, outside the store's lock: per entry of
// the batch whether its value was read (and kept by the pass) and its
// address; then the value, as raw bytes for the number kinds and as the
// store keeps it for the texts, with the bytes read where a text is compared
// with the listed one.
struct FreshValues {
    FreshValues(ValueType valueType, std::uint8_t valueBaseMode, const TextCodec& textCodec, bool textBytes)
        : type(valueType),
          baseMode(valueBaseMode),
          numbers(!isTextType(valueType)),
          withBytes(textBytes && !numbers),
          size(valueReadSize(valueType)),
          mask(size >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * size)) - 1),
          codec(textCodec) {}

    void reset(std::size_t n) {
        ok.assign(n, false);
        if (addresses.size() < n) addresses.resize(n);
        if (numbers && raws.size() < n) raws.resize(n);
        if (!numbers && texts.size() < n) texts.resize(n);
        if (withBytes && bytes.size() < n * size) bytes.resize(n * size);
    }
    void set(std::size_t i, std::uint64_t address, const unsigned char* read) {
        ok[i] = true;
        addresses[i] = address;
        if (numbers) {
            // The reader leaves room to load a whole word (LeafReader::kSlack).
            std::uint64_t word;
            std::memcpy(&word, read, sizeof word);
            raws[i] = word & mask;
            return;
        }
        texts[i] = storedValueOf(type, baseMode, read, codec);
        if (withBytes) std::memcpy(bytes.data() + i * size, read, size);
    }
    // Writes what was read into an entry; a value that could not be read
    // leaves the entry as it was.
    void write(std::size_t i, ResultEntry& entry) {
        if (!ok[i]) return;
        entry.address = addresses[i];
        if (numbers)
            entry.value.setNumberRaw(type, baseMode, raws[i]);
        else
            entry.value = std::move(texts[i]);
    }
    bool keepsChange(const ChangeTest& change, std::size_t i, const ResultEntry& entry) const {
        return numbers ? change.keepsNumber(raws[i], entry.value) : change.keeps(bytes.data() + i * size, entry.value);
    }

    const ValueType type;
    const std::uint8_t baseMode;
    const bool numbers;
    const bool withBytes;
    const std::size_t size;
    const std::uint64_t mask;  // the bytes of a number kind's width, as StoredValue::rawOf keeps them
    const TextCodec& codec;
    Flags ok;
    std::vector<std::uint64_t> addresses;
    std::vector<std::uint64_t> raws;
    std::vector<StoredValue> texts;
    std::vector<unsigned char> bytes;
};

// Runs a pass batch by batch: `read(batch)` outside the store's lock, then
// `write(i, entry)` under it for every entry of the batch still there;
// an entry whose `write` returns false goes at the next compact().
template <typename Read, typename Write>
void forEachBatch(ResultStore& results, Read&& read, Write&& write) {
    ResultBatch batch;
    bool fromStart = true;
    std::uint32_t last = 0;
    for (;;) {
        const std::size_t taken = results.takeBatch(fromStart, last, kBatch, batch);
        if (taken == 0) return;
        read(static_cast<const ResultBatch&>(batch));
        results.updateBatch(batch, write);
        fromStart = false;
        last = batch.serials[taken - 1];
    }
}

// Walks the paths of a batch again: each node once per pass, then the leaves
// in runs. Calls `use(i, address, bytes)` for every entry whose path
// resolved and whose value could be read; entries skipped by `wanted` or
// failing are not passed.
class BatchResolver {
public:
    BatchResolver(MemoryReader& reader, const PathTable& paths, std::size_t size, const ModuleBases* modules)
        : nodeCache_(reader), nodes_(nodeCache_, paths, modules), leaves_(reader, size) {}

    template <typename Wanted, typename Use>
    void resolve(const ResultBatch& batch, Wanted&& wanted, Use&& use) {
        const std::size_t n = batch.count;
        addresses_.resize(n);
        ok_.assign(n, false);
        // Neighbours mostly share their node: its base is looked up once for
        // them, and their addresses are sums in a loop without branches.
        for (std::size_t i = 0; i < n;) {
            const std::uint32_t parent = batch.parents[i];
            std::size_t end = i + 1;
            while (end < n && batch.parents[end] == parent) ++end;
            std::uint64_t base = 0;
            const bool baseOk = nodes_.base(parent, base);
            for (std::size_t j = i; j < end; ++j)
                addresses_[j] = base + static_cast<std::uint64_t>(batch.leafOffsets[j]);
            if (baseOk)
                for (std::size_t j = i; j < end; ++j) ok_[j] = wanted(j);
            i = end;
        }
        leaves_.forEach(addresses_.data(), ok_.data(), n, [&](std::size_t i, const unsigned char* bytes) {
            if (bytes != nullptr) use(i, addresses_[i], bytes);
        });
    }

private:
    // Pointer levels of neighbouring results lie on the same pages.
    PageCache nodeCache_;
    NodeResolver nodes_;
    LeafReader leaves_;
    std::vector<std::uint64_t> addresses_;
    Flags ok_;
};

}  // namespace

SearchCondition firstSearchCondition(SearchCondition condition) {
    return condition >= SearchCondition::Unchanged ? SearchCondition::None : condition;
}

StoredValue storedValueOf(ValueType type, std::uint8_t baseMode, const unsigned char* bytes, const TextCodec& codec) {
    if (isTextType(type)) return StoredValue::text(valueText(type, baseMode, bytes, codec));
    return StoredValue::number(type, baseMode, bytes);
}

void runNextSearchPass(MemoryReader& reader, ResultStore& results, const SearchSettings& settings,
                       const TextCodec& codec, const ModuleBases* modules) {
    const auto paths = results.paths();
    if (paths) {
        const ValueFilter filter(settings.type, settings.baseMode, settings.condition, settings.value1, settings.value2,
                                 codec);
        const bool compares = settings.condition >= SearchCondition::Unchanged;
        const ChangeTest change(settings.condition, settings.type, settings.baseMode, codec);
        BatchResolver resolver(reader, *paths, filter.readSize(), modules);
        FreshValues fresh(settings.type, settings.baseMode, codec, compares);
        forEachBatch(
            results,
            [&](const ResultBatch& batch) {
                fresh.reset(batch.count);
                resolver.resolve(
                    batch, [&](std::size_t i) { return batch.addresses[i] != 0; },
                    [&](std::size_t i, std::uint64_t address, const unsigned char* bytes) {
                        if (filter.matches(bytes)) fresh.set(i, address, bytes);
                    });
            },
            // The change conditions compare with the listed value as it is
            // now, so they are decided under the lock.
            [&](std::size_t i, ResultEntry& entry) {
                if (!fresh.ok[i] || (compares && !fresh.keepsChange(change, i, entry))) return false;
                fresh.write(i, entry);
                return true;
            });
    }
    results.compact();
}

// Lists the rows of a batch that were not read.
void noteUnread(const ResultBatch& batch, const FreshValues& fresh, const PathTable* paths, UnreadRows* unread) {
    if (unread == nullptr) return;
    for (std::size_t i = 0; i < batch.count; ++i) {
        if (fresh.ok[i]) continue;
        ++unread->count;
        unread->serials.push_back(batch.serials[i]);
        if (unread->firstPaths.size() < UnreadRows::kNamed && paths != nullptr)
            paths->appendPathText(batch.parents[i], batch.leafOffsets[i], unread->firstPaths.emplace_back());
    }
}

void runMonitorCycle(MemoryReader& reader, ResultStore& results, ValueType type, std::uint8_t baseMode,
                     const TextCodec& codec, const ModuleBases* modules, UnreadRows* unread) {
    if (unread != nullptr) unread->clear();
    const auto paths = results.paths();
    if (!paths) return;
    BatchResolver resolver(reader, *paths, valueReadSize(type), modules);
    FreshValues fresh(type, baseMode, codec, false);
    forEachBatch(
        results,
        [&](const ResultBatch& batch) {
            fresh.reset(batch.count);
            resolver.resolve(
                batch, [](std::size_t) { return true; },
                [&](std::size_t i, std::uint64_t address, const unsigned char* bytes) {
                    fresh.set(i, address, bytes);
                });
            noteUnread(batch, fresh, paths.get(), unread);
        },
        [&](std::size_t i, ResultEntry& entry) {
            fresh.write(i, entry);
            return true;
        });
}

void runReformatPass(MemoryReader& reader, ResultStore& results, ValueType type, std::uint8_t baseMode,
                     const TextCodec& codec, UnreadRows* unread) {
    if (unread != nullptr) unread->clear();
    const auto paths = results.paths();
    LeafReader leaves(reader, valueReadSize(type));
    Flags all;
    FreshValues fresh(type, baseMode, codec, false);
    forEachBatch(
        results,
        [&](const ResultBatch& batch) {
            fresh.reset(batch.count);
            all.assign(batch.count, true);
            leaves.forEach(batch.addresses.data(), all.data(), batch.count,
                           [&](std::size_t i, const unsigned char* bytes) {
                               if (bytes != nullptr) fresh.set(i, batch.addresses[i], bytes);
                           });
            noteUnread(batch, fresh, paths.get(), unread);
        },
        [&](std::size_t i, ResultEntry& entry) {
            fresh.write(i, entry);
            return true;
        });
}

}  // namespace corvane
