#pragma once

// Native processes for the command-line tests: a target program that prints
// key=HEX lines and "ready", then waits for its input to close; and a run of
// a program with its output and errors caught.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace corvane::test {

// The target, with its input held open: it ends when the pipe closes.
class SpawnedTarget {
public:
    explicit SpawnedTarget(const char* path, const char* argument = nullptr) {
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
        FILE* lines = fdopen(out[0], "r");
        char line[128];
        while (lines != nullptr && std::fgets(line, sizeof line, lines) != nullptr) {
            std::string text(line);
            if (text == "ready\n") break;
            const auto equals = text.find('=');
            if (equals != std::string::npos)
                values_[text.substr(0, equals)] = std::stoull(text.substr(equals + 1), nullptr, 16);
        }
        if (lines != nullptr) std::fclose(lines);
    }
    SpawnedTarget(const SpawnedTarget&) = delete;
    SpawnedTarget& operator=(const SpawnedTarget&) = delete;
    ~SpawnedTarget() {
        if (input_ >= 0) close(input_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }
    std::uint64_t value(const std::string& key) const {
        const auto found = values_.find(key);
        return found == values_.end() ? 0 : found->second;
    }

private:
    pid_t pid_ = 0;
    int input_ = -1;
    std::map<std::string, std::uint64_t> values_;
};

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string errors;
};

inline ProgramRun runProgram(const char* path, const std::vector<std::string>& arguments) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string out = (folder / ("corvane_run_out_" + std::to_string(getpid()))).string();
    const std::string err = out + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<const char*> argv{path};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    ProgramRun run;
    pid_t child = 0;
    if (posix_spawn(&child, path, &actions, nullptr, const_cast<char**>(argv.data()), environ) == 0) {
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    auto slurp = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    run.out = slurp(out);
    run.errors = slurp(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

inline std::string hexText(std::uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace corvane::test
