#include "engine/pointer_scan.h"

#include <algorithm>
#include <chrono>

#include "engine/elapsed_time.h"
#include "engine/hex_text.h"
#include "engine/module_lookup.h"

namespace corvane {
namespace {

// Wide enough for a value plus any offset, and for a sum of counts.
using Wide = __int128;

// Totals stop here: a large process can hold more paths than 64 bits count.
constexpr std::uint64_t kCountCap = std::uint64_t{1} << 62;
// A slot's count stops here, to keep a level's slots small; a capped count
// understates, so the totals built from it are still lower bounds.
constexpr std::uint32_t kSlotCountCap = 0xFFFFFFFF;

std::uint64_t capped(Wide count) { return count >= Wide{kCountCap} ? kCountCap : static_cast<std::uint64_t>(count); }

// A slot of a level: how many paths run from it to the address.
struct Member {
    std::uint64_t slot = 0;
    std::uint32_t count = 0;
    std::uint32_t rank = 0;  // its pair in the map
};

struct Root {
    std::uint32_t rank = 0;
    std::uint32_t image = 0;
};

// One run: the map, the levels built so far and the path being written.
class Run {
public:
    Run(const PointerMap& map, const PointerScanSettings& settings, std::vector<ModuleImage> statics,
        const std::atomic<bool>& stop, PointerScanProgress& progress, const std::function<void(std::string_view)>& emit)
        : map_(map),
          settings_(settings),
          statics_(std::move(statics)),
          stop_(stop),
          progress_(progress),
          emit_(emit),
          levels_(settings.depth + 1),
          seen_((map.size() + 63) / 64) {}

    // Builds level `level` from the members of the level below (the address
    // itself for level 1) and writes its paths. False when stopped or when
    // the limit is met.
    bool buildLevel(unsigned level, std::vector<Member>& targets, std::vector<Member>& next, std::uint64_t& levelPaths,
                    std::size_t& peakBytes) {
        std::vector<Root> roots;
        next.clear();
        std::size_t from = 0;
        std::size_t to = 0;
        Wide sum = 0;
        Wide total = 0;
        std::size_t steps = 0;
        for (std::size_t rank = 0; rank < map_.size(); ++rank) {
            if ((++steps & 0xFFFF) == 0 && stop_.load(std::memory_order_relaxed)) return false;
            const PointerPair& pair = map_[rank];
            const Wide low = Wide{pair.value} + settings_.minOffset;
            const Wide high = Wide{pair.value} + settings_.maxOffset;
            while (to < targets.size() && Wide{targets[to].slot} <= high) sum += targets[to++].count;
            while (from < to && Wide{targets[from].slot} < low) sum -= targets[from++].count;
            if (from == to) {
                // No slot of the level below in reach: on to the first value
                // that reaches the next one, so that a small level costs a
                // search per slot rather than a sweep of the whole map.
                if (to == targets.size()) break;
                const std::size_t reach = firstReaching(Wide{targets[to].slot} - settings_.maxOffset);
                if (reach > rank + 1) rank = reach - 1;
                continue;
            }
            const std::uint32_t count = sum >= Wide{kSlotCountCap} ? kSlotCountCap : static_cast<std::uint32_t>(sum);
            if (count == kSlotCountCap) saturated_ = true;
            if (const std::ptrdiff_t image = staticImage(pair.slot); image >= 0) {
                roots.push_back({static_cast<std::uint32_t>(rank), static_cast<std::uint32_t>(image)});
                total += count;
            } else if (level < settings_.depth) {
                next.push_back({pair.slot, count, static_cast<std::uint32_t>(rank)});
                std::uint64_t& word = seen_[rank / 64];
                const std::uint64_t bit = std::uint64_t{1} << (rank % 64);
                if (word & bit) loops_ = true;
                word |= bit;
            }
        }
        levelPaths = capped(total);
        // The level below has had its sweep: its room goes to the sort.
        const std::size_t targetBytes = targets.capacity() * sizeof(Member);
        std::vector<Member>().swap(targets);
        if (!radixSort(
                next, scratch_, [](const Member& member) { return member.slot; }, &stop_))
            return false;
        std::vector<std::uint32_t>& ranks = levels_[level];
        ranks.reserve(next.size());
        for (const Member& member : next) ranks.push_back(member.rank);
        // At its largest while both the members and the sort's scratch are held,
        // or while the sweep held the level below beside the members.
        std::size_t levelBytes = map_.memoryBytes() + next.capacity() * sizeof(Member) +
                                 std::max(targetBytes, scratch_.capacity() * sizeof(Member)) +
                                 roots.capacity() * sizeof(Root) + seen_.size() * sizeof(std::uint64_t);
        std::vector<Member>().swap(scratch_);
        for (const auto& kept : levels_) levelBytes += kept.capacity() * sizeof(std::uint32_t);
        peakBytes = std::max(peakBytes, levelBytes);

        progress_.phase = PointerScanProgress::Paths;
        const auto start = std::chrono::steady_clock::now();
        bool more = true;
        for (const Root& root : roots) {
            text_.assign(statics_[root.image].name);
            text_ += '+';
            appendHex(text_, map_[root.rank].slot - statics_[root.image].start);
            path_[0] = map_[root.rank].slot;
            if (!(more = descend(level, root.rank, 1))) break;
        }
        pathsMs_ += millisecondsSince(start);
        return more;
    }

    std::uint32_t pathsMs() const { return pathsMs_; }

    std::uint64_t written() const { return written_; }
    bool limitMet() const { return limitMet_; }
    // Whether a slot stands in more than one level, so that the counts may
    // include paths that meet a slot twice.
    bool countsMayOverstate() const { return loops_; }
    // Whether a slot's count was capped, so that the counts understate.
    bool countsCapped() const { return saturated_; }

private:
    // The first rank whose value is at least `value`.
    std::size_t firstReaching(Wide value) const {
        std::size_t low = 0;
        std::size_t high = map_.size();
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (Wide{map_[middle].value} < value)
                low = middle + 1;
            else
                high = middle;
        }
        return low;
    }

    std::ptrdiff_t staticImage(std::uint64_t slot) const {
        const auto it = std::upper_bound(statics_.begin(), statics_.end(), slot,
                                         [](std::uint64_t at, const ModuleImage& image) { return at < image.start; });
        if (it == statics_.begin()) return -1;
        const auto index = (it - statics_.begin()) - 1;
        return slot < statics_[static_cast<std::size_t>(index)].end() ? index : -1;
    }

    // Writes the paths from the slot of `rank` at `level` down to the address;
    // `depth` slots of the path are set.
    bool descend(unsigned level, std::uint32_t rank, unsigned depth) {
        const std::uint64_t value = map_[rank].value;
        const std::size_t length = text_.size();
        if (level == 1) {
            text_ += ']';
            appendHex(text_, settings_.address - value);
            const bool more = write();
            text_.resize(length);
            return more;
        }
        const std::vector<std::uint32_t>& below = levels_[level - 1];
        const Wide low = Wide{value} + settings_.minOffset;
        const Wide high = Wide{value} + settings_.maxOffset;
        auto it = std::lower_bound(below.begin(), below.end(), low,
                                   [this](std::uint32_t member, Wide at) { return Wide{map_[member].slot} < at; });
        for (; it != below.end() && Wide{map_[*it].slot} <= high; ++it) {
            const std::uint64_t slot = map_[*it].slot;
            if (std::find(path_, path_ + depth, slot) != path_ + depth) continue;
            path_[depth] = slot;
            text_ += ']';
            appendHex(text_, slot - value);
            const bool more = descend(level - 1, *it, depth + 1);
            text_.resize(length);
            if (!more) return false;
        }
        return true;
    }

    bool write() {
        if (written_ >= settings_.limit) {
            limitMet_ = true;
            return false;
        }
        if (stop_.load(std::memory_order_relaxed)) return false;
        emit_(text_);
        ++written_;
        progress_.paths.store(written_, std::memory_order_relaxed);
        return true;
    }

    const PointerMap& map_;
    const PointerScanSettings& settings_;
    const std::vector<ModuleImage> statics_;
    const std::atomic<bool>& stop_;
    PointerScanProgress& progress_;
    const std::function<void(std::string_view)>& emit_;
    // Each level's slots that are no statics, by slot; level 0 stays empty.
    std::vector<std::vector<std::uint32_t>> levels_;
    std::vector<std::uint64_t> seen_;
    std::vector<Member> scratch_;
    bool loops_ = false;
    bool saturated_ = false;
    std::string text_;
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

PointerScanReport PointerScan::run(const PointerScanSettings& settings,
                                   const std::function<void(std::string_view)>& emit) {
    PointerScanReport report;
    const std::vector<MemoryRegion> regions = regions_.readableRegions();
    std::vector<ModuleImage> statics = staticImages(regions_.moduleImages(), settings.modules);

    PointerMap map;
    const bool mapped = map.build(reader_, regions, stop, progress);
    report.regions = progress.regionsRead;
    report.bytes = progress.bytesRead;
    report.pointers = progress.pointers;
    report.mapMs = map.mapMs;
    report.sortMs = map.sortMs;
    report.peakBytes = map.memoryBytes();
    if (!mapped) {
        report.stopped = true;
        report.totalIsLowerBound = true;
        progress.phase = PointerScanProgress::Done;
        return report;
    }

    Run scan(map, settings, std::move(statics), stop, progress, emit);
    std::vector<Member> targets{{settings.address, 1, 0}};
    std::vector<Member> next;
    Wide counted = 0;
    bool allLevels = true;
    const unsigned depth = std::min(settings.depth, kMaxPointerDepth);
    const auto levelsStart = std::chrono::steady_clock::now();
    for (unsigned level = 1; level <= depth && !targets.empty(); ++level) {
        progress.phase = PointerScanProgress::Levels;
        progress.level = level;
        std::uint64_t levelPaths = 0;
        const bool more = scan.buildLevel(level, targets, next, levelPaths, report.peakBytes);
        counted += levelPaths;
        if (!more) {
            allLevels = level == depth || next.empty();
            report.stopped = !scan.limitMet();
            break;
        }
        targets.swap(next);
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
    } else if (scan.countsMayOverstate()) {
        report.total = report.paths + 1;
        report.totalIsLowerBound = true;
    } else {
        report.total = std::max(capped(counted), report.paths + 1);
        report.totalIsLowerBound = !allLevels || scan.countsCapped() || capped(counted) == kCountCap;
    }
    progress.phase = PointerScanProgress::Done;
    return report;
}

}  // namespace corvane
