#include "tools/cli/results_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <istream>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/hex_text.h"
#include "engine/utf8_encode.h"
#include "engine/value_bytes.h"
#include "engine/value_text.h"

namespace corvane {
namespace {

// Lines are handed to the stream in blocks of about this size, and read
// from it in blocks of this size.
constexpr std::size_t kBlock = 1 << 20;
// Results taken from the store at a time.
constexpr std::size_t kBatch = 4096;

// The bytes a value column holds as they are: ASCII but the four characters
// that are escaped. A value of such bytes only needs no codec and no escape.
constexpr std::array<bool, 256> kPlain = [] {
    std::array<bool, 256> table{};
    for (std::size_t c = 0; c < 0x80; ++c) table[c] = c != '\t' && c != '\n' && c != '\r' && c != '\\';
    return table;
}();

// hexDigitValue as a table: the reader looks up every digit of a million lines.
constexpr std::array<std::int8_t, 256> kHexValue = [] {
    std::array<std::int8_t, 256> table{};
    for (std::size_t c = 0; c < 256; ++c) {
        if (c >= '0' && c <= '9')
            table[c] = static_cast<std::int8_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            table[c] = static_cast<std::int8_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            table[c] = static_cast<std::int8_t>(c - 'a' + 10);
        else
            table[c] = -1;
    }
    return table;
}();

// The two digits of every byte value, as the low and high byte of a 16-bit word.
constexpr std::array<std::uint16_t, 256> kHexPairs = [] {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::array<std::uint16_t, 256> table{};
    for (std::size_t byte = 0; byte < 256; ++byte)
        table[byte] = static_cast<std::uint16_t>(static_cast<unsigned char>(kDigits[byte >> 4]) |
                                                 static_cast<unsigned char>(kDigits[byte & 15]) << 8);
    return table;
}();

// Eight hexadecimal digits of `word`, its top nibble first.
void putHexWord(std::uint32_t word, char* out) {
    const std::uint64_t x = std::uint64_t{kHexPairs[word >> 24]} | std::uint64_t{kHexPairs[(word >> 16) & 0xFF]} << 16 |
                            std::uint64_t{kHexPairs[(word >> 8) & 0xFF]} << 32 |
                            std::uint64_t{kHexPairs[word & 0xFF]} << 48;
    std::memcpy(out, &x, sizeof x);
}

// Digits formatHex writes for `value`.
std::size_t hexLength(std::uint64_t value) {
    return (static_cast<std::size_t>(64 - std::countl_zero(value | 1)) + 3) / 4;
}

// formatHex without a loop over the digits, for the columns of every line:
// the value is shifted up to start with its first digit and eight or
// sixteen digits are written, of which the returned count are the text.
// `out` needs room for kMaxHexDigits characters.
std::size_t putHex(std::uint64_t value, char* out) {
    const std::size_t length = hexLength(value);
    if (length <= 8) {
        putHexWord(static_cast<std::uint32_t>(value << (4 * (8 - length))), out);
        return length;
    }
    value <<= 4 * (kMaxHexDigits - length);
    putHexWord(static_cast<std::uint32_t>(value >> 32), out);
    putHexWord(static_cast<std::uint32_t>(value), out + 8);
    return length;
}

// putHex for a column whose neighbouring values share their first eight
// digits, as the addresses of a block do: those are formatted once.
class HexColumn {
public:
    std::size_t put(std::uint64_t value, char* out) {
        const std::size_t length = hexLength(value);
        if (length <= 8) return putHex(value, out);
        value <<= 4 * (kMaxHexDigits - length);
        const auto first = static_cast<std::uint32_t>(value >> 32);
        if (first != first_ || !known_) {
            first_ = first;
            known_ = true;
            putHexWord(first, firstText_);
        }
        std::memcpy(out, firstText_, sizeof firstText_);
        putHexWord(static_cast<std::uint32_t>(value), out + 8);
        return length;
    }

private:
    std::uint32_t first_ = 0;
    bool known_ = false;
    char firstText_[8] = {};
};

bool isPlain(char c) { return kPlain[static_cast<unsigned char>(c)]; }
int hexValue(char c) { return kHexValue[static_cast<unsigned char>(c)]; }

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

bool isPlainText(std::string_view text) {
    for (char c : text)
        if (!isPlain(c)) return false;
    return true;
}

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Appends ASCII or UTF-8 text with the four characters that would break a
// line or its columns escaped; a backslash is doubled so that an escape in
// the text is never taken for one.
void appendEscaped(std::string& out, std::string_view text) {
    if (text.find_first_of("\t\n\r\\") == std::string_view::npos) {
        out += text;
        return;
    }
    for (char c : text) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default: out.push_back(c);
        }
    }
}

void appendByteEscape(std::string& out, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 15]);
}

// A value text (code page 936) as the file holds it: UTF-8 where the text is
// valid in code page 936 and comes back from UTF-16 unchanged, otherwise its
// bytes from 0x80 up as \xHH, so that any bytes read from a target survive.
void appendValue(std::string& out, std::string_view gbk, const TextCodec& codec, std::u16string& wide) {
    if (isAscii(gbk)) return appendEscaped(out, gbk);
    if (codec.toUtf16(gbk, CodePage::Gbk, wide) && codec.fromUtf16(wide, CodePage::Gbk) == gbk)
        return appendEscaped(out, encodeUtf8(wide));
    for (char c : gbk) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80)
            appendByteEscape(out, byte);
        else
            appendEscaped(out, std::string_view(&c, 1));
    }
}

// The inverse of appendValue: literal runs are UTF-8 and converted to code
// page 936, \xHH escapes are bytes of it. False for a malformed escape.
bool readValue(std::string_view text, const TextCodec& codec, std::string& out) {
    out.clear();
    if (text.find('\\') == std::string_view::npos && isAscii(text)) {
        out.assign(text);
        return true;
    }
    std::string run;
    auto flush = [&] {
        if (run.empty()) return;
        if (isAscii(run))
            out += run;
        else
            out += codec.fromUtf16(decodeUtf8Text(run), CodePage::Gbk);
        run.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            run.push_back(text[i]);
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
            case 't': run.push_back('\t'); break;
            case 'n': run.push_back('\n'); break;
            case 'r': run.push_back('\r'); break;
            case '\\': run.push_back('\\'); break;
            case 'x': {
                if (i + 2 >= text.size()) return false;
                const int high = hexDigitValue(text[i + 1]);
                const int low = hexDigitValue(text[i + 2]);
                if (high < 0 || low < 0) return false;
                flush();
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                break;
            }
            default: return false;
        }
    }
    flush();
    return true;
}

// formatNumberText with its decisions taken once for a run of values of one
// kind and base, as a store's numbers nearly always are.
class NumberText {
public:
    std::size_t format(const StoredValue& value, char* out) {
        if (value.type() != type_ || value.baseMode() != baseMode_) learn(value.type(), value.baseMode());
        const std::uint64_t bits = value.raw() & mask_;
        switch (form_) {
            case Form::Single: return formatSingle(std::bit_cast<float>(static_cast<std::uint32_t>(bits)), out);
            case Form::Double: return formatDouble(std::bit_cast<double>(bits), out);
            case Form::Hex: return putHex(bits, out);
            // As formatSigned and formatUnsigned, inline, and in 32 bits
            // where the value fits: the same digits for less work.
            case Form::Signed: return decimal(signExtend(bits, width_), out);
            case Form::Unsigned: return decimal(bits, out);
            case Form::Signed32: return decimal(static_cast<std::int32_t>(signExtend(bits, width_)), out);
            case Form::Unsigned32: return decimal(static_cast<std::uint32_t>(bits), out);
            case Form::None: break;
        }
        return 0;
    }

private:
    enum class Form : std::uint8_t { None, Single, Double, Hex, Signed, Unsigned, Signed32, Unsigned32 };

    template <typename T>
    static std::size_t decimal(T value, char* out) {
        return static_cast<std::size_t>(std::to_chars(out, out + kMaxNumberTextLength, value).ptr - out);
    }

    void learn(ValueType type, std::uint8_t baseMode) {
        type_ = type;
        baseMode_ = baseMode;
        const ValueVariant variant = variantOf(type, baseMode);
        width_ = integerWidth(variant);
        mask_ = width_ >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * width_)) - 1;
        if (variant == ValueVariant::Single) {
            form_ = Form::Single;
            mask_ = 0xFFFFFFFF;
        } else if (variant == ValueVariant::Double) {
            form_ = Form::Double;
            mask_ = ~std::uint64_t{0};
        } else if (width_ == 0) {
            form_ = Form::None;
        } else if (isHexadecimal(type, baseMode)) {
            form_ = Form::Hex;
        } else if (width_ <= 4) {
            form_ = isSignedVariant(variant) ? Form::Signed32 : Form::Unsigned32;
        } else {
            form_ = isSignedVariant(variant) ? Form::Signed : Form::Unsigned;
        }
    }

    // No kind has this base: the first value sets them.
    ValueType type_ = ValueType::Byte;
    std::uint8_t baseMode_ = 254;
    Form form_ = Form::None;
    unsigned width_ = 0;
    std::uint64_t mask_ = 0;
};

// Levels texts are copied in steps of this many bytes, a fixed-size copy
// being a few instructions where a call to memcpy is many.
constexpr std::size_t kCopyStep = 16;

// The levels text of the last node asked for, kept level by level: a node
// beside the last one (the next pointer of the same block) renders only its
// own level, and the same node renders nothing.
class LevelsText {
public:
    // Its storage holds kCopyStep bytes more than the text: lines copy it in
    // whole steps.
    std::string_view of(const PathTable& paths, std::uint32_t parent) {
        if (parent == parent_) return {padded_.data(), text_.size()};
        path_.clear();
        for (std::uint32_t node = parent; node != kNoPathNode;
             node = paths.isAnchor(node) ? kNoPathNode : paths.node(node).parent)
            path_.push_back(node);
        // path_ runs from the node up to its root, levels_ from the root down.
        const std::size_t depth = path_.size();
        std::size_t kept = 0;
        while (kept < depth && kept < levels_.size() && levels_[kept].node == path_[depth - 1 - kept]) ++kept;
        levels_.resize(kept);
        text_.resize(kept == 0 ? 0 : levels_[kept - 1].end);
        for (std::size_t level = kept; level < depth; ++level) {
            const std::uint32_t node = path_[depth - 1 - level];
            if (paths.isAnchor(node)) {
                text_ += paths.moduleName(node);
                text_.push_back('+');
            } else {
                appendHex(text_, static_cast<std::uint64_t>(paths.node(node).offset));
                text_.push_back(']');
            }
            levels_.push_back({node, text_.size()});
        }
        parent_ = parent;
        padded_.assign(text_.begin(), text_.end());
        padded_.resize(text_.size() + kCopyStep);
        return {padded_.data(), text_.size()};
    }

private:
    struct Level {
        std::uint32_t node;
        std::size_t end;  // of its text in text_
    };
    std::uint32_t parent_ = kNoPathNode;
    std::string text_;
    std::vector<char> padded_ = std::vector<char>(kCopyStep);
    std::vector<Level> levels_;
    std::vector<std::uint32_t> path_;
};

// Formats results as lines of the file into a buffer of characters.
class LineFormatter {
public:
    LineFormatter(const PathTable& paths, const TextCodec& codec) : paths_(paths), codec_(codec) {}

    // Appends the lines of `count` results to `text` from `used` on, which
    // is advanced past them; `text` grows as needed.
    void format(const ResultSnapshot* entries, std::size_t count, std::vector<char>& text, std::size_t& used) {
        for (std::size_t i = 0; i < count; ++i) {
            const ResultSnapshot& entry = entries[i];
            const StoredValue& value = entry.value;
            const std::string_view prefix = levels_.of(paths_, entry.parent);
            std::string_view valueText;
            if (value.form() == StoredValue::Form::Text) {
                valueText = value.storedText();
                if (!isPlainText(valueText)) {
                    escaped_.clear();
                    appendValue(escaped_, valueText, codec_, wide_);
                    valueText = escaped_;
                }
            }
            // Hexadecimal digits and levels texts are written in whole
            // steps, which may run past the line.
            const std::size_t room =
                prefix.size() + kCopyStep + valueText.size() + kMaxNumberTextLength + 2 * kMaxHexDigits + 3;
            if (text.size() - used < room) text.resize(std::max(2 * text.size(), used + room));
            char* at = text.data() + used;
            for (std::size_t step = 0; step < prefix.size(); step += kCopyStep)
                std::memcpy(at + step, prefix.data() + step, kCopyStep);
            at += prefix.size();
            at += putHex(static_cast<std::uint64_t>(entry.leafOffset), at);
            *at++ = '\t';
            if (value.form() == StoredValue::Form::Number) {
                // A number's text is digits, signs, a point and letters:
                // plain, so it is formatted straight into the line.
                at += numbers_.format(value, at);
            } else if (!valueText.empty()) {
                std::memcpy(at, valueText.data(), valueText.size());
                at += valueText.size();
            }
            *at++ = '\t';
            at += addresses_.put(entry.address, at);
            *at++ = '\n';
            used = static_cast<std::size_t>(at - text.data());
        }
    }

private:
    const PathTable& paths_;
    const TextCodec& codec_;
    LevelsText levels_;
    NumberText numbers_;
    HexColumn addresses_;
    std::string escaped_;
    std::u16string wide_;
};

// A large file is written by two threads: this one takes the results from
// the store in runs and formats every other run, a second one formats the
// runs between and hands all of them to the stream in order. Formatting
// costs about as much as taking the results and writing the file together,
// so each thread has about half of the work.
class TwoLaneWriter {
public:
    // Runs of this many results; a store of fewer than two is written by one thread.
    static constexpr std::size_t kRun = 16384;

    TwoLaneWriter(std::ostream& out, const ResultStore& results, const PathTable& paths, const TextCodec& codec)
        : out_(out), results_(results), mine_(paths, codec), theirs_(paths, codec) {}

    // False, with nothing written, when no second thread could be started.
    bool write() {
        try {
            helper_ = std::thread([this] { helperLane(); });
        } catch (const std::system_error&) {
            return false;
        }
        // The other lane is waited for; told to stop when this one ends early.
        struct Join {
            TwoLaneWriter& writer;
            bool done = false;
            ~Join() {
                if (!done) {
                    std::lock_guard lock(writer.mutex_);
                    writer.stopped_ = true;
                }
                writer.changed_.notify_all();
                writer.helper_.join();
            }
        };
        {
            Join join{*this};
            mainLane();
            join.done = true;
        }
        if (failure_) std::rethrow_exception(failure_);
        return true;
    }

private:
    enum class State : std::uint8_t { Free, Taken, Formatted };
    struct Run {
        std::vector<ResultSnapshot> entries;
        std::size_t count = 0;
        std::vector<char> text;
        std::size_t used = 0;
        State state = State::Free;
    };
    // Two pairs of runs in flight: a pair being formatted, the one before being written.
    Run& run(std::size_t number) { return runs_[number % runs_.size()]; }

    // Takes the runs of each pair, hands over the odd one and formats the even one.
    void mainLane() {
        for (std::size_t pair = 0;; pair += 2) {
            if (!take(pair)) return;
            const bool odd = take(pair + 1);
            Run& even = run(pair);
            even.used = 0;
            mine_.format(even.entries.data(), even.count, even.text, even.used);
            setState(even, State::Formatted);
            if (!odd) return;
        }
    }

    // Formats the odd run of each pair, then writes the pair.
    void helperLane() {
        try {
            for (std::size_t pair = 0;; pair += 2) {
                Run& odd = run(pair + 1);
                const std::optional<bool> haveOdd = await(pair + 1, odd, State::Taken);
                if (!haveOdd) return;
                if (*haveOdd) {
                    odd.used = 0;
                    theirs_.format(odd.entries.data(), odd.count, odd.text, odd.used);
                }
                Run& even = run(pair);
                if (await(pair, even, State::Formatted) != true) return;
                writeOut(even);
                if (!*haveOdd) return;
                writeOut(odd);
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
            stopped_ = true;
            changed_.notify_all();
        }
    }

    // Takes run `number` from the store once its place is free; false at
    // the end of the results or when the other lane failed.
    bool take(std::size_t number) {
        Run& taken = run(number);
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return taken.state == State::Free || stopped_; });
            if (stopped_) return false;
        }
        taken.count = results_.snapshot(fromStart_, last_, kRun, taken.entries);
        if (taken.count == 0) {
            std::lock_guard lock(mutex_);
            runCount_ = number;
            changed_.notify_all();
            return false;
        }
        fromStart_ = false;
        last_ = taken.entries[taken.count - 1].serial;
        setState(taken, State::Taken);
        return true;
    }

    // Waits for run `number` to reach `state` (true) or for the results to
    // end before it (false); nothing when the lanes are stopped.
    std::optional<bool> await(std::size_t number, const Run& awaited, State state) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return awaited.state == state || runCount_ <= number || stopped_; });
        if (stopped_) return std::nullopt;
        return awaited.state == state;
    }

    void setState(Run& changed, State state) {
        {
            std::lock_guard lock(mutex_);
            changed.state = state;
        }
        changed_.notify_all();
    }

    void writeOut(Run& written) {
        out_.write(written.text.data(), static_cast<std::streamsize>(written.used));
        setState(written, State::Free);
    }

    std::ostream& out_;
    const ResultStore& results_;
    LineFormatter mine_, theirs_;
    std::array<Run, 4> runs_;
    bool fromStart_ = true;
    std::uint32_t last_ = 0;
    std::thread helper_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Under mutex_: the states of the runs, and
    std::size_t runCount_ = std::numeric_limits<std::size_t>::max();  // known at the end of the results
    bool stopped_ = false;
    std::exception_ptr failure_;
};

// The nodes of a file's paths by parent and offset, as PathTable::intern
// finds them, which allocates for every new node: a file whose paths end in
// "]0" names a new node on nearly every line. A search lists the levels under
// each node in increasing offsets, so an offset above all those seen under
// its parent is a new node, added without any lookup. Only an offset that
// could be an old one fills the hash table, with every node up to then, and
// from there on every node goes into it. Nodes are added in the order intern
// would add them, so the table comes out the same.
class NodeIndex {
public:
    std::uint32_t intern(PathTable& paths, std::uint32_t parent, std::int64_t offset) {
        const auto key = static_cast<std::uint64_t>(offset);
        Children& children = childrenOf(paths, parent);
        if (!children.any || key > children.highest) {
            children.any = true;
            children.highest = key;
            return add(paths, parent, offset);
        }
        if (!hashing_) {
            hashing_ = true;
            for (std::size_t node = 0; node < paths.size(); ++node) {
                const auto index = static_cast<std::uint32_t>(node);
                if (!paths.isAnchor(index)) insert(paths, index);
            }
        }
        const std::uint64_t hash = hashOf(parent, offset);
        for (std::size_t i = slotOf(hash);; i = (i + 1) & (slots_.size() - 1)) {
            const Slot& slot = slots_[i];
            if (slot.node == kNoPathNode) break;
            if (slot.tag != static_cast<std::uint32_t>(hash)) continue;
            const PathNode& node = paths.node(slot.node);
            if (node.parent == parent && node.offset == offset) return slot.node;
        }
        return add(paths, parent, offset);
    }

private:
    struct Children {
        std::uint64_t highest = 0;  // the highest offset under the node, as unsigned
        bool any = false;
    };
    struct Slot {
        std::uint32_t node = kNoPathNode;
        std::uint32_t tag = 0;  // the low half of the hash: most other nodes are skipped unread
    };

    Children& childrenOf(const PathTable& paths, std::uint32_t parent) {
        if (parent == kNoPathNode) return roots_;
        // Anchors are added beside this index.
        if (children_.size() < paths.size()) children_.resize(paths.size());
        return children_[parent];
    }

    std::uint32_t add(PathTable& paths, std::uint32_t parent, std::int64_t offset) {
        const std::uint32_t node = paths.add(parent, offset);
        if (hashing_) insert(paths, node);
        return node;
    }

    static std::uint64_t hashOf(std::uint32_t parent, std::int64_t offset) {
        std::uint64_t hash = static_cast<std::uint64_t>(offset) + parent * 0x9E3779B97F4A7C15ull;
        hash ^= hash >> 32;
        hash *= 0xD6E8FEB86659FD93ull;
        return hash ^ (hash >> 32);
    }
    // The top bits of the hash, the tag being the low ones.
    std::size_t slotOf(std::uint64_t hash) const { return static_cast<std::size_t>(hash >> shift_); }

    void insert(const PathTable& paths, std::uint32_t index) {
        if (2 * (used_ + 1) > slots_.size()) grow(paths);
        const PathNode& node = paths.node(index);
        const std::uint64_t hash = hashOf(node.parent, node.offset);
        std::size_t i = slotOf(hash);
        while (slots_[i].node != kNoPathNode) i = (i + 1) & (slots_.size() - 1);
        slots_[i] = {index, static_cast<std::uint32_t>(hash)};
        ++used_;
    }

    void grow(const PathTable& paths) {
        std::vector<Slot> old(slots_.empty() ? 1024 : 2 * slots_.size());
        old.swap(slots_);
        shift_ = static_cast<unsigned>(64 - std::countr_zero(slots_.size()));
        used_ = 0;
        for (const Slot& slot : old)
            if (slot.node != kNoPathNode) insert(paths, slot.node);
    }

    Children roots_;
    std::vector<Children> children_;
    bool hashing_ = false;
    std::vector<Slot> slots_;
    std::size_t used_ = 0;
    unsigned shift_ = 64;
};

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
            const int digit = hexValue(*c);
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
        if (firstTab == std::string_view::npos || firstTab == lastTab || !parseHex64(text.substr(lastTab + 1), address))
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
                parent = index_.intern(*paths, parent, offsets_[level]);
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
            const int digit = hexValue(path[at]);
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
            parent = index_.intern(*paths, parent, static_cast<std::int64_t>(level.offset));
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
    NodeIndex index_;
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

void writeResults(std::ostream& out, const ResultStore& results, const TextCodec& codec) {
    const auto paths = results.paths();
    if (!paths) return;
    if (results.count() > 2 * TwoLaneWriter::kRun) {
        TwoLaneWriter lanes(out, results, *paths, codec);
        if (lanes.write()) return;
    }
    LineFormatter lines(*paths, codec);
    std::vector<ResultSnapshot> batch;
    std::vector<char> text;
    std::size_t used = 0;
    bool fromStart = true;
    std::uint32_t last = 0;
    for (;;) {
        const std::size_t taken = results.snapshot(fromStart, last, kBatch, batch);
        if (taken == 0) break;
        lines.format(batch.data(), taken, text, used);
        if (used >= kBlock) {
            out.write(text.data(), static_cast<std::streamsize>(used));
            used = 0;
        }
        fromStart = false;
        last = batch[taken - 1].serial;
    }
    out.write(text.data(), static_cast<std::streamsize>(used));
}

bool readResults(std::istream& in, ResultStore& results, const TextCodec& codec, std::string& error) {
    ResultsReader reader(codec, error);
    if (!reader.read(in)) return false;
    results.replace(std::move(reader.paths), std::move(reader.entries), ResultStore::Numbering::InOrder);
    return true;
}

}  // namespace corvane
