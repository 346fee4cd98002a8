#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// The command line of corvane-cli, as typed. Texts are code page 936 bytes.
struct CliOptions {
    std::string command;  // first, next, monitor or reformat; help or version
    std::optional<std::uint32_t> pid;
    std::optional<std::string> structure;
    std::optional<int> type;
    std::optional<int> base;
    std::optional<int> condition;
    std::optional<std::string> value1;
    std::optional<std::string> value2;
    std::string inFile;
    std::string outFile;
    std::optional<long> cycles;  // monitor: until Ctrl+C when absent
    bool changes = false;        // monitor: only the rows that changed, with the cycle's time
    std::string settingsFile;
    std::string settingsName;
};

// Fills `options` from the arguments after the program name. Returns an empty
// text, or a one-line reason why the arguments are not usable. --type,
// --base and --condition take numbers or names (see kCliUsage).
std::string parseCliOptions(const std::vector<std::string>& args, CliOptions& options);

// The arguments with each "--option=value" made "--option", "value", as
// if typed apart. A value that follows its option apart is kept whole, "="
// and all; the flag --changes takes no value.
std::vector<std::string> splitOptionValues(const std::vector<std::string>& args);

// A value type's and a condition's names as --help gives them, for saying
// which one a refusal is about: "长整型 (long)" (code page 936).
std::string typeName(int index);
std::string conditionName(int index);

extern const char* const kCliUsage;
extern const char* const kCliVersion;

}  // namespace corvane
