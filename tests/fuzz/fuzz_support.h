#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

// Shared by every fuzz target: a reader that turns the fuzzer's bytes into
// choices, and a property check that reports the whole input in hex before
// it stops the process, so that a failure seen in CI can be replayed from
// the log alone.

namespace corvane::fuzz {

// The input of the call in progress, for the failure report.
inline std::span<const std::uint8_t>& currentInput() {
    static std::span<const std::uint8_t> input;
    return input;
}

class InputScope {
public:
    InputScope(const std::uint8_t* data, std::size_t size) { currentInput() = {data, size}; }
    InputScope(const InputScope&) = delete;
    InputScope& operator=(const InputScope&) = delete;
    ~InputScope() { currentInput() = {}; }
};

inline void printHex(std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::fprintf(stderr, "%02x%s", bytes[i], (i + 1) % 32 == 0 || i + 1 == bytes.size() ? "\n" : " ");
    }
}

[[noreturn]] inline void fail(const char* file, int line, const char* condition, std::string_view detail) {
    std::fprintf(stderr, "\nfuzz property broken at %s:%d: %s\n", file, line, condition);
    if (!detail.empty()) std::fprintf(stderr, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
    std::fprintf(stderr, "input (%zu bytes, hex):\n", currentInput().size());
    printHex(currentInput());
    std::fflush(stderr);
    std::abort();
}

// Bytes of a text as "41 5d ..." for failure details.
inline std::string hexOf(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (!out.empty()) out += ' ';
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
    }
    return out;
}

#define FUZZ_CHECK(condition, detail)                                                      \
    do {                                                                                   \
        if (!(condition)) ::corvane::fuzz::fail(__FILE__, __LINE__, #condition, (detail)); \
    } while (false)

// Consumes the input from the front; once it is used up every read gives
// zeros and empty texts, so a target never has to check what is left.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

    bool empty() const { return rest_.empty(); }
    std::size_t remaining() const { return rest_.size(); }

    std::uint8_t byte() {
        if (rest_.empty()) return 0;
        const std::uint8_t value = rest_.front();
        rest_ = rest_.subspan(1);
        return value;
    }
    bool flag() { return (byte() & 1) != 0; }

    // Little-endian, `bytes` of them (at most 8).
    std::uint64_t integer(unsigned bytes) {
        std::uint64_t value = 0;
        for (unsigned i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(byte()) << (8 * i);
        return value;
    }
    // In [0, bound), bound > 0.
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(integer(2) % bound); }

    // A text of up to `max` bytes, its length given by the byte before it.
    std::string text(std::size_t max) {
        // The length byte is taken before what is left is measured: as two
        // arguments of one call their order would be the compiler's.
        const std::size_t wanted = byte() % (max + 1);
        const std::size_t length = std::min(wanted, rest_.size());
        std::string out(reinterpret_cast<const char*>(rest_.data()), length);
        rest_ = rest_.subspan(length);
        return out;
    }
    std::string rest() {
        std::string out(reinterpret_cast<const char*>(rest_.data()), rest_.size());
        rest_ = {};
        return out;
    }
    std::span<const std::uint8_t> take(std::size_t size) {
        size = std::min(size, rest_.size());
        const auto out = rest_.first(size);
        rest_ = rest_.subspan(size);
        return out;
    }

private:
    std::span<const std::uint8_t> rest_;
};

// A target of two properties: the input's first flag chooses between
// `decoded` (values decoded from the rest, for a round trip through the
// format) and `bytes` (the rest read as a file).
template <typename Decoded, typename Bytes>
int fuzzDecodedOrBytes(const std::uint8_t* data, std::size_t size, Decoded decoded, Bytes bytes) {
    const InputScope scope(data, size);
    Input input(data, size);
    if (input.flag())
        decoded(input);
    else
        bytes(input.rest());
    return 0;
}

}  // namespace corvane::fuzz
