#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// corvane-cli's exit codes, as --help and the README list them.
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCannotOpen = 3;
inline constexpr int kExitNoModule = 4;

// One line on standard error, led by the program's name: a note on what
// was done with what could not be.
void say(const std::string& message);

// Says on standard error, in one line, what went wrong, and gives `code` back.
int fail(int code, const std::string& message);

// A mistake in the command line: its reason and where the help is, rather
// than the whole help burying the one line that matters.
int failUsage(const std::string& problem);

// A target that cannot be opened, the system's error named.
int failToOpen(std::uint32_t pid, std::uint32_t error);

// The whole text as a decimal number of T: no sign for an unsigned T, no
// blanks, nothing after the digits.
template <typename T>
bool parseWholeNumber(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

// Why `--out FILE` cannot be written before any work is done for it: its
// folder is missing or is no folder. Empty when it may be.
std::string outFileProblem(const std::string& file);

}  // namespace corvane
