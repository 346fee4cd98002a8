#include "engine/pointers/runs_walk.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "engine/kit/both_cores.h"
#include "engine/kit/elapsed_time.h"
#include "engine/pointers/run_index.h"
#include "engine/target/module_lookup.h"

namespace corvane {
namespace {

using Wide = __int128;

// The tuples of a level, each told once: an open table of their indices,
// the tuples' ranks held in the level itself.
class TupleSet {
public:
    TupleSet(const std::vector<std::uint32_t>& members, std::size_t n) : members_(members), n_(n) {}

    // The tuple's index, and whether it is new; a new tuple's index is the
    // count of tuples before it, and the caller appends it.
    std::pair<std::uint32_t, bool> find(const std::uint32_t* tuple) {
        const std::size_t count = members_.size() / n_;
        if (2 * (count + 1) > table_.size()) grow(count);
        const std::size_t mask = table_.size() - 1;
        for (std::size_t at = hash(tuple) & mask;; at = (at + 1) & mask) {
            const std::uint32_t held = table_[at];
            if (held == 0) {
                table_[at] = static_cast<std::uint32_t>(count + 1);
                return {static_cast<std::uint32_t>(count), true};
            }
            if (same(tuple, members_.data() + std::size_t{held - 1} * n_)) return {held - 1, false};
        }
    }

    std::size_t memoryBytes() const { return table_.capacity() * sizeof(std::uint32_t); }

private:
    // A few ranks: a loop beats a call to compare memory.
    bool same(const std::uint32_t* a, const std::uint32_t* b) const {
        for (std::size_t r = 0; r < n_; ++r)
            if (a[r] != b[r]) return false;
        return true;
    }
    std::uint64_t hash(const std::uint32_t* tuple) const {
        std::uint64_t h = 0x9E3779B97F4A7C15ull;
        for (std::size_t r = 0; r < n_; ++r) {
            h = (h ^ tuple[r]) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        }
        return h;
    }
    void grow(std::size_t count) {
        std::vector<std::uint32_t> table(std::max<std::size_t>(64, table_.size() * 2));
        const std::size_t mask = table.size() - 1;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::size_t at = hash(members_.data() + std::size_t{i} * n_) & mask;
            while (table[at] != 0) at = (at + 1) & mask;
            table[at] = i + 1;
        }
        table_.swap(table);
    }

    const std::vector<std::uint32_t>& members_;
    const std::size_t n_;
    std::vector<std::uint32_t> table_;
};

// A level of the walk: tuples of pointers, one per run (their ranks in the
// runs' indices), from whose slots the same offsets lead to the runs'
// values.
struct Level {
    std::vector<std::uint32_t> members;  // n ranks per tuple
    std::vector<std::uint32_t> roots;
    // The tuples the next level grows from, by their first run's slot, for
    // the descent of the paths to find them again.
    std::vector<std::uint32_t> starts;
    std::vector<std::uint64_t> startSlots;

    std::size_t memoryBytes() const {
        return (members.capacity() + roots.capacity() + starts.capacity()) * sizeof(std::uint32_t) +
               startSlots.capacity() * sizeof(std::uint64_t);
    }
};

class Walk {
public:
    Walk(const std::vector<RunIndex>& runs, const PointerScanSettings& settings, const StopFlag& stop,
         PointerScanProgress& progress, const PathSink& emit)
        : runs_(runs), n_(runs.size()), settings_(settings), stop_(stop), progress_(progress), emit_(emit) {
        stack_.assign(n_, {});
        // Runs that share most of their memory share its partial paths too,
        // and pointers many others point at multiply them: the levels may
        // hold a tuple for each pointer of the runs (at least a few million),
        // and the walk goes no deeper than that room allows.
        for (const RunIndex& run : runs_) mostTuples_ += run.size();
        mostTuples_ = std::clamp<std::size_t>(mostTuples_, std::size_t{1} << 22, 0xFFFFFFF0u);
    }

    PointerScanReport run() {
        PointerScanReport report;
        const unsigned depth = std::min(settings_.depth, kMaxPointerDepth);
        levels_.resize(depth + 1);
        progress_.phase = PointerScanProgress::Levels;
        const auto start = std::chrono::steady_clock::now();
        std::size_t levelBytes = 0;
        for (unsigned level = 1; level <= depth && more_; ++level) {
            progress_.level = level;
            if (!build(level)) break;
            levelBytes += levels_[level].memoryBytes();
            peakBytes_ = std::max(peakBytes_, levelBytes);
            const auto pathsStart = std::chrono::steady_clock::now();
            progress_.phase = PointerScanProgress::Paths;
            if (level >= settings_.lastOffsets.size()) writeLevel(level);
            pathsMs_ += millisecondsSince(pathsStart);
            progress_.phase = PointerScanProgress::Levels;
            if (levels_[level].starts.empty()) break;
        }
        report.paths = written_;
        report.stopped = stopped_;
        report.crowded = crowded_;
        report.total = written_;
        if (stopped_ || limitMet_ || crowded_) {
            report.totalIsLowerBound = true;
            if (limitMet_) report.total = written_ + 1;
        }
        report.pathsMs = pathsMs_;
        report.peakBytes = peakBytes_;
        const std::uint32_t all = millisecondsSince(start);
        report.levelsMs = all > pathsMs_ ? all - pathsMs_ : 0;
        progress_.phase = PointerScanProgress::Done;
        return report;
    }

private:
    // The offset every link into `level` takes when the last offsets fix it.
    std::optional<std::int64_t> fixedOffset(unsigned level) const {
        const std::size_t lasts = settings_.lastOffsets.size();
        // Offsets are counted from the value: the last offset is level 1's.
        if (level > lasts) return std::nullopt;
        return settings_.lastOffsets[lasts - level];
    }

    // Where a start of the level below leads in each run: its slots, or the
    // values for the first level.
    void reachOf(unsigned level, std::uint32_t tuple, std::vector<std::uint64_t>& reach) const {
        for (std::size_t r = 0; r < n_; ++r)
            reach[r] = level == 0 ? runs_[r].address() : runs_[r].slot(levels_[level].members[tuple * n_ + r]);
    }

    // Level `level`: every tuple whose words reach a start of the level below
    // by one offset in every run. The runs' windows are walked together in
    // word order, as their offsets from the start's slots fall alike.
    bool build(unsigned level) {
        Level& here = levels_[level];
        TupleSet known(here.members, n_);
        const std::vector<std::uint32_t> first{0};
        const std::vector<std::uint32_t>& below = level == 1 ? first : levels_[level - 1].starts;
        const std::optional<std::int64_t> fixed = fixedOffset(level);
        std::vector<std::uint64_t> reach(n_);
        std::vector<RunIndex::Ranks> window(n_);
        std::vector<std::uint32_t> at(n_);
        std::vector<std::uint32_t> groupEnd(n_);
        std::vector<std::uint32_t> tuple(n_);
        std::vector<RunIndex::WordWalker> words;
        for (const RunIndex& run : runs_) words.emplace_back(run);
        std::size_t steps = 0;
        for (const std::uint32_t from : below) {
            if ((++steps & 0x3FF) == 0 && stop_.raised()) {
                stopped_ = true;
                return false;
            }
            reachOf(level - 1, from, reach);
            bool everywhere = true;
            for (std::size_t r = 0; r < n_ && everywhere; ++r) {
                const Wide low = Wide{reach[r]} - (fixed ? *fixed : settings_.maxOffset);
                const Wide high = Wide{reach[r]} - (fixed ? *fixed : settings_.minOffset);
                window[r] = runs_[r].wordsBetween(low, high);
                at[r] = window[r].first;
                everywhere = !window[r].empty();
            }
            if (!everywhere) continue;
            // The distance of a word from its run's reach, alike in every run
            // for the members of one tuple.
            const auto distance = [&](std::size_t r, std::uint32_t rank) { return words[r](rank) - reach[r]; };
            while (at[0] < window[0].last) {
                const std::uint64_t d = distance(0, at[0]);
                groupEnd[0] = at[0] + 1;
                while (groupEnd[0] < window[0].last && distance(0, groupEnd[0]) == d) ++groupEnd[0];
                bool matched = true;
                bool ended = false;
                for (std::size_t r = 1; r < n_ && matched; ++r) {
                    // Words below the reach wrap around: compared as signed.
                    while (at[r] < window[r].last &&
                           static_cast<std::int64_t>(distance(r, at[r])) < static_cast<std::int64_t>(d))
                        ++at[r];
                    if (at[r] == window[r].last) {
                        ended = true;
                        break;
                    }
                    matched = distance(r, at[r]) == d;
                    if (matched) {
                        groupEnd[r] = at[r] + 1;
                        while (groupEnd[r] < window[r].last && distance(r, groupEnd[r]) == d) ++groupEnd[r];
                    }
                }
                if (ended) break;
                if (matched && !addEvery(level, at, groupEnd, tuple, known)) return false;
                at[0] = groupEnd[0];
            }
        }
        // The next level grows from the starts in their first run's slot order.
        std::vector<std::pair<std::uint64_t, std::uint32_t>> order;
        order.reserve(here.starts.size());
        for (const std::uint32_t start : here.starts) order.push_back({runs_[0].slot(here.members[start * n_]), start});
        std::sort(order.begin(), order.end());
        for (std::size_t i = 0; i < order.size(); ++i) {
            here.startSlots.push_back(order[i].first);
            here.starts[i] = order[i].second;
        }
        peakBytes_ = std::max(peakBytes_, here.memoryBytes() + known.memoryBytes());
        return true;
    }

    // Every choice of one pointer per run from the groups [at, end) that
    // share an offset. False when stopped or when the levels hold as many
    // tuples as they may.
    bool addEvery(unsigned level, const std::vector<std::uint32_t>& at, const std::vector<std::uint32_t>& end,
                  std::vector<std::uint32_t>& tuple, TupleSet& known) {
        Level& here = levels_[level];
        tuple = at;
        while (true) {
            if ((++crossed_ & 0xFFFF) == 0 && stop_.raised()) {
                stopped_ = true;
                return false;
            }
            const auto [index, added] = known.find(tuple.data());
            if (added) {
                if (++tuples_ > mostTuples_) {
                    crowded_ = true;
                    return false;
                }
                here.members.insert(here.members.end(), tuple.begin(), tuple.end());
                classify(here, index);
            }
            std::size_t r = n_;
            while (r > 0 && ++tuple[r - 1] == end[r - 1]) {
                tuple[r - 1] = at[r - 1];
                --r;
            }
            if (r == 0) return true;
        }
    }

    // A new tuple: a root when its slots lie at one place of one module in
    // every run, a start of the next level when none is static.
    void classify(Level& here, std::uint32_t index) {
        const std::uint64_t slot0 = runs_[0].slot(here.members[index * n_]);
        const ModuleImage* first = runs_[0].staticImage(slot0);
        bool anyStatic = first != nullptr;
        bool root = first != nullptr;
        for (std::size_t r = 1; r < n_; ++r) {
            const std::uint64_t slot = runs_[r].slot(here.members[index * n_ + r]);
            const ModuleImage* image = runs_[r].staticImage(slot);
            anyStatic = anyStatic || image != nullptr;
            root = root && image != nullptr && sameModuleName(image->name, first->name) &&
                   slot - image->start == slot0 - first->start;
        }
        if (root)
            here.roots.push_back(index);
        else if (!anyStatic)
            here.starts.push_back(index);
    }

    void writeLevel(unsigned level) {
        const Level& here = levels_[level];
        for (const std::uint32_t root : here.roots) {
            const std::uint64_t slot = runs_[0].slot(here.members[root * n_]);
            const ModuleImage* image = runs_[0].staticImage(slot);
            path_.module = image->name;
            path_.start = slot - image->start;
            path_.offsets.clear();
            if (!descend(level, root)) return;
        }
    }

    // Writes the paths from a tuple of `level` down to the values: through
    // each start of the level below that its words reach by one offset in
    // every run, as the build linked them.
    bool descend(unsigned level, std::uint32_t tuple) {
        const std::uint32_t* members = levels_[level].members.data() + std::size_t{tuple} * n_;
        for (std::size_t r = 0; r < n_; ++r) stack_[r].push_back(runs_[r].slot(members[r]));
        const std::uint64_t word0 = runs_[0].word(members[0]);
        bool more = true;
        if (level == 1) {
            path_.offsets.push_back(static_cast<std::int64_t>(runs_[0].address() - word0));
            more = write();
            path_.offsets.pop_back();
        } else {
            const Level& below = levels_[level - 1];
            const std::optional<std::int64_t> fixed = fixedOffset(level);
            const Wide low = Wide{word0} + (fixed ? *fixed : settings_.minOffset);
            const Wide high = Wide{word0} + (fixed ? *fixed : settings_.maxOffset);
            auto it = low <= 0 ? below.startSlots.begin()
                               : std::lower_bound(below.startSlots.begin(), below.startSlots.end(),
                                                  static_cast<std::uint64_t>(std::min<Wide>(
                                                      low, Wide{std::numeric_limits<std::uint64_t>::max()})));
            for (; more && it != below.startSlots.end() && Wide{*it} <= high; ++it) {
                const std::uint32_t next = below.starts[static_cast<std::size_t>(it - below.startSlots.begin())];
                const std::uint32_t* nextMembers = below.members.data() + std::size_t{next} * n_;
                const std::uint64_t offset = *it - word0;
                bool linked = true;
                for (std::size_t r = 1; r < n_ && linked; ++r)
                    linked = runs_[r].slot(nextMembers[r]) == runs_[r].word(members[r]) + offset;
                if (!linked) continue;
                bool again = false;
                for (std::size_t r = 0; r < n_ && !again; ++r) {
                    const std::uint64_t slot = r == 0 ? *it : runs_[r].slot(nextMembers[r]);
                    again = std::find(stack_[r].begin(), stack_[r].end(), slot) != stack_[r].end();
                }
                if (again) continue;
                path_.offsets.push_back(static_cast<std::int64_t>(offset));
                more = descend(level - 1, next);
                path_.offsets.pop_back();
            }
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

    const std::vector<RunIndex>& runs_;
    const std::size_t n_;
    const PointerScanSettings& settings_;
    const StopFlag& stop_;
    PointerScanProgress& progress_;
    const PathSink& emit_;
    std::vector<Level> levels_;
    std::vector<std::vector<std::uint64_t>> stack_;
    PointerPath path_;
    std::uint64_t written_ = 0;
    bool limitMet_ = false;
    bool stopped_ = false;
    bool more_ = true;
    std::uint32_t pathsMs_ = 0;
    std::size_t peakBytes_ = 0;
    bool crowded_ = false;
    std::uint64_t crossed_ = 0;
    std::size_t tuples_ = 0;
    std::size_t mostTuples_ = 0;
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

// One run alone is a scan of it: the same paths, at a scan's speed and memory;
// `letGo`, when given, is told when the map is no longer needed.
PointerScanReport scanSavedRun(const RunMap& map, const PointerScanSettings& settings, const StopFlag& stop,
                               PointerScanProgress& progress, const PathSink& emit, std::function<void()> letGo = {}) {
    SavedRun saved(map);
    PointerScan scan(saved, saved);
    scan.afterReading = std::move(letGo);
    PointerScanSettings own = settings;
    own.address = map.address;
    PointerScanReport report = scan.run(own, emit, stop, progress);
    progress.phase = PointerScanProgress::Done;
    return report;
}

// Several runs: each indexed by word, `indexRun(i, index)` building run
// i's, two at a time where there are two cores; then walked together.
template <typename IndexRun>
PointerScanReport walkIndexed(std::size_t count, IndexRun indexRun, const PointerScanSettings& settings,
                              const StopFlag& stop, PointerScanProgress& progress, const PathSink& emit) {
    PointerScanReport report;
    progress.phase = PointerScanProgress::Sorting;
    const auto start = std::chrono::steady_clock::now();
    std::vector<RunIndex> indices(count);
    std::vector<char> built(count, 0);
    for (std::size_t i = 0; i < count && !stop.raised(); i += 2) {
        if (i + 1 < count && twoCores())
            runBoth([&] { built[i] = indexRun(i, indices[i]); },
                    [&] { built[i + 1] = indexRun(i + 1, indices[i + 1]); });
        else
            for (std::size_t j = i; j < std::min(count, i + 2); ++j) built[j] = indexRun(j, indices[j]);
    }
    std::size_t indexBytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        report.pointers += indices[i].size();
        indexBytes += indices[i].memoryBytes();
    }
    if (std::find(built.begin(), built.end(), 0) != built.end()) {
        report.stopped = true;
        report.totalIsLowerBound = true;
        progress.phase = PointerScanProgress::Done;
        return report;
    }
    const std::uint32_t sortMs = millisecondsSince(start);
    Walk walk(indices, settings, stop, progress, emit);
    const std::uint64_t pointers = report.pointers;
    report = walk.run();
    report.pointers = pointers;
    report.sortMs = sortMs;
    report.peakBytes += indexBytes;
    return report;
}

}  // namespace

PointerScanReport walkRuns(const std::vector<const RunMap*>& runs, const PointerScanSettings& settings,
                           const StopFlag& stop, PointerScanProgress& progress, const PathSink& emit) {
    if (runs.empty()) return {};
    if (runs.size() == 1) return scanSavedRun(*runs.front(), settings, stop, progress, emit);
    return walkIndexed(
        runs.size(), [&](std::size_t i, RunIndex& index) { return index.build(*runs[i], settings.modules, stop); },
        settings, stop, progress, emit);
}

PointerScanReport walkRuns(std::vector<RunMap>&& runs, const PointerScanSettings& settings, const StopFlag& stop,
                           PointerScanProgress& progress, const PathSink& emit) {
    if (runs.empty()) return {};
    // Read into the scan's own map, the saved one goes before the sort.
    if (runs.size() == 1)
        return scanSavedRun(runs.front(), settings, stop, progress, emit, [&runs] { runs.front() = RunMap{}; });
    return walkIndexed(
        runs.size(),
        [&](std::size_t i, RunIndex& index) { return index.build(std::move(runs[i]), settings.modules, stop); },
        settings, stop, progress, emit);
}

}  // namespace corvane
