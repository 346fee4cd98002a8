#include "engine/files/results_file.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <istream>
#include <memory>
#include <vector>

#include "engine/text/hex_text.h"
#include "engine/search/path_table.h"
#include "engine/files/value_escapes.h"

namespace corvane {
namespace {

// The file is read in blocks of this size.
constexpr std::size_t kBlock = 1 << 20;

// The reader takes an address eight bytes at a time: where its digits end,
// and their value, without a branch for each byte.
constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHighs = 0x8080808080808080;
// Every scan may read this far past the line feed that ends its block.
constexpr std::size_t kScanPadding = 2 * sizeof(std::uint64_t);

std::uint64_t load8(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The top bit of each byte of `word` (bytes below 0x80) from `low` to `high`.
std::uint64_t bytesWithin(std::uint64_t word, unsigned low, unsigned high) {
    const std::uint64_t atLeast = word + kOnes * (0x80 - low);
    const std::uint64_t above = word + kOnes * (0x7F - high);
    return atLeast & ~above & kHighs;
}

// The hexadecimal digits that start at `at`, at most 16 of them: their count
// and their value. The caller decides what a 17th digit means.
std::size_t hexDigits(const char* at, std::uint64_t& value) {
    std::size_t count = 0;
    value = 0;
    for (int half = 0; half < 2; ++half, at += 8) {
        const std::uint64_t word = load8(at);
        const std::uint64_t low = word & ~kHighs;
        const std::uint64_t digit = (bytesWithin(low, '0', '9') | bytesWithin(low | kOnes * 0x20, 'a', 'f')) & ~word;
        const std::uint64_t other = ~digit & kHighs;
        const auto run = static_cast<unsigned>(other == 0 ? 8 : std::countr_zero(other) / 8);
        if (run == 0) break;
        // Each byte's digit value, the run moved up to the top bytes behind
        // zeros; the first byte is the most significant digit.
        std::uint64_t x = (word & kOnes * 0x0F) + ((word >> 6) & kOnes) * 9;
        x <<= 8 * (8 - run);
        x = ((x << 4) | (x >> 8)) & 0x00FF00FF00FF00FF;
        x = ((x << 8) | (x >> 16)) & 0x0000FFFF0000FFFF;
        x = ((x << 16) | (x >> 32)) & 0xFFFFFFFF;
        value = (value << (4 * run)) | x;
        count += run;
        if (run < 8) break;
    }
    return count;
}

// memcmp(at, text, size) == 0 for the short texts of pointer levels, whole
// words at a time and without a call.
bool startsWith(const char* at, const char* text, std::size_t size) {
    if (size >= 8) {
        for (std::size_t i = 0; i + 8 < size; i += 8)
            if (load8(at + i) != load8(text + i)) return false;
        return load8(at + size - 8) == load8(text + size - 8);
    }
    for (std::size_t i = 0; i < size; ++i)
        if (at[i] != text[i]) return false;
    return true;
}

template <std::size_t Size>
StoredValue fixedText(const char* bytes) {
    return StoredValue::text(std::string_view(bytes, Size));
}

// StoredValue::text, with the length of a text kept inline fixed at compile
// time: its bytes then go into the value through registers. Copied with a
// length known only at run time, they are stored in pieces that the wide
// loads moving the value into place would stall on.
StoredValue textValue(std::string_view text) {
    switch (text.size()) {
        case 0: return fixedText<0>(text.data());
        case 1: return fixedText<1>(text.data());
        case 2: return fixedText<2>(text.data());
        case 3: return fixedText<3>(text.data());
        case 4: return fixedText<4>(text.data());
        case 5: return fixedText<5>(text.data());
        case 6: return fixedText<6>(text.data());
        case 7: return fixedText<7>(text.data());
        case 8: return fixedText<8>(text.data());
        default: return StoredValue::text(text);
    }
}

// Reads the file block by block. Lines in a row mostly share their levels
// and differ in their leaf, value and address: such a line whose columns are
// plain is taken in one pass over its bytes, its levels matched against the
// text of the line before's. Every other line goes through the full parse.
class ResultsReader {
public:
    ResultsReader(const TextCodec& codec, std::string& error) : codec_(codec), error_(error) {}

    bool read(std::istream& in) {
        // The scans of a block may look past its end, never past the buffer.
        std::vector<char> buffer(kBlock + kScanPadding);
        std::size_t held = 0;
        for (;;) {
            // A line longer than the buffer makes it grow.
            if (held + kScanPadding == buffer.size()) buffer.resize(2 * buffer.size());
            in.read(buffer.data() + held, static_cast<std::streamsize>(buffer.size() - kScanPadding - held));
            const auto got = static_cast<std::size_t>(in.gcount());
            if (got == 0) break;
            // Only the bytes just read can end the line held from before.
            std::size_t complete = held + got;
            while (complete > held && buffer[complete - 1] != '\n') --complete;
            const bool ended = complete > held;
            held += got;
            if (!ended) continue;
            if (!lines(buffer.data(), buffer.data() + complete)) return false;
            std::memmove(buffer.data(), buffer.data() + complete, held - complete);
            held -= complete;
        }
        return held == 0 || line(std::string_view(buffer.data(), held));
    }

    std::shared_ptr<PathTable> paths = std::make_shared<PathTable>();
    ResultEntries entries;

private:
    // Whole lines, the last one ending at `end` with its line feed.
    bool lines(const char* begin, const char* end) {
        const char* at = begin;
        while (at < end) {
            if (const char* next = plainLine(at, end)) {
                at = next;
                continue;
            }
            const auto* feed = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            if (!line(std::string_view(at, static_cast<std::size_t>(feed - at)))) return false;
            at = feed + 1;
        }
        return true;
    }

    // A line of hexadecimal levels (those it shares with the line before
    // may be a module's), a plain value and an address, with its line end:
    // returns where the next line starts. Any other line returns null and
    // nothing of it is taken. The feed that ends the block stops every scan,
    // and the levels text holds none.
    const char* plainLine(const char* at, const char* end) {
        const std::size_t known = levelsText_.size();
        std::size_t kept = levels_.size();
        const char* c = at + known;
        if (static_cast<std::size_t>(end - at) <= known || !startsWith(at, levelsText_.data(), known)) {
            // A level is shared when its whole text, separator included, is.
            std::size_t same = 0;
            while (same < known && at[same] == levelsText_[same]) ++same;
            while (kept > 0 && levels_[kept - 1].end > same) --kept;
            c = at + (kept == 0 ? 0 : levels_[kept - 1].end);
        }
        fresh_.clear();
        std::uint64_t leaf = 0;
        // A 17th digit ends no column: such an offset, which wraps, and such
        // an address, which is refused, are left to the full parse.
        for (const char* digits = c;;) {
            const int digit = hexDigitValue(*c);
            if (digit >= 0) {
                leaf = leaf * 16 + static_cast<unsigned>(digit);
                ++c;
                continue;
            }
            if (c == digits) return nullptr;
            if (*c != ']') break;
            digits = ++c;
            fresh_.push_back({static_cast<std::size_t>(c - at), leaf});
            leaf = 0;
        }
        if (*c != '\t') return nullptr;
        const char* value = ++c;
        while (isPlain(*c)) ++c;
        if (*c != '\t') return nullptr;
        const std::string_view valueText(value, static_cast<std::size_t>(c - value));
        ++c;
        std::uint64_t address = 0;
        const std::size_t addressDigits = hexDigits(c, address);
        if (addressDigits == 0) return nullptr;
        c += addressDigits;
        if (*c == '\r') ++c;
        if (*c != '\n') return nullptr;

        ++number_;
        if (kept != levels_.size() || !fresh_.empty()) takeLevels(at, kept);
        add(levelsNode_, leaf, address, valueText);
        return c + 1;
    }

    bool line(std::string_view text) {
        ++number_;
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (text.empty()) return true;
        const auto firstTab = text.find('\t');
        const auto lastTab = text.rfind('\t');
        std::uint64_t address = 0;
        // A row that a monitor could not read is written with neither value
        // nor address; it is read back with address 0, and its path walked again.
        const std::string_view addressText = text.substr(lastTab + 1);
        const bool unread = addressText.empty() && lastTab == firstTab + 1;
        if (firstTab == std::string_view::npos || firstTab == lastTab || (!unread && !parseHex64(addressText, address)))
            return malformed();
        const std::string_view path = text.substr(0, firstTab);
        std::size_t kept = 0;
        std::uint64_t leaf = 0;
        const bool shared = sharedLevels(path, kept, leaf);
        if (!shared && !parsePathText(path, offsets_, module_)) return malformed();
        if (!readValue(text.substr(firstTab + 1, lastTab - firstTab - 1), codec_, value_)) {
            error_ = "line " + std::to_string(number_) + ": malformed escape in the value";
            return false;
        }
        if (shared) {
            if (kept != levels_.size() || !fresh_.empty()) takeLevels(path.data(), kept);
        } else {
            // The levels are taken anew.
            levels_.clear();
            std::uint32_t parent = kNoPathNode;
            std::size_t at = 0;
            if (!module_.empty()) {
                parent = paths->anchor(module_);
                at = module_.size() + 1;
                levels_.push_back({at, parent});
            }
            for (std::size_t level = 0; level + 1 < offsets_.size(); ++level) {
                parent = paths->intern(parent, offsets_[level]);
                at = path.find(']', at) + 1;
                levels_.push_back({at, parent});
            }
            setLevelsText(path.data());
            leaf = static_cast<std::uint64_t>(offsets_.back());
        }
        add(levelsNode_, leaf, address, value_);
        return true;
    }

    // The levels a path shares with the line before's and plain hexadecimal
    // levels after them, into fresh_: false for anything else (a module's
    // first line, a malformed path), which parsePathText takes.
    bool sharedLevels(std::string_view path, std::size_t& kept, std::uint64_t& leaf) {
        const std::size_t limit = std::min(path.size(), levelsText_.size());
        std::size_t same = 0;
        if (path.size() > limit && startsWith(path.data(), levelsText_.data(), limit))
            same = limit;
        else
            while (same < limit && path[same] == levelsText_[same]) ++same;
        kept = levels_.size();
        while (kept > 0 && levels_[kept - 1].end > same) --kept;
        fresh_.clear();
        std::uint64_t offset = 0;
        bool digits = false;
        for (std::size_t at = kept == 0 ? 0 : levels_[kept - 1].end; at < path.size(); ++at) {
            if (path[at] == ']') {
                if (!digits) return false;
                fresh_.push_back({at + 1, offset});
                offset = 0;
                digits = false;
                continue;
            }
            const int digit = hexDigitValue(path[at]);
            if (digit < 0) return false;
            offset = offset * 16 + static_cast<unsigned>(digit);
            digits = true;
        }
        leaf = offset;
        return digits;
    }

    // The path at `path` keeps `kept` levels of the line before and has the
    // levels in fresh_ after them.
    void takeLevels(const char* path, std::size_t kept) {
        levels_.resize(kept);
        std::uint32_t parent = kept == 0 ? kNoPathNode : levels_[kept - 1].node;
        for (const FreshLevel& level : fresh_) {
            parent = paths->intern(parent, static_cast<std::int64_t>(level.offset));
            levels_.push_back({level.end, parent});
        }
        setLevelsText(path);
    }

    bool malformed() {
        error_ = "line " + std::to_string(number_) + ": expected path<TAB>value<TAB>address";
        return false;
    }

    // The line at `path` starts with the text of levels_.
    void setLevelsText(const char* path) {
        levelsText_.assign(path, levels_.empty() ? 0 : levels_.back().end);
        levelsNode_ = levels_.empty() ? kNoPathNode : levels_.back().node;
    }

    void add(std::uint32_t parent, std::uint64_t leaf, std::uint64_t address, std::string_view value) {
        const auto serial = static_cast<std::uint32_t>(entries.size());
        ResultEntry& entry = entries.emplace_back();
        entry.serial = serial;  // numbered here, while the entry is at hand
        entry.parent = parent;
        // The leaf offset wraps at 64 bits as every offset does.
        entry.leafOffset = static_cast<std::int64_t>(leaf);
        entry.address = address;
        // Built in place, not moved in: see textValue.
        std::destroy_at(&entry.value);
        ::new (static_cast<void*>(&entry.value)) StoredValue(textValue(value));
    }

    struct Level {
        std::size_t end;  // of its text, separator included, in levelsText_
        std::uint32_t node;
    };
    struct FreshLevel {
        std::size_t end;
        std::uint64_t offset;
    };

    const TextCodec& codec_;
    std::string& error_;
    std::size_t number_ = 0;
    // The levels of the line before: their text up to the leaf ("10]18]",
    // "game.exe+" or nothing), each level's node and the deepest one.
    std::string levelsText_;
    std::vector<Level> levels_;
    std::uint32_t levelsNode_ = kNoPathNode;
    std::vector<FreshLevel> fresh_;
    std::vector<std::int64_t> offsets_;
    std::string module_;
    std::string value_;
};

}  // namespace

bool readResults(std::istream& in, ResultStore& results, const TextCodec& codec, std::string& error) {
    ResultsReader reader(codec, error);
    if (!reader.read(in)) return false;
    results.replace(std::move(reader.paths), std::move(reader.entries), ResultStore::Numbering::InOrder);
    return true;
}

}  // namespace corvane
