#pragma once

// The pointer paths to an address by their definition, found the plain way:
// every aligned word of every readable region is read on its own, and paths
// grow from the address one level at a time, each partial path trying every
// slot whose value lies in range. Slow, and written apart from the scan so
// that the two can be held against each other.

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "engine/text/hex_text.h"
#include "engine/target/memory_reader.h"
#include "engine/target/memory_regions.h"
#include "engine/target/module_lookup.h"

namespace corvane::test {

struct ReferencePaths {
    // Every path of the definition.
    std::set<std::string> all;
    // Those whose slots' values all point into readable memory: the ones a
    // scan must find.
    std::set<std::string> pointing;
    // False when `cap` partial paths were reached and the search gave up.
    bool complete = true;
};

inline ReferencePaths referencePointerPaths(MemoryReader& reader, RegionLookup& lookup, std::uint64_t target,
                                            unsigned depth, std::int64_t minOffset, std::int64_t maxOffset,
                                            const std::vector<std::string>& modules = {}, std::size_t cap = 2000000) {
    const unsigned width = reader.pointerWidth();
    const std::vector<MemoryRegion> regions = lookup.readableRegions();
    std::vector<ModuleImage> statics;
    for (const ModuleImage& image : lookup.moduleImages()) {
        const bool chosen = modules.empty() || std::any_of(modules.begin(), modules.end(), [&](const std::string& m) {
                                return sameModuleName(m, image.name);
                            });
        if (chosen && isWritableModuleName(image.name)) statics.push_back(image);
    }
    const auto readable = [&](std::uint64_t address) {
        return std::any_of(regions.begin(), regions.end(),
                           [&](const MemoryRegion& r) { return address >= r.start && address < r.end(); });
    };
    const auto image = [&](std::uint64_t slot) -> const ModuleImage* {
        for (const ModuleImage& m : statics)
            if (slot >= m.start && slot < m.end()) return &m;
        return nullptr;
    };

    struct Slot {
        std::uint64_t value;
        std::uint64_t address;
    };
    std::vector<Slot> slots;
    for (const MemoryRegion& region : regions)
        for (std::uint64_t at = region.start; at + width <= region.end(); at += width) {
            std::uint64_t value = 0;
            if (readPointer(reader, at, value)) slots.push_back({value, at});
        }
    std::sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) { return a.value < b.value; });

    // A partial path: its slots from the address up, the next address to reach.
    struct Partial {
        std::vector<std::uint64_t> slots;
        std::uint64_t reach;
    };
    ReferencePaths found;
    std::vector<Partial> level{{{}, target}};
    for (unsigned k = 1; k <= depth && !level.empty(); ++k) {
        std::vector<Partial> next;
        for (const Partial& partial : level) {
            const __int128 lowest = static_cast<__int128>(partial.reach) - maxOffset;
            const auto first = std::lower_bound(slots.begin(), slots.end(), lowest, [](const Slot& s, __int128 v) {
                return static_cast<__int128>(s.value) < v;
            });
            for (auto it = first; it != slots.end(); ++it) {
                const Slot& slot = *it;
                const __int128 offset = static_cast<__int128>(partial.reach) - static_cast<__int128>(slot.value);
                if (offset < minOffset) break;
                if (std::find(partial.slots.begin(), partial.slots.end(), slot.address) != partial.slots.end())
                    continue;
                Partial longer{partial.slots, slot.address};
                longer.slots.push_back(slot.address);
                if (const ModuleImage* m = image(slot.address)) {
                    // Written from the static slot down to the address.
                    std::string text = m->name + "+";
                    appendHex(text, slot.address - m->start);
                    bool pointing = true;
                    for (std::size_t i = longer.slots.size(); i-- > 0;) {
                        std::uint64_t value = 0;
                        readPointer(reader, longer.slots[i], value);
                        pointing = pointing && readable(value);
                        const std::uint64_t below = i == 0 ? target : longer.slots[i - 1];
                        text += ']';
                        appendHex(text, below - value);
                    }
                    found.all.insert(text);
                    if (pointing) found.pointing.insert(text);
                } else if (k < depth) {
                    next.push_back(std::move(longer));
                    if (next.size() > cap) {
                        found.complete = false;
                        return found;
                    }
                }
            }
        }
        level = std::move(next);
    }
    return found;
}

}  // namespace corvane::test
