#include "engine/pointers/runs_walk.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <unordered_map>

#include "engine/kit/elapsed_time.h"
#include "engine/target/module_lookup.h"

namespace corvane {
namespace {

using Wide = __int128;

// One run as the walk asks it: its slots by their words, and which slots
// are static.
class RunView {
public:
    RunView(const RunMap& map, const std::vector<std::string>& modules) : map_(map) {
        byWord_.resize(map.size());
        for (std::size_t i = 0; i < byWord_.size(); ++i) byWord_[i] = static_cast<std::uint32_t>(i);
        std::stable_sort(byWord_.begin(), byWord_.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return map.words[a] < map.words[b]; });
        for (const ModuleImage& image : map.images) {
            if (!isWritableModuleName(image.name) || image.size == 0) continue;
            if (!modules.empty() && std::none_of(modules.begin(), modules.end(), [&](const std::string& name) {
                    return sameModuleName(name, image.name);
                }))
                continue;
            statics_.push_back(image);
        }
        std::sort(statics_.begin(), statics_.end(),
                  [](const ModuleImage& a, const ModuleImage& b) { return a.start < b.start; });
    }

    std::uint64_t address() const { return map_.address; }
    std::uint64_t slot(std::uint32_t index) const { return map_.slots[index]; }
    std::uint64_t word(std::uint32_t index) const { return map_.words[index]; }

    // The ranks (positions in word order) of the words in [low, high].
    std::pair<std::size_t, std::size_t> wordsBetween(Wide low, Wide high) const {
        const auto first = std::lower_bound(byWord_.begin(), byWord_.end(), low,
                                            [&](std::uint32_t i, Wide v) { return Wide{map_.words[i]} < v; });
        const auto last = std::upper_bound(first, byWord_.end(), high,
                                           [&](Wide v, std::uint32_t i) { return v < Wide{map_.words[i]}; });
        return {static_cast<std::size_t>(first - byWord_.begin()), static_cast<std::size_t>(last - byWord_.begin())};
    }
    std::uint32_t atRank(std::size_t rank) const { return byWord_[rank]; }

    // The static image holding a slot, or null.
    const ModuleImage* staticImage(std::uint64_t slot) const {
        auto it = std::upper_bound(statics_.begin(), statics_.end(), slot,
                                   [](std::uint64_t s, const ModuleImage& image) { return s < image.start; });
        if (it == statics_.begin()) return nullptr;
        --it;
        return slot < it->end() ? &*it : nullptr;
    }

private:
    const RunMap& map_;
    std::vector<std::uint32_t> byWord_;
    std::vector<ModuleImage> statics_;
};

// A link of a level: from a tuple of it down to a tuple of the level below
// (at level 1, to the addresses), by one offset.
struct Link {
    std::uint32_t tuple;
    std::uint32_t below;
    std::int64_t offset;
};

struct Level {
    std::vector<std::uint32_t> members;  // n slot indices per tuple
    std::vector<Link> links;             // sorted by tuple once the level is whole
    std::vector<std::uint32_t> roots;
    std::vector<std::uint32_t> starts;  // tuples the next level grows from
};

class Walk {
public:
    Walk(const std::vector<const RunMap*>& runs, const PointerScanSettings& settings, const StopFlag& stop,
         PointerScanProgress& progress, const PathSink& emit)
        : settings_(settings), stop_(stop), progress_(progress), emit_(emit) {
        for (const RunMap* run : runs) views_.emplace_back(*run, settings.modules);
        n_ = views_.size();
        stack_.assign(n_, {});
    }

    PointerScanReport run() {
        PointerScanReport report;
        const unsigned depth = std::min(settings_.depth, kMaxPointerDepth);
        levels_.resize(depth + 1);
        progress_.phase = PointerScanProgress::Levels;
        const auto start = std::chrono::steady_clock::now();
        for (unsigned level = 1; level <= depth && more_; ++level) {
            progress_.level = level;
            if (!build(level)) break;
            const auto pathsStart = std::chrono::steady_clock::now();
            progress_.phase = PointerScanProgress::Paths;
            if (level >= settings_.lastOffsets.size()) writeLevel(level);
            pathsMs_ += millisecondsSince(pathsStart);
            progress_.phase = PointerScanProgress::Levels;
            if (levels_[level].starts.empty()) break;
        }
        report.paths = written_;
        report.stopped = stopped_;
        report.total = written_;
        if (stopped_ || limitMet_) {
            report.totalIsLowerBound = true;
            if (limitMet_) report.total = written_ + 1;
        }
        report.pathsMs = pathsMs_;
        const std::uint32_t all = millisecondsSince(start);
        report.levelsMs = all > pathsMs_ ? all - pathsMs_ : 0;
        progress_.phase = PointerScanProgress::Done;
        return report;
    }

private:
    // Where tuple `tuple` of `level` (0: the addresses) leads in run `r`.
    std::uint64_t reach(unsigned level, std::uint32_t tuple, std::size_t r) const {
        if (level == 0) return views_[r].address();
        return views_[r].slot(levels_[level].members[tuple * n_ + r]);
    }

    bool build(unsigned level) {
        Level& here = levels_[level];
        std::unordered_map<std::string, std::uint32_t> known;
        std::vector<std::uint32_t> below = level == 1 ? std::vector<std::uint32_t>{0} : levels_[level - 1].starts;
        const std::size_t lasts = settings_.lastOffsets.size();
        // Offsets are counted from the address: the last offset is level 1's.
        const bool fixed = level <= lasts;
        const std::int64_t wanted = fixed ? settings_.lastOffsets[lasts - level] : 0;
        std::vector<std::pair<std::size_t, std::size_t>> ranges(n_);
        std::vector<std::size_t> at(n_);
        std::vector<std::uint32_t> tuple(n_);
        std::string key(n_ * 4, '\0');
        std::size_t steps = 0;
        for (const std::uint32_t from : below) {
            const Wide reach0 = reach(level - 1, from, 0);
            Wide low = reach0 - settings_.maxOffset;
            Wide high = reach0 - settings_.minOffset;
            if (fixed) low = high = reach0 - wanted;
            const auto [first, last] = views_[0].wordsBetween(low, high);
            for (std::size_t rank = first; rank < last; ++rank) {
                if ((++steps & 0xFFF) == 0 && stop_.raised()) {
                    stopped_ = true;
                    return false;
                }
                const std::uint32_t lead = views_[0].atRank(rank);
                const Wide offset = reach0 - Wide{views_[0].word(lead)};
                bool everywhere = true;
                for (std::size_t r = 1; r < n_ && everywhere; ++r) {
                    const Wide word = Wide{reach(level - 1, from, r)} - offset;
                    ranges[r] = views_[r].wordsBetween(word, word);
                    everywhere = ranges[r].first < ranges[r].second;
                }
                if (!everywhere) continue;
                // Every choice of one slot per run.
                tuple[0] = lead;
                for (std::size_t r = 1; r < n_; ++r) at[r] = ranges[r].first;
                while (true) {
                    for (std::size_t r = 1; r < n_; ++r) tuple[r] = views_[r].atRank(at[r]);
                    std::memcpy(key.data(), tuple.data(), n_ * 4);
                    const auto [found, added] =
                        known.try_emplace(key, static_cast<std::uint32_t>(here.members.size() / n_));
                    if (added) {
                        here.members.insert(here.members.end(), tuple.begin(), tuple.end());
                        classify(level, found->second);
                    }
                    here.links.push_back({found->second, from, static_cast<std::int64_t>(offset)});
                    std::size_t r = n_ - 1;
                    while (r >= 1 && ++at[r] == ranges[r].second) {
                        at[r] = ranges[r].first;
                        --r;
                    }
                    if (r == 0) break;
                }
            }
        }
        std::sort(here.links.begin(), here.links.end(), [](const Link& a, const Link& b) { return a.tuple < b.tuple; });
        return true;
    }

    // A new tuple of `level`: a root when its slots lie at one place of one
    // module in every run, a start of the next level when none is static.
    void classify(unsigned level, std::uint32_t index) {
        Level& here = levels_[level];
        const ModuleImage* first = views_[0].staticImage(views_[0].slot(here.members[index * n_]));
        bool anyStatic = first != nullptr;
        bool root = first != nullptr;
        for (std::size_t r = 1; r < n_; ++r) {
            const std::uint64_t slot = views_[r].slot(here.members[index * n_ + r]);
            const ModuleImage* image = views_[r].staticImage(slot);
            anyStatic = anyStatic || image != nullptr;
            root = root && image != nullptr && sameModuleName(image->name, first->name) &&
                   slot - image->start == views_[0].slot(here.members[index * n_]) - first->start;
        }
        if (root)
            here.roots.push_back(index);
        else if (!anyStatic)
            here.starts.push_back(index);
    }

    void writeLevel(unsigned level) {
        const Level& here = levels_[level];
        for (const std::uint32_t root : here.roots) {
            const std::uint64_t slot = views_[0].slot(here.members[root * n_]);
            const ModuleImage* image = views_[0].staticImage(slot);
            path_.module = image->name;
            path_.start = slot - image->start;
            path_.offsets.clear();
            if (!descend(level, root)) return;
        }
    }

    bool descend(unsigned level, std::uint32_t tuple) {
        const Level& here = levels_[level];
        for (std::size_t r = 0; r < n_; ++r) stack_[r].push_back(views_[r].slot(here.members[tuple * n_ + r]));
        const auto link = std::lower_bound(here.links.begin(), here.links.end(), tuple,
                                           [](const Link& l, std::uint32_t t) { return l.tuple < t; });
        bool more = true;
        for (auto it = link; more && it != here.links.end() && it->tuple == tuple; ++it) {
            if (level > 1) {
                bool again = false;
                for (std::size_t r = 0; r < n_ && !again; ++r) {
                    const std::uint64_t next = reach(level - 1, it->below, r);
                    again = std::find(stack_[r].begin(), stack_[r].end(), next) != stack_[r].end();
                }
                if (again) continue;
            }
            path_.offsets.push_back(it->offset);
            more = level == 1 ? write() : descend(level - 1, it->below);
            path_.offsets.pop_back();
        }
        for (std::size_t r = 0; r < n_; ++r) stack_[r].pop_back();
        return more;
    }

    bool write() {
        if (stop_.raised()) {
            stopped_ = true;
            more_ = false;
            return false;
        }
        if (written_ >= settings_.limit) {
            limitMet_ = true;
            more_ = false;
            return false;
        }
        emit_(path_);
        ++written_;
        progress_.paths.store(written_, std::memory_order_relaxed);
        return true;
    }

    const PointerScanSettings& settings_;
    const StopFlag& stop_;
    PointerScanProgress& progress_;
    const PathSink& emit_;
    std::vector<RunView> views_;
    std::size_t n_ = 0;
    std::vector<Level> levels_;
    std::vector<std::vector<std::uint64_t>> stack_;
    PointerPath path_;
    std::uint64_t written_ = 0;
    bool limitMet_ = false;
    bool stopped_ = false;
    bool more_ = true;
    std::uint32_t pathsMs_ = 0;
};

// One saved run as a target to scan: its regions read as zeros but for the
// words of its slots, which are all a scan keeps of them anyway.
class SavedRun : public MemoryReader, public RegionLookup {
public:
    explicit SavedRun(const RunMap& map) : map_(map) {}

    bool read(std::uint64_t address, void* buffer, std::size_t size) override {
        std::memset(buffer, 0, size);
        auto* bytes = static_cast<unsigned char*>(buffer);
        auto at = static_cast<std::size_t>(std::lower_bound(map_.slots.begin(), map_.slots.end(), address) -
                                           map_.slots.begin());
        for (; at < map_.size() && map_.slots[at] + map_.width <= address + size; ++at) {
            const std::uint64_t word = map_.words[at];
            std::memcpy(bytes + (map_.slots[at] - address), &word, map_.width);
        }
        return true;
    }
    unsigned pointerWidth() const override { return map_.width; }
    std::vector<MemoryRegion> readableRegions() override { return map_.regions; }
    std::vector<ModuleImage> moduleImages() override { return map_.images; }

private:
    const RunMap& map_;
};

}  // namespace

PointerScanReport walkRuns(const std::vector<const RunMap*>& runs, const PointerScanSettings& settings,
                           const StopFlag& stop, PointerScanProgress& progress, const PathSink& emit) {
    if (runs.empty()) return {};
    if (runs.size() == 1) {
        // One run is a scan of it: the same paths, at a scan's speed and memory.
        SavedRun saved(*runs.front());
        PointerScan scan(saved, saved);
        PointerScanSettings own = settings;
        own.address = runs.front()->address;
        PointerScanReport report = scan.run(own, emit, stop, progress);
        progress.phase = PointerScanProgress::Done;
        return report;
    }
    Walk walk(runs, settings, stop, progress, emit);
    PointerScanReport report = walk.run();
    for (const RunMap* run : runs) report.pointers += run->size();
    return report;
}

}  // namespace corvane
