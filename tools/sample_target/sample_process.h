#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "engine/target/win32/unique_handle.h"

namespace corvane::sample {

// A path relative to the running program's folder. The tools are built into
// tools/ of the build tree; the programs that start them live in tools/ or
// tests/ beside it, so "..\\tools\\name.exe" reaches them from either.
std::wstring builtProgramPath(const wchar_t* relative);

// A running sample target, started with pipes on its standard streams. Its
// printed "key=HEX" lines are kept; it ends when this object does.
class SampleProcess {
public:
    // Starts tools/sample_target.exe (or sample_target32.exe) beside the test
    // executable's folder. Returns null when the process cannot be started or
    // does not report ready; `why` then says what happened.
    // `huge` lays out the large table with ten times as many blocks; `seed`
    // fixes the layout of the game heap (sample_heap.h), which otherwise
    // changes with every start.
    static std::unique_ptr<SampleProcess> start(bool bits32, bool large, std::string& why, bool huge = false,
                                                std::optional<std::uint32_t> seed = std::nullopt);

    ~SampleProcess();
    SampleProcess(const SampleProcess&) = delete;
    SampleProcess& operator=(const SampleProcess&) = delete;

    DWORD pid() const { return pid_; }
    std::uint64_t value(const std::string& key) const;
    // Sends one command line and waits for its answer; true for "ok".
    bool command(const std::string& line);

private:
    SampleProcess() = default;
    bool readLine(std::string& line);

    UniqueHandle process_;
    UniqueHandle toChild_;
    UniqueHandle fromChild_;
    DWORD pid_ = 0;
    std::map<std::string, std::uint64_t> values_;
    std::string pending_;
};

}  // namespace corvane::sample
