#include "engine/pointers/pointer_scan.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "engine/kit/both_cores.h"
#include "engine/kit/elapsed_time.h"
#include "engine/kit/huge_pages.h"
#include "engine/target/module_lookup.h"
#include "engine/pointers/pointer_levels.h"

namespace corvane {
namespace {

using namespace pointer_levels;

// Totals stop here: a large process can hold more paths than 64 bits count.
constexpr std::uint64_t kCountCap = std::uint64_t{1} << 62;

std::uint64_t capped(Wide count) { return count >= Wide{kCountCap} ? kCountCap : static_cast<std::uint64_t>(count); }

// How many ranks ahead of a sweep the slots it will write are fetched.
constexpr std::size_t kAhead = 16;

// One run: the map, the levels built so far and the path being written.
class Run {
public:
    Run(const PointerMap& map, const PointerScanSettings& settings, std::vector<ModuleImage> statics,
        const StopFlag& stop, PointerScanProgress& progress, const PathSink& emit, std::size_t twoThreadsFrom)
        : twoThreadsFrom_(twoThreadsFrom),
          map_(map),
          settings_(settings),
          statics_(std::move(statics)),
          stop_(stop),
          progress_(progress),
          emit_(emit),
          levels_(std::min(settings.depth, kMaxPointerDepth) + 1) {}

    // Builds level `level` from the one below, whose counts are `below`, and
    // writes its paths. The slots that are no statics become the next
    // level's members unless this is the last, their counts left in `next`.
    // False when stopped or when the limit is met.
    bool buildLevel(unsigned level, bool last, std::vector<std::uint32_t>& below, std::vector<std::uint32_t>& next,
                    std::uint64_t& levelPaths, std::size_t& peakBytes) {
        std::vector<std::uint32_t> roots;
        Wide total = 0;
        StaticValues statics(map_.statics());
        const auto root = [&](std::size_t at, Wide sum) {
            const std::uint32_t count = slotCount(sum);
            if (count == kSlotCountCap) saturated_ = true;
            roots.push_back(static_cast<std::uint32_t>(at));
            total += count;
        };
        // Before the level's own sweep, which leaves its counts where the
        // level below's are.
        const bool rooted =
            level == 1 ? sweep(statics, AddressWalk(settings_.address), settings_, stop_, root)
                       : sweep(statics, LeapingWalk(map_, levels_[level - 1], bySlot_.get()), settings_, stop_, root);
        if (!rooted) return false;
        std::size_t members = 0;
        if (!last) {
            if (!bySlot_) {
                bySlot_.reset(new BySlot[map_.size()]);
                adviseHugePages(bySlot_.get(), map_.size() * sizeof(BySlot));
                seen_ = LevelBits(map_.size());
            }
            levels_[level] = LevelBits(map_.size());
            LevelBits& bits = levels_[level];
            // The level before the last is asked for only by the statics'
            // sweep and the paths from them: its members near a static's
            // value are all it needs, and most of a broad level's writes go.
            nearStatics_ = LevelBits();
            if (level + 2 == levels_.size()) markNearStatics();
            Tally tally;
            bool swept = false;
            // A level that covers much of the map is swept by two threads,
            // each its half of the values.
            if (level > 1 && map_.size() >= twoThreadsFrom_ && twoCores()) {
                const std::size_t half = map_.size() / 2;
                LevelBits upper(map_.size());
                Tally upperTally;
                bool upperSwept = false;
                runBoth([&] { swept = sweepMembers(level, below, 0, half, bits, tally); },
                        [&] { upperSwept = sweepMembers(level, below, half, map_.size(), upper, upperTally); });
                swept = swept && upperSwept;
                upper.mergeInto(bits);
                tally.members += upperTally.members;
                tally.saturated = tally.saturated || upperTally.saturated;
            } else {
                swept = sweepMembers(level, below, 0, map_.size(), bits, tally);
            }
            members = tally.members;
            if (tally.saturated) saturated_ = true;
            if (!swept) return false;
            if (bits.mergeInto(seen_)) loops_ = true;
        }

        levelPaths = capped(total);

        // The members' counts in address order, as the next level's sweep of
        // the map reads them; the last level sweeps only the statics, which
        // read the counts by slot.
        next.clear();
        members_ = members;
        if (!last && level + 1 < levels_.size() - 1) {
            next.reserve(members);
            const LevelBits& bits = levels_[level];
            std::size_t steps = 0;
            for (std::size_t index = bits.nextFrom(0); index < bits.size(); index = bits.nextFrom(index + 1)) {
                if ((++steps & 0xFFFFF) == 0 && stop_.raised()) return false;
                next.push_back(bySlot_[index].count);
            }
        }
        std::size_t levelBytes = map_.memoryBytes() + (bySlot_ ? map_.size() * sizeof(BySlot) : 0) +
                                 (below.capacity() + next.capacity() + roots.capacity()) * sizeof(std::uint32_t) +
                                 seen_.memoryBytes() + nearStatics_.memoryBytes();
        for (const LevelBits& kept : levels_) levelBytes += kept.memoryBytes();
        peakBytes = std::max(peakBytes, levelBytes);
        // The levels after the next are built from counts alone.
        std::vector<std::uint32_t>().swap(below);

        progress_.phase = PointerScanProgress::Paths;
        const auto start = std::chrono::steady_clock::now();
        bool more = true;
        for (const std::uint32_t at : roots) {
            const StaticPointer& pointer = map_.statics()[at];
            const ModuleImage& image = statics_[pointer.image];
            current_.module = image.name;
            current_.start = pointer.slot - image.start;
            current_.offsets.clear();
            path_[0] = pointer.slot;
            if (!(more = descend(level, pointer.value, 1))) break;
        }
        pathsMs_ += millisecondsSince(start);
        return more;
    }

    std::uint32_t pathsMs() const { return pathsMs_; }

    // How many slots the last level built holds, statics aside.
    std::size_t members() const { return members_; }
    std::uint64_t written() const { return written_; }
    bool limitMet() const { return limitMet_; }
    // Whether a slot stands in more than one level, so that the counts may
    // include paths that meet a slot twice.
    bool countsMayOverstate() const { return loops_; }
    // Whether a slot's count was capped, so that the counts understate.
    bool countsCapped() const { return saturated_; }

private:
    struct Tally {
        std::size_t members = 0;
        bool saturated = false;
    };

    // Sweeps the map's ranks from `begin` to `end` for the members of
    // `level`, marking them in `bits`: each a slot whose value reaches the
    // level below (the address, or the members whose counts are `below`).
    bool sweepMembers(unsigned level, const std::vector<std::uint32_t>& below, std::size_t begin, std::size_t end,
                      LevelBits& bits, Tally& tally) {
        MapValues values(map_);
        const bool nearStaticsOnly = nearStatics_.size() != 0;
        const auto member = [&](std::size_t rank, Wide sum) {
            const std::uint32_t index = map_.slotIndex(rank);
            if (nearStaticsOnly && !nearStatics_.test(index)) return;
            const std::uint32_t count = slotCount(sum);
            if (count == kSlotCountCap) tally.saturated = true;
            bits.set(index);
            bySlot_[index] = {count, static_cast<std::uint32_t>(rank)};
            // The writes go all over: start the next ones' lines coming.
            if (rank + kAhead < map_.size()) __builtin_prefetch(&bySlot_[map_.slotIndex(rank + kAhead)], 1);
            ++tally.members;
        };
        if (level == 1) return sweepPart(values, begin, end, AddressWalk(settings_.address), settings_, stop_, member);
        const LevelBits& targets = levels_[level - 1];
        std::size_t index = 0;
        if (begin > 0) {
            const Wide low = Wide{map_.value(begin)} + settings_.minOffset;
            index = clampedSearch(low, map_.size(), [this](std::uint64_t v) { return map_.firstSlotAtLeast(v); });
        }
        return sweepPart(values, begin, end,
                         MemberWalk(map_, targets, below.data(), index, targets.countBefore(targets.nextFrom(index))),
                         settings_, stop_, member);
    }

    // Marks the slots in reach of a static's value.
    void markNearStatics() {
        nearStatics_ = LevelBits(map_.size());
        for (const StaticPointer& pointer : map_.statics()) {
            const Wide low = Wide{pointer.value} + settings_.minOffset;
            const Wide high = Wide{pointer.value} + settings_.maxOffset;
            std::size_t index =
                clampedSearch(low, map_.size(), [this](std::uint64_t v) { return map_.firstSlotAtLeast(v); });
            PointerMap::SlotWalker slots(map_);
            for (; index < map_.size() && Wide{slots(index)} <= high; ++index) nearStatics_.set(index);
        }
    }

    // Writes the paths from a slot of `level` whose value is `value` down to
    // the address; `depth` slots of the path are set.
    bool descend(unsigned level, std::uint64_t value, unsigned depth) {
        if (level == 1) {
            current_.offsets.push_back(static_cast<std::int64_t>(settings_.address - value));
            const bool more = write();
            current_.offsets.pop_back();
            return more;
        }
        const LevelBits& below = levels_[level - 1];
        const Wide low = Wide{value} + settings_.minOffset;
        const Wide high = Wide{value} + settings_.maxOffset;
        const std::size_t first =
            clampedSearch(low, map_.size(), [this](std::uint64_t v) { return map_.firstSlotAtLeast(v); });
        for (std::size_t index = below.nextFrom(first); index < below.size(); index = below.nextFrom(index + 1)) {
            const std::uint64_t slot = map_.slot(index);
            if (Wide{slot} > high) break;
            if (std::find(path_, path_ + depth, slot) != path_ + depth) continue;
            path_[depth] = slot;
            current_.offsets.push_back(static_cast<std::int64_t>(slot - value));
            const bool more = descend(level - 1, map_.value(bySlot_[index].rank), depth + 1);
            current_.offsets.pop_back();
            if (!more) return false;
        }
        return true;
    }

    bool write() {
        const std::vector<std::int64_t>& lasts = settings_.lastOffsets;
        if (lasts.size() > current_.offsets.size() ||
            !std::equal(lasts.begin(), lasts.end(), current_.offsets.end() - static_cast<std::ptrdiff_t>(lasts.size())))
            return true;
        if (written_ >= settings_.limit) {
            limitMet_ = true;
            return false;
        }
        if (stop_.raised()) return false;
        emit_(current_);
        ++written_;
        progress_.paths.store(written_, std::memory_order_relaxed);
        return true;
    }

    const std::size_t twoThreadsFrom_;
    const PointerMap& map_;
    const PointerScanSettings& settings_;
    const std::vector<ModuleImage> statics_;
    const StopFlag& stop_;
    PointerScanProgress& progress_;
    const PathSink& emit_;
    // Each level's slots that are no statics; level 0 stays empty.
    std::vector<LevelBits> levels_;
    LevelBits seen_;
    // While the level before the last is built: the slots a static reaches.
    LevelBits nearStatics_;
    // By slot index: the count of a member of the last level built, and
    // each member's rank, where its value is, for the paths' descent from a
    // slot to the slots its value reaches.
    std::unique_ptr<BySlot[]> bySlot_;
    std::size_t members_ = 0;
    bool loops_ = false;
    bool saturated_ = false;
    PointerPath current_;
    std::uint64_t path_[kMaxPointerDepth + 1] = {};
    std::uint64_t written_ = 0;
    bool limitMet_ = false;
    std::uint32_t pathsMs_ = 0;
};

// The images whose slots are static: every module's, or the chosen ones'.
// A name that cannot stand in a path text is never static.
std::vector<ModuleImage> staticImages(std::vector<ModuleImage> images, const std::vector<std::string>& modules) {
    std::erase_if(images, [&](const ModuleImage& image) {
        if (!isWritableModuleName(image.name) || image.size == 0) return true;
        if (modules.empty()) return false;
        return std::none_of(modules.begin(), modules.end(),
                            [&](const std::string& name) { return sameModuleName(name, image.name); });
    });
    std::sort(images.begin(), images.end(),
              [](const ModuleImage& a, const ModuleImage& b) { return a.start < b.start; });
    return images;
}

}  // namespace

PointerScanReport PointerScan::run(const PointerScanSettings& settings, const PathSink& emit, const StopFlag& stopFlag,
                                   PointerScanProgress& progressOut) {
    PointerScanReport report;
    const std::vector<MemoryRegion> regions = regions_.readableRegions();
    std::vector<ModuleImage> statics = staticImages(regions_.moduleImages(), settings.modules);

    PointerMap map;
    map.afterReading = afterReading;
    const bool mapped = map.build(reader_, regions, statics, stopFlag, progressOut);
    report.regions = progressOut.regionsRead;
    report.bytes = progressOut.bytesRead;
    report.pointers = progressOut.pointers;
    report.mapMs = map.mapMs;
    report.sortMs = map.sortMs;
    report.peakBytes = std::max(map.buildPeakBytes, map.memoryBytes());
    if (!mapped) {
        report.stopped = true;
        report.totalIsLowerBound = true;
        progressOut.phase = PointerScanProgress::Done;
        return report;
    }

    const unsigned depth = std::min(settings.depth, kMaxPointerDepth);
    Run scan(map, settings, std::move(statics), stopFlag, progressOut, emit, twoThreadsFrom);
    std::vector<std::uint32_t> below;
    std::vector<std::uint32_t> next;
    Wide counted = 0;
    bool allLevels = true;
    const auto levelsStart = std::chrono::steady_clock::now();
    for (unsigned level = 1; level <= depth; ++level) {
        progressOut.phase = PointerScanProgress::Levels;
        progressOut.level = level;
        std::uint64_t levelPaths = 0;
        const bool last = level == depth;
        const bool more = scan.buildLevel(level, last, below, next, levelPaths, report.peakBytes);
        counted += levelPaths;
        if (!more) {
            allLevels = last || scan.members() == 0;
            report.stopped = !scan.limitMet();
            break;
        }
        if (scan.members() == 0) break;
        below.swap(next);
    }
    report.paths = scan.written();
    report.pathsMs = scan.pathsMs();
    const std::uint32_t afterMap = millisecondsSince(levelsStart);
    report.levelsMs = afterMap > report.pathsMs ? afterMap - report.pathsMs : 0;
    if (report.stopped) {
        report.total = report.paths;
        report.totalIsLowerBound = true;
    } else if (!scan.limitMet()) {
        report.total = report.paths;
    } else if (scan.countsMayOverstate() || !settings.lastOffsets.empty()) {
        report.total = report.paths + 1;
        report.totalIsLowerBound = true;
    } else {
        report.total = std::max(capped(counted), report.paths + 1);
        report.totalIsLowerBound = !allLevels || scan.countsCapped() || capped(counted) == kCountCap;
    }
    progressOut.phase = PointerScanProgress::Done;
    return report;
}

}  // namespace corvane
