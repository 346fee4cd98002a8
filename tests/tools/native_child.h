#pragma once

// A native child process for the tests that search a real process: started
// with its input and output on pipes, it prints KEY=HEX lines and "ready",
// and ends when its input closes.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace corvane::test {

// Waits (a minute at most) until `pid` has a handler of its own for SIGINT: a
// signal sent before would end it as any program ends, which says nothing of
// its handler, and a sanitized program on a loaded machine takes a while to
// get there. Then waits `settle` more, so that the signal finds it at work.
inline bool waitUntilCatchesInterrupt(pid_t pid, std::chrono::milliseconds settle) {
    const auto catches = [pid] {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigCgt:", 0) == 0)
                return (std::stoull(line.substr(7), nullptr, 16) & (1ull << (SIGINT - 1))) != 0;
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!catches()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(settle);
    return true;
}

class NativeChild {
public:
    explicit NativeChild(const char* path, const char* argument = nullptr) {
        int in[2];
        int out[2];
        // Close-on-exec, so that no other child holds the input open after this one ends.
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const char* argv[] = {path, argument, nullptr};
        if (posix_spawn(&pid_, path, &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = fdopen(out[0], "r");
        std::string line;
        while (readLine(line) && line != "ready") {
            const auto equals = line.find('=');
            if (equals != std::string::npos)
                values_[line.substr(0, equals)] = std::stoull(line.substr(equals + 1), nullptr, 16);
        }
    }
    ~NativeChild() {
        if (input_ >= 0) close(input_);
        if (output_ != nullptr) std::fclose(output_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    NativeChild(const NativeChild&) = delete;
    NativeChild& operator=(const NativeChild&) = delete;

    pid_t pid() const { return pid_; }
    std::uint64_t value(const std::string& key) const {
        const auto found = values_.find(key);
        return found == values_.end() ? 0 : found->second;
    }
    // Sends one line and waits for the child's one-line answer.
    std::string ask(const std::string& line) {
        const std::string sent = line + "\n";
        if (write(input_, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) return {};
        std::string answer;
        readLine(answer);
        return answer;
    }

private:
    bool readLine(std::string& line) {
        char text[128];
        if (output_ == nullptr || std::fgets(text, sizeof text, output_) == nullptr) return false;
        line = text;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        return true;
    }

    pid_t pid_ = 0;
    int input_ = -1;
    FILE* output_ = nullptr;
    std::map<std::string, std::uint64_t> values_;
};

}  // namespace corvane::test

namespace corvane::test {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string errors;
};

// Runs a program to its end with its output and errors kept.
ProgramRun runProgram(const char* path, const std::vector<std::string>& arguments);

// Uppercase hexadecimal without prefix, as paths and results files write addresses.
std::string hexText(std::uint64_t value);

}  // namespace corvane::test
