#include "tests/tools/native_child.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace corvane::test {

ProgramRun runProgram(const char* path, const std::vector<std::string>& arguments) {
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

std::string hexText(std::uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace corvane::test
