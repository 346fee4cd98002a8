#include "engine/pointers/pointer_rescan.h"

#include <optional>
#include <unordered_map>

#include "engine/target/page_cache.h"

namespace corvane {
namespace {

// Pointer words read once per rescan: a scan's paths run through the same
// slots again and again, near the address above all, and a lookup here costs
// far less than a read call, or a miss of the page cache behind it.
class PointerMemo {
public:
    explicit PointerMemo(MemoryReader& reader) : reader_(reader) {}

    bool read(std::uint64_t address, std::uint64_t& pointer) {
        if (const auto found = known_.find(address); found != known_.end()) {
            pointer = found->second.value;
            return found->second.readable;
        }
        Known known;
        known.readable = readPointer(reader_, address, known.value);
        // Bounded, for files of many millions of paths.
        if (known_.size() >= kMostKnown) known_.clear();
        known_.emplace(address, known);
        pointer = known.value;
        return known.readable;
    }

private:
    static constexpr std::size_t kMostKnown = std::size_t{1} << 22;
    struct Known {
        std::uint64_t value = 0;
        bool readable = false;
    };
    MemoryReader& reader_;
    std::unordered_map<std::uint64_t, Known> known_;
};

}  // namespace

PointerRescanReport rescanPaths(MemoryReader& reader, ModuleLookup* modules, std::uint64_t address,
                                const std::vector<PointerPath>& paths, const StopFlag& stop,
                                std::vector<PointerPath>& kept) {
    PointerRescanReport report;
    // Few pages: the memo serves a slot met again, so the cache serves only
    // neighbours, and its misses cost a search of every page it holds.
    PageCache cache(reader, 256);
    PointerMemo pointers(cache);
    ModuleBaseCache bases(modules);
    // The path before, and its levels' slots, the first `valid` of them read.
    const PointerPath* last = nullptr;
    std::vector<std::uint64_t> at;
    std::size_t valid = 0;
    for (const PointerPath& path : paths) {
        if (stop.raised()) {
            report.stopped = true;
            break;
        }
        std::size_t shared = 0;
        if (last != nullptr && last->module == path.module && last->start == path.start) {
            shared = 1;
            while (shared < valid && shared < path.offsets.size() + 1 &&
                   path.offsets[shared - 1] == last->offsets[shared - 1])
                ++shared;
        }
        // at[0] is the static slot, at[i] the slot offset i reaches.
        at.resize(path.offsets.size() + 1);
        bool readable = true;
        std::size_t level = std::min(shared, valid);
        if (level == 0) {
            const std::optional<std::uint64_t> base = bases.base(path.module);
            readable = base.has_value();
            if (readable) at[level++] = *base + path.start;
        }
        for (; readable && level < at.size(); ++level) {
            std::uint64_t pointer = 0;
            readable = pointers.read(at[level - 1], pointer);
            if (!readable) break;
            at[level] = pointer + static_cast<std::uint64_t>(path.offsets[level - 1]);
        }
        valid = level;
        last = &path;
        if (readable && at.back() == address) {
            kept.push_back(path);
            ++report.kept;
        } else {
            ++report.dropped;
        }
    }
    report.missingModules = bases.missing();
    return report;
}

}  // namespace corvane
