#include "engine/pointers/pointer_rescan.h"

#include <optional>
#include <unordered_map>

#include "engine/target/page_cache.h"
#include "engine/search/path_table.h"

namespace corvane {
namespace {

// Module bases looked up once per rescan, however many paths name them.
class BaseCache {
public:
    BaseCache(ModuleLookup* modules, std::vector<std::string>& missing) : modules_(modules), missing_(missing) {}

    std::optional<std::uint64_t> base(const std::string& name) {
        for (const auto& [known, base] : bases_)
            if (sameModuleName(known, name)) return base;
        std::optional<std::uint64_t> found = modules_ ? modules_->moduleBase(name) : std::nullopt;
        if (!found) missing_.push_back(name);
        bases_.emplace_back(name, found);
        return found;
    }

private:
    ModuleLookup* modules_;
    std::vector<std::string>& missing_;
    std::vector<std::pair<std::string, std::optional<std::uint64_t>>> bases_;
};

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
                                const std::vector<std::string>& paths, const StopFlag& stop,
                                std::vector<std::string>& kept) {
    PointerRescanReport report;
    // Few pages: the memo serves a slot met again, so the cache serves only
    // neighbours, and its misses cost a search of every page it holds.
    PageCache cache(reader, 256);
    PointerMemo pointers(cache);
    BaseCache bases(modules, report.missingModules);
    std::vector<std::int64_t> offsets;
    std::string module;
    // The path before: its levels' addresses, the first `valid` of them read.
    std::vector<std::int64_t> lastOffsets;
    std::string lastModule;
    std::vector<std::uint64_t> at;
    std::size_t valid = 0;
    for (const std::string& path : paths) {
        if (stop.raised()) {
            report.stopped = true;
            break;
        }
        bool leads = false;
        if (parsePathText(path, offsets, module)) {
            std::size_t shared = 0;
            if (module == lastModule)
                while (shared < valid && shared < offsets.size() && offsets[shared] == lastOffsets[shared]) ++shared;
            at.resize(offsets.size());
            bool readable = true;
            std::size_t level = shared;
            if (level == 0) {
                std::optional<std::uint64_t> base{0};
                if (!module.empty()) base = bases.base(module);
                readable = base.has_value();
                if (readable) at[level++] = *base + static_cast<std::uint64_t>(offsets[0]);
            }
            for (; readable && level < offsets.size(); ++level) {
                std::uint64_t pointer = 0;
                readable = pointers.read(at[level - 1], pointer);
                if (!readable) break;
                at[level] = pointer + static_cast<std::uint64_t>(offsets[level]);
            }
            valid = level;
            lastOffsets = offsets;
            lastModule = module;
            leads = readable && at[offsets.size() - 1] == address;
        } else {
            valid = 0;
        }
        if (leads) {
            kept.push_back(path);
            ++report.kept;
        } else {
            ++report.dropped;
        }
    }
    return report;
}

}  // namespace corvane
